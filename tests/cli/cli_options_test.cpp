#include "cli_options.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

struct GoodSize {
    const char* text;
    int64_t bytes;
};

TEST(SizeText, WholeNumbersWithEveryUnit) {
    const GoodSize table[] = {
        {"0", 0},
        {"1", 1},
        {"007", 7},
        {"1B", 1},
        {"1000B", 1000},
        {"1K", 1024},
        {"1KiB", 1024},
        {"1KB", 1000},
        {"2M", 2LL << 20},
        {"3MiB", 3LL << 20},
        {"5MB", 5000000},
        {"1G", 1LL << 30},
        {"1GiB", 1LL << 30},
        {"4GB", 4000000000LL},
        {"1T", 1LL << 40},
        {"2TiB", 2LL << 40},
        {"3TB", 3000000000000LL},
        {"9223372036854775807", INT64_MAX},
        {"9223372036854775807B", INT64_MAX},
        {"8388607TiB", 8388607LL << 40},
        {"8388607T", 8388607LL << 40},
        {"9223372TB", 9223372000000000000LL},
        {"9007199254740991K", 9007199254740991LL << 10},
        // Any case where it reads one way only.
        {"1k", 1024},
        {"1kib", 1024},
        {"1Kib", 1024},
        {"1KIB", 1024},
        {"1kB", 1000},
        {"1m", 1LL << 20},
        {"1mB", 1000000},
        {"2gib", 2LL << 30},
        {"1t", 1LL << 40},
        {"8388607t", 8388607LL << 40},
    };
    for (const GoodSize& row : table) {
        int64_t bytes = -1;
        std::string error;
        EXPECT_TRUE(ParseSize(row.text, &bytes, &error)) << row.text << ": " << error;
        EXPECT_EQ(bytes, row.bytes) << row.text;
    }
}

TEST(SizeText, BadTextsAreRefusedNamingTheText) {
    const char* table[] = {
        "",    // empty
        "-1",  // negative
        "-0",
        "+5",
        "1.5G",  // fractions
        "0.5",
        "1,5K",
        "abc",
        "G",  // a unit alone
        "KiB",
        "1 K",  // space inside
        " 1",
        "1 ",
        "1b",  // bits, or 512-byte blocks?
        "1kb",
        "1Mb",
        "1Tb",
        "1XB",  // unknown units
        "1KiBB",
        "1Ki",
        "1kiB5",
        "8388608t",
        "1PiB",
        "1P",
        "1iB",
        "1Bytes",
        "0x10",
        "1e9",
        "9223372036854775808",  // one past the largest
        "99999999999999999999999",
        "8388608TiB",  // 2^63 exactly
        "8388608T",
        "9223372036854775807K",
        "9223373TB",
        "9007199254740992K",
    };
    for (const char* text : table) {
        int64_t bytes = 12345;
        std::string error;
        EXPECT_FALSE(ParseSize(text, &bytes, &error)) << "accepted '" << text << "' as " << bytes;
        EXPECT_NE(error.find(std::string("'") + text + "'"), std::string::npos)
            << "error for '" << text << "' does not name it: " << error;
        EXPECT_EQ(bytes, 12345) << text;
    }
}

TEST(SizeText, ErrorsSayWhatIsWrong) {
    int64_t bytes = 0;
    std::string error;
    ASSERT_FALSE(ParseSize("-5", &bytes, &error));
    EXPECT_NE(error.find("negative"), std::string::npos) << error;
    ASSERT_FALSE(ParseSize("2.5M", &bytes, &error));
    EXPECT_NE(error.find("whole"), std::string::npos) << error;
    ASSERT_FALSE(ParseSize("9223372036854775808", &bytes, &error));
    EXPECT_NE(error.find("larger"), std::string::npos) << error;
    ASSERT_FALSE(ParseSize("3QB", &bytes, &error));
    EXPECT_NE(error.find("unknown unit 'QB'"), std::string::npos) << error;
    ASSERT_FALSE(ParseSize("3Mb", &bytes, &error));
    EXPECT_NE(error.find("bits"), std::string::npos) << error;
}

