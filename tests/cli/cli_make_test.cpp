#include "cli_make.h"
#include "cli_progress.h"
#include "engine_reference.h"
#include "patterns.h"
#include "run_program.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

TEST(TextFill, AnyOffsetAndLengthFollowsTheLine) {
    const std::string line = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789\r\n";
    for (uint64_t offset : {0ull, 1ull, 62ull, 63ull, 64ull, 65ull, 127ull, 1000001ull, (1ull << 40) + 5}) {
        for (size_t count : {size_t(0), size_t(1), size_t(2), size_t(63), size_t(64), size_t(65), size_t(200)}) {
            std::vector<unsigned char> bytes(count + 1, 0xEE);
            FillAsciiText(bytes.data(), count, offset);
            for (size_t i = 0; i < count; ++i) {
                ASSERT_EQ(bytes[i], static_cast<unsigned char>(line[(offset + i) % 64]))
                    << "offset " << offset << " count " << count << " byte " << i;
            }
            EXPECT_EQ(bytes[count], 0xEE) << "wrote past the end at offset " << offset << " count " << count;
        }
    }
}

class MadeFile : public testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir();
        ASSERT_FALSE(dir.empty());
        path = JoinPath(dir, "cli.bin");
        reference = JoinPath(dir, "dialog.bin");
    }
    void TearDown() override {
        RemoveFile(path);
        RemoveFile(reference);
        RemoveDir(dir);
    }
    std::string dir, path, reference;
};

// The command line's chunked writer against the dialog's own writer routine,
// for every mode, sizes around both the dialog's blocks and the line, and
// chunk sizes that do and do not divide them.
class ModeSizeChunk : public MadeFile, public testing::WithParamInterface<std::tuple<ContentKind, int64_t, size_t>> {};

TEST_P(ModeSizeChunk, SameBytesAsTheDialogsEngine) {
    const ContentKind mode = std::get<0>(GetParam());
    const int64_t size = std::get<1>(GetParam());
    const size_t chunkSize = std::get<2>(GetParam());
    const uint32_t seed = 0x9E3779B9u;

    MakeRequest request;
    request.mode = mode;
    request.size = size;
    request.seed = seed;
    std::vector<unsigned char> chunk(chunkSize);
    std::string reason;
    ASSERT_EQ(MakeFile(path.c_str(), request, chunk.data(), chunk.size(), nullptr, &reason), kMade) << reason;
    EXPECT_EQ(FileLength(path), size);
    const std::string made = ReadWholeFile(path);
    const std::string expected = DialogEngineBytes(mode, size, seed, reference);
    ASSERT_EQ(made.size(), expected.size());
    EXPECT_TRUE(made == expected) << "first difference at byte "
                                  << std::mismatch(made.begin(), made.end(), expected.begin()).first - made.begin();
}

INSTANTIATE_TEST_SUITE_P(SmallChunks, ModeSizeChunk,
                         testing::Combine(testing::Values(kZeroContent, kRandomContent, kAsciiContent, kSizeContent),
                                          testing::Values(0, 1, 63, 64, 65, 100, 1023, 1024, 1025, 5000),
                                          testing::Values(size_t(7), size_t(64), size_t(1000))));

INSTANTIATE_TEST_SUITE_P(ProgramChunk, ModeSizeChunk,
                         testing::Combine(testing::Values(kZeroContent, kRandomContent, kAsciiContent, kSizeContent),
                                          testing::Values(1, 1025, (1 << 20) - 1, 1 << 20, (3 << 20) + 100),
                                          testing::Values(kCliChunkSize)));

struct ProgressLog {
    std::vector<int64_t> done;
    int64_t total = 0;
};

TEST_F(MadeFile, ProgressIsToldAfterEveryChunkUpToTheSize) {
    MakeRequest request;
    request.mode = kAsciiContent;
    request.size = 2500;
    std::vector<unsigned char> chunk(1000);
    ProgressLog log;
    std::string reason;
    ASSERT_EQ(MakeFile(
                  path.c_str(), request, chunk.data(), chunk.size(),
                  [&log](int64_t done, int64_t total) {
                      log.done.push_back(done);
                      log.total = total;
                  },
                  &reason),
              kMade);
    EXPECT_EQ(log.done, std::vector<int64_t>({1000, 2000, 2500}));
    EXPECT_EQ(log.total, 2500);
}

