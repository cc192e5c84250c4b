#include "drive_prompts.h"

#include "drive_list.h"
#include "drive_set.h"
#include "drive_units.h"

namespace {

const char* const kCaption = "Fillwright Drive Test";

int Ask(HWND dialog, const std::string& text, UINT buttons) {
    return MessageBoxA(dialog, text.c_str(), kCaption, buttons);
}

std::string Size(uint64_t bytes) { return FormatDecimalBytes(static_cast<double>(bytes)); }

bool ConfirmSystemDrive(HWND dialog, DriveRunRequest* request) {
    const std::string root = VolumeRoot(request->folder);
    if (!SameRoot(root, SystemDriveRoot())) return true;
    request->allowSystemDrive =
        Ask(dialog,
            root +
                " is the drive Windows runs from. Filling it can stop programs from saving their work. Test it anyway?",
            MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
    return request->allowSystemDrive;
}

bool ConfirmNetworkDrive(HWND dialog, const std::string& folder) {
    if (!IsNetworkDrive(folder)) return true;
    return Ask(dialog,
               folder +
                   " is on a network drive: what is read back may come from the server's cache rather than from its "
                   "disk.",
               MB_OKCANCEL | MB_ICONINFORMATION) == IDOK;
}

// Replace, resume or nothing, as the set already there calls for.
bool ConfirmSetThere(HWND dialog, DriveRunRequest* request) {
    const FoundSet set = LookForSet(request->folder);
    if (!set.present) return true;
    if (set.finished) {
        return Ask(dialog,
                   request->folder + " holds a finished test set of " + Size(set.bytes) +
                       ". Replace it with a new one?",
                   MB_YESNO | MB_ICONQUESTION) == IDYES;
    }
    const int answer =
        Ask(dialog, request->folder + " holds an unfinished test: " + Size(set.bytes) + " written. Continue it?",
            MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDCANCEL) return false;
    request->replaceUnfinished = answer == IDNO;
    return true;
}

}  // namespace

FoundSet LookForSet(const std::string& folder) {
    FoundSet found;
    if (folder.empty()) return found;
    const DriveOps ops = SystemDriveOps();
    const std::optional<std::string> text = ops.readText(PathIn(ops, folder, kSetDescriptionName));
    const std::optional<DriveSet> set = text ? ReadSetDescription(*text) : std::nullopt;
    if (!set) return found;
    found.present = true;
    found.finished = set->finished;
    found.bytes = set->finished ? set->written : WrittenOnDisk(ops, folder, *set);
    return found;
}

bool ConfirmFill(HWND dialog, DriveRunRequest* request) {
    return ConfirmSystemDrive(dialog, request) && ConfirmNetworkDrive(dialog, request->folder) &&
           ConfirmSetThere(dialog, request);
}

bool ConfirmVerify(HWND dialog, const std::string& folder) { return ConfirmNetworkDrive(dialog, folder); }
