// Whole jobs: Save, the prompt, the writer, the completion notice, and the
// file that is left, in every creation mode and every unit.
#include "content.h"
#include "program_test.h"

#include <tuple>

namespace {

const char* ModeName(int modeId) {
    switch (modeId) {
        case kModeZero: return "NoData";
        case kModeRandom: return "Random";
        case kModeAscii: return "Ascii";
        case kModeSetSize: return "SetSize";
        default: return "None";
    }
}

// Checks what every finished job must show on the way and leave behind.
void ExpectCleanRun(const JobRun& run) {
    ASSERT_TRUE(run.completed) << run.failure;
    EXPECT_TRUE(run.saveDisabledDuringJob) << "Save must stay disabled from the press to the notice";
    EXPECT_EQ(run.progressAtNotice, 100) << "the bar is full while the notice is open";
    EXPECT_TRUE(run.noticeOwnedByDialog) << "the notice belongs to the dialog";
    EXPECT_FALSE(run.noticeHasIcon) << "the notice is a plain MB_OK box";
    EXPECT_TRUE(run.saveEnabledAfter) << "Save enabled again after the notice";
    EXPECT_EQ(run.progressAfter, 0) << "the bar empty again after the notice";
}

// The content check of one mode for a file of n bytes.
void ExpectContent(int modeId, const std::string& path, size_t n, const JobRun& run) {
    EXPECT_EQ(FileLength(path), static_cast<int64_t>(n));
    std::string content;
    ASSERT_TRUE(ReadWholeFile(path, content)) << "cannot read " << path;
    ASSERT_EQ(content.size(), n);
    switch (modeId) {
        case kModeZero:
            EXPECT_EQ(content, std::string(n, '\0')) << FirstDifference(content, std::string(n, '\0'));
            break;
        case kModeAscii: EXPECT_EQ(content, AsciiText(n)) << FirstDifference(content, AsciiText(n)); break;
        case kModeRandom: {
            // Seeded with the clock in whole seconds when the writer starts,
            // which is between the prompt's answer and the notice.
            const int64_t seed = MatchingSeed(content, run.promptAnswered, run.noticeShown);
            EXPECT_NE(seed, -1) << "no seed from " << run.promptAnswered << " to " << run.noticeShown
                                << " gives this content; against the first: "
                                << FirstDifference(content, RandomStream(static_cast<uint32_t>(run.promptAnswered), n));
            break;
        }
        case kModeSetSize:
            // Nothing is written; a Windows file system (and Wine on Linux)
            // reads a range that was only extended as zeros.
            EXPECT_EQ(content, std::string(n, '\0')) << FirstDifference(content, std::string(n, '\0'));
            break;
        default: FAIL() << "unknown mode " << modeId;
    }
}

struct SizeCase {
    const char* text;
    int unit;
    size_t bytes;
    const char* name;
};

// Names the case in gtest's messages instead of dumping its bytes.
void PrintTo(const SizeCase& size, std::ostream* out) { *out << size.name; }

const SizeCase kSizes[] = {
    {"1000", kUnitBytes, 1000, "1000bytes"},
    {"3", kUnitKiB, 3 * 1024, "3KiB"},
    {"2", kUnitMiB, 2 * 1024 * 1024, "2MiB"},
};

class EveryModeAndUnit : public ProgramTest, public ::testing::WithParamInterface<std::tuple<int, SizeCase>> {};

TEST_P(EveryModeAndUnit, MakesTheFile) {
    const int modeId = std::get<0>(GetParam());
    const SizeCase size = std::get<1>(GetParam());
    ASSERT_TRUE(SetRequest(program, size.text, size.unit, modeId));
    const std::string path = InFolder("out.bin");
    const JobRun run = RunJob(program, path);
    ExpectCleanRun(run);
    ExpectContent(modeId, path, size.bytes, run);
    EXPECT_EQ(ProgramPopups(program).size(), 0u) << "nothing else left open";
}

INSTANTIATE_TEST_SUITE_P(Jobs, EveryModeAndUnit,
                         ::testing::Combine(::testing::Values(kModeZero, kModeRandom, kModeAscii, kModeSetSize),
                                            ::testing::ValuesIn(kSizes)),
                         [](const ::testing::TestParamInfo<std::tuple<int, SizeCase>>& param) {
                             return std::string(ModeName(std::get<0>(param.param))) + "_" +
                                    std::get<1>(param.param).name;
                         });

using Job = ProgramTest;

TEST_F(Job, DefaultsMake1024ZeroBytes) {
    // No change to the dialog at all: "1024", "bytes", "No Data (0x00)".
    const std::string path = InFolder("defaults.bin");
    const JobRun run = RunJob(program, path);
    ExpectCleanRun(run);
    ExpectContent(kModeZero, path, 1024, run);
}

TEST_F(Job, AsciiCutsInsideALine) {
    // 100 bytes: a whole line, then 36 characters and no final CR LF.
    ASSERT_TRUE(SetRequest(program, "100", kUnitBytes, kModeAscii));
    const std::string path = InFolder("ascii100.txt");
    const JobRun run = RunJob(program, path);
    ExpectCleanRun(run);
    ExpectContent(kModeAscii, path, 100, run);
    std::string content;
    ASSERT_TRUE(ReadWholeFile(path, content));
    EXPECT_EQ(content.substr(64), "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghij");
}

TEST_F(Job, OneByteInEachWritingMode) {
    // One byte: a whole block is written, then cut back to one byte.
    const std::pair<int, char> cases[] = {{kModeZero, '\0'}, {kModeAscii, 'A'}};
    for (const auto& mode : cases) {
        SCOPED_TRACE(ModeName(mode.first));
        ASSERT_TRUE(SetRequest(program, "1", kUnitBytes, mode.first));
        const std::string path = InFolder(std::string("one-") + ModeName(mode.first));
        const JobRun run = RunJob(program, path);
        ExpectCleanRun(run);
        std::string content;
        ASSERT_TRUE(ReadWholeFile(path, content));
        EXPECT_EQ(content, std::string(1, mode.second));
    }
}

TEST_F(Job, SeveralJobsInOneRun) {
    // The dialog goes back to idle after each notice and takes the next job.
    const int modes[] = {kModeRandom, kModeAscii, kModeSetSize, kModeZero, kModeRandom};
    int n = 0;
    for (int modeId : modes) {
        SCOPED_TRACE(std::string("job ") + std::to_string(n) + " " + ModeName(modeId));
        const size_t bytes = 1025 + static_cast<size_t>(n) * 700;
        ASSERT_TRUE(SetRequest(program, std::to_string(bytes), kUnitBytes, modeId));
        const std::string path = InFolder("job" + std::to_string(n++));
        const JobRun run = RunJob(program, path);
        ExpectCleanRun(run);
        ExpectContent(modeId, path, bytes, run);
    }
    EXPECT_EQ(FolderEntries(folder).size(), 5u);
}

TEST_F(Job, NameOutsideTheCodePage) {
    // "проба-Ω-数据-📁.bin": Cyrillic, Greek, CJK and beyond the basic plane.
    const std::string name =
        "\xD0\xBF\xD1\x80\xD0\xBE\xD0\xB1\xD0\xB0-\xCE\xA9-"
        "\xE6\x95\xB0\xE6\x8D\xAE-\xF0\x9F\x93\x81.bin";
    ASSERT_TRUE(SetRequest(program, "100", kUnitBytes, kModeAscii));
    const JobRun run = RunJob(program, InFolder(name));
    ExpectCleanRun(run);
    ExpectContent(kModeAscii, InFolder(name), 100, run);
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{name});
    if (UnderWine()) {
        const std::string onDisk = UnixPath(InFolder(name));
        EXPECT_EQ(onDisk.substr(onDisk.rfind('/') + 1), name) << onDisk;
    }
}

