#include "drive_set.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>

const char* const kSetDescriptionName = "fillwright-drivetest.txt";

namespace {

const char* const kFirstLine = "fillwright drive test set, format 1";

}  // namespace

std::string SetFileName(uint32_t number) {
    char name[48];
    std::snprintf(name, sizeof name, "fillwright-drivetest-%05u.bin", static_cast<unsigned>(number));
    return name;
}

std::string PathIn(const DriveOps& ops, const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() != ops.separator && folder.back() != '/') return folder + ops.separator + name;
    return folder + name;
}

std::string DescribeSet(const DriveSet& set) {
    std::ostringstream text;
    text << kFirstLine << "\n";
    text << "run " << std::hex << set.run.number << std::dec << "\n";
    text << "file_size " << set.fileSize << "\n";
    text << "total " << (set.total ? std::to_string(*set.total) : std::string("free_space")) << "\n";
    text << "files " << set.files << "\n";
    text << "state " << (set.finished ? "finished" : "filling") << "\n";
    if (set.finished) text << "written " << set.written << "\n";
    if (set.diskseq) text << "diskseq " << *set.diskseq << "\n";
    if (!set.bootId.empty()) text << "boot_id " << set.bootId << "\n";
    if (!set.volumeId.empty()) text << "volume " << set.volumeId << "\n";
    return text.str();
}

namespace {

// A number as DescribeSet writes it: plain digits, no sign or leading zero,
// at most largest.
bool ReadNumber(const std::string& text, uint64_t largest, int base, uint64_t* number) {
    if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) return false;
    uint64_t value = 0;
    for (char c : text) {
        const bool decimal = c >= '0' && c <= '9';
        const bool hex = base == 16 && c >= 'a' && c <= 'f';
        if (!decimal && !hex) return false;
        const uint64_t digit = decimal ? uint64_t(c - '0') : uint64_t(c - 'a' + 10);
        if (value > (largest - digit) / uint64_t(base)) return false;
        value = value * uint64_t(base) + digit;
    }
    *number = value;
    return true;
}

// A name as the system gives it: letters, digits and a few marks.
bool ReadName(const std::string& text) {
    return !text.empty() && text.size() <= 64 && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || std::strchr("-:._", c) != nullptr;
    });
}

const char* const kKeys[] = {"run", "file_size", "total", "files", "state", "written", "diskseq", "boot_id", "volume"};
const size_t kKeyCount = sizeof kKeys / sizeof kKeys[0];

struct Lines {
    std::string value[kKeyCount];
    size_t line[kKeyCount] = {};  // 0: not given
};

size_t KeyIndex(const std::string& key) {
    return static_cast<size_t>(std::find(kKeys, kKeys + kKeyCount, key) - kKeys);
}

std::string AtLine(size_t line, const std::string& text) { return "line " + std::to_string(line) + ": " + text; }

// The lines by key, or why they are not a description's lines.
bool SplitLines(const std::string& text, Lines* lines, std::string* fault) {
    size_t number = 1, start = text.find('\n') + 1;
    while (start < text.size()) {
        ++number;
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            *fault = AtLine(number, "does not end in a line break");
            return false;
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const size_t k = KeyIndex(key);
        const bool printable = std::all_of(line.begin(), line.end(), [](char c) { return c >= ' ' && c <= '~'; });
        if (!printable) {
            *fault = AtLine(number, "holds bytes no description holds");
        } else if (k == kKeyCount) {
            *fault = AtLine(number, "'" + key + "' is no key of a description");
        } else if (lines->line[k] != 0) {
            *fault = AtLine(number, key + " is given twice");
        } else if (space == std::string::npos || line.find(' ', space + 1) != std::string::npos) {
            *fault = AtLine(number, key + " needs one value");
        }
        if (!fault->empty()) return false;
        lines->value[k] = line.substr(space + 1);
        lines->line[k] = number;
    }
    return true;
}

