// The map: about 500 cells in rows of 40, each a slice of the set coloured
// and marked by the worst class in it, and a legend in words and symbols.
#include "drive_page_map.h"

#include "drive_page.h"
#include "drive_report.h"
#include "drive_svg.h"
#include "drive_units.h"

#include <algorithm>

namespace {

const size_t kCells = 500;
const int kColumns = 40;
const double kPitch = 24;  // a cell and the gap after it
const double kCell = 22;

// On the drive a cell may hold none of the set: the file system's own
// blocks, other files, or space it left free.
std::string MarkTextOn(const DriveMap& map, MapMark mark) {
    if (map.driveOffsets && mark == MapMark::untested) return "not read back, or none of the test set's";
    return MapMarkText(mark);
}

std::string CellTitle(const DriveMap& map, size_t index, MapMark mark) {
    const uint64_t from = map.start + index * map.cellBytes;
    const uint64_t to = std::min(map.start + map.bytes, from + map.cellBytes);
    return std::string(map.driveOffsets ? "drive bytes " : "bytes ") + std::to_string(from) + " to " +
           std::to_string(to - 1) + " (" + FormatBytes(static_cast<double>(from)) + " in): " + MarkTextOn(map, mark);
}

std::string MarkAttribute(MapMark mark) { return std::string("m-") + MapMarkName(mark); }

std::string Cell(const DriveMap& map, size_t index) {
    const MapMark mark = map.cells[index];
    const size_t row = index / kColumns;
    const SvgPoint at = {static_cast<double>(index % kColumns) * kPitch, static_cast<double>(row) * kPitch};
    std::string cell =
        SvgRect(at, kCell, kCell, {{"class", "cell " + MarkAttribute(mark)}, {"data-class", MapMarkName(mark)}},
                TextElement("title", {}, CellTitle(map, index, mark)));
    const std::string symbol = MapMarkSymbol(mark);
    if (!symbol.empty()) {
        cell += SvgText({at.x + kCell / 2, at.y + kCell / 2 + 5}, symbol, {{"class", "symbol " + MarkAttribute(mark)}});
    }
    return cell;
}

// The lost bytes a mark stands for, where the tally counts them.
std::string MarkBytes(const DriveReport& report, MapMark mark) {
    for (int k = 0; k < kBlockClassCount; ++k) {
        const BlockClass kind = static_cast<BlockClass>(k);
        if (kind == BlockClass::intact || MarkOfClass(kind) != mark) continue;
        return FormatBytes(static_cast<double>(report.tally.lostByClass[k]));
    }
    if (mark == MapMark::intact) return FormatBytes(static_cast<double>(report.tally.bytesOk));
    if (mark == MapMark::untested) return FormatBytes(static_cast<double>(report.bytesWritten - report.bytesRead));
    return "";
}

std::string Legend(const DriveReport& report, const DriveMap& map, bool unlisted) {
    std::string rows;
    for (int k = 0; k < kMapMarkCount; ++k) {
        const MapMark mark = static_cast<MapMark>(k);
        if (mark == MapMark::unlisted && !unlisted) continue;
        std::string swatch = SvgRect({1, 1}, kCell, kCell, {{"class", "cell " + MarkAttribute(mark)}});
        const std::string symbol = MapMarkSymbol(mark);
        if (!symbol.empty())
            swatch += SvgText({1 + kCell / 2, 1 + kCell / 2 + 5}, symbol, {{"class", "symbol " + MarkAttribute(mark)}});
        const std::string name = symbol.empty() ? "no symbol" : "symbol " + symbol;
        rows += Element(
            "tr", {},
            Element("td", {},
                    Svg(kCell + 2, kCell + 2, {{"class", "swatch"}, {"role", "img"}, {"aria-label", name}}, swatch)) +
                TextElement("td", {}, MarkTextOn(map, mark)) +
                TextElement("td", {{"class", "number"}}, MarkBytes(report, mark)));
    }
    return Element("table", {{"class", "legend"}}, Element("tbody", {}, rows));
}

}  // namespace

const char* MapMarkSymbol(MapMark mark) {
    switch (mark) {
        case MapMark::unreadable: return "\xE2\x9C\x95";   // U+2715 multiplication x
        case MapMark::overwritten: return "\xE2\x87\x84";  // U+21C4 arrows right over left
        case MapMark::earlierRun: return "\xE2\x86\xBA";   // U+21BA anticlockwise open circle arrow
        case MapMark::blank: return "\xE2\x97\x8B";        // U+25CB white circle
        case MapMark::corrupt: return "#";
        case MapMark::bitsChanged: return "\xC2\xB1";  // U+00B1 plus-minus
        case MapMark::unlisted: return "?";
        case MapMark::intact:
        case MapMark::untested: return "";
    }
    return "";
}

std::string MapMarkText(MapMark mark) {
    switch (mark) {
        case MapMark::unlisted:
            return "read back, but past the bad ranges the report keeps: loss there is counted, not placed";
        case MapMark::untested: return "not read back";
        case MapMark::unreadable: return BlockClassText(BlockClass::unreadable);
        case MapMark::overwritten: return BlockClassText(BlockClass::overwritten);
        case MapMark::earlierRun: return BlockClassText(BlockClass::earlierRun);
        case MapMark::blank: return BlockClassText(BlockClass::blank);
        case MapMark::corrupt: return BlockClassText(BlockClass::corrupt);
        case MapMark::bitsChanged: return BlockClassText(BlockClass::bitsChanged);
        case MapMark::intact: return BlockClassText(BlockClass::intact);
    }
    return "";
}

std::string DriveMapSection(const DriveReport& report) {
    const DriveMap map = MapOfDrive(report, kCells);
    if (map.cells.empty()) {
        return PageSection("map", "Map of the tested space",
                           TextElement("p", {}, "Nothing was written: there is no tested space to map."));
    }
    std::string cells;
    bool unlisted = false;
    for (size_t i = 0; i < map.cells.size(); ++i) {
        cells += Cell(map, i);
        unlisted = unlisted || map.cells[i] == MapMark::unlisted;
    }
    const size_t rows = (map.cells.size() + kColumns - 1) / kColumns;
    const std::string where =
        map.driveOffsets
            ? " of the drive, " + std::to_string(map.cells.size()) + " cells from byte " + std::to_string(map.start) +
                  " of the drive, where the test set begins, to byte " + std::to_string(map.start + map.bytes) +
                  ", where it ends"
            : " of the test set, " + std::to_string(map.cells.size()) + " cells in the order the set was written";
    const std::string whose =
        map.driveOffsets ? "These are the drive's own offsets, from where the file system placed each file of the set."
                         : "These are the set's own offsets, not the drive's: the table of bad ranges gives their "
                           "places on the drive where known.";
    const std::string note = "Each cell is " + FormatBytes(static_cast<double>(map.cellBytes)) + where +
                             ", left to right and top to bottom, coloured by the worst class in it. " + whose;
    const std::string drawing = Svg(kColumns * kPitch, static_cast<double>(rows) * kPitch,
                                    {{"class", "map"},
                                     {"role", "img"},
                                     {"aria-label", "map of the tested space"},
                                     {"data-offsets", map.driveOffsets ? "drive" : "set"},
                                     {"data-start", std::to_string(map.start)},
                                     {"data-cell-bytes", std::to_string(map.cellBytes)},
                                     {"data-bytes", std::to_string(map.bytes)}},
                                    cells);
    return PageSection("map", "Map of the tested space",
                       TextElement("p", {}, note) + drawing + Legend(report, map, unlisted));
}
