#include "run_program.h"

#include "test_files.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <map>

std::string FullDeviceIn(const std::string&) { return FullDevicePath(); }

// Wine gives no attributes for a device, but it can still be opened.
bool PathExists(const std::string& path) {
    HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
}

std::string CliProgramPath() {
    // Under Wine the build's absolute Linux path is found on drive Z:.
    std::string path = FILLWRIGHT_CLI_PROGRAM;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

static std::string Quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string quoted = "\"";
    for (char c : arg) {
        if (c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

static HANDLE InheritableFile(const std::string& path) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

static std::map<int, HANDLE> startedProcesses;

int StartCliProgram(const std::vector<std::string>& args, const std::string& errPath) {
    const std::string program = CliProgramPath();
    std::string commandLine = Quote(program);
    for (const std::string& arg : args) commandLine += " " + Quote(arg);
    HANDLE out = InheritableFile("NUL");
    HANDLE err = InheritableFile(errPath);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process;
    int pid = -1;
    if (CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP, nullptr,
                       nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        pid = static_cast<int>(process.dwProcessId);
        startedProcesses[pid] = process.hProcess;
    }
    CloseHandle(out);
    CloseHandle(err);
    return pid;
}

int WaitCliProgram(int pid, double timeoutSeconds) {
    auto found = startedProcesses.find(pid);
    if (found == startedProcesses.end()) return -1;
    HANDLE process = found->second;
    startedProcesses.erase(found);
    int code = -1;
    if (WaitForSingleObject(process, static_cast<DWORD>(timeoutSeconds * 1000)) != WAIT_OBJECT_0) {
        TerminateProcess(process, 255);
        WaitForSingleObject(process, INFINITE);
    } else {
        DWORD exitCode = 0;
        if (GetExitCodeProcess(process, &exitCode)) code = static_cast<int>(exitCode);
    }
    CloseHandle(process);
    return code;
}

bool SignalCliProgram(int pid, int) {
    return GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, static_cast<DWORD>(pid)) != FALSE;
}

ProgramRun RunCliProgram(const std::vector<std::string>& args, const std::string& scratchDir, const std::string* input,
                         const std::string& stdoutPath) {
    ProgramRun run;
    const std::string program = CliProgramPath();
    std::string commandLine = Quote(program);
    for (const std::string& arg : args) commandLine += " " + Quote(arg);
    const std::string outPath = stdoutPath.empty() ? JoinPath(scratchDir, "stdout.txt") : stdoutPath;
    const std::string errPath = JoinPath(scratchDir, "stderr.txt");
    HANDLE out = InheritableFile(outPath);
    HANDLE err = InheritableFile(errPath);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    HANDLE feedRead = nullptr, feedWrite = nullptr;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    if (input && CreatePipe(&feedRead, &feedWrite, &inherit, 0)) {
        SetHandleInformation(feedWrite, HANDLE_FLAG_INHERIT, 0);
        startup.hStdInput = feedRead;
    }
    PROCESS_INFORMATION process;
    std::string mutableLine = commandLine;
    const bool started = CreateProcessA(program.c_str(), &mutableLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process) != FALSE;
    if (feedRead) {
        CloseHandle(feedRead);
        DWORD written = 0;
        if (started) WriteFile(feedWrite, input->data(), static_cast<DWORD>(input->size()), &written, nullptr);
        CloseHandle(feedWrite);
    }
    if (started) {
        WaitForSingleObject(process.hProcess, 120000);
        DWORD code = 0;
        if (GetExitCodeProcess(process.hProcess, &code) && code != STILL_ACTIVE) run.exitCode = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    if (stdoutPath.empty()) {
        run.out = ReadWholeFile(outPath);
        RemoveFile(outPath);
    }
    run.err = ReadWholeFile(errPath);
    RemoveFile(errPath);
    return run;
}

#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <thread>

std::string CliProgramPath() { return FILLWRIGHT_CLI_PROGRAM; }

bool PathExists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

std::string FullDeviceIn(const std::string& dir) {
    const std::string link = JoinPath(dir, "full-link");
    unlink(link.c_str());
    return symlink(FullDevicePath(), link.c_str()) == 0 ? link : std::string();
}

static int Spawn(const std::vector<std::string>& args, const std::string& outPath, const std::string& errPath,
                 const std::string* input = nullptr) {
    const std::string program = CliProgramPath();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    int feed[2] = {-1, -1};
    if (input && pipe(feed) != 0) return -1;
    const pid_t pid = fork();
    if (pid != 0) {
        if (!input) return static_cast<int>(pid);
        close(feed[0]);
        signal(SIGPIPE, SIG_IGN);  // a program that stops reading early is not the test's death
        for (size_t at = 0; pid > 0 && at < input->size();) {
            const ssize_t written = write(feed[1], input->data() + at, input->size() - at);
            if (written <= 0) break;
            at += static_cast<size_t>(written);
        }
        close(feed[1]);
        return static_cast<int>(pid);
    }
    // Child: only async-signal-safe calls until exec.
    if (input) {
        dup2(feed[0], STDIN_FILENO);
        close(feed[0]);
        close(feed[1]);
    }
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOCTTY, 0644);
    if (out < 0 || err < 0) _exit(125);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    execv(program.c_str(), argv.data());
    _exit(126);
}

int StartCliProgram(const std::vector<std::string>& args, const std::string& errPath) {
    return Spawn(args, "/dev/null", errPath);
}

bool SignalCliProgram(int pid, int signal) { return kill(pid, signal) == 0; }

int WaitCliProgram(int pid, double timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid) break;
        if (ended < 0) return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -SIGKILL;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

ProgramRun RunCliProgram(const std::vector<std::string>& args, const std::string& scratchDir, const std::string* input,
                         const std::string& stdoutPath) {
    ProgramRun run;
    const std::string outPath = stdoutPath.empty() ? JoinPath(scratchDir, "stdout.txt") : stdoutPath;
    const std::string errPath = JoinPath(scratchDir, "stderr.txt");
    const int pid = Spawn(args, outPath, errPath, input);
    if (pid > 0) run.exitCode = WaitCliProgram(pid, 120);
    if (stdoutPath.empty()) {
        run.out = ReadWholeFile(outPath);
        RemoveFile(outPath);
    }
    run.err = ReadWholeFile(errPath);
    RemoveFile(errPath);
    return run;
}
#endif
