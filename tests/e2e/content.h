// What a finished file must hold, written here independently of the engine.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// The first n bytes of the random stream from seed: for each byte the state
// becomes state * 22695477 + 1 (mod 2^32) and the byte is bits 16..23.
inline std::string RandomStream(uint32_t seed, size_t n) {
    std::string bytes(n, '\0');
    uint32_t state = seed;
    for (size_t i = 0; i < n; ++i) {
        state = state * 22695477u + 1u;
        bytes[i] = static_cast<char>((state >> 16) & 0xFFu);
    }
    return bytes;
}

// The seed in [earliest, latest] whose stream is content; -1 if none is.
inline int64_t MatchingSeed(const std::string& content, time_t earliest, time_t latest) {
    for (time_t seed = earliest; seed <= latest; ++seed) {
        if (RandomStream(static_cast<uint32_t>(seed), content.size()) == content) return static_cast<int64_t>(seed);
    }
    return -1;
}

inline std::string AsciiText(size_t n) {
    static const std::string line = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789\r\n";
    std::string text;
    text.reserve(n);
    while (text.size() < n) text += line.substr(0, n - text.size());
    return text;
}

// Where two contents first differ, for a readable failure.
inline std::string FirstDifference(const std::string& got, const std::string& want) {
    if (got.size() != want.size()) {
        return "length " + std::to_string(got.size()) + ", want " + std::to_string(want.size());
    }
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] != want[i]) {
            return "byte " + std::to_string(i) + " is " + std::to_string(static_cast<unsigned char>(got[i])) +
                   ", want " + std::to_string(static_cast<unsigned char>(want[i]));
        }
    }
    return "same";
}
