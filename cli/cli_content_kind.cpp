#include "cli_content_kind.h"

static const char* const kKindNames[] = {"zero", "random", "ascii", "size", "noise"};
static const ContentKind kKinds[] = {kZeroContent, kRandomContent, kAsciiContent, kSizeContent, kNoiseContent};

const char* ContentKindName(ContentKind kind) {
    for (size_t i = 0; i < sizeof kKinds / sizeof kKinds[0]; ++i) {
        if (kKinds[i] == kind) return kKindNames[i];
    }
    return "zero";
}

std::optional<ContentKind> ContentKindNamed(const std::string& name) {
    for (size_t i = 0; i < sizeof kKinds / sizeof kKinds[0]; ++i) {
        if (name == kKindNames[i]) return kKinds[i];
    }
    return std::nullopt;
}

bool ContentHasSeed(ContentKind kind) { return kind == kRandomContent || kind == kNoiseContent; }
