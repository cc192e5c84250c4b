// The drives the dialog offers: one entry per drive that can be written,
// removable ones first, then fixed, then network ones, the system's own last.
#pragma once

#include <string>
#include <vector>

struct DriveEntry {
    std::string path;  // "E:\", what is tested
    std::string text;  // "E:\  USBSTICK  (FAT32, 59.6 GiB free of 62.0 GiB)"
};

std::vector<DriveEntry> ListDrives();

// "C:\", the root of the drive Windows runs from.
std::string SystemDriveRoot();
// The root of the volume that holds path ("E:\"), or empty when unknown.
std::string VolumeRoot(const std::string& path);
bool SameRoot(const std::string& a, const std::string& b);
bool IsNetworkDrive(const std::string& path);
