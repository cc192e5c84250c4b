#include "cli_progress.h"

#include "cli_platform.h"
#include "shown_name.h"
#include "system.h"

#include <algorithm>
#include <cstdio>
#include <vector>

// The figures of the line, from the fullest to the shortest, for the room there is.
static std::vector<std::string> ProgressFigures(int64_t done, int64_t total, double elapsedSeconds) {
    const std::string percentText = FormatPercent(WholePercent(static_cast<double>(done), static_cast<double>(total)));
    const std::string counts = FormatBytes(static_cast<double>(done)) + " / " + FormatBytes(static_cast<double>(total));
    std::string rate, eta = "ETA --:--";
    if (elapsedSeconds > 0 && done > 0) {
        const double perSecond = static_cast<double>(done) / elapsedSeconds;
        rate = "  " + FormatBytes(perSecond) + "/s";
        eta = "ETA " + FormatDuration(static_cast<double>(total - done) / perSecond);
    }
    return {counts + "  " + percentText + rate + "  " + eta, counts + "  " + percentText, percentText + "  " + eta,
            percentText};
}

std::string FormatProgress(int64_t done, int64_t total, double elapsedSeconds) {
    return ProgressFigures(done, total, elapsedSeconds)[0];
}

// The columns a line may take: the last one stays free, as a line that fills
// it wraps on some terminals.
static size_t RoomIn(int columns) { return static_cast<size_t>(columns <= 0 ? 79 : columns > 1 ? columns - 1 : 1); }

std::string FitProgress(const std::string& name, int64_t done, int64_t total, double elapsedSeconds, int columns) {
    const size_t room = RoomIn(columns);
    const size_t nameWidth = ShownWidth(name);
    const size_t nameAtLeast = nameWidth < kProgressNameAtLeast ? nameWidth : kProgressNameAtLeast;
    for (const std::string& figures : ProgressFigures(done, total, elapsedSeconds)) {
        const size_t width = ShownWidth(figures) + 2;
        if (width + nameAtLeast <= room) return ShortenedToWidth(name, room - width) + "  " + figures;
    }
    return ShortenedToWidth(ProgressFigures(done, total, elapsedSeconds).back(), room);
}

std::string FitForms(const std::vector<std::string>& forms, int columns) {
    const size_t room = RoomIn(columns);
    const auto fits = [room](const std::string& form) { return ShownWidth(form) <= room; };
    const auto fitting = std::find_if(forms.begin(), forms.end(), fits);
    if (fitting != forms.end()) return *fitting;
    return forms.empty() ? std::string() : ShortenedToWidth(forms.back(), room);
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

void ProgressShow(ProgressLine* line, const std::vector<std::string>& forms, bool atOnce) {
    const double now = MonotonicSeconds();
    if (!atOnce && now - line->lastDrawn < kProgressInterval) return;
    // Fitted anew each time, as the file's line is.
    DrawText(line, FitForms(forms, CliTerminalColumns()), now);
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

ProgressSink ProgressTo(ProgressLine* line, bool showProgress) {
    if (!showProgress) return ProgressSink();
    return [line](int64_t done, int64_t total) { ProgressUpdate(line, done, total); };
}

void ProgressEnd(ProgressLine* line, bool made) {
    // A file made within the first interval leaves no line at all.
    if (!line->drawn) return;
    if (made) Draw(line, MonotonicSeconds());
    CliWriteText(stderr, "\n");
    std::fflush(stderr);
}
