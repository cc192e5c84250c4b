// --check, -m noise and --json: the report formats in-process, and the real
// program on real files.
#include "cli_check.h"
#include "cli_report.h"
#include "engine_reference.h"
#include "program_fixture.h"
#include "shown_name.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <utime.h>
#endif

namespace {

TEST(CheckReport, ClockTimesInUtc) {
    const std::pair<int64_t, const char*> table[] = {
        {0, "1970-01-01 00:00:00 UTC"},          {951782400, "2000-02-29 00:00:00 UTC"},
        {1765191228, "2025-12-08 10:53:48 UTC"}, {4294967295LL, "2106-02-07 06:28:15 UTC"},
        {-1, "1969-12-31 23:59:59 UTC"},
    };
    for (const auto& row : table) EXPECT_EQ(FormatUtc(row.first), row.second) << row.first;
}

TEST(CheckReport, SeedBeforeTheModificationTime) {
    struct Row {
        uint32_t low;
        int64_t modified;
        bool found;
        int64_t clock;
    };
    const Row table[] = {
        {42, 41, false, 0},  // no seed with these low bits comes before
        {42, 42, true, 42},
        {1765191228u & 0xFFFFFFu, 1765191230, true, 1765191228},
        {1765191228u & 0xFFFFFFu, 1765191227, true, 1765191228 - (1 << 24)},
    };
    for (const Row& row : table) {
        const std::optional<int64_t> clock = SeedBeforeTime(row.low, row.modified);
        EXPECT_EQ(clock.has_value(), row.found) << row.modified;
        EXPECT_EQ(clock.value_or(0), row.clock) << row.modified;
    }
}

TEST(CheckReport, LinesForEachOutcome) {
    CheckResult ok;
    ok.outcome = kCheckOk;
    ok.length = 10;
    CheckResult differs = ok;
    differs.bytesDiffering = 3;
    differs.firstDifference = 7;
    differs.expected = 0xAB;
    differs.found = 0x0C;
    CheckResult shortDiffers = differs;
    shortDiffers.length = 9;
    CheckResult searched = ok;
    searched.seedSearched = true;
    searched.seed = 1765191228;
    searched.seedTime = 1765191228;
    searched.seedsFitting = 2;
    CheckResult unmade = ok;
    unmade.seedSearched = unmade.noSeedFits = true;
    const std::pair<const CheckResult*, const char*> table[] = {
        {&ok, "f: OK"},
        {&differs, "f: differs: first at byte 7 (expected 0xAB, found 0x0C), 3 bytes differ"},
        {&shortDiffers,
         "f: length 9, expected 10; differs: first at byte 7 (expected 0xAB, found 0x0C), 3 bytes differ"},
        {&searched,
         "f: OK (seed 1765191228, the clock at 2025-12-08 10:53:48 UTC; too short to decide: 2 seeds fit, "
         "checked against the first)"},
        {&unmade, "f: differs: no seed of the random stream makes its first bytes"},
    };
    for (const auto& row : table) EXPECT_EQ(CheckLine("f", 10, *row.first), row.second);
    EXPECT_EQ(CheckLine("a\nb: OK\r", 10, ok), "\\a\\nb: OK\\r: OK");
}

// Names in messages, quoted as the GNU tools quote, and in --check lines,
// escaped as sha256sum escapes.
TEST(CheckReport, NamesAreQuotedAndEscaped) {
    struct Row {
        const char* name;
        const char* quoted;
        const char* escaped;
    };
    const Row table[] = {
        {"plain-name_1.bin", "plain-name_1.bin", "plain-name_1.bin"},
        {"a b", "'a b'", "a b"},
        {"", "''", ""},
        {"it's", "$'it\\'s'", "it's"},
        {"a\nb", "$'a\\nb'", "a\\nb"},
        {"tab\there\r", "$'tab\\there\\r'", "tab\\x09here\\r"},
        {"\x1b[31m", "$'\\033[31m'", "\\x1B[31m"},
        {"\xFF.bin", "$'\\377.bin'", "\xFF.bin"},                                  // not UTF-8
        {"\xC2\x9B", "$'\\302\\233'", "\xC2\x9B"},                                 // C1 control, in UTF-8
        {"\xD0\xBF\xCE\xA9.bin", "\xD0\xBF\xCE\xA9.bin", "\xD0\xBF\xCE\xA9.bin"},  // printable UTF-8
    };
    for (const Row& row : table) {
        bool escaped = false;
        EXPECT_EQ(QuotedName(row.name), row.quoted) << row.name;
        EXPECT_EQ(EscapedName(row.name, &escaped), row.escaped) << row.name;
        EXPECT_EQ(escaped, std::string(row.name) != row.escaped) << row.name;
    }
}

void OverwriteByte(const std::string& path, long offset, unsigned char value) {
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(file, nullptr) << path;
    std::fseek(file, offset, SEEK_SET);
    std::fputc(value, file);
    std::fclose(file);
}

void SetModifiedTime(const std::string& path, int64_t seconds) {
#ifdef _WIN32
    const int64_t ticks = (seconds + 11644473600LL) * 10000000LL;
    FILETIME time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
#else
    const struct utimbuf times = {static_cast<time_t>(seconds), static_cast<time_t>(seconds)};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
#endif
}

class CheckProgram : public ProgramFolder {
protected:
    // Lines end in CR LF on Windows, the text mode of its C library.
    ProgramRun Run(const std::vector<std::string>& args) {
        ProgramRun run = RunCliProgram(args, dir);
        run.out.erase(std::remove(run.out.begin(), run.out.end(), '\r'), run.out.end());
        return run;
    }
};

TEST_F(CheckProgram, EveryModeMatchesThenFindsDamageAndLength) {
    struct Row {
        std::vector<std::string> mode;
        const char* differs;  // after byte 5000 became 0x00 (0x01 for zero)
    };
    const Row table[] = {
        {{"-m", "zero"}, "differs: first at byte 5000 (expected 0x00, found 0x01), 1 bytes differ"},
        {{"-m", "random", "-s", "9"}, "differs: first at byte 5000 (expected 0x"},
        {{"-m", "ascii"}, "differs: first at byte 5000 (expected 0x49, found 0x00), 1 bytes differ"},
        {{"-m", "noise", "-s", "9"}, "differs: first at byte 5000 (expected 0x"},
        {{"-m", "size"}, nullptr},  // the length only
    };
    for (const Row& row : table) {
        const std::string file = File("checked.bin"), mode = row.mode[1];
        std::vector<std::string> make = row.mode, check = row.mode;
        make.insert(make.end(), {"-q", "3000000", file});
        check.insert(check.end(), {"--check", "3000000", file});
        ASSERT_EQ(Run(make).exitCode, 0) << mode;
        ProgramRun run = Run(check);
        EXPECT_EQ(run.exitCode, 0) << mode << run.err;
        EXPECT_EQ(run.out, file + ": OK\n") << mode;

        check[check.size() - 2] = "3000001";
        run = Run(check);
        EXPECT_EQ(run.exitCode, 1) << mode;
        EXPECT_EQ(run.out, file + ": length 3000000, expected 3000001\n") << mode;
        if (!row.differs) continue;
        OverwriteByte(file, 5000, mode == "zero" ? 1 : 0);
        check[check.size() - 2] = "3000000";
        run = Run(check);
        EXPECT_EQ(run.exitCode, 1) << mode;
        EXPECT_TRUE(Contains(run.out, file + ": " + row.differs)) << run.out;
    }
}

TEST_F(CheckProgram, RandomSeedIsFoundWithItsClockTime) {
    const std::string a = File("a.bin"), b = File("b.bin"), tiny = File("tiny.bin");
    ASSERT_EQ(Run({"-m", "random", "-s", "1765191228", "100000", a, b}).exitCode, 0);
    ASSERT_EQ(Run({"-q", "-m", "random", "-s", "5", "1", tiny}).exitCode, 0);
    OverwriteByte(b, 10, 0x00);  // the seed is still found further on
    SetModifiedTime(a, 1765191230);
    SetModifiedTime(b, 1765191230);
    const ProgramRun run = Run({"--check", "-m", "random", "100000", a, b});
    EXPECT_EQ(run.exitCode, 1);
    std::istringstream lines(run.out);
    std::string first, second;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_EQ(first, a + ": OK (seed 1765191228, the clock at 2025-12-08 10:53:48 UTC)");
    EXPECT_TRUE(Contains(second, b + ": differs: first at byte 10 ")) << second;
    EXPECT_TRUE(Contains(second, "1 bytes differ (seed 1765191229, the clock at 2025-12-08 10:53:49 UTC)")) << second;
    const ProgramRun shortRun = Run({"--check", "-m", "random", "1", tiny});
    EXPECT_EQ(shortRun.exitCode, 0);
    EXPECT_TRUE(Contains(shortRun.out, "too short to decide: 65536 seeds fit, checked against the first)"))
        << shortRun.out;
}

// A file the dialog's own random writer made, seeded as the dialog seeds.
TEST_F(CheckProgram, DialogFileIsCheckedAndItsSeedFound) {
    const std::string file = File("dialog-made.bin");
    const std::string bytes = DialogEngineBytes(kRandomContent, 70000, 1765191228u, File("writer.bin"));
    std::FILE* out = std::fopen(file.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
    SetModifiedTime(file, 1765191300);
    const ProgramRun run = Run({"--check", "-m", "random", "70000", file});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, file + ": OK (seed 1765191228, the clock at 2025-12-08 10:53:48 UTC)\n");
}

// Files made together from the clock get clock + i, which may lie after their
// modification time: with n files checked, up to n - 1 seconds after it count.
// An empty file claims no seed.
TEST_F(CheckProgram, SeedsOfLaterFilesAndOfAnEmptyFile) {
    const std::string file = File("third.bin"), empty = File("empty.bin");
    ASSERT_EQ(Run({"-m", "random", "-s", "1765191230", "5000", file}).exitCode, 0);
    SetModifiedTime(file, 1765191228);
    const ProgramRun alone = Run({"--check", "-m", "random", "5000", file});
    EXPECT_TRUE(Contains(alone.out, "(seed 1748414014, ")) << "2^24 s earlier: " << alone.out;
    const ProgramRun third = Run({"--check", "-m", "random", "5000", file, file, file});
    EXPECT_TRUE(Contains(third.out, file + ": OK (seed 1765191230, the clock at 2025-12-08 10:53:50 UTC)\n"))
        << third.out;
    ASSERT_EQ(Run({"0", empty}).exitCode, 0);
    EXPECT_EQ(Run({"--check", "-m", "random", "0", empty}).out, empty + ": OK\n");
}

TEST_F(CheckProgram, UnreadableFilesFailAndTheOthersAreStillChecked) {
    const std::string good = File("good.bin"), missing = JoinPath(dir, "missing.bin");
    ASSERT_EQ(Run({"10", good}).exitCode, 0);
    const ProgramRun run = Run({"--check", "10", missing, dir, good});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, good + ": OK\n");
    EXPECT_TRUE(Contains(run.err, missing + ": ")) << run.err;
    EXPECT_TRUE(Contains(run.err, dir + ": ")) << run.err;
}