TEST(SeedText, ThirtyTwoBitWholeNumbers) {
    uint32_t seed = 7;
    std::string error;
    EXPECT_TRUE(ParseSeed("0", &seed, &error));
    EXPECT_EQ(seed, 0u);
    EXPECT_TRUE(ParseSeed("4294967295", &seed, &error));
    EXPECT_EQ(seed, 4294967295u);
    EXPECT_TRUE(ParseSeed("42", &seed, &error));
    EXPECT_EQ(seed, 42u);
    for (const char* bad : {"4294967296", "-1", "", "x", "1.0", "42K", "99999999999999999999"}) {
        EXPECT_FALSE(ParseSeed(bad, &seed, &error)) << bad;
        EXPECT_NE(error.find(std::string("'") + bad + "'"), std::string::npos) << error;
    }
    EXPECT_EQ(seed, 42u);
}

// argv[0] is the program name, as main() receives it.
bool Parse(std::vector<const char*> words, CliOptions* options, std::string* error) {
    words.insert(words.begin(), "fillwright-cli");
    return ParseArguments(static_cast<int>(words.size()), words.data(), options, error);
}

TEST(CommandLine, DefaultsAreZeroModeReplacingAndTalkative) {
    CliOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"1KiB", "a.bin"}, &options, &error)) << error;
    EXPECT_EQ(options.mode, kZeroContent);
    EXPECT_EQ(options.size, 1024);
    EXPECT_FALSE(options.seed.has_value());
    EXPECT_FALSE(options.noClobber);
    EXPECT_FALSE(options.quiet);
    EXPECT_FALSE(options.allocate);
    ASSERT_EQ(options.files, std::vector<std::string>({"a.bin"}));
}

TEST(CommandLine, LongShortJoinedAndLateOptions) {
    CliOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"-m", "random", "-s", "42", "1GiB", "a", "b", "-nq"}, &options, &error)) << error;
    EXPECT_EQ(options.mode, kRandomContent);
    EXPECT_TRUE(options.seed.has_value());
    EXPECT_EQ(options.seed, 42u);
    EXPECT_TRUE(options.noClobber);
    EXPECT_TRUE(options.quiet);
    EXPECT_EQ(options.size, 1LL << 30);
    EXPECT_EQ(options.files, std::vector<std::string>({"a", "b"}));

    CliOptions joined;
    ASSERT_TRUE(Parse({"-mrandom", "-s7", "--quiet", "5", "f"}, &joined, &error)) << error;
    EXPECT_EQ(joined.mode, kRandomContent);
    EXPECT_EQ(joined.seed, 7u);
    EXPECT_TRUE(joined.quiet);

    CliOptions equals;
    ASSERT_TRUE(Parse({"--mode=size", "--allocate", "--no-clobber", "1MB", "f"}, &equals, &error)) << error;
    EXPECT_EQ(equals.mode, kSizeContent);
    EXPECT_TRUE(equals.allocate);
    EXPECT_TRUE(equals.noClobber);
    EXPECT_EQ(equals.size, 1000000);

    CliOptions seedEquals;
    ASSERT_TRUE(Parse({"--mode", "random", "--seed=4294967295", "1", "f"}, &seedEquals, &error)) << error;
    EXPECT_EQ(seedEquals.seed, 4294967295u);

    CliOptions check;
    ASSERT_TRUE(Parse({"--check", "--json", "-m", "noise", "-s", "5", "1", "f"}, &check, &error)) << error;
    EXPECT_TRUE(check.check && check.json && check.seed.has_value());
    EXPECT_EQ(check.mode, kNoiseContent);

    CliOptions ascii;
    ASSERT_TRUE(Parse({"-m", "ascii", "1", "f"}, &ascii, &error)) << error;
    EXPECT_EQ(ascii.mode, kAsciiContent);
}

TEST(CommandLine, DoubleDashMakesTheRestOperands) {
    CliOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--", "10", "-q", "--mode"}, &options, &error)) << error;
    EXPECT_FALSE(options.quiet);
    EXPECT_EQ(options.files, std::vector<std::string>({"-q", "--mode"}));
}

