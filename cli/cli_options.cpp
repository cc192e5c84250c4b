#include "cli_options.h"

#include "cli_platform.h"
#include "drive_set.h"

#include <algorithm>
#include <cstring>

static const int64_t kLargestSize = INT64_MAX;

static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the leading run of decimal digits into *value; false on no digits or
// on a value above limit. *end is the index after the digits.
static bool ReadWholeNumber(const std::string& text, uint64_t limit, uint64_t* value, size_t* end, bool* tooLarge) {
    uint64_t number = 0;
    size_t i = 0;
    *tooLarge = false;
    while (i < text.size() && IsDigit(text[i])) {
        const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
        if (number > (limit - digit) / 10) *tooLarge = true;
        if (!*tooLarge) number = number * 10 + digit;
        ++i;
    }
    *value = number;
    *end = i;
    return i > 0;
}

// 1024^power, or 1000^power for a decimal unit.
static uint64_t PowerOf(uint64_t base, int power) {
    uint64_t factor = 1;
    for (int i = 0; i < power; ++i) factor *= base;
    return factor;
}

static int PrefixPower(char letter) {
    switch (letter) {
        case 'k': case 'K': return 1;
        case 'm': case 'M': return 2;
        case 'g': case 'G': return 3;
        case 't': case 'T': return 4;
        default: return 0;
    }
}

// The factor of unit, in any case where it reads one way only: "" and B are
// bytes; K, KiB (kib, KIB, ...) are 1024; KB and kB are 1000; the same for M,
// G and T. A lowercase b alone or right after the letter could mean bits (or
// dd's 512-byte blocks): 0 with *ambiguous set. 0 alone: not a unit.
static uint64_t UnitFactor(const std::string& unit, bool* ambiguous) {
    *ambiguous = false;
    if (unit.empty() || unit == "B") return 1;
    if (unit == "b") {
        *ambiguous = true;
        return 0;
    }
    const int power = PrefixPower(unit[0]);
    if (power == 0) return 0;
    const std::string rest = unit.substr(1);
    if (rest.empty() || rest == "iB" || rest == "ib" || rest == "IB" || rest == "Ib") return PowerOf(1024, power);
    if (rest == "B") return PowerOf(1000, power);
    if (rest == "b") *ambiguous = true;
    return 0;
}

bool ParseSize(const std::string& text, int64_t* bytes, std::string* error) {
    const std::string quoted = "'" + text + "'";
    if (text.empty()) {
        *error = "invalid size '': a number of bytes is needed";
        return false;
    }
    if (text[0] == '-') {
        *error = "invalid size " + quoted + ": it must not be negative";
        return false;
    }
    uint64_t number = 0;
    size_t end = 0;
    bool tooLarge = false;
    if (!ReadWholeNumber(text, static_cast<uint64_t>(kLargestSize), &number, &end, &tooLarge)) {
        *error = "invalid size " + quoted + ": it must start with a whole number";
        return false;
    }
    const std::string unit = text.substr(end);
    if (!unit.empty() && (unit[0] == '.' || unit[0] == ',')) {
        *error = "invalid size " + quoted + ": only whole numbers are accepted";
        return false;
    }
    bool ambiguous = false;
    const uint64_t factor = UnitFactor(unit, &ambiguous);
    if (ambiguous) {
        *error = "invalid size " + quoted + ": a lowercase b could mean bits (or 512-byte blocks); write B for bytes";
        return false;
    }
    if (factor == 0) {
        *error = "invalid size " + quoted + ": unknown unit '" + unit +
                 "' (use B, K, M, G, T, KiB, MiB, GiB, TiB, KB, MB, GB or TB, in any case)";
        return false;
    }
    if (tooLarge || number > static_cast<uint64_t>(kLargestSize) / factor) {
        *error = "invalid size " + quoted + ": larger than 9223372036854775807 bytes";
        return false;
    }
    *bytes = static_cast<int64_t>(number * factor);
    return true;
}

