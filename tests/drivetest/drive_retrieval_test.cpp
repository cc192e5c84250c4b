// A file's place on its disk from Windows' answers, worked out for the
// layouts of FAT32, exFAT and NTFS volumes on partitions past the disk's
// start; and answers that do not add up give no place at all.
#include "drive_retrieval.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const uint64_t KiB = 1024, MiB = KiB * KiB, GiB = MiB * KiB;

struct RetrievalCase {
    const char* name;
    RetrievalAnswers answers;
    std::vector<DriveExtent> extents;  // empty: unknown
    const char* unknownBecause;
};

// The answers for a volume of one disk extent, on a disk of 64 GiB.
RetrievalAnswers Volume(uint64_t partitionStart, uint64_t volumeBytes, uint64_t clusterBytes, uint64_t sectorBytes,
                        uint64_t heapSectors, int64_t startingVcn, std::vector<ClusterRun> runs) {
    return RetrievalAnswers{"",
                            startingVcn,
                            std::move(runs),
                            clusterBytes,
                            sectorBytes,
                            heapSectors,
                            {VolumeDiskExtent{1, partitionStart, volumeBytes}},
                            64 * GiB,
                            0};
}

template <typename Change>
RetrievalAnswers With(RetrievalAnswers answers, Change change) {
    change(answers);
    return answers;
}

TEST(DriveRetrieval, ClustersBecomeDriveOffsets) {
    // NTFS counts clusters from the volume's first sector; FAT32 from the
    // first cluster after its reserved sectors and two FATs (32 + 2 x 7672
    // sectors here); exFAT from its cluster heap (16 MiB into a volume of
    // 4 KiB sectors).
    const RetrievalAnswers ntfs = Volume(MiB, 60 * GiB, 4 * KiB, 512, 0, 0, {{256, 786432}, {512, 1000}});
    const RetrievalAnswers fat32 = Volume(MiB, 31 * GiB, 32 * KiB, 512, 32 + 2 * 7672, 0, {{32, 5}, {40, 100}});
    const RetrievalAnswers exfat = Volume(32 * MiB, 60 * GiB, 128 * KiB, 4096, 4096, 0, {{8, 0}, {16, 77}});
    const std::vector<RetrievalCase> cases = {
        {"NTFS", ntfs, {{0, MiB + 786432 * 4 * KiB, MiB}, {MiB, MiB + 1000 * 4 * KiB, MiB}}, ""},
        {"FAT32",
         fat32,
         {{0, MiB + (32 + 2 * 7672) * 512 + 5 * 32 * KiB, MiB},
          {MiB, MiB + (32 + 2 * 7672) * 512 + 100 * 32 * KiB, 256 * KiB}},
         ""},
        {"exFAT", exfat, {{0, 32 * MiB + 16 * MiB, MiB}, {MiB, 32 * MiB + 16 * MiB + 77 * 128 * KiB, MiB}}, ""},
        // A sparse run has no place; the rest keeps its file offsets.
        {"NTFS, sparse in the middle",
         Volume(MiB, 60 * GiB, 4 * KiB, 512, 0, 0, {{256, 5000}, {512, -1}, {768, 9000}}),
         {{0, MiB + 5000 * 4 * KiB, MiB}, {2 * MiB, MiB + 9000 * 4 * KiB, MiB}},
         ""},
        {"runs asked for from a later cluster",
         Volume(MiB, 60 * GiB, 4 * KiB, 512, 0, 256, {{512, 7}}),
         {{MiB, MiB + 7 * 4 * KiB, MiB}},
         ""},
        {"a call failed",
         With(ntfs, [](RetrievalAnswers& a) { a.failure = "FSCTL_GET_RETRIEVAL_POINTERS: Not supported"; }),
         {},
         "FSCTL_GET_RETRIEVAL_POINTERS: Not supported"},
        {"a volume over two disks",
         With(ntfs,
              [](RetrievalAnswers& a) {
                  a.volumeExtents.push_back({2, 0, GiB});
              }),
         {},
         "the volume spans more than one disk extent"},
        {"no place of the volume",
         With(ntfs, [](RetrievalAnswers& a) { a.volumeExtents.clear(); }),
         {},
         "the system gave no place of the volume"},
        {"no cluster size",
         With(ntfs, [](RetrievalAnswers& a) { a.clusterBytes = 0; }),
         {},
         "the system gave no cluster size"},
        {"clusters past the volume's end",
         With(ntfs, [](RetrievalAnswers& a) { a.volumeExtents[0].length = GiB; }),
         {},
         "the system placed a file's clusters past the end of its volume"},
        {"a volume past the disk's end",
         With(ntfs, [](RetrievalAnswers& a) { a.diskBytes = 32 * GiB; }),
         {},
         "the volume's place reaches past the end of its disk"},
        {"runs that go backwards",
         Volume(MiB, 60 * GiB, 4 * KiB, 512, 0, 0, {{256, 1}, {128, 2}}),
         {},
         "the system's cluster runs do not add up"},
        {"runs that end before the file",
         With(ntfs, [](RetrievalAnswers& a) { a.fileBytes = 3 * MiB; }),
         {},
         "the system's cluster runs end before the file does"},
    };
    for (const RetrievalCase& c : cases) {
        SCOPED_TRACE(c.name);
        const FileExtents map = ExtentsFromRetrieval(c.answers);
        EXPECT_EQ(map.known, !c.extents.empty());
        EXPECT_EQ(map.unknownBecause.find(c.unknownBecause), 0u) << map.unknownBecause;
        ASSERT_EQ(map.extents.size(), c.extents.size());
        for (size_t i = 0; i < c.extents.size(); ++i) {
            EXPECT_EQ(map.extents[i].fileOffset, c.extents[i].fileOffset) << i;
            EXPECT_EQ(map.extents[i].driveOffset, c.extents[i].driveOffset) << i;
            EXPECT_EQ(map.extents[i].length, c.extents[i].length) << i;
        }
        if (map.known) {
            EXPECT_EQ(map.partitionStart.value_or(0), c.answers.volumeExtents[0].startingOffset);
            EXPECT_EQ(map.driveBytes.value_or(0), 64 * GiB);
        }
    }
}

}  // namespace
