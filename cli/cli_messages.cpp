#include "cli_messages.h"

#include "cli_platform.h"
#include "shown_name.h"

#include <cerrno>
#include <cstring>

void Say(FILE* stream, const std::string& text) {
    CliWriteText(stream, text);
    std::fflush(stream);
}

void Tell(const std::string& message) { Say(stderr, std::string(kProgramName) + ": " + message + "\n"); }

void TellAbout(const std::string& path, const std::string& message) { Tell(QuotedName(path) + ": " + message); }

bool WriteToStdout(const std::string& text) {
    errno = 0;
    const bool written = CliWriteText(stdout, text);
    if (!written || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int error = errno;
        Tell(std::string("write error") + (error != 0 ? std::string(": ") + std::strerror(error) : ""));
        return false;
    }
    return true;
}
