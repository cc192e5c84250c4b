#include "drive_status.h"

#include "drive_units.h"

#include <algorithm>

std::string DriveStatusText(const DriveProgress& progress) {
    std::string text = progress.phase == DrivePhase::writing ? "Writing: " : "Reading back: ";
    text += FormatDecimalBytes(static_cast<double>(progress.bytesDone));
    if (progress.bytesExpected > 0) {
        const double expected = static_cast<double>(progress.bytesExpected);
        const int percent = std::min(100, WholePercent(static_cast<double>(progress.bytesDone), expected));
        text += " of " + FormatDecimalBytes(expected) + " (" + std::to_string(percent) + " %)";
    }
    if (progress.bytesPerSecond > 0) text += ", " + FormatRate(progress.bytesPerSecond);
    if (progress.secondsLeft >= 0) text += ", " + FormatDuration(progress.secondsLeft) + " left";
    text += ". ";
    text += progress.bytesLost == 0 ? std::string("Nothing lost so far.")
                                    : FormatDecimalBytes(static_cast<double>(progress.bytesLost)) + " lost so far.";
    return text;
}
