// Faults around a job that the program must survive: a prompt that refuses
// the name, a length no file system takes, a writer thread that cannot start,
// and a long session of jobs that must not leave anything behind.
#include "program_test.h"

#include <winternl.h>

#include <map>
#include <vector>

namespace {

// Presses Save and puts path into the prompt; the prompt may stay open.
HWND SaveAs(const Program& program, const std::string& path) {
    ClickButton(program, kSaveButton);
    HWND prompt = WaitForSavePrompt(program);
    if (!prompt) return nullptr;
    SetWindowTextUtf8(GetDlgItem(prompt, kPromptFileName), path);
    PostMessageW(prompt, WM_COMMAND, IDOK, 0);
    return prompt;
}

// A box of the prompt's own (not the program's) that says why it refused.
HWND WaitForPromptComplaint(const Program& program, HWND prompt, MessageBoxInfo& box) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : ProgramPopups(program)) {
                if (window != prompt && GetWindow(window, GW_OWNER) == prompt) found = window;
            }
            return found != nullptr;
        },
        kWindowWait);
    if (found && WaitUntil([&] { return Answers(found); }, kWindowWait)) ReadMessageBox(found, box);
    return found;
}

// The program's other windows, for a failure message.
std::string DescribePopups(const Program& program, HWND prompt) {
    std::string list;
    for (HWND window : ProgramPopups(program)) {
        MessageBoxInfo box;
        ReadMessageBox(window, box);
        list += "[\"" + box.caption + "\" \"" + box.text + "\"" + (window == prompt ? " (the prompt)" : "") +
                (box.owner == prompt ? " (owned by the prompt)" : "") + "] ";
    }
    return list;
}

class Fault : public ProgramTest {};

TEST_F(Fault, FolderThatDoesNotExist) {
    // The prompt itself refuses a path through a missing folder and stays
    // open; cancelled after that, the program shows nothing and makes nothing.
    const std::string missing = InFolder("missing");
    HWND prompt = SaveAs(program, missing + "\\file.bin");
    ASSERT_NE(prompt, nullptr);
    MessageBoxInfo complaint;
    HWND box = WaitForPromptComplaint(program, prompt, complaint);
    ASSERT_NE(box, nullptr) << "the prompt took a path through a missing folder";
    std::printf("the prompt says: \"%s\" / \"%s\"\n", complaint.text.c_str(), complaint.caption.c_str());
    EXPECT_FALSE(complaint.text.empty());
    ASSERT_TRUE(DismissMessageBox(box));
    EXPECT_TRUE(IsWindowVisible(prompt)) << "the prompt stays for another name";
    EXPECT_FALSE(SaveEnabled(program));
    ASSERT_TRUE(CancelSavePrompt(prompt));
    ExpectIdle(program);
    EXPECT_TRUE(FolderEntries(folder).empty()) << "neither the folder nor the file is made";
}

TEST_F(Fault, PathLongerThanTheFileBuffer) {
    // The program's file buffer holds 1023 characters; this name is longer.
    // A prompt that reports it as a failure makes the program show its file
    // message. Wine's own prompt (seen in Wine 8.0) copies the name into a
    // MAX_PATH buffer on its stack when it is confirmed, before the program
    // sees a name: 64-bit Wine then ends the process, 32-bit Wine leaves the
    // prompt open and half drawn. Both are allowed under Wine only, where the
    // case ends the program itself; nothing may be created either way.
    std::string path = folder;
    while (path.size() <= 1100) path += "\\" + std::string(120, 'd');
    path += "\\file.bin";
    HWND prompt = SaveAs(program, path);
    ASSERT_NE(prompt, nullptr);
    std::vector<HWND> popups;
    const bool promptDone = WaitUntil(
        [&] {
            if (!ProgramRunning(program)) return true;
            popups = ProgramPopups(program);
            return !popups.empty() && popups[0] != prompt && !IsWindowVisible(prompt);
        },
        kWindowWait);
    if (!ProgramRunning(program)) {
        EXPECT_TRUE(UnderWine()) << "the program ended on a long name";
        std::printf("seen: the process ended inside Wine's Save As prompt\n");
    } else if (!promptDone) {
        EXPECT_TRUE(UnderWine()) << "the prompt neither closed nor said anything; open: "
                                 << DescribePopups(program, prompt);
        std::printf("seen: Wine's Save As prompt stayed open (%s) with the process alive; ending the program\n",
                    Answers(prompt) ? "still answering messages" : "no longer answering messages");
        StopProgram(program);
    } else {
        MessageBoxInfo box;
        ASSERT_TRUE(ReadMessageBox(popups[0], box));
        EXPECT_EQ(box.text, "Please enter a valid target file.");
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.owner, program.dialog);
        ASSERT_TRUE(DismissMessageBox(popups[0]));
        ExpectIdle(program);
    }
    EXPECT_TRUE(FolderEntries(folder).empty()) << "nothing is created";
}

