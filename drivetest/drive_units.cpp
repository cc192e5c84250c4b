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

std::string FormatDecimalBytes(double bytes) {
    int unit = 0;
    while (bytes >= 1000.0 && unit < 6) {
        bytes /= 1000.0;
        ++unit;
    }
    char text[32];
    if (unit == 0) {
        std::snprintf(text, sizeof text, "%.0f B", bytes);
    } else {
        const char* units[] = {"B", "kB", "MB", "GB", "TB", "PB", "EB"};
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

// "(268 MB, 256.0 MiB)": three figures in decimal units, and the binary ones.
std::string FormatBothUnitsShort(uint64_t bytes) {
    const auto scaled = [](double value, double step, const char* const* names, bool binary) {
        int unit = 0;
        while (value >= (binary ? 1024.0 : 1000.0) && names[unit + 1] != nullptr) {
            value /= step;
            ++unit;
        }
        char text[32];
        const char* form = unit == 0               ? "%.0f %s"
                           : value < 10            ? "%.2f %s"
                           : value < 100 || binary ? "%.1f %s"
                                                   : "%.0f %s";
        std::snprintf(text, sizeof text, form, value, names[unit]);
        return std::string(text);
    };
    const char* const decimal[] = {"B", "kB", "MB", "GB", "TB", "PB", nullptr};
    const char* const binary[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", nullptr};
    const double value = static_cast<double>(bytes);
    return "(" + scaled(value, 1000.0, decimal, false) + ", " + scaled(value, 1024.0, binary, true) + ")";
}

std::string FormatRate(double bytesPerSecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB/s", bytesPerSecond / 1e6);
    return text;
}

int WholePercent(double done, double total) {
    // Floating point: 100 * done overflows 64 bits for the largest sizes.
    const double percent = total > 0 ? 100.0 * done / total : 100.0;
    return static_cast<int>(percent);
}

std::string FormatPercent(int percent) {
    char text[16];
    std::snprintf(text, sizeof text, "%3d%%", percent);
    return text;
}
