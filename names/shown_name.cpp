#include "shown_name.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

namespace {

// Marks a shell reads as they are, outside quotes. On Windows the backslash
// too: it separates folders there, and no shell of its own escapes with it.
#ifdef _WIN32
const char* const kPlainMarks = "%+,-./:=@_^\\";
const bool kBackslashIsPlain = true;
#else
const char* const kPlainMarks = "%+,-./:=@_^";
const bool kBackslashIsPlain = false;
#endif

// One character of a name: its bytes, and its code point (-1 for a byte
// that is no part of valid UTF-8).
struct NameCharacter {
    size_t length = 1;
    int32_t code = -1;
};

NameCharacter CharacterAt(const std::string& text, size_t at) {
    NameCharacter character;
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        character.code = lead;
        return character;
    }
    const size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length == 0 || at + length > text.size() || (length == 3 && lead >= 0xF0)) return character;
    int32_t code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) return character;
        code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    const int32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return character;
    character.length = length;
    character.code = code;
    return character;
}

// C0, DEL and C1: a terminal acts on them instead of showing them.
bool IsControl(int32_t code) { return code < 0x20 || (code >= 0x7F && code <= 0x9F); }

// Characters a shell reads as they are, outside quotes.
bool IsShellPlain(int32_t code) {
    if (code >= 0x80) return true;
    if ((code >= 'a' && code <= 'z') || (code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9')) return true;
    return code != 0 && std::strchr(kPlainMarks, static_cast<char>(code)) != nullptr;
}

std::string Octal(const std::string& bytes) {
    std::string text;
    for (unsigned char byte : bytes) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\%03o", byte);
        text += escape;
    }
    return text;
}

}  // namespace

std::string QuotedName(const std::string& name) {
    bool plain = !name.empty(), dollar = false;
    for (size_t at = 0; at < name.size();) {
        const NameCharacter character = CharacterAt(name, at);
        at += character.length;
        plain = plain && character.code >= 0 && !IsControl(character.code) && IsShellPlain(character.code);
        dollar = dollar || character.code < 0 || IsControl(character.code) || character.code == '\'';
    }
    if (plain) return name;
    if (!dollar) return "'" + name + "'";
    std::string quoted = "$'";
    for (size_t at = 0; at < name.size();) {
        const NameCharacter character = CharacterAt(name, at);
        const std::string bytes = name.substr(at, character.length);
        at += character.length;
        if (character.code == '\n') quoted += "\\n";
        else if (character.code == '\t') quoted += "\\t";
        else if (character.code == '\r') quoted += "\\r";
        else if (character.code == '\\' || character.code == '\'') quoted += "\\" + bytes;
        else if (character.code < 0 || IsControl(character.code)) quoted += Octal(bytes);
        else quoted += bytes;
    }
    return quoted + "'";
}

std::string EscapedName(const std::string& name, bool* escaped) {
    std::string text;
    *escaped = false;
    // The backslash that separates Windows folders stays as it is: no
    // Windows name holds a control character to be told apart from.
    for (unsigned char byte : name) {
        const char* named = byte == '\n' ? "\\n" : byte == '\r' ? "\\r" : nullptr;
        if (byte == '\\' && !kBackslashIsPlain) named = "\\\\";
        char hex[8];
        if (!named && (byte < 0x20 || byte == 0x7F)) {
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            named = hex;
        }
        if (!named) {
            text += static_cast<char>(byte);
            continue;
        }
        text += named;
        *escaped = true;
    }
    return text;
}

namespace {

bool IsWide(int32_t code) {
    const int32_t ranges[][2] = {{0x1100, 0x115F},   {0x2E80, 0xA4CF},  {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
                                 {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},  {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F},
                                 {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD}};
    return std::any_of(std::begin(ranges), std::end(ranges),
                       [code](const int32_t* range) { return code >= range[0] && code <= range[1]; });
}

size_t WidthAt(const std::string& text, size_t at, size_t* length) {
    const NameCharacter character = CharacterAt(text, at);
    *length = character.length;
    return IsWide(character.code) ? 2 : 1;
}

}  // namespace

size_t ShownWidth(const std::string& text) {
    size_t width = 0, length = 0;
    for (size_t at = 0; at < text.size(); at += length) width += WidthAt(text, at, &length);
    return width;
}

std::string ShortenedToWidth(const std::string& text, size_t columns) {
    if (ShownWidth(text) <= columns) return text;
    const std::string gap = "...";
    if (columns <= gap.size()) return gap.substr(0, columns);
    // The start gets the larger half, then the end is filled from the back.
    const size_t room = columns - gap.size();
    size_t headWidth = 0, head = 0, length = 0;
    while (head < text.size()) {
        const size_t width = WidthAt(text, head, &length);
        if (headWidth + width > (room + 1) / 2) break;
        headWidth += width;
        head += length;
    }
    std::vector<size_t> starts;  // of each character, to walk back from the end
    for (size_t at = head; at < text.size(); at += length) {
        WidthAt(text, at, &length);
        starts.push_back(at);
    }
    size_t tail = text.size(), tailWidth = 0;
    for (size_t k = starts.size(); k-- > 0;) {
        const size_t width = WidthAt(text, starts[k], &length);
        if (headWidth + tailWidth + width > room) break;
        tailWidth += width;
        tail = starts[k];
    }
    return text.substr(0, head) + gap + text.substr(tail);
}