// cmd.exe and PowerShell hand "*.bin" to the program as typed: the Windows
// build expands it itself, in name order, names outside the code page too.
TEST_F(CheckProgram, WildcardsMatchInNameOrder) {
#ifndef _WIN32
    GTEST_SKIP() << "not run here: on POSIX the shell expands wildcards and the program takes names as they are";
#else
    const std::string a = File("a.bin"), b = File("B.bin"), omega = File("\xCE\xA9-c.bin"), text = File("d.txt");
    ASSERT_EQ(Run({"-q", "-m", "random", "-s", "5", "1K", a, b, omega, text}).exitCode, 0);
    ProgramRun run = Run({"--check", "-m", "random", "-s", "5", "1K", JoinPath(dir, "*.bin")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, a + ": OK\n" + b + ": OK\n" + omega + ": OK\n");
    const std::string none = JoinPath(dir, "*.none");
    run = Run({"--check", "1K", JoinPath(dir, "?.txt"), none});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, none + ": no file matches")) << run.err;
    EXPECT_EQ(run.out, "") << "nothing is checked when a pattern matches nothing";
#endif
}

// As sha256sum --quiet: only the files that are not OK get a line.
TEST_F(CheckProgram, QuietTellsOnlyWhatIsNotOk) {
    const std::string good = File("good.bin"), bad = File("bad.bin"), missing = JoinPath(dir, "missing.bin");
    ASSERT_EQ(Run({"-q", "-m", "ascii", "100", good, bad}).exitCode, 0);
    OverwriteByte(bad, 7, 0);
    const ProgramRun run = Run({"-q", "--check", "-m", "ascii", "100", good, bad, missing});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, bad + ": differs: first at byte 7 (expected 0x48, found 0x00), 1 bytes differ\n");
    EXPECT_TRUE(Contains(run.err, missing + ": ")) << run.err;
}

