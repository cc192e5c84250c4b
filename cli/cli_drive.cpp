#include "cli_drive.h"

#include "cli_exit_status.h"
#include "cli_messages.h"
#include "cli_platform.h"
#include "cli_progress.h"
#include "drive_page.h"
#include "drive_page_file.h"
#include "drive_report.h"
#include "drive_test.h"
#include "shown_name.h"
#include "system.h"

#include <cstdio>
#include <optional>

namespace {

int ExitStatus(DriveResult result) {
    switch (result) {
        case DriveResult::ok: return kExitMade;
        case DriveResult::interrupted: return kExitInterrupted;
        case DriveResult::lost:
        case DriveResult::failed:
        case DriveResult::unproven: return kExitFailed;
    }
    return kExitFailed;
}

// JSON progress events: often enough to follow, not one per request.
const double kJsonProgressInterval = 1.0;

}  // namespace

int RunDriveTest(const CliOptions& options, bool showProgress) {
    DriveTestOptions test;
    test.folder = options.files.front();
    const std::string folder = QuotedName(test.folder);  // in messages
    if (options.total) test.total = static_cast<uint64_t>(*options.total);
    if (options.fileSize) test.fileSize = static_cast<uint64_t>(*options.fileSize);
    test.verify = !options.noVerify;
    test.stopEarly = !options.keepGoing;
    // A page that could not be saved is refused before the drive is touched.
    if (options.report) {
        const std::optional<std::string> problem = DrivePagePathProblem(SystemDriveOps(), *options.report, test.folder);
        if (problem) {
            Tell(QuotedName(*options.report) + ": " + *problem);
            return kExitUsage;
        }
    }
    test.allowSystemDrive = options.allowSystemDrive;

    ProgressLine line;
    ProgressBegin(&line, "");
    // Each phase ends its line with its last figures.
    std::optional<DriveProgress> shown;
    const auto endLine = [&] {
        if (shown && line.drawn) {
            ProgressShow(&line, DriveProgressForms(*shown), true);
            ProgressEnd(&line, false);
        }
        ProgressBegin(&line, "");
    };
    double lastJson = -kJsonProgressInterval;
    DriveEvents events;
    events.interrupted = [] { return CliInterrupted(); };
    events.begun = [&](const DriveReport& begun) {
        if (begun.onSystemDrive) {
            Tell("warning: " + folder + " is on the system's own drive; programs there may run out of space");
        }
        if (options.quiet) return;
        if (begun.replacedFinishedSet) Tell("replacing the finished test set in " + folder);
        if (begun.resumedAt)
            Tell("resuming the test set in " + folder + " at byte " + std::to_string(*begun.resumedAt));
    };
    events.progress = [&](const DriveProgress& progress) {
        if (showProgress && shown && shown->phase != progress.phase) endLine();
        if (showProgress) ProgressShow(&line, DriveProgressForms(progress));
        shown = progress;
        const double now = MonotonicSeconds();
        if (options.json && now - lastJson >= kJsonProgressInterval) {
            Say(stdout, DriveProgressJson(progress) + "\n");
            lastJson = now;
        }
    };
    events.speed = [&](const SpeedSample& sample) {
        if (options.json) Say(stdout, DriveSpeedJson(sample) + "\n");
    };
    const DriveReport report = JobOf(options) == kDriveFillJob ? RunDriveFill(SystemDriveOps(), test, events)
                                                               : RunDriveVerify(SystemDriveOps(), test, events);
    endLine();

    const std::string problem = QuotedProblemText(report.problem);
    if (!problem.empty()) Tell(problem);
    if (report.result == DriveResult::interrupted) Tell("interrupted; the test set stays in " + folder);
    if (options.json) {
        std::string lines;
        for (const BadRange& range : report.tally.ranges) lines += DriveRangeJson(range) + "\n";
        Say(stdout, lines + DriveSummaryJson(report) + "\n");
    } else if (!(report.result == DriveResult::failed && report.bytesWritten == 0)) {
        Say(stdout, DriveReportText(report, folder, problem));
    }
    int status = ExitStatus(report.result);
    std::string reason;
    if (options.report && !SaveDrivePage(SystemDriveOps(), *options.report, DrivePageHtml(report), &reason)) {
        Tell(QuotedName(*options.report) + ": cannot save the page: " + reason);
        if (status == kExitMade) status = kExitFailed;
    }
    if (std::ferror(stdout)) {
        Tell("cannot write to standard output");
        return kExitFailed;
    }
    if (report.refusedSystemDrive) return kExitUsage;
    return status;
}
