#include "drive_retrieval.h"

namespace {

FileExtents Unknown(const std::string& why) {
    FileExtents map;
    map.unknownBecause = why;
    return map;
}

}  // namespace

FileExtents ExtentsFromRetrieval(const RetrievalAnswers& answers) {
    if (!answers.failure.empty()) return Unknown(answers.failure);
    if (answers.clusterBytes == 0 || answers.bytesPerSector == 0) return Unknown("the system gave no cluster size");
    if (answers.volumeExtents.size() != 1) {
        return Unknown(answers.volumeExtents.empty() ? "the system gave no place of the volume on its disk"
                                                     : "the volume spans more than one disk extent");
    }
    const VolumeDiskExtent& volume = answers.volumeExtents[0];
    const uint64_t heap = answers.clusterHeapSectors * answers.bytesPerSector;
    if (answers.diskBytes && volume.startingOffset + volume.length > *answers.diskBytes) {
        return Unknown("the volume's place reaches past the end of its disk");
    }
    FileExtents map;
    map.known = true;
    map.partitionStart = volume.startingOffset;
    map.driveBytes = answers.diskBytes;
    int64_t vcn = answers.startingVcn;
    for (const ClusterRun& run : answers.runs) {
        if (run.nextVcn <= vcn || vcn < 0) return Unknown("the system's cluster runs do not add up");
        const uint64_t clusters = static_cast<uint64_t>(run.nextVcn - vcn);
        if (run.lcn >= 0) {
            const uint64_t inVolume = heap + static_cast<uint64_t>(run.lcn) * answers.clusterBytes;
            const uint64_t length = clusters * answers.clusterBytes;
            if (inVolume + length > volume.length)
                return Unknown("the system placed a file's clusters past the end of its volume");
            DriveExtent extent;
            extent.fileOffset = static_cast<uint64_t>(vcn) * answers.clusterBytes;
            extent.driveOffset = volume.startingOffset + inVolume;
            extent.length = length;
            map.extents.push_back(extent);
        }
        vcn = run.nextVcn;
    }
    if (answers.fileBytes > 0 && static_cast<uint64_t>(vcn) * answers.clusterBytes < answers.fileBytes) {
        return Unknown("the system's cluster runs end before the file does");
    }
    return map;
}