TEST_F(Job, ExistingFileReplacedWithoutAQuestion) {
    const std::string path = InFolder("existing.txt");
    ASSERT_TRUE(WriteWholeFile(path, std::string(5000, 'x')));
    ASSERT_TRUE(SetRequest(program, "100", kUnitBytes, kModeAscii));
    // RunJob fails at once if anything but the notice (say, an overwrite
    // question) follows the prompt.
    const JobRun run = RunJob(program, path);
    ExpectCleanRun(run);
    ExpectContent(kModeAscii, path, 100, run);
}

TEST_F(Job, SetSizeOnAnExistingFileLeavesNoOldContent) {
    // The file is created anew before its length is set.
    const std::string path = InFolder("existing.bin");
    ASSERT_TRUE(WriteWholeFile(path, std::string(3000, 'x')));
    ASSERT_TRUE(SetRequest(program, "2", kUnitKiB, kModeSetSize));
    const JobRun run = RunJob(program, path);
    ExpectCleanRun(run);
    ExpectContent(kModeSetSize, path, 2048, run);
}

TEST_F(Job, LargestByteCountInSetSizeMode) {
    // 2147483647 bytes is still a valid size.
    ASSERT_TRUE(SetRequest(program, "2147483647", kUnitBytes, kModeSetSize));
    const std::string path = InFolder("largest.bin");
    const JobRun run = RunJob(program, path);
    ExpectCleanRun(run);
    EXPECT_EQ(FileLength(path), 2147483647);
}

TEST_F(Job, SetSizeOver4GiB) {
    // 5000 MiB: past 32 bits, held rather than wrapped.
    ASSERT_TRUE(SetRequest(program, "5000", kUnitMiB, kModeSetSize));
    const std::string path = InFolder("big.bin");
    const JobRun run = RunJob(program, path);
    ExpectCleanRun(run);
    EXPECT_EQ(FileLength(path), 5000LL * 1024 * 1024);
}

}  // namespace