bool ParseSeed(const std::string& text, uint32_t* seed, std::string* error) {
    uint64_t number = 0;
    size_t end = 0;
    bool tooLarge = false;
    if (!ReadWholeNumber(text, 0xFFFFFFFFull, &number, &end, &tooLarge) || end != text.size() || tooLarge) {
        *error = "invalid seed '" + text + "': a whole number from 0 to 4294967295 is needed";
        return false;
    }
    *seed = static_cast<uint32_t>(number);
    return true;
}

bool ParseMode(const std::string& text, ContentKind* mode, std::string* error) {
    const std::optional<ContentKind> named = ContentKindNamed(text);
    if (!named) {
        *error = "invalid mode '" + text + "': use zero, random, ascii, size or noise";
        return false;
    }
    *mode = *named;
    return true;
}

// The value of an option that takes one: the rest of the word ("-mrandom",
// "--mode=random") or the next word. False when there is none.
static bool TakeValue(const std::string& inlineValue, bool hasInline, int argc, const char* const* argv, int* i,
                      std::string* value) {
    if (hasInline) {
        *value = inlineValue;
        return true;
    }
    if (*i + 1 >= argc) return false;
    *value = argv[++*i];
    return true;
}

enum OptionId { kModeOption, kSeedOption, kAllocateOption, kNoClobberOption, kQuietOption, kCheckOption,
                kJsonOption, kHelpOption, kVersionOption, kFillOption, kVerifyOption, kTotalOption, kFileSizeOption,
                kNoVerifyOption, kKeepGoingOption, kReportOption, kAllowSystemDriveOption };

struct OptionName {
    const char* longName;
    char letter;  // 0: none
    OptionId id;
    bool takesValue;
};

static const OptionName kOptionNames[] = {
    {"mode", 'm', kModeOption, true},
    {"seed", 's', kSeedOption, true},
    {"allocate", 0, kAllocateOption, false},
    {"no-clobber", 'n', kNoClobberOption, false},
    {"quiet", 'q', kQuietOption, false},
    {"check", 0, kCheckOption, false},
    {"json", 0, kJsonOption, false},
    {"help", 'h', kHelpOption, false},
    {"version", 0, kVersionOption, false},
    {"fill", 0, kFillOption, false},
    {"verify", 0, kVerifyOption, false},
    {"total", 0, kTotalOption, true},
    {"file-size", 0, kFileSizeOption, true},
    {"no-verify", 0, kNoVerifyOption, false},
    {"keep-going", 0, kKeepGoingOption, false},
    {"report", 0, kReportOption, true},
    {"allow-system-drive", 0, kAllowSystemDriveOption, false},
};

// The long option name (without "--") stands for: its whole name or, as
// getopt_long allows, a prefix of one name only.
static const OptionName* LongOptionNamed(const std::string& name, const std::string& word, std::string* error) {
    std::vector<const OptionName*> candidates;
    for (const OptionName& option : kOptionNames) {
        if (name == option.longName) return &option;
        if (std::strncmp(option.longName, name.c_str(), name.size()) == 0) candidates.push_back(&option);
    }
    if (candidates.size() == 1) return candidates[0];
    if (candidates.empty()) {
        *error = "unknown option '" + word + "'";
    } else {
        *error = "option '" + word + "' is ambiguous; possibilities:";
        for (const OptionName* candidate : candidates) *error += std::string(" '--") + candidate->longName + "'";
    }
    return nullptr;
}

static const OptionName* ShortOptionNamed(char letter) {
    const OptionName* end = kOptionNames + sizeof kOptionNames / sizeof kOptionNames[0];
    const OptionName* found =
        std::find_if(kOptionNames, end, [letter](const OptionName& option) { return option.letter == letter; });
    return found == end ? nullptr : found;
}

enum OptionEffect { kOptionTaken, kOptionEndsParsing, kOptionRefused };

