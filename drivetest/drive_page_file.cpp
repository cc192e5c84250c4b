// Where a page may go: not on the drive under test, and only where it can
// be written; and its writing, under a temporary name renamed at the end.
#include "drive_page_file.h"

namespace {

std::string TemporaryName(const std::string& path) { return path + ".partial"; }

// The folder a path names a file in: "." for a bare name.
std::string FolderOf(const DriveOps& ops, const std::string& path) {
    const size_t last = path.find_last_of(std::string("/") + ops.separator);
    if (last == std::string::npos) return ".";
    return last == 0 ? path.substr(0, 1) : path.substr(0, last);
}

}  // namespace

std::optional<std::string> DrivePagePathProblem(const DriveOps& ops, const std::string& path,
                                                const std::string& folder) {
    const PathFacts page = ops.inspectPath(path);
    if (!page.reason.empty()) return page.reason;
    if (page.kind == PathKind::folder) return std::string("a folder: the page needs a file name");
    if (page.kind == PathKind::other) return std::string("not a regular file");
    const PathFacts where = ops.inspectPath(FolderOf(ops, path));
    const PathFacts tested = ops.inspectPath(folder);
    if (where.volume && tested.volume && *where.volume == *tested.volume) {
        return "on the drive under test (" + folder + "): it would take space the test fills; save it elsewhere";
    }
    // The system's own answer: a file made where the page will be, and removed.
    std::string reason;
    if (!ops.writeText(TemporaryName(path), "", &reason)) return reason;
    ops.remove(TemporaryName(path), &reason);
    return std::nullopt;
}

bool SaveDrivePage(const DriveOps& ops, const std::string& path, const std::string& html, std::string* reason) {
    const std::string temporary = TemporaryName(path);
    if (ops.writeText(temporary, html, reason) && ops.rename(temporary, path, reason)) return true;
    std::string ignored;
    ops.remove(temporary, &ignored);
    return false;
}
