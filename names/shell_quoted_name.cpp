#include "shell_quoted_name.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Marks a shell reads as they are, outside quotes. On Windows the backslash
// too: it separates folders there, and no shell of its own escapes with it.
#ifdef _WIN32
const char* const kPlainMarks = "%+,-./:=@_^\\";
#else
const char* const kPlainMarks = "%+,-./:=@_^";
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

std::string ShellQuotedName(const std::string& name) {
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