// Applies one option and its value. --help and --version end the parsing:
// the first of them wins, as in the GNU tools, and nothing after it counts.
static OptionEffect ApplyOption(OptionId id, const std::string& value, CliOptions* options, std::string* error) {
    uint32_t seed = 0;
    int64_t bytes = 0;
    switch (id) {
        case kModeOption:
            options->modeGiven = true;
            return ParseMode(value, &options->mode, error) ? kOptionTaken : kOptionRefused;
        case kSeedOption:
            if (!ParseSeed(value, &seed, error)) return kOptionRefused;
            options->seed = seed;
            return kOptionTaken;
        case kAllocateOption: options->allocate = true; return kOptionTaken;
        case kNoClobberOption: options->noClobber = true; return kOptionTaken;
        case kQuietOption: options->quiet = true; return kOptionTaken;
        case kCheckOption: options->check = true; return kOptionTaken;
        case kJsonOption: options->json = true; return kOptionTaken;
        case kHelpOption: options->help = true; return kOptionEndsParsing;
        case kVersionOption: options->version = true; return kOptionEndsParsing;
        case kFillOption: options->fill = true; return kOptionTaken;
        case kVerifyOption: options->verify = true; return kOptionTaken;
        case kTotalOption:
        case kFileSizeOption:
            if (!ParseSize(value, &bytes, error)) return kOptionRefused;
            (id == kTotalOption ? options->total : options->fileSize) = bytes;
            return kOptionTaken;
        case kNoVerifyOption: options->noVerify = true; return kOptionTaken;
        case kKeepGoingOption: options->keepGoing = true; return kOptionTaken;
        case kReportOption: options->report = value; return kOptionTaken;
        case kAllowSystemDriveOption: options->allowSystemDrive = true; return kOptionTaken;
    }
    return kOptionRefused;
}

// A word that starts with "--": "--name", "--name=value", or "--name value".
static OptionEffect ApplyLongOption(const std::string& word, int argc, const char* const* argv, int* i,
                                    CliOptions* options, std::string* error) {
    const size_t equals = word.find('=');
    const bool hasInline = equals != std::string::npos;
    const OptionName* option = LongOptionNamed(word.substr(2, hasInline ? equals - 2 : std::string::npos), word, error);
    if (!option) return kOptionRefused;
    const std::string name = std::string("--") + option->longName;
    std::string value;
    if (hasInline && !option->takesValue) {
        *error = "option '" + name + "' takes no value";
        return kOptionRefused;
    }
    if (option->takesValue && !TakeValue(hasInline ? word.substr(equals + 1) : std::string(), hasInline, argc, argv,
                                         i, &value)) {
        *error = "option '" + name + "' needs a value";
        return kOptionRefused;
    }
    return ApplyOption(option->id, value, options, error);
}

// One or more short options in one word: "-nq", "-mrandom", "-s 42".
static OptionEffect ApplyShortOptions(const std::string& word, int argc, const char* const* argv, int* i,
                                      CliOptions* options, std::string* error) {
    for (size_t k = 1; k < word.size(); ++k) {
        const char letter = word[k];
        const OptionName* option = ShortOptionNamed(letter);
        if (!option && IsDigit(letter)) {
            *error = "unknown option '" + word + "' (a FILE whose name starts with '-' needs '--' before it, or ./";
            *error += word + ")";
            return kOptionRefused;
        }
        if (!option) {
            *error = std::string("unknown option '-") + letter + "'";
            return kOptionRefused;
        }
        std::string value;
        if (option->takesValue && !TakeValue(word.substr(k + 1), k + 1 < word.size(), argc, argv, i, &value)) {
            *error = std::string("option '-") + letter + "' needs a value";
            return kOptionRefused;
        }
        const OptionEffect effect = ApplyOption(option->id, value, options, error);
        if (effect != kOptionTaken || option->takesValue) return effect;  // a value takes the rest of the word
    }
    return kOptionTaken;
}

// 4 GiB - 1: the largest file FAT32 holds.
static const int64_t kLargestTestFile = static_cast<int64_t>(kFat32LargestFile);

