// The fixture of every case that runs the program: a fresh instance and a
// folder of its own for output files, both gone after the case whatever
// happened in it.
#pragma once

#include "driver.h"

#include <gtest/gtest.h>

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
