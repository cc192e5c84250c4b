// libFuzzer target: the command line's parsers on any bytes. The input is
// split at NUL bytes into the words of a command line; the whole input is
// also read as one SIZE. Besides the sanitizers' findings, any broken promise
// of the parsers stops the run.
#include "cli_options.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

static void Require(bool promise) {
    if (!promise) std::abort();
}

// A size that parses reads back the same from its plain digits; a refused one
// says so, naming the text, and leaves the result alone.
static void CheckSize(const std::string& text) {
    int64_t bytes = -1;
    std::string error;
    if (!ParseSize(text, &bytes, &error)) {
        Require(bytes == -1 && !error.empty());
        Require(error.find("'" + text + "'") != std::string::npos);
        return;
    }
    Require(bytes >= 0 && error.empty());
    int64_t again = -1;
    Require(ParseSize(std::to_string(bytes), &again, &error) && again == bytes);
}

// A command line that parses asks for help or version, or names a SIZE and
// at least one non-empty FILE; one that does not says why.
static void CheckArguments(const std::vector<std::string>& words) {
    std::vector<const char*> argv = {"fillwright-cli"};
    for (const std::string& word : words) argv.push_back(word.c_str());
    CliOptions options;
    std::string error;
    if (!ParseArguments(static_cast<int>(argv.size()), argv.data(), &options, &error)) {
        Require(!error.empty());
        return;
    }
    Require(!(options.help && options.version));
    if (options.help || options.version) return;
    Require(options.size >= 0 && !options.files.empty());
    for (const std::string& file : options.files) Require(!file.empty());
    Require(!options.seed || ContentHasSeed(options.mode));
    Require(!options.allocate || options.mode == kSizeContent);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    CheckSize(input);
    std::vector<std::string> words;
    size_t start = 0;
    for (size_t end = input.find('\0'); end != std::string::npos; end = input.find('\0', start)) {
        words.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    words.push_back(input.substr(start));
    CheckArguments(words);
    return 0;
}