TEST_F(Fault, LengthBeyondTheFileSystem) {
    // 2147483647 MiB is 2^51 bytes less 1 MiB, past what the file system
    // takes: the final-size step says so, then the job ends as any other.
    ASSERT_TRUE(SetRequest(program, "2147483647", kUnitMiB, kModeSetSize));
    const std::string path = InFolder("huge.bin");
    HWND prompt = SaveAs(program, path);
    ASSERT_NE(prompt, nullptr);
    ASSERT_TRUE(WaitForWindowGone(prompt, kWindowWait));
    std::vector<HWND> popups;
    ASSERT_TRUE(WaitUntil([&] { return !(popups = ProgramPopups(program)).empty(); }, kWindowWait));
    MessageBoxInfo box;
    ASSERT_TRUE(ReadMessageBox(popups[0], box));
    EXPECT_TRUE(box.text == "I/O Error in SetEndOfFile() call" || box.text == "I/O Error in SetFilePointer() call")
        << box.text;
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.owner, nullptr) << "the writer's message has no owner";
    ASSERT_TRUE(DismissMessageBox(popups[0]));

    MessageBoxInfo notice;
    HWND finished = WaitForMessageBox(program, "Finished", notice);
    ASSERT_NE(finished, nullptr) << "no completion notice after the final-size message";
    EXPECT_EQ(notice.text, "Finished making new file.");
    ASSERT_TRUE(DismissMessageBox(finished));
    ExpectIdle(program);
    // The file was created and closed; it is all that is in the folder.
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"huge.bin"});
    EXPECT_LT(FileLength(path), 2147483647LL << 20);
    EXPECT_NE(DeleteFileA(path.c_str()), 0) << "the file is closed";
}

// The program's folder, where the fault builds lie beside fillwright.exe.
std::string BesideProgram(const std::string& name) {
    const std::string program = ProgramPath();
    return program.substr(0, program.find_last_of('\\') + 1) + name;
}

TEST(WriterThreadFault, RefusedWithTheFileClosed) {
    Program program{};
    const std::string folder = MakeTempFolder();
    ASSERT_FALSE(folder.empty());
    ASSERT_TRUE(StartProgram(program, BesideProgram("fillwright_nothread.exe")));
    const std::string path = folder + "\\nothread.bin";
    HWND prompt = SaveAs(program, path);
    ASSERT_NE(prompt, nullptr);
    MessageBoxInfo box;
    HWND refusal = WaitForMessageBox(program, "Thread Error", box);
    ASSERT_NE(refusal, nullptr);
    EXPECT_EQ(box.text, "Could not create outputer thread.");
    EXPECT_EQ(box.owner, program.dialog);
    EXPECT_TRUE(box.hasIcon);
    // Deletable while the program still runs: no handle is left open on it.
    EXPECT_NE(DeleteFileA(path.c_str()), 0) << "error " << GetLastError();
    ASSERT_TRUE(DismissMessageBox(refusal));
    ExpectIdle(program);
    StopProgram(program);
    RemoveFolderTree(folder);
}

// What a process holds, as the system lists it: unlike GetProcessHandleCount
// and GetProcessMemoryInfo, these lists also answer for another process
// under Wine (which fills the memory counters from Linux's /proc).
struct ProcessUse {
    std::map<std::string, int> handles;  // by kind of object
    SIZE_T privateBytes;
};

typedef LONG(NTAPI* QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);

QuerySystemInformation SystemQuery() {
    return reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
}

// One system list into buffer, grown until it fits.
bool QueryList(ULONG kind, std::vector<unsigned char>& buffer) {
    const QuerySystemInformation query = SystemQuery();
    if (!query) return false;
    buffer.resize(1u << 20);
    ULONG needed = 0;
    while (query(kind, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) != 0) {
        if (buffer.size() >= (256u << 20)) return false;
        buffer.resize(buffer.size() * 2);
    }
    return true;
}

// The system's handle list, in its extended form (whole process ids).
const ULONG kSystemExtendedHandleInformation = 64;
struct HandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handleValue;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG handleAttributes;
    ULONG reserved;
};
struct HandleList {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};

typedef LONG(NTAPI* QueryObject)(HANDLE, ULONG, PVOID, ULONG, PULONG);
const ULONG kObjectTypeInformation = 2;