TEST_F(MadeFile, ExistingFileIsReplacedOrKeptWithNoClobber) {
    MakeRequest request;
    request.mode = kAsciiContent;
    request.size = 3;
    std::vector<unsigned char> chunk(kCliChunkSize);
    std::string reason;
    request.size = 5000;
    ASSERT_EQ(MakeFile(path.c_str(), request, chunk.data(), chunk.size(), nullptr, &reason), kMade);
    request.size = 3;
    ASSERT_EQ(MakeFile(path.c_str(), request, chunk.data(), chunk.size(), nullptr, &reason), kMade);
    EXPECT_EQ(ReadWholeFile(path), "ABC");

    request.noClobber = true;
    request.mode = kZeroContent;
    EXPECT_EQ(MakeFile(path.c_str(), request, chunk.data(), chunk.size(), nullptr, &reason), kFailed);
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(ReadWholeFile(path), "ABC") << "a refused file must be left as it was";
}

TEST_F(MadeFile, MissingFolderFailsWithTheSystemsReason) {
    MakeRequest request;
    request.size = 10;
    std::vector<unsigned char> chunk(64);
    std::string reason;
    const std::string inMissing = JoinPath(JoinPath(dir, "no-such-folder"), "f.bin");
    EXPECT_EQ(MakeFile(inMissing.c_str(), request, chunk.data(), chunk.size(), nullptr, &reason), kFailed);
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(FileLength(inMissing), -1);
}

TEST_F(MadeFile, FullDeviceFailsAndIsNotRemoved) {
    MakeRequest request;
    request.mode = kRandomContent;
    request.size = 5000;
    std::vector<unsigned char> chunk(kCliChunkSize);
    std::string reason;
    const std::string full = FullDeviceIn(dir);
    ASSERT_FALSE(full.empty());
    EXPECT_EQ(MakeFile(full.c_str(), request, chunk.data(), chunk.size(), nullptr, &reason), kFailed);
    EXPECT_FALSE(reason.empty());
    // Only ordinary files are removed: the device (here, the link to it) stays.
    EXPECT_TRUE(PathExists(full));
    if (full != FullDevicePath()) RemoveFile(full);
}

TEST(ProgressText, BytesRatePercentAndTimeLeft) {
    EXPECT_EQ(FormatBytes(0), "0 B");
    EXPECT_EQ(FormatBytes(1023), "1023 B");
    EXPECT_EQ(FormatBytes(1024), "1.0 KiB");
    EXPECT_EQ(FormatBytes(1536), "1.5 KiB");
    EXPECT_EQ(FormatBytes(512.0 * 1024 * 1024), "512.0 MiB");
    EXPECT_EQ(FormatBytes(1024.0 * 1024 * 1024 * 1024), "1.0 TiB");
    EXPECT_EQ(FormatDuration(0), "0:00");
    EXPECT_EQ(FormatDuration(65), "1:05");
    EXPECT_EQ(FormatDuration(3723), "1:02:03");
    EXPECT_EQ(FormatProgress(512LL << 20, 1LL << 30, 2.0), "512.0 MiB / 1.0 GiB   50%  256.0 MiB/s  ETA 0:02");
    EXPECT_EQ(FormatProgress(0, 1LL << 30, 0.0), "0 B / 1.0 GiB    0%  ETA --:--");
    EXPECT_EQ(FormatProgress(1LL << 30, 1LL << 30, 4.0), "1.0 GiB / 1.0 GiB  100%  256.0 MiB/s  ETA 0:00");
    // The largest size: the percent must not overflow.
    EXPECT_EQ(FormatProgress(INT64_MAX / 4, INT64_MAX, 1.0).substr(0, 30), "2.0 EiB / 8.0 EiB   25%  2.0 E");
}

// The line fits in one column less than the terminal: figures drop first,
// then the name is cut in its middle (wide characters count twice).
TEST(ProgressText, FitsTheTerminal) {
    const std::string full = "512.0 MiB / 1.0 GiB   50%  256.0 MiB/s  ETA 0:02";
    const std::string name = "abcdefghijklmnopqrstuvwxyz0123456789.bin";
    const std::string wide = "\xE6\x95\xB0\xE6\x8D\xAE";  // two characters, four columns
    const std::tuple<std::string, int, std::string> table[] = {
        {"big.bin", 80, "big.bin  " + full},
        {"big.bin", 0, "big.bin  " + full},  // width unknown: 80
        {name, 80, "abcdefghijklm...123456789.bin  " + full},
        {name, 40, "abcde....bin  512.0 MiB / 1.0 GiB   50%"},
        {name, 20, "abcde...9.bin   50%"},
        {name, 5, " 50%"},
        {wide + wide + wide + wide + wide + ".bin", 40, wide + "....bin  512.0 MiB / 1.0 GiB   50%"},
    };
    for (const auto& row : table)
        EXPECT_EQ(FitProgress(std::get<0>(row), 512LL << 20, 1LL << 30, 2.0, std::get<1>(row)), std::get<2>(row))
            << std::get<1>(row);
}

}  // namespace
