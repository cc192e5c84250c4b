#include "drive_platform.h"

size_t DirectHead(const DriveFile& file, uint64_t offset, uintptr_t address, size_t count) {
    if (!file.direct) return count;
    const bool aligned = offset % file.alignment == 0 && address % file.alignment == 0;
    return aligned ? count - count % file.alignment : 0;
}

DriveOps SystemDriveOps() {
    using namespace system_drive;
    DriveOps ops;
    ops.open = Open;
    ops.writeAt = WriteAt;
    ops.readAt = ReadAt;
    ops.setLength = SetLength;
    ops.flush = Flush;
    ops.close = Close;
    ops.remove = Remove;
    ops.fileLength = FileLength;
    ops.inspectFolder = InspectFolder;
    ops.writeText = WriteText;
    ops.readText = ReadText;
    ops.startThread = ::StartThread;
    ops.joinThread = ::JoinThread;
    ops.seconds = MonotonicSeconds;
    ops.randomNumber = RandomNumber;
    ops.dropCaches = DropCaches;
    ops.driveAttachment = AttachmentOf;
    ops.pinFolder = PinFolder;
    ops.unpinFolder = UnpinFolder;
    ops.driveStillThere = DriveStillThere;
    ops.notOwnFile = NotOwnFile;
    ops.fileExtents = FileExtentsOf;
    ops.identifyDrive = IdentifyDrive;
    ops.inspectPath = InspectPath;
    ops.rename = Rename;
    ops.separator = kSeparator;
    return ops;
}
