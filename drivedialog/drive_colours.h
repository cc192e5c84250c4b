// The colour and the words of each state of the map's cells, for the map's
// legend and for whoever reads the map's pixels back.
#pragma once

#include "drive_map.h"

// 0x00BBGGRR, as a COLORREF.
const unsigned long kCellColours[kCellStateCount] = {
    0xE0E0E0,  // untouched: light grey
    0xED9564,  // written: blue
    0x43A02E,  // intact: green
    0x28C8E6,  // bits changed: yellow
    0x1E3C96,  // corrupt: brown
    0x1E1EDC,  // blank: red
    0xC85A96,  // earlier run: purple
    0x1E82F0,  // overwritten: orange
    0x141414,  // unreadable: black
    0xA032E6,  // lost, kind not yet known: magenta
};

const char* const kCellWords[kCellStateCount] = {
    "not written",         "written",           "read back intact", "bits changed", "corrupt",
    "blank (not arrived)", "an earlier test's", "overwritten",      "unreadable",   "lost, kind at end",
};