// The drive test's options and its one DIR; the making and checking options
// have no place there.
static bool CheckDriveTest(const CliOptions& options, const std::vector<std::string>& operands, std::string* error) {
    const char* mode = options.fill ? "--fill" : "--verify";
    const bool fillOptions =
        options.total || options.fileSize || options.noVerify || options.keepGoing || options.allowSystemDrive;
    if (options.fill && options.verify) {
        *error = "--fill and --verify: give one of them";
    } else if (!options.fill && fillOptions) {
        *error = "--total, --file-size, --no-verify, --keep-going and --allow-system-drive apply to --fill only";
    } else if (!options.fill && !options.verify) {
        *error = "--report applies to --fill and --verify only";
    } else if (options.report && options.report->empty()) {
        *error = "--report needs a FILE: where to save the test's page";
    } else if (options.check || options.modeGiven || options.seed || options.allocate || options.noClobber) {
        *error = std::string(mode) + " tests a drive: not with --check, --mode, --seed, --allocate or --no-clobber";
    } else if (operands.size() != 1 || operands[0].empty()) {
        *error = std::string(mode) + " needs one DIR: the folder to test" +
                 (operands.size() > 1 ? ", not " + std::to_string(operands.size()) + " operands" : "");
    } else if (options.fileSize && (*options.fileSize < 4096 || *options.fileSize > kLargestTestFile)) {
        *error = "invalid --file-size " + std::to_string(*options.fileSize) + ": from 4096 bytes to 4 GiB - 1 (" +
                 std::to_string(kLargestTestFile) + "), the largest file FAT32 holds";
    } else if (options.total && *options.total < 4096) {
        *error = "invalid --total " + std::to_string(*options.total) + ": at least 4096 bytes, one block";
    } else {
        return true;
    }
    return false;
}

bool ParseArguments(int argc, const char* const* argv, CliOptions* options, std::string* error) {
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (!optionsEnded && CliIsHelpSwitch(word)) {
            options->help = true;
            return true;
        }
        // As in the GNU tools, a word starting with '-' is an option wherever
        // it stands; "-" alone is an operand.
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            operands.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        const OptionEffect effect = word[1] == '-' ? ApplyLongOption(word, argc, argv, &i, options, error)
                                                   : ApplyShortOptions(word, argc, argv, &i, options, error);
        if (effect == kOptionRefused) return false;
        if (effect == kOptionEndsParsing) return true;
    }
    if (options->fill || options->verify || options->total || options->fileSize || options->noVerify ||
        options->keepGoing || options->report || options->allowSystemDrive) {
        if (!CheckDriveTest(*options, operands, error)) return false;
        options->files = operands;
        return true;
    }
    if (operands.empty()) {
        *error = "missing SIZE and FILE";
        return false;
    }
    if (!ParseSize(operands[0], &options->size, error)) return false;
    if (operands.size() < 2) {
        *error = "missing FILE after SIZE '" + operands[0] + "'";
        return false;
    }
    options->files.assign(operands.begin() + 1, operands.end());
    const auto isEmpty = [](const std::string& file) { return file.empty(); };
    if (std::any_of(options->files.begin(), options->files.end(), isEmpty)) {
        *error = "empty FILE name: give the path of a file";
        return false;
    }
    if (options->seed && !ContentHasSeed(options->mode)) {
        *error = "--seed applies to --mode random and --mode noise only";
        return false;
    }
    if (options->allocate && options->mode != kSizeContent) {
        *error = "--allocate applies to --mode size only";
        return false;
    }
    if (options->check && (options->allocate || options->noClobber)) {
        *error = std::string(options->allocate ? "--allocate" : "--no-clobber") + " only concerns making: not with --check";
        return false;
    }
    if (options->check && options->mode == kNoiseContent && !options->seed) {
        *error = "--check of --mode noise needs --seed: a noise file's seed cannot be found from the file";
        return false;
    }
    return true;
}

