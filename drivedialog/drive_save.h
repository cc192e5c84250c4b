// Keeping the result: the report saved as a file, the result text copied.
#pragma once

#include "drive_test.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

// Text with CR LF line ends, as edit controls and text files on Windows take it.
std::string WindowsLines(const std::string& text);

// The file Save report writes: the drive test's HTML page of the report.
struct ReportFile {
    std::string contents;
    const char* extension;  // "html"
    const char* filter;     // for the Save As prompt, pairs ending in "\0\0"
};
ReportFile MakeReportFile(const DriveReport& report);

// Asks for a name and writes the file; says what failed in a message box.
void SaveReport(HWND dialog, const DriveReport& report, const std::string& folder);
// The result text on the clipboard; false when the clipboard would not take it.
bool CopyText(HWND dialog, const std::string& text);