TEST_F(CheckProgram, NoiseIsTheStandardGeneratorsBytes) {
    const std::string a = File("a.bin"), b = File("b.bin");
    for (int64_t size : {1, 8, 2497, (1 << 20) + 3, (3 << 20) + 5}) {
        ASSERT_EQ(Run({"-m", "noise", "-s", "4294967295", std::to_string(size), a, b}).exitCode, 0);
        std::string expected;
        for (uint64_t seed : {4294967295ull, 0ull}) {  // seed + i wraps as the seed does
            std::mt19937_64 generator(seed);
            std::string bytes;
            while (bytes.size() < static_cast<size_t>(size)) {
                const uint64_t value = generator();
                for (int k = 0; k < 8; ++k) bytes += static_cast<char>(value >> (8 * k));
            }
            expected += bytes.substr(0, static_cast<size_t>(size));
        }
        EXPECT_TRUE(ReadWholeFile(a) + ReadWholeFile(b) == expected) << size;
    }
}

TEST_F(CheckProgram, JsonLinesForMakingAndChecking) {
    const std::string file = File("it's a file.bin");
    const ProgramRun make = Run({"--json", "-m", "random", "-s", "3", "5000", file});
    ASSERT_EQ(make.exitCode, 0) << make.err;
    OverwriteByte(file, 4999, 0);
    const ProgramRun check = Run({"--json", "--check", "-m", "random", "-s", "3", "5000", file, dir});
    EXPECT_EQ(check.exitCode, 1);
    const nlohmann::json making = nlohmann::json::parse(make.out, nullptr, false);
    std::istringstream lines(check.out);
    std::string first, second;
    std::getline(lines, first);
    std::getline(lines, second);
    const nlohmann::json differs = nlohmann::json::parse(first, nullptr, false);
    const nlohmann::json failed = nlohmann::json::parse(second, nullptr, false);
    ASSERT_TRUE(making.is_object() && differs.is_object() && failed.is_object()) << make.out << check.out;
    EXPECT_EQ(making["file"], file);
    EXPECT_EQ(making["result"], "made");
    EXPECT_EQ(making["seed"], 3);
    EXPECT_EQ(making["length"], 5000);
    EXPECT_EQ(differs["result"], "differs");
    EXPECT_EQ(differs["mode"], "random");
    EXPECT_EQ(differs["first_difference"]["offset"], 4999);
    EXPECT_EQ(differs["first_difference"]["found"], 0);
    EXPECT_EQ(differs["bytes_differing"], 1);
    EXPECT_EQ(failed["result"], "failed");
    EXPECT_TRUE(failed["error"].is_string());
    EXPECT_TRUE(failed["length"].is_null());
}

#ifndef _WIN32
// A POSIX name may hold control characters and bytes that are not UTF-8.
TEST_F(CheckProgram, JsonEscapesAnyName) {
    const std::string file = File("tab\there\xFF.bin");
    const ProgramRun run = Run({"--json", "1", file});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const nlohmann::json object = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_TRUE(object.is_object()) << run.out;
    EXPECT_EQ(object["file"], file.substr(0, file.size() - 5) + "\xEF\xBF\xBD.bin") << "U+FFFD for the stray byte";
}
#endif

}  // namespace
