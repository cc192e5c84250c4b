#include "cli_options.h"

#include "cli_platform.h"
#include "drive_set.h"

#include <algorithm>
#include <cstring>

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

enum OptionId {
    kModeOption,
    kSeedOption,
    kAllocateOption,
    kNoClobberOption,
    kQuietOption,
    kCheckOption,
    kJsonOption,
    kHelpOption,
    kVersionOption,
    kFillOption,
    kVerifyOption,
    kTotalOption,
    kFileSizeOption,
    kNoVerifyOption,
    kKeepGoingOption,
    kReportOption,
    kAllowSystemDriveOption
};

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
    if (option->takesValue &&
        !TakeValue(hasInline ? word.substr(equals + 1) : std::string(), hasInline, argc, argv, i, &value)) {
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

// SIZE and the FILEs of making and checking, and the rules between their
// options.
static bool TakeFileOperands(const std::vector<std::string>& operands, CliOptions* options, std::string* error) {
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
        *error =
            std::string(options->allocate ? "--allocate" : "--no-clobber") + " only concerns making: not with --check";
        return false;
    }
    if (options->check && options->mode == kNoiseContent && !options->seed) {
        *error = "--check of --mode noise needs --seed: a noise file's seed cannot be found from the file";
        return false;
    }
    return true;
}

CliJob JobOf(const CliOptions& options) {
    if (options.help) return kHelpJob;
    if (options.version) return kVersionJob;
    if (options.fill || options.verify || options.total || options.fileSize || options.noVerify || options.keepGoing ||
        options.report || options.allowSystemDrive) {
        return options.fill || !options.verify ? kDriveFillJob : kDriveVerifyJob;
    }
    return options.check ? kCheckJob : kMakeJob;
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
    const CliJob job = JobOf(*options);
    if (job == kDriveFillJob || job == kDriveVerifyJob) {
        if (!CheckDriveTest(*options, operands, error)) return false;
        options->files = operands;
        return true;
    }
    return TakeFileOperands(operands, options, error);
}