TEST(CommandLine, DriveTestTakesItsOptionsAndOneFolder) {
    CliOptions fill, verify;
    std::string error;
    ASSERT_TRUE(
        Parse({"--fill", "--total=10G", "--file-size", "4294967295", "--no-verify", "--keep-going", "--json", "d"},
              &fill, &error))
        << error;
    EXPECT_TRUE(fill.fill && fill.noVerify && fill.keepGoing && fill.json && !fill.verify);
    EXPECT_EQ(fill.total.value_or(0), 10LL << 30);
    EXPECT_EQ(fill.fileSize.value_or(0), 4294967295LL);
    EXPECT_EQ(fill.files, std::vector<std::string>({"d"}));
    ASSERT_TRUE(Parse({"-q", "d", "--verify", "--rep=page.html"}, &verify, &error)) << error;
    EXPECT_TRUE(verify.verify && verify.quiet && !verify.fill && !verify.total);
    EXPECT_EQ(verify.report.value_or(""), "page.html");
    EXPECT_FALSE(fill.report);
}

TEST(CommandLine, HelpAndVersionNeedNoOperands) {
    CliOptions help, version, shortHelp;
    std::string error;
    ASSERT_TRUE(Parse({"--help"}, &help, &error)) << error;
    EXPECT_TRUE(help.help);
    ASSERT_TRUE(Parse({"-h"}, &shortHelp, &error)) << error;
    EXPECT_TRUE(shortHelp.help);
    ASSERT_TRUE(Parse({"--version"}, &version, &error)) << error;
    EXPECT_TRUE(version.version);
}

struct AskedFor {
    std::vector<const char*> words;
    bool help;
    bool version;
};

TEST(CommandLine, FirstOfHelpAndVersionWinsAndEndsTheReading) {
    const AskedFor table[] = {
        {{"--version", "--help"}, false, true},
        {{"--help", "--version"}, true, false},
        {{"--vers", "-h"}, false, true},
        {{"-qh", "--version"}, true, false},
        {{"--help", "--bogus", "1.5G"}, true, false},
        {{"1.5G", "--version", "-x"}, false, true},
    };
    for (const AskedFor& row : table) {
        CliOptions options;
        std::string error;
        EXPECT_TRUE(Parse(row.words, &options, &error)) << row.words[0] << " " << row.words[1] << ": " << error;
        EXPECT_EQ(options.help, row.help) << row.words[0] << " " << row.words[1];
        EXPECT_EQ(options.version, row.version) << row.words[0] << " " << row.words[1];
    }
}

TEST(CommandLine, UniquePrefixesOfLongOptions) {
    CliOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--mod=random", "--se", "9", "--q", "--ch", "--j", "5", "f"}, &options, &error)) << error;
    EXPECT_EQ(options.mode, kRandomContent);
    EXPECT_EQ(options.seed, 9u);
    EXPECT_TRUE(options.quiet && options.check && options.json);
    CliOptions allocate;
    ASSERT_TRUE(Parse({"--m", "size", "--alloc", "--no-c", "5", "f"}, &allocate, &error)) << error;
    EXPECT_EQ(allocate.mode, kSizeContent);
    EXPECT_TRUE(allocate.allocate && allocate.noClobber);
}

struct BadLine {
    std::vector<const char*> words;
    const char* named;  // what the message must contain
};

