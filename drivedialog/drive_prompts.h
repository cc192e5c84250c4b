// The questions the dialog asks before a test begins: what to do with a set
// already there, the system drive, a network drive.
#pragma once

#include "drive_run.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

// The set on target when there is one.
struct FoundSet {
    bool present = false;
    bool finished = false;
    uint64_t bytes = 0;  // written so far
};
FoundSet LookForSet(const std::string& folder);

// Asks what the user must decide before Write + Verify on request.folder and
// fills in request's choice; false when the user called it off.
bool ConfirmFill(HWND dialog, DriveRunRequest* request);
// The same for Verify: only the network drive's note.
bool ConfirmVerify(HWND dialog, const std::string& folder);
