// What lies under a folder, as mountinfo and statfs say, and which caches
// a read-back must empty for each stacking seen on real systems.
#include "drive_layers.h"

#include <gtest/gtest.h>

namespace {

TEST(DriveLayers, ReadsMountInfoLines) {
    const std::optional<MountEntry> fuse = ParseMountInfoLine(
        "612 27 0:58 / /tmp/fillwright-drives.x/my\\040stick rw,nosuid,nodev,relatime shared:1 master:2 - fuseblk "
        "/dev/loop3 rw,user_id=0,group_id=0,allow_other,blksize=4096");
    ASSERT_TRUE(fuse);
    EXPECT_EQ(fuse->major, 0u);
    EXPECT_EQ(fuse->minor, 58u);
    EXPECT_EQ(fuse->mountPoint, "/tmp/fillwright-drives.x/my stick");
    EXPECT_EQ(fuse->fsType, "fuseblk");
    EXPECT_EQ(fuse->source, "/dev/loop3");
    const std::optional<MountEntry> root = ParseMountInfoLine("27 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->major, 254u);
    EXPECT_EQ(root->source, "/dev/vda");
    for (const char* broken : {"", "27 1 254:0 / / rw,relatime ext4 /dev/vda rw",
                               "27 1 254-0 / / rw - ext4 /dev/vda rw", "27 1 254:0 / / rw -"}) {
        EXPECT_FALSE(ParseMountInfoLine(broken)) << broken;
    }
}

TEST(DriveLayers, FindsTheMountThatHoldsAPath) {
    const std::vector<MountEntry> mounts = {
        {254, 0, "/", "ext4", "/dev/vda"},
        {7, 1, "/media/stick", "ext4", "/dev/loop1"},
        {7, 1, "/media/stick/bound", "ext4", "/dev/loop1"},
    };
    EXPECT_EQ(MountHolding(mounts, 7, 1, "/media/stick/bound/dir")->mountPoint, "/media/stick/bound");
    EXPECT_EQ(MountHolding(mounts, 7, 1, "/media/stick/dir")->mountPoint, "/media/stick");
    EXPECT_EQ(MountHolding(mounts, 254, 0, "/media/stickier")->mountPoint, "/");
    EXPECT_EQ(MountHolding(mounts, 7, 1, "/media/stickier")->mountPoint, "/");
    EXPECT_EQ(MountHolding(mounts, 0, 41, "/media/stick/subvolume")->mountPoint, "/media/stick");  // btrfs
}

TEST(DriveLayers, KnowsEachKindOfFileSystem) {
    struct Case {
        int64_t magic;
        const char* type;
        const char* source;
        LayerKind kind;
    };
    const int64_t fuse = 0x65735546;
    for (const Case& c :
         {Case{0xEF53, "ext4", "/dev/sda1", LayerKind::kernel},
          Case{fuse, "fuseblk", "/dev/loop0", LayerKind::fuseOnDevice},
          Case{fuse, "fuse", "/dev/sdb1", LayerKind::fuseOnDevice},
          Case{fuse, "fuse.nbdfuse", "nbdfuse", LayerKind::driveServer},
          Case{fuse, "fuse.sshfs", "me@host:", LayerKind::userSpace},
          Case{0x6969, "nfs4", "host:/export", LayerKind::network},
          Case{0xFE534D42, "cifs", "//host/share", LayerKind::network},
          Case{0x858458F6, "ramfs", "ramfs", LayerKind::memory},
          Case{0x794C7630, "overlay", "overlay", LayerKind::stacked}, Case{0, "nfs", "host:/x", LayerKind::network}}) {
        EXPECT_EQ(KindOfFileSystem(c.magic, c.type, c.source), c.kind) << c.type;
    }
}

StorageLayer Layer(LayerKind kind, const char* type, const char* device, bool loop = false, bool direct = false,
                   const char* backing = "") {
    StorageLayer layer;
    layer.kind = kind;
    layer.fsType = type;
    layer.device = device;
    layer.loop = loop;
    layer.loopDirect = direct;
    layer.backingFile = backing;
    return layer;
}

TEST(DriveLayers, PlansWhichCachesToEmpty) {
    const StorageLayer nbd = Layer(LayerKind::driveServer, "fuse.nbdfuse", "");
    const StorageLayer onDisk = Layer(LayerKind::kernel, "ext4", "/dev/vda");
    struct Case {
        const char* name;
        std::vector<StorageLayer> chain;
        std::vector<std::string> caches;
        bool doubt;
        bool replugEmpties;
        CacheRemedy remedy;
    };
    const Case cases[] = {
        {"ext4 on a drive", {Layer(LayerKind::kernel, "ext4", "/dev/sdb1")}, {}, false, true, CacheRemedy::replug},
        {"ext4 on a loop device with direct I/O over a drive image",
         {Layer(LayerKind::kernel, "ext4", "/dev/loop0", true, true, "/fake.nbd"), nbd},
         {},
         false,
         true,
         CacheRemedy::replug},
        {"exFAT through FUSE on a loop device",
         {Layer(LayerKind::fuseOnDevice, "fuseblk", "/dev/loop0", true, true, "/fake.nbd"), nbd},
         {"/dev/loop0"},
         false,
         true,
         CacheRemedy::replug},
        {"a loop device reading its backing file through the cache",
         {Layer(LayerKind::kernel, "ext4", "/dev/loop1", true, false, "/m/inner.img"),
          Layer(LayerKind::kernel, "ext4", "/dev/loop0", true, true, "/fake.nbd"), nbd},
         {"/m/inner.img"},
         false,
         false,
         CacheRemedy::replug},
        {"a backing file on a FUSE drive",
         {Layer(LayerKind::kernel, "ext4", "/dev/loop1", true, true, "/m/inner.img"),
          Layer(LayerKind::fuseOnDevice, "fuseblk", "/dev/sdb1")},
         {"/dev/sdb1"},
         false,
         false,
         CacheRemedy::replug},
        {"an image file on the system drive",
         {Layer(LayerKind::kernel, "ext4", "/dev/loop2", true, true, "/tmp/a.img"), onDisk},
         {},
         false,
         true,
         CacheRemedy::replug},
        {"a network share", {Layer(LayerKind::network, "nfs4", "")}, {}, true, false, CacheRemedy::otherMachine},
        {"FUSE without a device",
         {Layer(LayerKind::userSpace, "fuse.sshfs", "")},
         {},
         true,
         false,
         CacheRemedy::replug},
        {"ramfs", {Layer(LayerKind::memory, "ramfs", "")}, {}, true, false, CacheRemedy::replug},
        {"a loop device over a network file",
         {Layer(LayerKind::kernel, "ext4", "/dev/loop1", true, true, "/net/x.img"),
          Layer(LayerKind::network, "nfs", "")},
         {},
         true,
         false,
         CacheRemedy::otherMachine},
        {"a loop device whose backing file is unknown",
         {Layer(LayerKind::kernel, "ext4", "/dev/loop1", true, true, "")},
         {},
         true,
         false,
         CacheRemedy::replug},
        {"a kernel file system without a device",
         {Layer(LayerKind::kernel, "zfs", "")},
         {},
         true,
         false,
         CacheRemedy::replug},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CachePlan plan = PlanCaches(c.chain);
        std::vector<std::string> caches;
        for (const CacheToEmpty& cache : plan.caches) caches.push_back(cache.path);
        EXPECT_EQ(caches, c.caches);
        EXPECT_EQ(!plan.doubt.empty(), c.doubt) << plan.doubt;
        EXPECT_EQ(plan.replugEmptiesCaches, c.replugEmpties);
        EXPECT_EQ(plan.remedy, c.remedy);
    }
}

TEST(DriveLayers, ChoosesTheWindowsReadBack) {
    struct Case {
        bool remote;
        const char* fileSystem;
        bool wine;
        ReadBack readBack;
        CacheRemedy remedy;
    };
    for (const Case& c : {Case{false, "NTFS", false, ReadBack::direct, CacheRemedy::replug},
                          Case{false, "exFAT", false, ReadBack::direct, CacheRemedy::replug},
                          Case{true, "NTFS", false, ReadBack::mayBeCached, CacheRemedy::otherMachine},
                          Case{true, "NTFS", true, ReadBack::mayBeCached, CacheRemedy::otherMachine},
                          Case{false, "FUSE-sshfs", false, ReadBack::mayBeCached, CacheRemedy::replug},
                          Case{false, "", false, ReadBack::mayBeCached, CacheRemedy::replug},
                          Case{false, "NTFS", true, ReadBack::mayBeCached, CacheRemedy::linuxBuild}}) {
        SCOPED_TRACE(std::string(c.fileSystem) + (c.remote ? " remote" : "") + (c.wine ? " wine" : ""));
        const CacheCheck check = WindowsVolumeReadBack(c.remote, c.fileSystem, c.wine);
        EXPECT_EQ(check.readBack, c.readBack);
        EXPECT_EQ(check.remedy, c.remedy);
        EXPECT_EQ(check.reason.empty(), c.readBack == ReadBack::direct);
    }
}

}  // namespace
