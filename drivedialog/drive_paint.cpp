#include "drive_paint.h"

#include "drive_colours.h"
#include "drive_units.h"

#include <algorithm>
#include <string>

namespace {

const int kLegendColumns = 3;
const int kLegendRows = 4;

void FillColour(HDC dc, const RECT& box, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &box, brush);
    DeleteObject(brush);
}

int TextHeight(HDC dc) {
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    return metrics.tmHeight;
}

void PaintLegend(HDC dc, RECT area) {
    const int rowHeight = (area.bottom - area.top) / kLegendRows;
    const int columnWidth = (area.right - area.left) / kLegendColumns;
    const int swatch = std::max(4, rowHeight - 6);
    for (int state = 0; state < kCellStateCount; ++state) {
        const int x = area.left + (state % kLegendColumns) * columnWidth;
        const int y = area.top + (state / kLegendColumns) * rowHeight;
        const RECT box{x, y + 3, x + swatch, y + 3 + swatch};
        FillColour(dc, box, kCellColours[state]);
        RECT words{x + swatch + 3, y, x + columnWidth, y + rowHeight};
        DrawTextA(dc, kCellWords[state], -1, &words, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    }
}

void PaintCells(HDC dc, RECT area, const DialogMap& map) {
    for (int cell = 0; cell < kMapCells; ++cell) FillColour(dc, MapCellBox(area, cell), kCellColours[map.cells[cell]]);
}

void PaintLine(HDC dc, const RECT& plot, const std::vector<SpeedPoint>& points, double top, COLORREF colour) {
    if (points.empty() || top <= 0) return;
    HPEN pen = CreatePen(PS_SOLID, 2, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    const int width = plot.right - plot.left, height = plot.bottom - plot.top;
    for (size_t k = 0; k < points.size(); ++k) {
        const int x = plot.left + static_cast<int>(points[k].position * width);
        const int y = plot.bottom - static_cast<int>(std::min(1.0, points[k].bytesPerSecond / top) * height);
        if (k == 0) MoveToEx(dc, x, y, nullptr);
        LineTo(dc, x, y);
    }
    SelectObject(dc, old);
    DeleteObject(pen);
}

double Fastest(const DialogMap& map) {
    double fastest = 0;
    for (const SpeedPoint& point : map.writeSpeeds) fastest = std::max(fastest, point.bytesPerSecond);
    for (const SpeedPoint& point : map.readSpeeds) fastest = std::max(fastest, point.bytesPerSecond);
    return fastest * 1.1;  // room above the fastest point
}

}  // namespace

RECT MapCellBox(const RECT& area, int cell) {
    const int width = area.right - area.left;
    const int height = (area.bottom - area.top) * kMapCellsShare / 100;
    const int column = cell % kMapColumns, row = cell / kMapColumns;
    return RECT{area.left + column * width / kMapColumns, area.top + row * height / kMapRows,
                area.left + (column + 1) * width / kMapColumns - 1, area.top + (row + 1) * height / kMapRows - 1};
}

void PaintMap(HDC dc, RECT area, const DialogMap& map) {
    FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    PaintCells(dc, area, map);
    RECT legend = area;
    legend.top += (area.bottom - area.top) * kMapCellsShare / 100 + 4;
    PaintLegend(dc, legend);
}

void PaintGraph(HDC dc, RECT area, const DialogMap& map) {
    FillColour(dc, area, RGB(255, 255, 255));
    FrameRect(dc, &area, GetSysColorBrush(COLOR_BTNSHADOW));
    SetBkMode(dc, TRANSPARENT);
    const int line = TextHeight(dc);
    const double top = Fastest(map);
    RECT labels{area.left + 4, area.top + 2, area.right - 4, area.top + 2 + line};
    const std::string scale = top > 0 ? "Speed by position, up to " + FormatRate(top) : "Speed by position";
    DrawTextA(dc, scale.c_str(), -1, &labels, DT_LEFT | DT_SINGLELINE);
    SetTextColor(dc, kCellColours[kCellWritten]);
    DrawTextA(dc, "write", -1, &labels, DT_RIGHT | DT_SINGLELINE);
    labels.right -= 40;
    SetTextColor(dc, kCellColours[kCellIntact]);
    DrawTextA(dc, "read", -1, &labels, DT_RIGHT | DT_SINGLELINE);
    SetTextColor(dc, RGB(0, 0, 0));
    RECT bottom{area.left + 4, area.bottom - 2 - line, area.right - 4, area.bottom - 2};
    DrawTextA(dc, "start", -1, &bottom, DT_LEFT | DT_SINGLELINE);
    DrawTextA(dc, "end of the space", -1, &bottom, DT_RIGHT | DT_SINGLELINE);
    const RECT plot{area.left + 4, area.top + line + 6, area.right - 4, area.bottom - line - 6};
    PaintLine(dc, plot, map.writeSpeeds, top, kCellColours[kCellWritten]);
    PaintLine(dc, plot, map.readSpeeds, top, kCellColours[kCellIntact]);
}
