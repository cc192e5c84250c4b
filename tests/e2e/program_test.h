// The fixture of every case that runs the program: a fresh instance and a
// folder of its own for output files, both gone after the case whatever
// happened in it.
#pragma once

#include "driver.h"

#include <gtest/gtest.h>

// The dialog back at rest: Save enabled, nothing else open, the bar empty.
inline void ExpectIdle(const Program& program) {
    ASSERT_TRUE(WaitUntil([&] { return SaveEnabled(program); }, kWindowWait)) << "Save not enabled again";
    EXPECT_TRUE(ProgramPopups(program).empty()) << "nothing may stay open";
    EXPECT_EQ(ProgressPosition(program), 0);
    EXPECT_TRUE(ProgramRunning(program));
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = MakeTempFolder();
        ASSERT_FALSE(folder.empty()) << "cannot make a temp folder";
        ASSERT_TRUE(StartProgram(program)) << "fillwright did not start: " << ProgramPath();
    }
    void TearDown() override {
        StopProgram(program);
        RemoveFolderTree(folder);
    }
    std::string InFolder(const std::string& name) const { return folder + "\\" + name; }

    Program program{};
    std::string folder;
};
