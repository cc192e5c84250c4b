// The values of the command line's options and operands: sizes, seeds and
// modes, each with the message that says what is wrong with a refused one.
#pragma once

#include "cli_content_kind.h"

#include <cstdint>
#include <string>

// A whole number of bytes with an optional unit, in any case where it reads
// one way only: none or B; K, M, G, T and KiB .. TiB (powers of 1024); KB ..
// TB and kB (powers of 1000). A lowercase b alone or after the letter is
// refused (bits?). At most 2^63 - 1.
// On failure *error names the text and what is wrong with it.
bool ParseSize(const std::string& text, int64_t* bytes, std::string* error);
// A decimal number from 0 to 4294967295.
bool ParseSeed(const std::string& text, uint32_t* seed, std::string* error);
// zero, random, ascii, size or noise.
bool ParseMode(const std::string& text, ContentKind* mode, std::string* error);

// '0' to '9' only, whatever the locale.
bool IsDigit(char c);
