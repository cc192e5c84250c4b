// What a file of the command line holds: the dialog's four modes, and noise.
// The command line's own list, named as --mode names them.
#pragma once

#include <optional>
#include <string>

enum ContentKind { kZeroContent, kRandomContent, kAsciiContent, kSizeContent, kNoiseContent };

// The --mode word of kind: zero, random, ascii, size or noise.
const char* ContentKindName(ContentKind kind);
// The kind a --mode word names; none for any other word.
std::optional<ContentKind> ContentKindNamed(const std::string& name);
// Random and noise files are made from a seed.
bool ContentHasSeed(ContentKind kind);
