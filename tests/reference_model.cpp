#include "reference_model.h"

std::string ExpectedContent(CreationMode mode, int64_t size, uint32_t seed) {
    std::string content(static_cast<size_t>(size), '\0');
    if (mode == AsciiFill) {
        const char* line = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789\r\n";
        for (size_t i = 0; i < content.size(); ++i) content[i] = line[i % 64];
    } else if (mode == RandomFill) {
        uint64_t state = seed;
        for (char& byte : content) {
            state = (state * 22695477u + 1u) % 4294967296u;
            byte = static_cast<char>((state >> 16) % 256);
        }
    }
    return content;
}

uint32_t ExpectedBlockSize(CreationMode mode) {
    switch (mode) {
        case ZeroFill:
        case RandomFill: return 1024;
        case AsciiFill: return 64;
        default: return 0;
    }
}
