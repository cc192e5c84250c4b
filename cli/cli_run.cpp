#include "cli_run.h"

#include "cli_make.h"
#include "cli_options.h"
#include "cli_platform.h"
#include "cli_progress.h"
#include "platform.h"  // the engine's clock, as the dialog's random writer reads it

#include <cstdio>
#include <vector>

static const char kProgram[] = "fillwright-cli";

static int UsageError(const std::string& error) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram, error.c_str(), kProgram);
    return kExitUsage;
}

// Writes help or version text to stdout; a failed write (e.g. stdout on a
// full disk) is a failure, not a silent success.
static int PrintToStdout(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "%s: cannot write to standard output\n", kProgram);
        return kExitFailed;
    }
    return kExitMade;
}

int RunCli(int argc, const char* const* argv) {
    CliOptions options;
    std::string error;
    if (!ParseArguments(argc, argv, &options, &error)) return UsageError(error);
    if (options.help) return PrintToStdout(HelpText());
    if (options.version) return PrintToStdout(VersionText());

    CliWatchInterrupt();
    MakeRequest request;
    request.mode = options.mode;
    request.size = options.size;
    request.allocate = options.allocate;
    request.noClobber = options.noClobber;

    uint32_t firstSeed = options.seed;
    if (options.mode == RandomFill && !options.seedGiven) {
        // The dialog's seed: the calendar clock in whole seconds, cut to 32 bits.
        firstSeed = static_cast<uint32_t>(fileOps.calendarSeconds());
        if (!options.quiet)
            std::fprintf(stderr, "%s: random seed %lu (give -s %lu to make the same bytes again)\n", kProgram,
                         static_cast<unsigned long>(firstSeed), static_cast<unsigned long>(firstSeed));
    }

    const bool showProgress = !options.quiet && CliStderrIsTerminal();
    std::vector<unsigned char> chunk(options.mode == SetSizeOnly ? 1 : kCliChunkSize);
    int status = kExitMade;
    for (size_t i = 0; i < options.files.size(); ++i) {
        const std::string& path = options.files[i];
        request.seed = firstSeed + static_cast<uint32_t>(i);  // wraps modulo 2^32 like the seed itself
        ProgressLine line;
        ProgressBegin(&line, path);
        const MakeOutcome outcome = MakeFile(path.c_str(), request, chunk.data(), chunk.size(),
                                             showProgress ? ProgressUpdate : nullptr, &line, &error);
        ProgressEnd(&line, outcome == kMade);
        if (outcome == kInterrupted) {
            std::fprintf(stderr, "%s: %s: interrupted; the unfinished file was removed\n", kProgram, path.c_str());
            return kExitInterrupted;
        }
        if (outcome == kFailed) {
            std::fprintf(stderr, "%s: %s: %s\n", kProgram, path.c_str(), error.c_str());
            status = kExitFailed;  // the remaining files are still made
        }
    }
    return status;
}
