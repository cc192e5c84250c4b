#include "cli_run.h"

#include "cli_check.h"
#include "cli_drive.h"
#include "cli_exit_status.h"
#include "cli_make.h"
#include "cli_names.h"
#include "cli_options.h"
#include "cli_platform.h"
#include "cli_progress.h"
#include "cli_report.h"
#include "system.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

static const char kProgram[] = "fillwright-cli";

// One message on stderr, after the program's name.
static void Tell(const std::string& message) { CliWriteText(stderr, std::string(kProgram) + ": " + message + "\n"); }

// One message about a file: its name first, quoted where it needs to be.
static void TellAbout(const std::string& path, const std::string& message) { Tell(QuotedName(path) + ": " + message); }

// What became of a file that could not be finished, after what stopped it.
static std::string UnfinishedNote(const Unfinished& unfinished) {
    if (unfinished.removed) return "; the unfinished file was removed";
    if (unfinished.whyLeft.empty()) return "";  // a device or a pipe: nothing was made to remove
    return "; the unfinished file was left (" + std::to_string(unfinished.length) + " bytes): " + unfinished.whyLeft;
}

static int UsageError(const std::string& error) {
    Tell(error + "\nTry '" + kProgram + " --help' for more information.");
    return kExitUsage;
}

// Writes text to stdout; a failed write (e.g. stdout on a full disk) is a
// failure told with the system's reason, not a silent success.
static bool WriteToStdout(const std::string& text) {
    errno = 0;
    const bool written = CliWriteText(stdout, text);
    if (!written || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int error = errno;
        Tell(std::string("write error") + (error != 0 ? std::string(": ") + std::strerror(error) : ""));
        return false;
    }
    return true;
}

static int PrintToStdout(const std::string& text) { return WriteToStdout(text) ? kExitMade : kExitFailed; }

// Buffers start at a page boundary: the system copies to and from an aligned
// buffer markedly faster (seen: a 1 GiB check 15 % faster).
static const size_t kPageAlignment = 4096;

static FileReport ReportOf(const CliOptions& options, const std::string& path, std::optional<uint32_t> seed) {
    FileReport report;
    report.file = path;
    report.mode = options.mode;
    report.size = options.size;
    if (ContentHasSeed(options.mode)) report.seed = seed;
    return report;
}

// The progress line's updates, when it is shown.
static ProgressSink ProgressTo(ProgressLine* line, bool showProgress) {
    if (!showProgress) return ProgressSink();
    return [line](int64_t done, int64_t total) { ProgressUpdate(line, done, total); };
}

static const char* CheckResultName(CheckOutcome outcome) {
    const char* names[] = {"ok", "differs", "failed", "interrupted"};
    return names[outcome];
}

// One file of --check: its line (or JSON object) on stdout, a failure on stderr.
static bool ReportCheck(const CliOptions& options, const std::string& path, const CheckRequest& request,
                        const CheckResult& result, double seconds) {
    if (result.outcome == kCheckFailed) TellAbout(path, result.reason);
    if (result.outcome == kCheckInterrupted) TellAbout(path, "interrupted");
    if (options.json) {
        FileReport report = ReportOf(options, path, result.seed);
        report.result = CheckResultName(result.outcome);
        if (result.length >= 0) report.length = result.length;
        report.check = &result;
        report.seconds = seconds;
        report.error = result.reason;
        return WriteToStdout(JsonLine(report) + "\n");
    }
    if (result.outcome == kCheckFailed || result.outcome == kCheckInterrupted) return true;
    if (options.quiet && result.outcome == kCheckOk) return true;  // as sha256sum --quiet: only what is not OK
    return WriteToStdout(CheckLine(path, request.size, result) + "\n");
}

