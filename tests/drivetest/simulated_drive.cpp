#include "simulated_drive.h"

#include "drive_block.h"

#include <algorithm>

namespace {

const uint64_t kBlock = kDriveBlockBytes;

IoResult Failure(IoStatus status, const char* reason, size_t bytes = 0) {
    IoResult result;
    result.status = status;
    result.reason = reason;
    result.bytes = bytes;
    return result;
}

bool Inside(const std::vector<SimRegion>& regions, uint64_t at, double* speed = nullptr) {
    for (const SimRegion& region : regions) {
        if (at >= region.from && at < region.to) {
            if (speed) *speed = region.bytesPerSecond;
            return true;
        }
    }
    return false;
}

void Spend(SimDrive& d, uint64_t device) {
    double speed = d.shape.bytesPerSecond;
    Inside(d.shape.slow, device, &speed);
    d.clock += static_cast<double>(kBlock) / speed;
}

void Cache(SimDrive& d, uint64_t device, const unsigned char* data) {
    if (d.shape.cacheBytes == 0) return;
    d.cache.remove_if([device](const auto& entry) { return entry.first == device; });
    d.cache.emplace_front(device, std::vector<unsigned char>(data, data + kBlock));
    if (d.cache.size() > d.shape.cacheBytes / kBlock) d.cache.pop_back();
}

// The drive's block under the file system's block device.
uint64_t DriveBlock(const SimDrive& d, uint64_t device) { return d.shape.partitionStart / kBlock + device; }

void WriteDeviceBlock(SimDrive& d, uint64_t fsBlock, const unsigned char* data) {
    const uint64_t device = DriveBlock(d, fsBlock);
    Spend(d, device * kBlock);
    Cache(d, device, data);
    const uint64_t real = d.shape.realBytes / kBlock;
    if (d.shape.lie == SimLie::drop && device >= real) return;
    const uint64_t physical = d.shape.lie == SimLie::wrap ? device % real : device;
    d.flash[physical].assign(data, data + kBlock);
}

bool ReadDeviceBlock(SimDrive& d, uint64_t fsBlock, unsigned char* data) {
    const uint64_t device = DriveBlock(d, fsBlock);
    Spend(d, device * kBlock);
    if (Inside(d.shape.unreadable, device * kBlock)) return false;
    auto cached =
        std::find_if(d.cache.begin(), d.cache.end(), [device](const auto& entry) { return entry.first == device; });
    if (cached != d.cache.end()) {
        std::copy(cached->second.begin(), cached->second.end(), data);
        d.cache.splice(d.cache.begin(), d.cache, cached);
        return true;
    }
    const uint64_t real = d.shape.realBytes / kBlock;
    const uint64_t physical = d.shape.lie == SimLie::wrap ? device % real : device;
    auto stored = d.flash.find(physical);
    if (stored == d.flash.end()) {  // never written: erased flash
        std::fill(data, data + kBlock, 0);
    } else {
        std::copy(stored->second.begin(), stored->second.end(), data);
    }
    for (uint64_t bit : d.shape.flippedBits) {
        if (bit / 8 / kBlock == device) data[bit / 8 % kBlock] ^= static_cast<unsigned char>(1u << (bit % 8));
    }
    Cache(d, device, data);
    return true;
}

uint64_t Capacity(const SimDrive& d) {
    return (d.shape.fullAt ? d.shape.fullAt : d.shape.claimedBytes) - d.shape.partitionStart;
}

// The file system's n-th block handed out, along its allocation order.
uint64_t NthBlock(const SimDrive& d, uint64_t n) {
    for (const SimPiece& piece : d.shape.allocationOrder) {
        if (n < piece.to - piece.from) return piece.from + n;
        n -= piece.to - piece.from;
    }
    return n;
}

uint64_t BlocksInUse(const SimDrive& d) { return d.nextBlock - d.freeBlocks.size(); }

bool Allocate(SimDrive& d, SimFile& file, uint64_t block) {
    while (file.blocks.size() <= block) {
        if ((BlocksInUse(d) + 1) * kBlock > Capacity(d)) return false;
        if (d.freeBlocks.empty()) {
            file.blocks.push_back(NthBlock(d, d.nextBlock++));
        } else {
            file.blocks.push_back(*d.freeBlocks.begin());
            d.freeBlocks.erase(d.freeBlocks.begin());
        }
    }
    return true;
}

SimFile* FileOf(SimDrive& d, const DriveFile& file) {
    auto found = d.files.find(d.handles[static_cast<size_t>(file.handle)]);
    return found == d.files.end() ? nullptr : &found->second;
}

bool ReadOnly(const SimDrive& d) { return d.shape.readOnlyAfter != 0 && d.written >= d.shape.readOnlyAfter; }

bool Away(const SimDrive& d) { return d.shape.away != SimAway::stays && d.written >= d.shape.awayAfter; }
bool Pulled(const SimDrive& d) { return Away(d) && d.shape.away == SimAway::pulled; }

// Block-sized transfers only: the drive test makes no others.
IoResult WriteAt(SimDrive& d, DriveFile& handle, uint64_t offset, const unsigned char* data, size_t count) {
    SimFile* file = FileOf(d, handle);
    if (!file) return Failure(IoStatus::failed, "Stale file handle");
    for (size_t done = 0; done < count; done += kBlock) {
        if (Pulled(d)) return Failure(IoStatus::failed, "Input/output error", done);
        if (ReadOnly(d)) return Failure(IoStatus::failed, "Read-only file system", done);
        const size_t block = static_cast<size_t>((offset + done) / kBlock);
        if (!Allocate(d, *file, block)) return Failure(IoStatus::noSpace, "No space left on device", done);
        WriteDeviceBlock(d, file->blocks[block], data + done);
        file->length = std::max(file->length, offset + done + kBlock);
        d.written += kBlock;
    }
    return IoResult{IoStatus::ok, count, ""};
}

IoResult ReadAt(SimDrive& d, DriveFile& handle, uint64_t offset, unsigned char* data, size_t count) {
    SimFile* file = FileOf(d, handle);
    if (!file) return Failure(IoStatus::failed, "Stale file handle");
    size_t done = 0;
    for (; done < count && offset + done < file->length; done += kBlock) {
        if (Pulled(d) ||
            !ReadDeviceBlock(d, file->blocks[static_cast<size_t>((offset + done) / kBlock)], data + done)) {
            return Failure(IoStatus::failed, "Input/output error", done);
        }
    }
    return IoResult{IoStatus::ok, done, ""};
}

FileExtents ExtentsOf(SimDrive& d, const std::string& path) {
    FileExtents map;
    if (d.shape.map != SimMap::foreign) {  // the drive itself is known
        map.driveBytes = d.shape.claimedBytes;
        map.partitionStart = d.shape.partitionStart;
    }
    if (d.shape.map == SimMap::missing || d.shape.map == SimMap::foreign || !d.files.count(path)) {
        map.unknownBecause =
            d.shape.map == SimMap::foreign ? "the file system's addresses are its own" : "no extent map";
        return map;
    }
    map.known = true;
    const SimFile& file = d.files[path];
    for (size_t k = 0; k < file.blocks.size(); ++k) {
        const uint64_t at = DriveBlock(d, file.blocks[k]) * kBlock;
        std::vector<DriveExtent>& extents = map.extents;
        if (!extents.empty() && extents.back().driveOffset + extents.back().length == at) {
            extents.back().length += kBlock;
        } else {
            extents.push_back(DriveExtent{k * kBlock, at, kBlock});
        }
    }
    if (d.shape.map == SimMap::gappy) {
        for (size_t k = 1; k < map.extents.size(); k += 1)
            map.extents.erase(map.extents.begin() + static_cast<std::ptrdiff_t>(k));
    }
    return map;
}

void RemoveFile(SimDrive& d, const std::string& path) {
    auto found = d.files.find(path);
    if (found == d.files.end()) return;
    for (uint64_t block : found->second.blocks) d.freeBlocks.insert(block);
    d.files.erase(found);
}

}  // namespace