std::string HelpText() {
    std::string text =
        "Usage: fillwright-cli [OPTIONS] SIZE FILE...\n"
        "  or:  fillwright-cli --check [OPTIONS] SIZE FILE...\n"
        "  or:  fillwright-cli --fill [--total SIZE] [--file-size SIZE] [--no-verify]\n"
        "                             [--keep-going] [--allow-system-drive]\n"
        "                             [--report FILE] [--json] [-q] DIR\n"
        "  or:  fillwright-cli --verify [--report FILE] [--json] [-q] DIR\n"
        "Make each FILE exactly SIZE bytes long, holding the same bytes as the\n"
        "Fillwright dialog's creation mode of the same name; or, with --check,\n"
        "read each FILE and tell whether it is exactly what that line makes; or,\n"
        "with --fill, test the drive that holds DIR.\n"
        "\n"
        "SIZE is a whole number with an optional unit: none or B for bytes;\n"
        "K, M, G, T or KiB, MiB, GiB, TiB for powers of 1024; KB, MB, GB, TB for\n"
        "powers of 1000. Case does not matter (k = K = KiB = kib = 1024, kB = KB\n"
        "= 1000, m = M), except for b: B is bytes, and a lowercase b alone or right\n"
        "after the letter (1b, 1Mb) is refused, as it could mean bits or 512-byte\n"
        "blocks. At most 9223372036854775807 bytes. Example: 1GiB\n"
        "\n"
        "Options:\n"
        "  -m, --mode MODE    what each file holds: one of the modes below\n"
        "                     (default zero)\n"
        "  -s, --seed N       random and noise modes: start the stream from seed N\n"
        "                     (0 to 4294967295); the i-th FILE (from 0) gets N + i.\n"
        "                     Without it the clock in whole seconds is the seed,\n"
        "                     as in the dialog, and it is told on stderr\n"
        "      --allocate     ";
    text += CliAllocateNote();
    text +=
        "\n"
        "  -n, --no-clobber   refuse to replace a FILE that already exists\n"
        "                     (by default it is replaced, as in the dialog)\n"
        "      --check        read each FILE instead of making it and print one\n"
        "                     line: 'FILE: OK', 'FILE: differs: first at byte\n"
        "                     OFFSET (expected 0xXX, found 0xYY), N bytes differ'\n"
        "                     or 'FILE: length L, expected SIZE' (the common part\n"
        "                     still compared); size mode checks the length only.\n"
        "                     Random mode without --seed finds the seed from the\n"
        "                     file and tells it, with the clock time it stands\n"
        "                     for; noise mode needs --seed. Not with --allocate\n"
        "                     or --no-clobber\n"
        "      --json         one JSON object per FILE on stdout (JSON Lines)\n"
        "                     with file, mode, size, seed, result, length,\n"
        "                     first_difference, bytes_differing, seconds, error\n"
        "  -q, --quiet        no progress and no seed note; with --check, no line\n"
        "                     for a FILE that is OK; errors still show\n"
        "  -h, --help         show this help and exit\n"
        "      --version      show the version and exit\n"
        "\n"
        "Drive test:\n"
        "      --fill         fill the free space of DIR with a test set, read it\n"
        "                     back past the system's caches, and report what the\n"
        "                     drive really holds, its speed and any data it lost.\n"
        "                     The set is fillwright-drivetest.txt and the files\n"
        "                     fillwright-drivetest-00001.bin, -00002.bin, ...;\n"
        "                     nothing else in DIR is ever touched. An interrupted\n"
        "                     set is resumed; a finished one is replaced\n"
        "      --verify       read the test set in DIR back and report, e.g. after\n"
        "                     plugging the drive in again\n"
        "      --total SIZE   with --fill: write SIZE bytes, not all the free space\n"
        "      --file-size SIZE\n"
        "                     with --fill: each file's size, 4096 bytes to\n"
        "                     4 GiB - 1, in whole 4 KiB blocks (default 1GiB)\n"
        "      --no-verify    with --fill: write only, read nothing back\n"
        "      --keep-going   with --fill: write on to the end even when data\n"
        "                     already written is found lost; by default the fill\n"
        "                     stops there and reads back what it wrote\n"
        "      --report FILE  when the test ends, whatever its result, save it as\n"
        "                     one HTML page: verdict, drive, figures, a map of\n"
        "                     the tested space, speed by position, bad ranges\n"
        "                     and the JSON summary; nothing in it is fetched.\n"
        "                     FILE must be writable and not on the drive under\n"
        "                     test: else nothing is tested (exit status 2)\n"
        "      --allow-system-drive\n"
        "                     with --fill: fill all the free space even of the\n"
        "                     drive that holds the system (/, or the Windows\n"
        "                     folder), which is refused without --total, as\n"
        "                     programs then have no room to save their work\n"
        "  With --json: JSON Lines of progress, speed per GiB, each bad range and\n"
        "  a last summary (result ok, lost, failed or interrupted).\n"
        "  The test holds DIR while it runs: a second test there is refused. It\n"
        "  ends when the drive is unmounted, pulled out or replaced, and writes\n"
        "  nothing elsewhere. A set file that is not the set's own plain file (a\n"
        "  link, a FIFO, a device) is never followed, opened or removed.\n"
        "\n"
        "Modes:\n"
        "  zero     zero bytes\n"
        "  random   the dialog's pseudo-random stream; it repeats every 16 MiB\n"
        "  ascii    the line A-Z a-z 0-9 CR LF, repeated and cut\n"
        "  size     nothing written: the file only gets its length\n"
        "  noise    std::mt19937_64 seeded with the seed, 8 bytes a value, least\n"
        "           significant first: never repeats, for compression and\n"
        "           deduplication tests\n"
        "\n"
        "Any word that starts with '-' is an option, wherever it stands: a FILE\n"
        "named so needs '--' before it (which ends the options), or ./ in front.\n"
        "A long option may be shortened to a prefix that no other shares:\n"
        "--mo=zero.\n"
        "\n"
        "The files are made one after the other. While a file is written or\n"
        "checked and stderr is a terminal, a progress line shows bytes done,\n"
        "percent, rate and time left, fitted to the terminal's width. Ctrl-C,\n"
        "or another signal to stop, stops the file being made and removes it\n"
        "if it is still the file this program created, and says so; files\n"
        "already finished are kept. A second Ctrl-C ends the program at once.\n"
        "A file that cannot be finished is removed likewise. With --check,\n"
        "FILE '-' is standard input; a pipe or a device is read to SIZE and a\n"
        "byte past it.\n"
        "\n"
        "Exit status: 0 every file made, or every file checked is OK, or every\n"
        "byte of a drive test read back intact from the drive; 1 a file could not\n"
        "be made or read, or differs, or a drive test lost data, could not go on,\n"
        "or could not prove that what it read came from the drive (its JSON\n"
        "\"result\" says which: lost, failed or unproven); 2 usage error, or\n"
        "--fill of the system's own drive without --total or --allow-system-drive. ";
    text += CliStoppedStatusNote();
    text +=
        "\n"
        "\n"
        "Report bugs to: " FILLWRIGHT_ADDRESS "\n"
        "Fillwright home page: <" FILLWRIGHT_HOMEPAGE ">\n";
    return text;
}

// The GNU tools' form, from which help2man makes the man page's COPYRIGHT
// and AUTHOR sections.
const char* VersionText() {
    return "fillwright-cli (Fillwright) " FILLWRIGHT_VERSION "\n"
           "Copyright (C) " FILLWRIGHT_COPYRIGHT_YEAR " " FILLWRIGHT_AUTHORS ".\n"
           "License MIT: <https://opensource.org/licenses/MIT>.\n"
           "This is free software: you are free to change and redistribute it.\n"
           "There is NO WARRANTY, to the extent permitted by law.\n"
           "\n"
           "Written by " FILLWRIGHT_AUTHORS ".\n";
}
