// The platform's file operations keep one meaning on every platform: a
// position set is where the next block goes and where the end is cut, as
// SetFilePointerEx and SetEndOfFile have it on Windows. The same cases run
// against the POSIX calls natively and the Win32 calls under Wine.
#include "platform.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class PlatformFileOps : public ::testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir();
        path = JoinPath(dir, "ops.bin");
        file = CreateOutputFile(path);
        ASSERT_NE(file, kNoFile);
    }
    void TearDown() override {
        if (file != kNoFile) platformFileOps.closeFile(file);
        RemoveFile(path);
        RemoveDir(dir);
    }
    void Write(const std::string& text) {
        ASSERT_TRUE(platformFileOps.writeBlock(file, text.data(), static_cast<uint32_t>(text.size())));
    }
    std::string CloseAndRead() {
        platformFileOps.closeFile(file);
        file = kNoFile;
        return ReadWholeFile(path);
    }

    std::string dir, path;
    FileHandle file = kNoFile;
};

TEST_F(PlatformFileOps, EndIsCutAtThePositionSet) {
    Write("abcdef");
    ASSERT_TRUE(platformFileOps.setPosition(file, 2));
    ASSERT_TRUE(platformFileOps.setEndOfFile(file));
    EXPECT_EQ(CloseAndRead(), "ab");
}

TEST_F(PlatformFileOps, EndExtendsWithZeros) {
    Write("ab");
    ASSERT_TRUE(platformFileOps.setPosition(file, 5));
    ASSERT_TRUE(platformFileOps.setEndOfFile(file));
    EXPECT_EQ(CloseAndRead(), std::string("ab\0\0\0", 5));
}

TEST_F(PlatformFileOps, NextBlockGoesToThePositionSet) {
    Write("abcdef");
    ASSERT_TRUE(platformFileOps.setPosition(file, 1));
    Write("XY");
    Write("Z");
    EXPECT_EQ(CloseAndRead(), "aXYZef");
}

TEST_F(PlatformFileOps, CuttingLeavesThePositionWhereItWas) {
    Write("abcdef");
    ASSERT_TRUE(platformFileOps.setPosition(file, 3));
    ASSERT_TRUE(platformFileOps.setEndOfFile(file));
    Write("XY");
    EXPECT_EQ(CloseAndRead(), "abcXY");
}

TEST_F(PlatformFileOps, EndWithoutAPositionSetIsWhereWritingStopped) {
    Write("abc");
    ASSERT_TRUE(platformFileOps.setEndOfFile(file));
    EXPECT_EQ(CloseAndRead(), "abc");
}

TEST_F(PlatformFileOps, NegativePositionFails) {
    Write("abc");
    EXPECT_FALSE(platformFileOps.setPosition(file, -1));
    ASSERT_TRUE(platformFileOps.setEndOfFile(file));
    EXPECT_EQ(CloseAndRead(), "abc") << "a refused position changes nothing";
}

TEST_F(PlatformFileOps, PositionSetOnAClosedFileDoesNotReachTheNextFile) {
    // The next file opened may get the closed one's handle value back.
    ASSERT_TRUE(platformFileOps.setPosition(file, 4));
    platformFileOps.closeFile(file);
    file = CreateOutputFile(path);
    ASSERT_NE(file, kNoFile);
    Write("ab");
    ASSERT_TRUE(platformFileOps.setEndOfFile(file));
    EXPECT_EQ(CloseAndRead(), "ab");
}

}  // namespace