// Each value read and in range; false with *fault naming the line.
bool ReadValues(const Lines& lines, DriveSet* set, std::string* fault) {
    for (size_t k = 0; k < kKeyCount; ++k) {
        const std::string key = kKeys[k], value = lines.value[k];
        if (lines.line[k] == 0) {
            const bool required =
                key == "run" || key == "file_size" || key == "total" || key == "files" || key == "state";
            if (!required) continue;
            *fault = "no " + key + " line";
            return false;
        }
        uint64_t number = 0;
        bool sound = true;
        if (key == "run") {
            sound = ReadNumber(value, UINT64_MAX, 16, &set->run.number);
        } else if (key == "file_size") {
            sound = ReadNumber(value, kLargestFileSize, 10, &set->fileSize) && set->fileSize >= kDriveBlockBytes &&
                    set->fileSize % kDriveBlockBytes == 0;
        } else if (key == "total" && value != "free_space") {
            sound = ReadNumber(value, UINT64_MAX, 10, &number) && number >= kDriveBlockBytes &&
                    number % kDriveBlockBytes == 0;
            set->total = number;
        } else if (key == "files") {
            sound = ReadNumber(value, UINT32_MAX, 10, &number);
            set->files = static_cast<uint32_t>(number);
        } else if (key == "state") {
            sound = value == "finished" || value == "filling";
            set->finished = value == "finished";
        } else if (key == "written") {
            sound = ReadNumber(value, UINT64_MAX, 10, &set->written) && set->written % kDriveBlockBytes == 0;
        } else if (key == "diskseq") {
            sound = ReadNumber(value, UINT64_MAX, 10, &number);
            set->diskseq = number;
        } else if (key == "boot_id") {
            sound = ReadName(value);
            set->bootId = value;
        } else if (key == "volume") {
            sound = ReadName(value);
            set->volumeId = value;
        }
        if (!sound) {
            std::string line = key;
            line += " " + value + " is out of range";
            *fault = AtLine(lines.line[k], line);
            return false;
        }
    }
    return true;
}

// Whether the sizes agree: the files begun fit the total and the file
// system, and what was written fits the files.
bool SizesAgree(const Lines& lines, const DriveSet& set, uint64_t fileSystemBytes, std::string* fault) {
    uint64_t room = set.total.value_or(UINT64_MAX);
    if (fileSystemBytes > 0) room = std::min(room, fileSystemBytes);
    const char* bound = set.total ? "the file size and total" : "the file size and the file system";
    // One file more than the room holds: a fill may begin one when the space runs out.
    const uint64_t filesThatFit = room / set.fileSize + 1;
    if (set.files > filesThatFit) {
        *fault = AtLine(lines.line[KeyIndex("files")], "files " + std::to_string(set.files) + " does not fit " + bound);
        return false;
    }
    const size_t writtenLine = lines.line[KeyIndex("written")];
    if (set.finished != (writtenLine != 0)) {
        *fault = writtenLine != 0 ? AtLine(writtenLine, "written is given for a set still filling") : "no written line";
        return false;
    }
    if (set.written > set.files * set.fileSize || set.written > room) {
        *fault = AtLine(writtenLine, "written " + std::to_string(set.written) + " does not fit the files, " + bound);
        return false;
    }
    return true;
}

}  // namespace

std::optional<DriveSet> ReadSetDescription(const std::string& text, uint64_t fileSystemBytes, std::string* fault) {
    std::string ignored;
    std::string& why = fault ? *fault : ignored;
    why.clear();
    if (text.compare(0, std::strlen(kFirstLine) + 1, std::string(kFirstLine) + "\n") != 0) return std::nullopt;
    if (text.size() > kLargestDescription) {
        why = "larger than a description (" + std::to_string(text.size()) + " bytes)";
        return std::nullopt;
    }
    Lines lines;
    DriveSet set;
    if (!SplitLines(text, &lines, &why) || !ReadValues(lines, &set, &why) ||
        !SizesAgree(lines, set, fileSystemBytes, &why)) {
        return std::nullopt;
    }
    return set;
}

uint32_t FileOfOffset(const DriveSet& set, uint64_t setOffset) {
    return static_cast<uint32_t>(setOffset / set.fileSize + 1);
}

uint64_t FileStart(const DriveSet& set, uint32_t number) { return (number - uint64_t(1)) * set.fileSize; }

uint64_t WrittenOnDisk(const DriveOps& ops, const std::string& folder, const DriveSet& set) {
    if (set.files == 0) return 0;
    const std::string lastPath = PathIn(ops, folder, SetFileName(set.files));
    // What is not the set's own file counts as a whole one, all unreadable: never as nothing written.
    const uint64_t whole = set.total ? std::min(set.fileSize, *set.total - FileStart(set, set.files)) : set.fileSize;
    const uint64_t last = ops.notOwnFile && ops.notOwnFile(lastPath) ? whole : ops.fileLength(lastPath).value_or(0);
    const uint64_t lastWhole = std::min(last, set.fileSize) / kDriveBlockBytes * kDriveBlockBytes;
    return FileStart(set, set.files) + lastWhole;
}

bool RemoveSet(const DriveOps& ops, const std::string& folder, const DriveSet& set, std::string* reason) {
    // Past the files the description names, in case the program stopped
    // between making a file and noting it.
    for (uint32_t number = 1;; ++number) {
        const std::string path = PathIn(ops, folder, SetFileName(number));
        if (!ops.fileLength(path)) {
            if (number > set.files) break;
            continue;
        }
        if (!ops.remove(path, reason)) return false;
    }
    return ops.remove(PathIn(ops, folder, kSetDescriptionName), reason);
}
