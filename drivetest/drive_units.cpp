#include "drive_units.h"

#include <cmath>
#include <cstdio>

std::string FormatBytes(double bytes) {
    int unit = 0;
    while (bytes >= 1024.0 && unit < 6) {
        bytes /= 1024.0;
        ++unit;
    }
    char text[32];
    if (unit == 0) {
        std::snprintf(text, sizeof text, "%.0f B", bytes);
    } else {
        const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
        std::snprintf(text, sizeof text, "%.1f %s", bytes, units[unit]);
    }
    return text;
}

std::string FormatDuration(double seconds) {
    if (seconds < 0) seconds = 0;
    if (seconds > 359999999.0) return "--:--";  // beyond any wait worth showing
    const long long whole = std::llround(seconds);
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

namespace {

std::string Decimal(uint64_t bytes, double unit, const char* name) {
    char text[48];
    std::snprintf(text, sizeof text, "%.2f %s", static_cast<double>(bytes) / unit, name);
    return text;
}

}  // namespace

std::string FormatBothUnits(uint64_t bytes) {
    return Decimal(bytes, 1e9, "GB") + " (" + Decimal(bytes, 1073741824.0, "GiB") + ")";
}

std::string FormatRate(double bytesPerSecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB/s", bytesPerSecond / 1e6);
    return text;
}
