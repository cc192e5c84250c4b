// Drawing of the two owner-drawn controls: the map of the space under test
// with its legend, and the graph of speed by position.
#pragma once

#include "drive_map.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The cells take the top of the map's area, the legend the rest.
const int kMapCellsShare = 72;  // per cent of the height
// Where cell is drawn in the map's area: for the drawing and for a reader of its pixels.
RECT MapCellBox(const RECT& area, int cell);

void PaintMap(HDC dc, RECT area, const DialogMap& map);
void PaintGraph(HDC dc, RECT area, const DialogMap& map);
