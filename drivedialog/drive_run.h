// The drive test on its own thread, and the record of its progress that the
// dialog's timer reads: the dialog never waits on the drive.
#pragma once

#include "drive_map.h"
#include "drive_test.h"

#include <cstdint>
#include <optional>
#include <string>

struct DriveRunRequest {
    std::string folder;
    std::optional<uint64_t> total;  // else all the free space
    bool stopEarly = true;
    bool verifyOnly = false;         // read back the set that is there
    bool replaceUnfinished = false;  // remove an unfinished set rather than go on with it
    bool allowSystemDrive = false;   // the user said yes to filling the system's drive
};

// What the timer shows; copied out under the record's lock.
struct DriveRunView {
    bool running = false;  // a test was started and has not been collected
    bool ended = false;    // its report is ready
    bool haveProgress = false;
    DriveProgress progress;
    DialogMap map;
};

// False, with reason, when no thread could be started.
bool StartDriveRun(const DriveRunRequest& request, std::string* reason);
// Asks the running test to stop after the request in flight.
void StopDriveRun();
DriveRunView ViewDriveRun();
// Once ended: the report, and the record back at rest for the next test.
DriveReport CollectDriveRun();
