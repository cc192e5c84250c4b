// The page itself: the verdict, the drive, the figures, the drawn sections,
// the bad ranges and the summary a program reads back.
#include "drive_page.h"

#include "drive_page_map.h"
#include "drive_page_speed.h"
#include "drive_report.h"
#include "drive_svg.h"
#include "drive_units.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

// Bad ranges listed in the table; the rest are counted.
const size_t kRangesListed = 100;

const char* const kStyle = R"(
:root { color-scheme: light; }
body { font-family: "DejaVu Sans", "Segoe UI", Arial, sans-serif; color: #111; background: #fff;
  max-width: 46rem; margin: 1.5rem auto; padding: 0 1rem; line-height: 1.4; }
h1 { font-size: 1rem; font-weight: normal; margin: 0 0 .5rem; color: #444; }
h2 { font-size: 1.15rem; margin: 1.6rem 0 .5rem; border-bottom: 1px solid #ccc; }
.verdict { font-size: 1.6rem; font-weight: bold; padding: .6rem .9rem; border: 3px solid; border-radius: 6px; }
.verdict .symbol { font-size: 2rem; margin-right: .4rem; }
.r-good { background: #e3f4ea; border-color: #00784f; color: #00573a; }
.r-bad { background: #fbe5dc; border-color: #b03a00; color: #8a2d00; }
.r-failed { background: #fdf1d6; border-color: #a86f00; color: #6b4700; }
.r-none { background: #ececec; border-color: #666; color: #333; }
table { border-collapse: collapse; }
table.facts th { text-align: left; vertical-align: top; padding: .15rem 1rem .15rem 0; white-space: nowrap; }
table.facts td { padding: .15rem 0; }
table.ranges { width: 100%; font-size: .85rem; }
table.ranges th, table.ranges td { border-bottom: 1px solid #ddd; padding: .15rem .4rem; text-align: left; }
.number { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
.note { color: #444; font-size: .9rem; }
svg.map, svg.speed { width: 100%; height: auto; display: block; margin: .4rem 0; }
svg.swatch { width: 1.4rem; height: 1.4rem; display: block; }
table.legend td { padding: .1rem .5rem .1rem 0; }
.cell { stroke: #555; stroke-width: .6; }
.symbol { font-size: 15px; text-anchor: middle; font-family: "DejaVu Sans", sans-serif; }
rect.m-unreadable { fill: #000; } text.m-unreadable { fill: #fff; }
rect.m-overwritten { fill: #d55e00; } text.m-overwritten { fill: #fff; }
rect.m-earlier_run { fill: #cc79a7; } text.m-earlier_run { fill: #000; }
rect.m-blank { fill: #e69f00; } text.m-blank { fill: #000; }
rect.m-corrupt { fill: #0072b2; } text.m-corrupt { fill: #fff; }
rect.m-bits_changed { fill: #f0e442; } text.m-bits_changed { fill: #000; }
rect.m-unlisted { fill: #999; } text.m-unlisted { fill: #000; }
rect.m-intact { fill: #009e73; }
rect.m-untested { fill: #fff; }
.axis { stroke: #333; stroke-width: 1; }
.grid { stroke: #ddd; stroke-width: 1; }
.tick { font-size: 11px; fill: #333; }
.label { font-size: 12px; fill: #111; }
.end { text-anchor: end; } .middle { text-anchor: middle; }
polyline.write, line.write { fill: none; stroke: #0072b2; stroke-width: 2; }
polyline.read, line.read { fill: none; stroke: #d55e00; stroke-width: 2; stroke-dasharray: 6 3; }
footer { margin-top: 2rem; font-size: .8rem; color: #555; }
@page { margin: 14mm; }
@media print {
  body { max-width: none; margin: 0; padding: 0; font-size: 10pt; }
  * { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
  section { break-inside: avoid; }
  table.ranges tr { break-inside: avoid; }
}
)";

struct VerdictLook {
    const char* cssClass;
    const char* symbol;
    const char* word;
};

VerdictLook LookOf(const DriveReport& report) {
    switch (report.result) {
        case DriveResult::ok:
            if (report.verified) return {"r-good", "\xE2\x9C\x93", "Good"};  // U+2713 check mark
            return {"r-none", "?", "Not read back"};
        case DriveResult::lost: return {"r-bad", "\xE2\x9C\x97", "Bad"};                  // U+2717 ballot x
        case DriveResult::failed: return {"r-failed", "\xE2\x9A\xA0", "Test failed"};     // U+26A0 warning sign
        case DriveResult::interrupted: return {"r-none", "\xE2\x80\x96", "Interrupted"};  // U+2016 double bar
        case DriveResult::unproven: return {"r-none", "?", "Not proven"};
    }
    return {"r-none", "?", "Unknown"};
}

std::string Verdict(const DriveReport& report) {
    const VerdictLook look = LookOf(report);
    return Element(
        "p", {{"class", std::string("verdict ") + look.cssClass}, {"id", "verdict"}},
        TextElement("span", {{"class", "symbol"}}, look.symbol) +
            EscapeMarkup(std::string(look.word) + ": " + DriveVerdictText(report, ProblemText(report.problem)) + "."));
}

std::string Row(const std::string& heading, const std::string& markup) {
    return Element("tr", {}, TextElement("th", {}, heading) + Element("td", {}, markup));
}

std::string TextRow(const std::string& heading, const std::string& text) { return Row(heading, EscapeMarkup(text)); }

std::string Facts(const std::string& rows) {
    return Element("table", {{"class", "facts"}}, Element("tbody", {}, rows));
}

std::string Bytes(uint64_t bytes) { return std::to_string(bytes) + " bytes, " + FormatBothUnits(bytes); }

const char* const kNotSaid = "not said by the system";

// "2026-12-09 04:30:12": a broken-down time as people write it.
std::string Stamp(const std::tm& time) {
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &time);
    return text;
}

// Days from 1970-01-01 to a civil date: local and UTC compared give the offset.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    return era * 146097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear - 719468;
}

int64_t SecondsOf(const std::tm& time) {
    const int64_t secondsOfDay = int64_t(time.tm_hour) * 3600 + int64_t(time.tm_min) * 60 + time.tm_sec;
    return DaysFromCivil(time.tm_year + 1900, time.tm_mon + 1, time.tm_mday) * 86400 + secondsOfDay;
}

std::string When(int64_t startedAt) {
    const std::time_t time = static_cast<std::time_t>(startedAt);
    const std::tm* utcParts = std::gmtime(&time);
    if (utcParts == nullptr) return "unknown";
    const std::tm utc = *utcParts;
    std::string text = Stamp(utc) + " UTC";
    const std::tm* localParts = std::localtime(&time);
    if (localParts == nullptr) return text;
    const std::tm local = *localParts;
    const int64_t offset = (SecondsOf(local) - SecondsOf(utc)) / 60;
    char zone[32];
    std::snprintf(zone, sizeof zone, "UTC%c%02d:%02d", offset < 0 ? '-' : '+',
                  static_cast<int>((offset < 0 ? -offset : offset) / 60),
                  static_cast<int>((offset < 0 ? -offset : offset) % 60));
    return text + "; " + Stamp(local) + " local time (" + zone + ")";
}

std::string DriveFacts(const DriveReport& report) {
    const DriveIdentity& drive = report.drive;
    std::string fileSystem = drive.fileSystem.empty() ? kNotSaid : drive.fileSystem;
    if (!drive.device.empty()) fileSystem += " on " + drive.device;
    std::string size;
    if (drive.driveBytes) size = "the drive: " + Bytes(*drive.driveBytes);
    if (drive.volumeBytes)
        size += (size.empty() ? "" : "; ") + std::string("its file system: ") + Bytes(*drive.volumeBytes);
    std::string maker;
    if (!drive.vendor.empty()) maker = "vendor " + drive.vendor;
    if (!drive.model.empty()) maker += (maker.empty() ? "" : ", ") + std::string("model ") + drive.model;
    return Facts(
        TextRow("Folder", report.folder) + TextRow("File system", fileSystem) +
        TextRow("Claimed size", size.empty() ? kNotSaid : size) +
        TextRow("Model and vendor",
                maker.empty() ? std::string(kNotSaid) + " (loop devices and many card readers say nothing)" : maker) +
        TextRow("Tested", When(report.startedAt)) + TextRow("Program", "Fillwright " FILLWRIGHT_VERSION));
}

// What the way the set was read back means for the verdict.
const char* ReadBackMeaning(ReadBack method) {
    switch (method) {
        case ReadBack::direct: return "what was read came from the drive itself, not from this computer's memory";
        case ReadBack::cacheDropped:
            return "this computer's memory was seen to hold none of the set before it was read";
        case ReadBack::mayBeCached:
            return "some of it may have come from this computer's memory, not from the drive: unplug the drive, plug "
                   "it in "
                   "again and read the set back (--verify) to be sure";
        case ReadBack::replugged:
            return "the drive was attached again since the set was written: nothing of it was in this computer's "
                   "memory";
    }
    return "";
}

// The report's real-capacity lines, without their heading, as one.
std::string RealCapacityFigure(const DriveReport& report) {
    std::string text = RealCapacityText(report.capacity);
    const std::string heading = "Real capacity: ";
    if (text.rfind(heading, 0) == 0) text.erase(0, heading.size());
    while (!text.empty() && text.back() == '\n') text.pop_back();
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

std::string Figures(const DriveReport& report) {
    const DriveTally& tally = report.tally;
    std::string written =
        Bytes(report.bytesWritten) + " in " + std::to_string(report.files) + (report.files == 1 ? " file" : " files");
    if (report.resumedAt) written += ", resumed at byte " + std::to_string(*report.resumedAt);
    std::string rows = TextRow("Real capacity", RealCapacityFigure(report)) + TextRow("Written", written);
    rows += TextRow("Read back intact",
                    report.bytesRead > 0 || report.verified ? Bytes(tally.bytesOk) : "nothing was read back");
    std::string lost = EscapeMarkup(Bytes(tally.bytesLost));
    for (int k = 0; k < kBlockClassCount; ++k) {
        if (tally.lostByClass[k] == 0) continue;
        lost += EmptyElement("br", {}) + EscapeMarkup(FormatBytes(static_cast<double>(tally.lostByClass[k])) + " " +
                                                      BlockClassText(static_cast<BlockClass>(k)));
    }
    rows += Row("Lost", lost);
    rows += TextRow("First bad byte", tally.firstBadOffset
                                          ? std::to_string(*tally.firstBadOffset) + " of the set (" +
                                                FormatBytes(static_cast<double>(*tally.firstBadOffset)) + " in)"
                                          : "none");
    if (report.lossSeenAt) {
        rows += TextRow("While filling",
                        "the data at byte " + std::to_string(*report.lossSeenAt) + " was found lost after " +
                            std::to_string(report.lossSeenWhenWritten.value_or(0)) + " bytes were written");
    }
    if (report.bytesRead > 0 || report.verified) {
        rows +=
            TextRow("Read back", std::string(ReadBackText(report.readBack)) + ": " + ReadBackMeaning(report.readBack));
    }
    if (report.writeSeconds > 0 && report.bytesWrittenNow > 0) {
        rows += TextRow("Write speed",
                        FormatRate(static_cast<double>(report.bytesWrittenNow) / report.writeSeconds) + " on average");
    }
    if (report.readSeconds > 0 && report.bytesRead > 0) {
        rows += TextRow("Read speed",
                        FormatRate(static_cast<double>(report.bytesRead) / report.readSeconds) + " on average");
    }
    if (report.problem) rows += TextRow("The test stopped", ProblemText(report.problem));
    return Facts(rows);
}

std::string RangeDetail(const BadRange& range) {
    if (range.kind == BlockClass::overwritten)
        return "holds the data written at byte " + std::to_string(range.sourceOffset);
    if (range.kind == BlockClass::bitsChanged) return std::to_string(range.bitsChanged) + " bits";
    if (range.kind == BlockClass::unreadable) return range.reason;
    return "";
}

std::string Ranges(const DriveReport& report) {
    const DriveTally& tally = report.tally;
    if (tally.rangeCount == 0) {
        return TextElement(
            "p", {},
            report.bytesRead > 0 ? "None: every byte read back was intact." : "None found: nothing was read back.");
    }
    std::string rows = Element("tr", {},
                               TextElement("th", {{"class", "number"}}, "From byte") +
                                   TextElement("th", {{"class", "number"}}, "Length") +
                                   TextElement("th", {{"class", "number"}}, "On the drive at") +
                                   TextElement("th", {}, "Class") + TextElement("th", {}, "Detail"));
    for (size_t i = 0; i < tally.ranges.size() && i < kRangesListed; ++i) {
        const BadRange& range = tally.ranges[i];
        rows +=
            Element("tr", {},
                    TextElement("td", {{"class", "number"}}, std::to_string(range.offset)) +
                        TextElement("td", {{"class", "number"}}, FormatBytes(static_cast<double>(range.length))) +
                        TextElement("td", {{"class", "number"}},
                                    range.driveOffset ? std::to_string(*range.driveOffset) : "unknown") +
                        TextElement("td", {}, BlockClassText(range.kind)) + TextElement("td", {}, RangeDetail(range)));
    }
    std::string count =
        std::to_string(tally.rangeCount) + (tally.rangeCount == 1 ? " bad range" : " bad ranges") + " in all";
    if (tally.rangeCount > kRangesListed) count += "; the first " + std::to_string(kRangesListed) + " are listed";
    return TextElement("p", {}, count + ".") + Element("table", {{"class", "ranges"}}, Element("tbody", {}, rows));
}

// The summary as --json prints it, in a data element no path inside can close.
std::string EmbeddedSummary(const DriveReport& report) {
    std::string json;
    for (char c : DriveSummaryJson(report)) {
        if (c == '<') {
            json += "\\u003c";
        } else {
            json += c;
        }
    }
    return Element("script", {{"type", "application/json"}, {"id", "fillwright-summary"}}, json);
}

}  // namespace

std::string PageSection(const std::string& id, const std::string& heading, const std::string& content) {
    return Element("section", {{"id", id}}, TextElement("h2", {}, heading) + content);
}

std::string DrivePageHtml(const DriveReport& report) {
    const VerdictLook look = LookOf(report);
    const std::string head =
        EmptyElement("meta", {{"charset", "utf-8"}}) +
        EmptyElement("meta", {{"name", "viewport"}, {"content", "width=device-width, initial-scale=1"}}) +
        TextElement("title", {}, std::string("Drive test: ") + look.word + " \xE2\x80\x94 " + report.folder) +
        Element("style", {}, kStyle);
    const std::string body = TextElement("h1", {}, "Fillwright drive test of " + report.folder) + Verdict(report) +
                             PageSection("drive", "The drive", DriveFacts(report)) +
                             PageSection("figures", "The figures", Figures(report)) + DriveMapSection(report) +
                             DriveSpeedSection(report) + PageSection("ranges", "Bad ranges", Ranges(report)) +
                             EmbeddedSummary(report) +
                             TextElement("footer", {},
                                         "Made by Fillwright " FILLWRIGHT_VERSION
                                         ". A program reads the summary back from this "
                                         "page's element fillwright-summary: the JSON that --json prints last.");
    return "<!DOCTYPE html>\n" +
           Element("html", {{"lang", "en"}}, Element("head", {}, head) + Element("body", {}, body)) + "\n";
}
