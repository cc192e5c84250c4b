// Small portable file helpers for the engine tests (POSIX natively, Win32
// when the suite is built with mingw and run under Wine).
#pragma once

#include "platform.h"

#include <cstdint>
#include <string>

std::string MakeTempDir();  // a fresh, empty folder
std::string JoinPath(const std::string& dir, const std::string& name);
FileHandle CreateOutputFile(const std::string& path);  // create or replace, write only
std::string ReadWholeFile(const std::string& path);
int64_t FileLength(const std::string& path);  // -1 if missing
void RemoveFile(const std::string& path);
void RemoveDir(const std::string& path);
const char* FullDevicePath();  // writes always fail with "disk full"
bool UnderWine();              // reads then ignore FILE_FLAG_NO_BUFFERING
