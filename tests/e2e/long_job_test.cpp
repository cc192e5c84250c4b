// Jobs long enough to watch: the progress bar on its way, and the program
// ended while a writer still runs.
#include "program_test.h"

#include <cstdio>

namespace {

// 400 MiB of zeros takes a few seconds here: several 500 ms ticks of the
// progress poll.
const int64_t kProgressJobMiB = 400;
// Jobs that are ended early: long enough to be certain to be still running.
const int64_t kInterruptedJobMiB = 2000;
const DWORD kLongJobWait = 120000;

using LongJob = ProgramTest;

// Starts a zero-fill job of mib MiB and returns once the writer is under way.
void StartLongJob(const Program& program, const std::string& path, int64_t mib) {
    ASSERT_TRUE(SetRequest(program, std::to_string(mib), kUnitMiB, kModeZero));
    ClickButton(program, kSaveButton);
    HWND prompt = WaitForSavePrompt(program);
    ASSERT_NE(prompt, nullptr);
    ASSERT_TRUE(AnswerSavePrompt(prompt, path));
    ASSERT_TRUE(WaitUntil([&] { return FileLength(path) > 0; }, kWindowWait)) << "the writer did not start";
    ASSERT_TRUE(ProgramPopups(program).empty()) << "the job ended before it could be watched";
    ASSERT_FALSE(SaveEnabled(program));
}

TEST_F(LongJob, ProgressNeverGoesBack) {
    const std::string path = InFolder("long.bin");
    const int64_t target = kProgressJobMiB * 1024 * 1024;
    StartLongJob(program, path, kProgressJobMiB);
    if (HasFatalFailure()) return;
    const ULONGLONG started = GetTickCount64();
    std::vector<int> samples;
    bool saveStayedDisabled = true;
    bool answered = true;
    const bool ended = WaitUntil(
        [&] {
            if (!ProgramPopups(program).empty()) return true;
            bool ok = false;
            const int position = ProgressPosition(program, &ok);
            answered = answered && ok;
            if (!ok) return false;
            samples.push_back(position);
            // The bar follows the count of written blocks, which the file
            // never lags: it cannot be ahead of the file's length.
            const int64_t length = FileLength(path);
            EXPECT_LE(position, length * 100 / target) << "the bar is ahead of the file, at " << length;
            saveStayedDisabled = saveStayedDisabled && !SaveEnabled(program);
            return false;
        },
        kLongJobWait);
    const ULONGLONG lasted = GetTickCount64() - started;
    ASSERT_TRUE(ended) << "no completion notice";
    EXPECT_TRUE(answered) << "the dialog stopped answering during the job";
    EXPECT_TRUE(saveStayedDisabled);
    ASSERT_FALSE(samples.empty());
    int previous = 0;
    std::string seen;
    int between = 0;  // samples strictly inside the range
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_GE(samples[i], 0) << "sample " << i;
        EXPECT_LE(samples[i], 100) << "sample " << i;
        EXPECT_GE(samples[i], previous) << "sample " << i << " went back";
        if (i == 0 || samples[i] != previous) seen += " " + std::to_string(samples[i]);
        if (samples[i] > 0 && samples[i] < 100) ++between;
        previous = samples[i];
    }
    std::printf("job watched for %llu ms: %zu samples, positions%s\n", lasted, samples.size(), seen.c_str());
    // Watched for three ticks' time or more, the job had at least one tick
    // with its writer half way: the bar must have shown it. (A much faster
    // machine may end the job sooner; then there is nothing to see.)
    if (lasted >= 1500) {
        EXPECT_GT(between, 0) << "the bar never showed a position between 0 and 100";
    }

    MessageBoxInfo notice;
    HWND box = WaitForMessageBox(program, "Finished", notice);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(notice.text, "Finished making new file.");
    EXPECT_EQ(ProgressPosition(program), 100);
    ASSERT_TRUE(DismissMessageBox(box));
    EXPECT_TRUE(WaitUntil([&] { return SaveEnabled(program); }, kWindowWait));
    EXPECT_EQ(ProgressPosition(program), 0);
    EXPECT_EQ(FileLength(path), target);
}

// The program ends at once while its writer runs; the file keeps what was
// written so far, short of the requested length.
void ExpectEndsMidJob(Program& program, const std::string& path, int64_t mib) {
    ASSERT_TRUE(WaitForExit(program, kExitWait)) << "the program still runs";
    DWORD code = 1;
    GetExitCodeProcess(program.info.hProcess, &code);
    EXPECT_EQ(code, 0u);
    const int64_t length = FileLength(path);
    EXPECT_GT(length, 0);
    EXPECT_LT(length, mib * 1024 * 1024) << "the job had already ended: nothing was interrupted";
}

TEST_F(LongJob, ExitEndsTheProgramWhileAWriterRuns) {
    const std::string path = InFolder("exit.bin");
    StartLongJob(program, path, kInterruptedJobMiB);
    if (HasFatalFailure()) return;
    ClickButton(program, kExitButton);
    ExpectEndsMidJob(program, path, kInterruptedJobMiB);
}

TEST_F(LongJob, CloseMessageEndsTheProgramWhileAWriterRuns) {
    const std::string path = InFolder("close.bin");
    StartLongJob(program, path, kInterruptedJobMiB);
    if (HasFatalFailure()) return;
    PostMessageW(program.dialog, WM_CLOSE, 0, 0);
    ExpectEndsMidJob(program, path, kInterruptedJobMiB);
}

TEST_F(LongJob, CloseBoxEndsTheProgramWhileAWriterRuns) {
    const std::string path = InFolder("close-box.bin");
    StartLongJob(program, path, kInterruptedJobMiB);
    if (HasFatalFailure()) return;
    PostMessageW(program.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    ExpectEndsMidJob(program, path, kInterruptedJobMiB);
}

}  // namespace
