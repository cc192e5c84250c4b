// libFuzzer target: a test set's description, as read from a drive, on any
// bytes. Besides the sanitizers' findings, any broken promise of the parser
// stops the run: what it takes is consistent, and reads back the same.
#include "drive_set.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

static void Require(bool promise) {
    if (!promise) std::abort();
}

static void Check(const std::string& text, uint64_t fileSystemBytes) {
    std::string fault;
    const std::optional<DriveSet> set = ReadSetDescription(text, fileSystemBytes, &fault);
    if (!set) {
        Require(text.compare(0, 36, "fillwright drive test set, format 1\n") != 0 || !fault.empty());
        return;
    }
    Require(fault.empty() && text.size() <= kLargestDescription);
    Require(set->fileSize >= kDriveBlockBytes && set->fileSize <= kLargestFileSize &&
            set->fileSize % kDriveBlockBytes == 0);
    Require(!set->total || (*set->total >= kDriveBlockBytes && *set->total % kDriveBlockBytes == 0));
    // A fill goes on from at most the end of the files begun, and those fit the room.
    const uint64_t room = fileSystemBytes > 0 ? fileSystemBytes : set->total.value_or(UINT64_MAX);
    Require(set->files <= room / set->fileSize + 1 || (set->total && set->files <= *set->total / set->fileSize + 1));
    Require(set->written <= uint64_t(set->files) * set->fileSize && (set->finished || set->written == 0));
    const std::optional<DriveSet> again = ReadSetDescription(DescribeSet(*set), fileSystemBytes);
    Require(again && DescribeSet(*again) == DescribeSet(*set));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Check(text, 0);
    Check(text, uint64_t(64) << 20);
    return 0;
}
