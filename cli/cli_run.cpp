#include "cli_run.h"

#include "cli_check.h"
#include "cli_drive.h"
#include "cli_exit_status.h"
#include "cli_make.h"
#include "cli_messages.h"
#include "cli_options.h"
#include "cli_platform.h"

#include <string>
#include <vector>

static int UsageError(const std::string& error) {
    Tell(error + "\nTry '" + kProgramName + " --help' for more information.");
    return kExitUsage;
}

static int PrintToStdout(const std::string& text) { return WriteToStdout(text) ? kExitMade : kExitFailed; }

int RunCli(int argc, const char* const* argv) {
    CliOptions options;
    std::string error;
    if (!ParseArguments(argc, argv, &options, &error)) return UsageError(error);
    const CliJob job = JobOf(options);
    if (job == kHelpJob) return PrintToStdout(HelpText());
    if (job == kVersionJob) return PrintToStdout(VersionText());
    std::vector<std::string> files;
    if (!CliExpandWildcards(options.files, &files, &error)) {
        Tell(error);
        return kExitFailed;
    }
    options.files = files;

    CliWatchInterrupt();
    const bool showProgress = !options.quiet && CliStderrIsTerminal();
    if (job == kDriveFillJob || job == kDriveVerifyJob) return RunDriveTest(options, showProgress);
    // A check of random mode without a seed finds it from each file instead.
    if (job == kCheckJob) return CheckFiles(options, showProgress);
    return MakeFiles(options, showProgress);
}