DriveOps SimulatedDriveOps(SimDrive* drive) {
    SimDrive& d = *drive;
    DriveOps ops;
    ops.open = [&d](const std::string& path, OpenFor how, DriveFile* file) {
        if (d.strangers.count(path))
            return Failure(IoStatus::notOwnFile, ("not the set's own file: " + d.strangers[path]).c_str());
        if (Pulled(d)) return Failure(IoStatus::failed, "Input/output error");
        if (how != OpenFor::read && ReadOnly(d)) return Failure(IoStatus::failed, "Read-only file system");
        if (how == OpenFor::create) {
            RemoveFile(d, path);
            d.files[path] = SimFile();
        } else if (!d.files.count(path)) {
            return Failure(IoStatus::failed, "No such file or directory");
        }
        *file = DriveFile();
        file->handle = static_cast<intptr_t>(d.handles.size());
        file->direct = true;
        file->alignment = kBlock;
        file->readBack = ReadBack::direct;
        file->path = path;
        d.handles.push_back(path);
        return IoResult();
    };
    ops.writeAt = [&d](DriveFile& f, uint64_t at, const unsigned char* data, size_t n) {
        return WriteAt(d, f, at, data, n);
    };
    ops.readAt = [&d](DriveFile& f, uint64_t at, unsigned char* data, size_t n) { return ReadAt(d, f, at, data, n); };
    ops.setLength = [&d](DriveFile& f, uint64_t length, std::string*) {
        SimFile* file = FileOf(d, f);
        if (!file) return false;
        while (file->blocks.size() > (length + kBlock - 1) / kBlock) {
            d.freeBlocks.insert(file->blocks.back());
            file->blocks.pop_back();
        }
        file->length = std::min(file->length, length);
        return true;
    };
    ops.flush = [&d](const DriveFile&, std::string* reason) {
        if (ReadOnly(d)) *reason = "Read-only file system";
        return !ReadOnly(d);
    };
    ops.close = [](DriveFile& f) { f.handle = -1; };
    ops.remove = [&d](const std::string& path, std::string* reason) {
        if (d.strangers.count(path)) {
            *reason = "not the set's own file: " + d.strangers[path];
            return false;
        }
        RemoveFile(d, path);
        d.texts.erase(path);
        return true;
    };
    ops.fileLength = [&d](const std::string& path) -> std::optional<uint64_t> {
        if (d.texts.count(path)) return d.texts[path].size();
        if (!d.files.count(path)) return std::nullopt;
        return d.files[path].length;
    };
    ops.inspectFolder = [&d](const std::string& folder) {
        FolderState state;
        state.usable = folder == "sim";
        state.reason = state.usable ? "" : "No such file or directory";
        const uint64_t space = d.shape.claimedBytes - d.shape.partitionStart;
        state.freeBytes = space - std::min(space, BlocksInUse(d) * kBlock);
        state.sizeBytes = space;
        return state;
    };
    ops.writeText = [&d](const std::string& path, const std::string& text, std::string* reason) {
        if (Pulled(d)) {
            *reason = "Input/output error";
            return false;
        }
        if (ReadOnly(d)) *reason = "Read-only file system";
        if (!ReadOnly(d)) d.texts[path] = text;
        return !ReadOnly(d);
    };
    ops.readText = [&d](const std::string& path) -> std::optional<std::string> {
        if (!d.texts.count(path) || d.strangers.count(path)) return std::nullopt;
        return d.texts[path];
    };
    ops.startThread = [&d](std::function<void()> body, DriveThread* thread) {
        if (d.shape.threadsFail) return false;
        d.threads.push_back(std::make_unique<std::thread>(std::move(body)));
        thread->native = d.threads.size() - 1;
        return true;
    };
    ops.joinThread = [&d](DriveThread& thread) { d.threads[thread.native]->join(); };
    ops.seconds = [&d] { return d.clock; };
    ops.randomNumber = [&d] { return 0x5eed0000u + d.nextBlock; };
    ops.dropCaches = [&d](const std::string&, bool) {
        ++d.cacheDrops;
        return d.shape.caches;
    };
    ops.driveAttachment = [&d](const std::string&) { return d.shape.attachment; };
    ops.pinFolder = [&d](const std::string& folder) {
        PinnedFolder pin;
        pin.busy = folder == "sim" && d.pins > 0;
        pin.pinned = folder == "sim" && !pin.busy;
        pin.reason = folder == "sim" ? "Resource temporarily unavailable" : "No such file or directory";
        pin.onSystemDrive = d.shape.systemDrive;
        pin.systemHolds = "/";
        pin.volumeId = d.shape.volumeId;
        d.pins += pin.pinned ? 1 : 0;
        return pin;
    };
    ops.unpinFolder = [&d](const std::string&) { --d.pins; };
    ops.driveStillThere = [&d](const std::string&) { return !Away(d); };
    ops.notOwnFile = [&d](const std::string& path) -> std::optional<std::string> {
        if (!d.strangers.count(path)) return std::nullopt;
        return d.strangers[path];
    };
    ops.fileExtents = [&d](const std::string& path) { return ExtentsOf(d, path); };
    ops.identifyDrive = [&d](const std::string&) { return d.shape.identity; };
    // Two volumes: "sim" (the drive) and "other"; the small files live in either.
    ops.inspectPath = [&d](const std::string& path) {
        PathFacts facts;
        const bool other = path.rfind("other", 0) == 0;
        if (path == "sim" || path == "other") {
            facts.kind = PathKind::folder;
        } else if (d.texts.count(path) || d.files.count(path)) {
            facts.kind = PathKind::file;
        } else {
            return facts;
        }
        facts.volume = other ? 2 : 1;
        return facts;
    };
    ops.rename = [&d](const std::string& from, const std::string& to, std::string* reason) {
        if (!d.texts.count(from)) *reason = "No such file or directory";
        if (!d.texts.count(from)) return false;
        d.texts[to] = d.texts[from];
        d.texts.erase(from);
        return true;
    };
    ops.separator = '/';
    return ops;
}

DriveTestOptions SmallPace() {
    const uint64_t MiB = uint64_t(1) << 20;
    DriveTestOptions options;
    options.folder = "sim";
    options.fileSize = 8 * MiB;
    options.requestBytes = 256 * 1024;
    options.sampleEvery = MiB;
    options.sampleDistance = 4 * MiB;
    options.speedSampleEvery = 4 * MiB;
    return options;
}
