// What stopped a drive test: a sentence that names one file or folder, kept
// in its parts so that the words can show the name quoted.
#pragma once

#include <optional>
#include <string>

struct DriveProblem {
    std::string what;    // the words before the path ("cannot write"); empty when the path begins the sentence
    std::string path;    // the file or folder, as it stands there
    std::string reason;  // the words after the path, with what joins them (": Read-only file system", " is a FIFO")
};

// The sentence with the path as it stands, for JSON and the page, which
// escape it their own way; empty when nothing stopped the test.
std::string ProblemText(const std::optional<DriveProblem>& problem);
// The sentence with the path quoted as the shell would need it, as every
// message of the command line quotes names.
std::string QuotedProblemText(const std::optional<DriveProblem>& problem);
