#include "drive_layers.h"

#include <algorithm>
#include <sstream>

namespace {

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

// mountinfo writes space, tab, newline and backslash as \ooo.
std::string Unescape(const std::string& field) {
    std::string text;
    for (size_t k = 0; k < field.size(); ++k) {
        if (field[k] == '\\' && k + 3 < field.size() && IsOctal(field[k + 1]) && IsOctal(field[k + 2]) &&
            IsOctal(field[k + 3])) {
            text += static_cast<char>((field[k + 1] - '0') * 64 + (field[k + 2] - '0') * 8 + (field[k + 3] - '0'));
            k += 3;
        } else {
            text += field[k];
        }
    }
    return text;
}

bool HoldsPath(const std::string& mountPoint, const std::string& path) {
    if (mountPoint == "/") return !path.empty() && path[0] == '/';
    return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

bool OneOf(const std::string& word, std::initializer_list<const char*> words) {
    return std::any_of(words.begin(), words.end(), [&word](const char* each) { return word == each; });
}

}  // namespace

std::optional<MountEntry> ParseMountInfoLine(const std::string& line) {
    // ID PARENT MAJOR:MINOR ROOT MOUNT-POINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER-OPTIONS
    std::istringstream words(line);
    std::string id, parent, numbers, root, mountPoint, options, word;
    if (!(words >> id >> parent >> numbers >> root >> mountPoint >> options)) return std::nullopt;
    while (words >> word && word != "-") {
    }
    MountEntry entry;
    std::string type, source;
    if (word != "-" || !(words >> type >> source)) return std::nullopt;
    std::istringstream device(numbers);
    char colon = 0;
    if (!(device >> entry.major >> colon >> entry.minor) || colon != ':') return std::nullopt;
    entry.mountPoint = Unescape(mountPoint);
    entry.fsType = Unescape(type);
    entry.source = Unescape(source);
    return entry;
}

std::optional<MountEntry> MountHolding(const std::vector<MountEntry>& mounts, unsigned major, unsigned minor,
                                       const std::string& path) {
    std::optional<MountEntry> best, byPath;
    for (const MountEntry& entry : mounts) {
        if (!HoldsPath(entry.mountPoint, path)) continue;
        if (!byPath || entry.mountPoint.size() >= byPath->mountPoint.size()) byPath = entry;
        if (entry.major != major || entry.minor != minor) continue;
        if (!best || entry.mountPoint.size() >= best->mountPoint.size()) best = entry;
    }
    // btrfs gives each subvolume's files a device number of their own.
    return best ? best : byPath;
}

LayerKind KindOfFileSystem(int64_t magic, const std::string& fsType, const std::string& source) {
    const bool fuse = magic == 0x65735546 || fsType == "fuse" || fsType == "fuseblk" || fsType.rfind("fuse.", 0) == 0;
    if (fuse) {
        if (fsType == "fuse.nbdfuse") return LayerKind::driveServer;
        if (fsType == "fuseblk" || source.rfind("/dev/", 0) == 0) return LayerKind::fuseOnDevice;
        return LayerKind::userSpace;
    }
    switch (magic) {
        case 0x6969:                                 // NFS
        case 0x517B:                                 // SMB
        case 0xFF534D42:                             // CIFS
        case 0xFE534D42:                             // SMB2
        case 0x01021997:                             // 9P
        case 0x00C36400:                             // Ceph
        case 0x5346414F:                             // AFS
        case 0x73757245: return LayerKind::network;  // Coda
        case 0x858458F6:                             // ramfs
        case 0x01021994: return LayerKind::memory;   // tmpfs
        case 0x794C7630:                             // overlayfs
        case 0xF15F: return LayerKind::stacked;      // ecryptfs
        default: break;
    }
    if (OneOf(fsType, {"nfs", "nfs4", "cifs", "smb3", "9p", "ceph", "afs", "coda"})) return LayerKind::network;
    if (OneOf(fsType, {"ramfs", "tmpfs"})) return LayerKind::memory;
    if (OneOf(fsType, {"overlay", "aufs", "ecryptfs", "unionfs"})) return LayerKind::stacked;
    return LayerKind::kernel;
}

CachePlan PlanCaches(const std::vector<StorageLayer>& chain) {
    CachePlan plan;
    const auto outOfReach = [&plan](const std::string& why, bool rebootEmpties) {
        plan.doubt = why;
        plan.replugEmptiesCaches = false;
        plan.rebootEmptiesCaches = rebootEmpties;
        return plan;
    };
    if (chain.empty()) return outOfReach("no drive was found under it", false);
    plan.replugEmptiesCaches = plan.rebootEmptiesCaches = true;
    for (size_t k = 0; k < chain.size(); ++k) {
        const StorageLayer& layer = chain[k];
        switch (layer.kind) {
            case LayerKind::memory: return outOfReach(layer.fsType + " keeps its files only in memory", true);
            case LayerKind::network:
                plan.remedy = CacheRemedy::otherMachine;
                return outOfReach(
                    "a network file system (" + layer.fsType + "): its server may answer from its own cache", false);
            case LayerKind::userSpace:
                return outOfReach("a user-space file system (" + layer.fsType +
                                      ") without a device: its server may answer from memory",
                                  false);
            case LayerKind::stacked:
                return outOfReach(layer.fsType + " is stacked on other file systems, whose caches are out of reach",
                                  false);
            case LayerKind::driveServer:
                if (k == 0) plan.replugEmptiesCaches = false;  // no device to re-plug
                return plan;
            case LayerKind::kernel:
            case LayerKind::fuseOnDevice: break;
        }
        if (layer.device.empty())
            return outOfReach(layer.fsType + " has no drive under it that this test can see", false);
        if (k == 0) plan.drive = layer.device;
        if (layer.kind == LayerKind::fuseOnDevice) {
            plan.caches.push_back({layer.device, true});
            // A drive deeper down keeps its cache when the top one is re-plugged.
            if (k > 0) plan.replugEmptiesCaches = false;
        }
        if (!layer.loop) return plan;
        if (layer.backingFile.empty()) return outOfReach("the backing file of " + layer.device + " is unknown", false);
        if (!layer.loopDirect) {
            plan.caches.push_back({layer.backingFile, false});
            plan.replugEmptiesCaches = false;
        }
        if (k + 1 == chain.size()) return outOfReach("what holds " + layer.backingFile + " is unknown", false);
    }
    return plan;
}

CacheCheck WindowsVolumeReadBack(bool remote, const std::string& fileSystem, bool underWine) {
    CacheCheck check;
    check.readBack = ReadBack::mayBeCached;
    if (remote) {
        check.reason = "a network drive: its server may answer from its own cache";
        check.remedy = CacheRemedy::otherMachine;
    } else if (!OneOf(fileSystem, {"NTFS", "FAT", "FAT32", "exFAT", "ReFS", "UDF", "CDFS"})) {
        check.reason = "the file system " + (fileSystem.empty() ? std::string("of the volume") : fileSystem) +
                       " is not one of Windows' own: a user-mode file system may answer from memory";
    } else if (underWine) {
        check.reason = "under Wine, reads come through Linux's cache";
        check.remedy = CacheRemedy::linuxBuild;
    } else {
        check.readBack = ReadBack::direct;
    }
    return check;
}
