#include "drive_volume_id.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

uint64_t LittleEndian(const unsigned char* at, int bytes) {
    uint64_t value = 0;
    for (int k = bytes - 1; k >= 0; --k) value = value << 8 | at[k];
    return value;
}

bool Holds(const unsigned char* bytes, size_t size, size_t at, const char* text) {
    const size_t length = std::strlen(text);
    return at + length <= size && std::memcmp(bytes + at, text, length) == 0;
}

std::string Uuid(const unsigned char* at) {
    std::string text;
    char digits[3];
    for (int k = 0; k < 16; ++k) {
        if (k == 4 || k == 6 || k == 8 || k == 10) text += '-';
        std::snprintf(digits, sizeof digits, "%02x", at[k]);
        text += digits;
    }
    return text;
}

std::string Serial32(const unsigned char* at) {
    const uint64_t serial = LittleEndian(at, 4);
    char text[16];
    std::snprintf(text, sizeof text, "%04X-%04X", static_cast<unsigned>(serial >> 16),
                  static_cast<unsigned>(serial & 0xffff));
    return text;
}

}  // namespace

std::string VolumeIdFromSuperblock(const unsigned char* bytes, size_t size) {
    if (size >= 1024 + 120 && LittleEndian(bytes + 1024 + 56, 2) == 0xEF53)
        return Uuid(bytes + 1024 + 104);  // ext2/3/4
    if (Holds(bytes, size, 0, "XFSB") && size >= 48) return Uuid(bytes + 32);
    if (Holds(bytes, size, 65536 + 64, "_BHRfS_M")) return Uuid(bytes + 65536 + 32);  // btrfs
    if (Holds(bytes, size, 3, "EXFAT   ") && size >= 104) return Serial32(bytes + 100);
    if (Holds(bytes, size, 3, "NTFS    ") && size >= 80) {
        char text[20];
        std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(LittleEndian(bytes + 72, 8)));
        return text;
    }
    const bool bootSector = size >= 512 && bytes[510] == 0x55 && bytes[511] == 0xAA;
    if (bootSector && Holds(bytes, size, 82, "FAT32   ")) return Serial32(bytes + 67);
    if (bootSector && Holds(bytes, size, 54, "FAT")) return Serial32(bytes + 39);  // FAT12 and FAT16
    return "";
}