// The kind of object a handle of process stands for ("File", "Thread", "Key"...).
std::string HandleKind(HANDLE process, ULONG_PTR value) {
    static const auto query = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
    HANDLE copy = nullptr;
    if (!query || !DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0, FALSE,
                                   DUPLICATE_SAME_ACCESS)) {
        return "?";
    }
    alignas(8) unsigned char info[512];
    ULONG length = 0;
    std::string kind = "?";
    if (query(copy, kObjectTypeInformation, info, sizeof info, &length) == 0) {
        const auto* name = reinterpret_cast<const UNICODE_STRING*>(info);
        for (USHORT i = 0; i < name->Length / 2; ++i) kind += static_cast<char>(name->Buffer[i]);
        kind.erase(0, 1);
        if (kind.empty()) kind = "(no kind)";
    }
    CloseHandle(copy);
    return kind;
}

bool ReadProcessUse(const Program& program, ProcessUse& use) {
    std::vector<unsigned char> buffer;
    if (!QueryList(kSystemExtendedHandleInformation, buffer)) return false;
    const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
    use.handles.clear();
    for (ULONG_PTR i = 0; i < list->count; ++i) {
        const HandleEntry& entry = list->entries[i];
        if (entry.processId == program.info.dwProcessId)
            ++use.handles[HandleKind(program.info.hProcess, entry.handleValue)];
    }
    if (!QueryList(SystemProcessInformation, buffer)) return false;
    for (size_t offset = 0;;) {
        const auto* process = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
        if (reinterpret_cast<ULONG_PTR>(process->UniqueProcessId) == program.info.dwProcessId) {
            use.privateBytes = process->VirtualMemoryCounters.PagefileUsage;
            return !use.handles.empty();
        }
        if (process->NextEntryOffset == 0) return false;
        offset += process->NextEntryOffset;
    }
}

// "File 5, Key 49, Thread 1": for a failure message.
std::string Describe(const std::map<std::string, int>& handles) {
    std::string text;
    for (const auto& kind : handles)
        text += (text.empty() ? "" : ", ") + kind.first + " " + std::to_string(kind.second);
    return text;
}

int Count(const std::map<std::string, int>& handles, const std::string& kind) {
    const auto found = handles.find(kind);
    return found == handles.end() ? 0 : found->second;
}

int Total(const std::map<std::string, int>& handles) {
    int total = 0;
    for (const auto& kind : handles) total += kind.second;
    return total;
}

TEST_F(Fault, TwoHundredJobsLeaveNothingBehind) {
    // The first jobs load what the prompt needs for good; the count starts
    // after them. Every mode in turn, each job replacing the last file.
    const int modes[] = {kModeZero, kModeRandom, kModeAscii, kModeSetSize};
    const std::string path = InFolder("again.bin");
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(SetRequest(program, "1", kUnitKiB, modes[i]));
        ASSERT_TRUE(RunJob(program, path).completed);
    }
    ProcessUse before{}, after{};
    ASSERT_TRUE(ReadProcessUse(program, before)) << "error " << GetLastError();
    const int jobs = 200;
    for (int i = 0; i < jobs; ++i) {
        ASSERT_TRUE(SetRequest(program, "1", kUnitKiB, modes[i % 4]));
        const JobRun run = RunJob(program, path);
        ASSERT_TRUE(run.completed) << "job " << i << ": " << run.failure;
    }
    ASSERT_TRUE(ReadProcessUse(program, after)) << "error " << GetLastError();
    std::printf("%d jobs: handles %d -> %d (%s -> %s), private bytes %lu -> %lu KiB\n", jobs, Total(before.handles),
                Total(after.handles), Describe(before.handles).c_str(), Describe(after.handles).c_str(),
                static_cast<unsigned long>(before.privateBytes >> 10),
                static_cast<unsigned long>(after.privateBytes >> 10));
    // The program itself opens files and threads; a handle of either kept
    // per job would show here as 200.
    EXPECT_EQ(Count(after.handles, "File"), Count(before.handles, "File"));
    EXPECT_EQ(Count(after.handles, "Thread"), Count(before.handles, "Thread"));
    // Wine's Save As prompt keeps one registry key open each time a name is
    // confirmed in it (cancelled prompts and message boxes keep none; the
    // program opens no key), so keys are counted apart from the rest.
    EXPECT_LE(Count(after.handles, "Key") - Count(before.handles, "Key"), jobs);
    EXPECT_EQ(Total(after.handles) - Count(after.handles, "Key"), Total(before.handles) - Count(before.handles, "Key"))
        << Describe(before.handles) << " -> " << Describe(after.handles);
    // A job's memory kept would show as far more than this margin: the
    // writer's block, the prompt's buffers and a thread's bookkeeping.
    EXPECT_LE(after.privateBytes, before.privateBytes + (256u << 10));
    EXPECT_EQ(FileLength(path), 1024);
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"again.bin"});
}

}  // namespace
