// Speed by position: MB/s against GB into the set, one step line for
// writing and one for reading, each step a sample's average over its span.
#include "drive_page_speed.h"

#include "drive_page.h"
#include "drive_svg.h"
#include "drive_units.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

namespace {

const double kWidth = 640, kHeight = 280;
const double kLeft = 56, kRight = 628, kTop = 12, kBottom = 236;  // the plot inside its axes

// 1, 2 or 5 times a power of ten, at least value: the top of a scale.
double RoundUp(double value) {
    if (value <= 0) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    const double steps[] = {1.0, 2.0, 5.0, 10.0};
    const double* step = std::find_if(std::begin(steps), std::end(steps), [&](double k) { return value <= k * power; });
    return (step == std::end(steps) ? 10.0 : *step) * power;
}

std::string Decimal(double value, double top) {
    char text[32];
    std::snprintf(text, sizeof text, top >= 10 ? "%.0f" : top >= 1 ? "%.1f" : "%.2f", value);
    return text;
}

struct Scale {
    double gigabytes = 1;           // at the right end
    double megabytesPerSecond = 1;  // at the top
};

SvgPoint Place(const Scale& scale, double bytes, double bytesPerSecond) {
    return {kLeft + (kRight - kLeft) * (bytes / 1e9) / scale.gigabytes,
            kBottom - (kBottom - kTop) * (bytesPerSecond / 1e6) / scale.megabytesPerSecond};
}

std::string Axes(const Scale& scale) {
    std::string axes;
    const int ticks = 5;
    for (int k = 0; k <= ticks; ++k) {
        const double rate = scale.megabytesPerSecond * k / ticks;
        const SvgPoint left = Place(scale, 0, rate * 1e6);
        axes += SvgLine(left, {kRight, left.y}, k == 0 ? "axis" : "grid");
        axes += SvgText({left.x - 6, left.y + 4}, Decimal(rate, scale.megabytesPerSecond), {{"class", "tick end"}});
        const double position = scale.gigabytes * k / ticks;
        const SvgPoint bottom = Place(scale, position * 1e9, 0);
        axes += SvgLine(bottom, {bottom.x, kTop}, k == 0 ? "axis" : "grid");
        axes += SvgText({bottom.x, kBottom + 16}, Decimal(position, scale.gigabytes), {{"class", "tick middle"}});
    }
    axes += SvgText({(kLeft + kRight) / 2, kHeight - 6}, "GB into the test set", {{"class", "label middle"}});
    axes +=
        SvgText({14, (kTop + kBottom) / 2}, "MB/s",
                {{"class", "label middle"}, {"transform", "rotate(-90 14 " + SvgNumber((kTop + kBottom) / 2) + ")"}});
    return axes;
}

// One step per sample; a sample without time breaks the line.
std::string Steps(const Scale& scale, const std::vector<SpeedSample>& samples, DrivePhase phase,
                  const std::string& cssClass) {
    std::string lines;
    std::vector<SvgPoint> points;
    const auto endLine = [&] {
        if (points.size() > 1) lines += SvgPolyline(points, cssClass);
        points.clear();
    };
    for (const SpeedSample& sample : samples) {
        if (sample.phase != phase) continue;
        if (sample.seconds <= 0) {
            endLine();
            continue;
        }
        const double rate = static_cast<double>(sample.bytes) / sample.seconds;
        points.push_back(Place(scale, static_cast<double>(sample.offset), rate));
        points.push_back(Place(scale, static_cast<double>(sample.offset + sample.bytes), rate));
    }
    endLine();
    return lines;
}

std::string Key(const std::string& cssClass, const std::string& words, double x) {
    return SvgLine({x, kTop + 8}, {x + 28, kTop + 8}, cssClass) +
           SvgText({x + 34, kTop + 12}, words, {{"class", "tick"}});
}

}  // namespace

std::string DriveSpeedSection(const DriveReport& report) {
    const std::vector<SpeedSample>& samples = report.positionSpeeds;
    Scale scale;
    double fastest = 0, end = 0;
    uint64_t longest = 0;
    bool writing = false, reading = false;
    for (const SpeedSample& sample : samples) {
        end = std::max(end, static_cast<double>(sample.offset + sample.bytes));
        longest = std::max(longest, sample.bytes);
        if (sample.seconds <= 0) continue;
        fastest = std::max(fastest, static_cast<double>(sample.bytes) / sample.seconds);
        (sample.phase == DrivePhase::writing ? writing : reading) = true;
    }
    const std::string heading = "Write and read speed by position";
    if (!writing && !reading) return PageSection("speed", heading, TextElement("p", {}, "No speed was measured."));
    scale.gigabytes = RoundUp(std::max(end, static_cast<double>(report.bytesWritten)) / 1e9);
    scale.megabytesPerSecond = RoundUp(fastest / 1e6 * 1.05);
    std::string drawing = Axes(scale) + Steps(scale, samples, DrivePhase::writing, "write") +
                          Steps(scale, samples, DrivePhase::reading, "read");
    if (writing) drawing += Key("write", "writing", kLeft + 16);
    if (reading) drawing += Key("read", "reading", kLeft + 136);
    const std::string note = "Each step is the average speed over up to " + FormatBytes(static_cast<double>(longest)) +
                             " of the set, as it was written and as it was read back.";
    return PageSection(
        "speed", heading,
        TextElement("p", {}, note) +
            Svg(kWidth, kHeight, {{"class", "speed"}, {"role", "img"}, {"aria-label", "speed by position"}}, drawing));
}
