#include "drive_list.h"

#include "drive_units.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <optional>

namespace {

// The order of the list: lower comes first.
int Rank(UINT type, bool system) {
    if (system) return 4;
    switch (type) {
        case DRIVE_REMOVABLE: return 0;
        case DRIVE_FIXED:
        case DRIVE_RAMDISK: return 1;
        case DRIVE_REMOTE: return 2;
        default: return -1;  // not offered: no disc, CD, unknown
    }
}

struct Found {
    int rank = 0;
    DriveEntry entry;
};

std::string Sizes(const std::string& root) {
    ULARGE_INTEGER freeToCaller{}, total{};
    if (!GetDiskFreeSpaceExA(root.c_str(), &freeToCaller, &total, nullptr)) return "";
    return FormatDecimalBytes(static_cast<double>(freeToCaller.QuadPart)) + " free of " +
           FormatDecimalBytes(static_cast<double>(total.QuadPart));
}

// Nothing when the drive is read-only or tells no sizes. A file system that
// tells no name or label (Wine on some Linux ones) is listed without them.
std::optional<std::string> Describe(const std::string& root) {
    char label[MAX_PATH + 1] = "";
    char fileSystem[MAX_PATH + 1] = "";
    DWORD flags = 0;
    const bool named = GetVolumeInformationA(root.c_str(), label, sizeof label, nullptr, nullptr, &flags, fileSystem,
                                             sizeof fileSystem) != 0;
    if (named && (flags & FILE_READ_ONLY_VOLUME) != 0) return std::nullopt;
    const std::string sizes = Sizes(root);
    if (sizes.empty()) return std::nullopt;
    std::string text = root + "  ";
    if (named && label[0] != '\0') text += std::string(label) + "  ";
    return text + "(" + (named ? std::string(fileSystem) + ", " : std::string()) + sizes + ")";
}

std::string Upper(std::string text) {
    if (!text.empty()) CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

}  // namespace

std::string SystemDriveRoot() {
    char folder[MAX_PATH + 1] = "";
    const UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    if (length == 0 || length > MAX_PATH) return "";
    return VolumeRoot(folder);
}

std::string VolumeRoot(const std::string& path) {
    char root[MAX_PATH + 1] = "";
    if (!GetVolumePathNameA(path.c_str(), root, sizeof root)) return "";
    return root;
}

bool SameRoot(const std::string& a, const std::string& b) { return !a.empty() && Upper(a) == Upper(b); }

bool IsNetworkDrive(const std::string& path) {
    const std::string root = VolumeRoot(path);
    return !root.empty() && GetDriveTypeA(root.c_str()) == DRIVE_REMOTE;
}

std::vector<DriveEntry> ListDrives() {
    const std::string system = SystemDriveRoot();
    std::vector<Found> found;
    const DWORD letters = GetLogicalDrives();
    for (int k = 0; k < 26; ++k) {
        const std::string root = std::string(1, static_cast<char>('A' + k)) + ":\\";
        // Wine's map of letters misses those linked while it runs; a letter
        // with no drive has no root on Windows and Wine alike.
        if ((letters & (DWORD(1) << k)) == 0 && GetDriveTypeA(root.c_str()) == DRIVE_NO_ROOT_DIR) continue;
        const bool isSystem = SameRoot(root, system);
        const int rank = Rank(GetDriveTypeA(root.c_str()), isSystem);
        if (rank < 0) continue;
        std::optional<std::string> text = Describe(root);
        if (!text) continue;
        if (isSystem) *text += "  (system drive)";
        found.push_back({rank, {root, *text}});
    }
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.rank < b.rank; });
    std::vector<DriveEntry> entries(found.size());
    std::transform(found.begin(), found.end(), entries.begin(), [](const Found& one) { return one.entry; });
    return entries;
}
