// A file's place on its disk from what Windows answers about it: the
// file's runs of clusters, where the volume's clusters begin, the cluster
// size and the volume's place on its disk. Plain numbers in, so that the
// arithmetic is tested on any system with answers recorded elsewhere.
#pragma once

#include "drive_platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One run of FSCTL_GET_RETRIEVAL_POINTERS: the clusters from the previous
// run's nextVcn (or the starting VCN) up to nextVcn lie from lcn on; lcn -1
// for clusters with no place (sparse, or compressed away).
struct ClusterRun {
    int64_t nextVcn = 0;
    int64_t lcn = 0;
};

// One extent of IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS.
struct VolumeDiskExtent {
    uint32_t disk = 0;
    uint64_t startingOffset = 0;  // bytes from the disk's start
    uint64_t length = 0;
};

struct RetrievalAnswers {
    std::string failure;  // the first call that failed, and why; empty when all answered
    int64_t startingVcn = 0;
    std::vector<ClusterRun> runs;
    uint64_t clusterBytes = 0;
    uint64_t bytesPerSector = 0;
    uint64_t clusterHeapSectors = 0;  // FSCTL_GET_RETRIEVAL_POINTER_BASE, from the volume's start
    std::vector<VolumeDiskExtent> volumeExtents;
    std::optional<uint64_t> diskBytes;  // IOCTL_DISK_GET_DRIVE_GEOMETRY_EX's DiskSize
    uint64_t fileBytes = 0;
};

// The file's extents on its disk, or unknown where an answer is missing or
// does not add up.
FileExtents ExtentsFromRetrieval(const RetrievalAnswers& answers);
