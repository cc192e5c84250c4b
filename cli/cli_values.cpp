#include "cli_values.h"

static const int64_t kLargestSize = INT64_MAX;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

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
        case 'k':
        case 'K': return 1;
        case 'm':
        case 'M': return 2;
        case 'g':
        case 'G': return 3;
        case 't':
        case 'T': return 4;
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
