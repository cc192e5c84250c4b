#include "drive_problem.h"

#include "shown_name.h"

namespace {

std::string Sentence(const DriveProblem& problem, const std::string& shownPath) {
    return problem.what + (problem.what.empty() ? "" : " ") + shownPath + problem.reason;
}

}  // namespace

std::string ProblemText(const std::optional<DriveProblem>& problem) {
    return problem ? Sentence(*problem, problem->path) : std::string();
}

std::string QuotedProblemText(const std::optional<DriveProblem>& problem) {
    return problem ? Sentence(*problem, QuotedName(problem->path)) : std::string();
}
