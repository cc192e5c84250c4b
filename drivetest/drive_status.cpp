#include "drive_status.h"

#include "drive_units.h"

#include <algorithm>
#include <cstdio>

std::string DriveStatusText(const DriveProgress& progress) {
    std::string text = progress.phase == DrivePhase::writing ? "Writing: " : "Reading back: ";
    text += FormatBytes(static_cast<double>(progress.bytesDone));
    if (progress.bytesExpected > 0) {
        const double percent = std::min(100.0, 100.0 * static_cast<double>(progress.bytesDone) / static_cast<double>(progress.bytesExpected));
        char percentText[16];
        std::snprintf(percentText, sizeof percentText, " (%d %%)", static_cast<int>(percent));
        text += " of " + FormatBytes(static_cast<double>(progress.bytesExpected)) + percentText;
    }
    if (progress.bytesPerSecond > 0) text += ", " + FormatBytes(progress.bytesPerSecond) + "/s";
    if (progress.secondsLeft >= 0) text += ", " + FormatDuration(progress.secondsLeft) + " left";
    text += ". ";
    text += progress.bytesLost == 0 ? std::string("Nothing lost so far.")
                                    : FormatBytes(static_cast<double>(progress.bytesLost)) + " lost so far.";
    return text;
}
