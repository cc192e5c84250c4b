// A scratch folder for the tests that run the real program, and the files
// they make in it, removed afterwards.
#pragma once

#include "run_program.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ProgramFolder : public testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir();
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override {
        for (const std::string& file : made) RemoveFile(file);
        RemoveDir(dir);
    }
    std::string File(const std::string& name) {
        made.push_back(JoinPath(dir, name));
        return made.back();
    }
    ProgramRun Run(const std::vector<std::string>& args, const std::string* input = nullptr) {
        return RunCliProgram(args, dir, input);
    }
    std::string dir;
    std::vector<std::string> made;
};