TEST(CommandLine, UsageErrorsNameWhatIsWrong) {
    const BadLine table[] = {
        {{}, "missing SIZE"},
        {{"10"}, "missing FILE"},
        {{"1.5G", "f"}, "'1.5G'"},
        {{"-5", "f"}, "'-5'"},
        {{"10XB", "f"}, "'10XB'"},
        {{"-m", "purple", "1", "f"}, "'purple'"},
        {{"-m"}, "'-m' needs a value"},
        {{"1", "f", "--mode"}, "'--mode' needs a value"},
        {{"-m", "random", "-s", "-1", "1", "f"}, "'-1'"},
        {{"-m", "random", "--seed=4294967296", "1", "f"}, "'4294967296'"},
        {{"-s", "5", "1", "f"}, "--seed applies to --mode random"},
        {{"-m", "ascii", "-s", "5", "1", "f"}, "--seed applies to --mode random"},
        {{"--allocate", "1", "f"}, "--allocate applies to --mode size"},
        {{"--bogus", "1", "f"}, "'--bogus'"},
        {{"-x", "1", "f"}, "'-x'"},
        {{"-nqz", "1", "f"}, "'-z'"},
        {{"--quiet=yes", "1", "f"}, "'--quiet' takes no value"},
        {{"-q", "10", "-1"}, "unknown option '-1' (a FILE whose name starts with '-' needs '--'"},
        {{"10", ""}, "empty FILE"},
        {{"--check", "-n", "1", "f"}, "--no-clobber only concerns making"},
        {{"--check", "-m", "size", "--allocate", "1", "f"}, "--allocate only concerns making"},
        {{"--check", "-m", "noise", "1", "f"}, "noise needs --seed"},
        {{"--json=1", "1", "f"}, "'--json' takes no value"},
        {{"--qu=1", "1", "f"}, "'--quiet' takes no value"},
        {{"--se"}, "'--seed' needs a value"},
        {{"--mo=purple", "1", "f"}, "'purple'"},
        {{"--modes=zero", "1", "f"}, "unknown option '--modes=zero'"},
        {{"--=1", "1", "f"}, "option '--=1' is ambiguous; possibilities: '--mode' '--seed' '--allocate'"},
        {{"--fill"}, "--fill needs one DIR"},
        {{"--fill", "a", "b"}, "not 2 operands"},
        {{"--fill", "--verify", "d"}, "--fill and --verify"},
        {{"--verify", "--no-verify", "d"}, "apply to --fill only"},
        {{"--total", "1M", "d"}, "apply to --fill only"},
        {{"--fill", "-m", "random", "d"}, "not with --check, --mode"},
        {{"--fill", "--check", "d"}, "not with --check, --mode"},
        {{"--fill", "--file-size", "4GiB", "d"}, "invalid --file-size 4294967296"},
        {{"--fill", "--file-size", "4095", "d"}, "invalid --file-size 4095"},
        {{"--fill", "--total", "1K", "d"}, "invalid --total 1024"},
        {{"--fill", "--total", "1.5G", "d"}, "'1.5G'"},
        {{"--fill", "--file-size"}, "'--file-size' needs a value"},
        {{"--fill=yes", "d"}, "'--fill' takes no value"},
        {{"--report", "p.html", "d"}, "--report applies to --fill and --verify only"},
        {{"--report", "p.html", "1", "f"}, "--report applies to --fill and --verify only"},
        {{"--fill", "--report=", "d"}, "--report needs a FILE"},
        {{"--verify", "d", "--report"}, "'--report' needs a value"},
    };
    for (const BadLine& row : table) {
        CliOptions options;
        std::string error;
        std::string line;
        for (const char* word : row.words) line += std::string(word) + " ";
        EXPECT_FALSE(Parse(row.words, &options, &error)) << line;
        EXPECT_NE(error.find(row.named), std::string::npos) << line << "-> " << error;
    }
}

TEST(CommandLine, HelpMentionsEveryOption) {
    const std::string help = HelpText();
    for (const char* option : {"-m, --mode",
                               "-s, --seed",
                               "--allocate",
                               "-n, --no-clobber",
                               "-q, --quiet",
                               "-h, --help",
                               "--version",
                               "zero",
                               "random",
                               "ascii",
                               "size",
                               "SIZE FILE...",
                               "KiB",
                               "KB",
                               "Stopped by",
                               "--check",
                               "--json",
                               "noise",
                               "Exit status:",
                               "--fill",
                               "--verify",
                               "--total SIZE",
                               "--file-size SIZE",
                               "--no-verify",
                               "--keep-going",
                               "--report FILE",
                               "fillwright-drivetest.txt",
                               "fillwright-drivetest-00001.bin"}) {
        EXPECT_NE(help.find(option), std::string::npos) << "help lacks " << option;
    }
}

// One job for each line, whichever of its options names it and wherever they stand.
TEST(CommandLine, EachLineAsksForOneJob) {
    const std::pair<std::vector<const char*>, CliJob> table[] = {
        {{"1KiB", "a"}, kMakeJob},
        {{"--check", "1KiB", "a"}, kCheckJob},
        {{"d", "--fill"}, kDriveFillJob},
        {{"--fill", "--total", "1MiB", "d"}, kDriveFillJob},
        {{"--verify", "d"}, kDriveVerifyJob},
        {{"--verify", "--report", "p.html", "d"}, kDriveVerifyJob},
        {{"--fill", "--help"}, kHelpJob},
        {{"--version", "--fill"}, kVersionJob},
    };
    for (const auto& row : table) {
        CliOptions options;
        std::string error;
        ASSERT_TRUE(Parse(row.first, &options, &error)) << error;
        EXPECT_EQ(JobOf(options), row.second) << row.first.front();
    }
}

}  // namespace
