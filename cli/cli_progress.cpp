#include "cli_progress.h"

#include "cli_names.h"
#include "cli_platform.h"
#include "system.h"

#include <cstdio>
#include <vector>

// The figures of the line, from the fullest to the shortest, for the room there is.
static std::vector<std::string> ProgressFigures(int64_t done, int64_t total, double elapsedSeconds) {
    // Floating point: 100 * done overflows 64 bits for the largest sizes.
    const double percent = total > 0 ? 100.0 * static_cast<double>(done) / static_cast<double>(total) : 100.0;
    char percentText[16];
    std::snprintf(percentText, sizeof percentText, "%3d%%", static_cast<int>(percent));
    const std::string counts = FormatBytes(static_cast<double>(done)) + " / " + FormatBytes(static_cast<double>(total));
    std::string rate, eta = "ETA --:--";
    if (elapsedSeconds > 0 && done > 0) {
        const double perSecond = static_cast<double>(done) / elapsedSeconds;
        rate = "  " + FormatBytes(perSecond) + "/s";
        eta = "ETA " + FormatDuration(static_cast<double>(total - done) / perSecond);
    }
    return {counts + "  " + percentText + rate + "  " + eta, counts + "  " + percentText,
            std::string(percentText) + "  " + eta, percentText};
}

std::string FormatProgress(int64_t done, int64_t total, double elapsedSeconds) {
    return ProgressFigures(done, total, elapsedSeconds)[0];
}

std::string FitProgress(const std::string& name, int64_t done, int64_t total, double elapsedSeconds, int columns) {
    // The last column stays free: a line that fills it wraps on some terminals.
    const size_t room = static_cast<size_t>(columns <= 0 ? 79 : columns > 1 ? columns - 1 : 1);
    const size_t nameWidth = ShownWidth(name);
    const size_t nameAtLeast = nameWidth < kProgressNameAtLeast ? nameWidth : kProgressNameAtLeast;
    for (const std::string& figures : ProgressFigures(done, total, elapsedSeconds)) {
        const size_t width = ShownWidth(figures) + 2;
        if (width + nameAtLeast <= room) return ShortenedToWidth(name, room - width) + "  " + figures;
    }
    return ShortenedToWidth(ProgressFigures(done, total, elapsedSeconds).back(), room);
}

static void DrawText(ProgressLine* line, std::string text, double now) {
    const size_t width = ShownWidth(text);
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
    // Fitted anew each time, so that it follows a terminal made narrower.
    DrawText(line, FitProgress(line->name, line->done, line->total, now - line->started, CliTerminalColumns()), now);
}

void ProgressShow(ProgressLine* line, const std::string& text, bool atOnce) {
    const double now = MonotonicSeconds();
    if (!atOnce && now - line->lastDrawn < kProgressInterval) return;
    // Cut at the terminal's width (the text is ASCII), so that it never wraps.
    const int columns = CliTerminalColumns();
    std::string shown = text;
    if (columns > 1 && shown.size() >= static_cast<size_t>(columns)) shown.resize(static_cast<size_t>(columns) - 1);
    DrawText(line, shown, now);
}

void ProgressBegin(ProgressLine* line, const std::string& name) {
    *line = ProgressLine();
    line->name = QuotedName(name);
    line->started = MonotonicSeconds();
    line->lastDrawn = line->started;
}

void ProgressUpdate(ProgressLine* line, int64_t done, int64_t total) {
    line->done = done;
    line->total = total;
    const double now = MonotonicSeconds();
    if (now - line->lastDrawn >= kProgressInterval) Draw(line, now);
}

void ProgressEnd(ProgressLine* line, bool made) {
    // A file made within the first interval leaves no line at all.
    if (!line->drawn) return;
    if (made) Draw(line, MonotonicSeconds());
    CliWriteText(stderr, "\n");
    std::fflush(stderr);
}