static int CheckFiles(const CliOptions& options, bool showProgress) {
    const AlignedMemory storage = AllocateAligned(3 * kCheckChunkSize, kPageAlignment);
    unsigned char* const buffers = storage.bytes;
    CheckRequest request;
    request.mode = options.mode;
    request.size = options.size;
    request.seedSlack = static_cast<int64_t>(options.files.size()) - 1;
    int status = kExitMade;
    for (size_t i = 0; i < options.files.size(); ++i) {
        const std::string& path = options.files[i];
        if (options.seed) request.seed = *options.seed + static_cast<uint32_t>(i);  // as when making
        ProgressLine line;
        ProgressBegin(&line, path);
        const CheckResult result = CheckFile(path.c_str(), request, buffers, ProgressTo(&line, showProgress));
        ProgressEnd(&line, result.outcome != kCheckInterrupted && result.outcome != kCheckFailed);
        if (!ReportCheck(options, path, request, result, MonotonicSeconds() - line.started)) return kExitFailed;
        if (result.outcome == kCheckInterrupted) return kExitInterrupted;
        if (CheckFailed(result)) status = kExitFailed;  // the remaining files are still checked
    }
    return status;
}

static int MakeFiles(const CliOptions& options, uint32_t firstSeed, bool showProgress) {
    MakeRequest request;
    request.mode = options.mode;
    request.size = options.size;
    request.allocate = options.allocate;
    request.noClobber = options.noClobber;
    const size_t chunkSize =
        options.mode == kSizeContent ? 1 : options.mode == kNoiseContent ? 2 * kCliChunkSize : kCliChunkSize;
    const AlignedMemory storage = AllocateAligned(chunkSize, kPageAlignment);
    unsigned char* const chunk = storage.bytes;
    std::string error;
    int status = kExitMade;
    for (size_t i = 0; i < options.files.size(); ++i) {
        const std::string& path = options.files[i];
        request.seed = firstSeed + static_cast<uint32_t>(i);  // wraps modulo 2^32 like the seed itself
        ProgressLine line;
        ProgressBegin(&line, path);
        Unfinished unfinished;
        const MakeOutcome outcome =
            MakeFile(path.c_str(), request, chunk, chunkSize, ProgressTo(&line, showProgress), &error, &unfinished);
        ProgressEnd(&line, outcome == kMade);
        if (outcome == kInterrupted) TellAbout(path, "interrupted" + UnfinishedNote(unfinished));
        if (outcome == kFailed) TellAbout(path, error + UnfinishedNote(unfinished));
        if (options.json) {
            FileReport report = ReportOf(options, path, request.seed);
            const char* results[] = {"made", "failed", "interrupted"};
            report.result = results[outcome];
            if (outcome == kMade) report.length = options.size;
            if (outcome == kInterrupted) report.length = unfinished.length;  // the length it reached
            report.seconds = MonotonicSeconds() - line.started;
            report.error = error;
            if (!WriteToStdout(JsonLine(report) + "\n")) return kExitFailed;
        }
        if (outcome == kInterrupted) return kExitInterrupted;
        if (outcome == kFailed) status = kExitFailed;  // the remaining files are still made
    }
    return status;
}

int RunCli(int argc, const char* const* argv) {
    CliOptions options;
    std::string error;
    if (!ParseArguments(argc, argv, &options, &error)) return UsageError(error);
    if (options.help) return PrintToStdout(HelpText());
    if (options.version) return PrintToStdout(VersionText());
    std::vector<std::string> files;
    if (!CliExpandWildcards(options.files, &files, &error)) {
        Tell(error);
        return kExitFailed;
    }
    options.files = files;

    CliWatchInterrupt();
    const bool showProgress = !options.quiet && CliStderrIsTerminal();
    if (options.fill || options.verify) return RunDriveTest(options, showProgress);
    // A check of random mode without a seed finds it from each file instead.
    if (options.check) return CheckFiles(options, showProgress);
    uint32_t firstSeed = options.seed.value_or(0);
    if (ContentHasSeed(options.mode) && !options.seed) {
        // The dialog's seed: the calendar clock in whole seconds, cut to 32 bits.
        firstSeed = static_cast<uint32_t>(CalendarSeconds());
        if (!options.quiet) {
            Tell(std::string(ContentKindName(options.mode)) + " seed " + std::to_string(firstSeed) + " (give -s " +
                 std::to_string(firstSeed) + " to make the same bytes again)");
        }
    }
    return MakeFiles(options, firstSeed, showProgress);
}
