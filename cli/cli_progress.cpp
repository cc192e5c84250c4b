#include "cli_progress.h"

#include "cli_platform.h"

#include <cstdio>

std::string FormatBytes(double bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    int unit = 0;
    while (bytes >= 1024.0 && unit < 6) {
        bytes /= 1024.0;
        ++unit;
    }
    char text[32];
    if (unit == 0)
        std::snprintf(text, sizeof text, "%.0f B", bytes);
    else
        std::snprintf(text, sizeof text, "%.1f %s", bytes, units[unit]);
    return text;
}

std::string FormatDuration(double seconds) {
    if (seconds < 0) seconds = 0;
    if (seconds > 359999999.0) return "--:--";  // beyond any wait worth showing
    const long long whole = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

std::string FormatProgress(int64_t done, int64_t total, double elapsedSeconds) {
    // Floating point: 100 * done overflows 64 bits for the largest sizes.
    const double percent = total > 0 ? 100.0 * static_cast<double>(done) / static_cast<double>(total) : 100.0;
    char percentText[16];
    std::snprintf(percentText, sizeof percentText, "%3d%%", static_cast<int>(percent));
    std::string text = FormatBytes(static_cast<double>(done)) + " / " + FormatBytes(static_cast<double>(total)) +
                       "  " + percentText;
    if (elapsedSeconds > 0 && done > 0) {
        const double rate = static_cast<double>(done) / elapsedSeconds;
        text += "  " + FormatBytes(rate) + "/s  ETA " + FormatDuration(static_cast<double>(total - done) / rate);
    } else {
        text += "  ETA --:--";
    }
    return text;
}

static void DrawText(ProgressLine* line, std::string text, double now) {
    const size_t width = text.size();
    // Carriage return and spaces rather than terminal escapes: every console
    // understands them.
    if (width < line->drawnWidth) text.append(line->drawnWidth - width, ' ');
    CliWriteText(stderr, "\r" + text);
    std::fflush(stderr);
    line->drawnWidth = width;
    line->drawn = true;
    line->lastDrawn = now;
}

static void Draw(ProgressLine* line, double now) {
    DrawText(line, line->name + "  " + FormatProgress(line->done, line->total, now - line->started), now);
}

void ProgressShow(ProgressLine* line, const std::string& text, bool atOnce) {
    const double now = CliMonotonicSeconds();
    if (atOnce || now - line->lastDrawn >= kProgressInterval) DrawText(line, text, now);
}

void ProgressBegin(ProgressLine* line, const std::string& name) {
    *line = ProgressLine();
    line->name = name;
    line->started = CliMonotonicSeconds();
    line->lastDrawn = line->started;
}

void ProgressUpdate(ProgressLine* line, int64_t done, int64_t total) {
    line->done = done;
    line->total = total;
    const double now = CliMonotonicSeconds();
    if (now - line->lastDrawn >= kProgressInterval) Draw(line, now);
}

void ProgressEnd(ProgressLine* line, bool made) {
    // A file made within the first interval leaves no line at all.
    if (!line->drawn) return;
    if (made) Draw(line, CliMonotonicSeconds());
    CliWriteText(stderr, "\n");
    std::fflush(stderr);
}
