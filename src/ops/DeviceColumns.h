#pragma once
// The texts of the device list's columns 1 to 6, shared by the window and the console.
#include <string>

#include "net/DeviceRecord.h"

namespace vst::ops {

enum DeviceColumn : int {
    kColumnName = 1,
    kColumnAddress = 2,
    kColumnMac = 3,
    kColumnSerial = 4,
    kColumnAppVersion = 5,
    kColumnBootloaderVersion = 6,
};

// "%.4f" with the last two digits dropped when both are 0 (1.05), else shown as a build
// number after " B" (1.05 B12).
std::string versionText(float version);

// The row text of a column for the record (Windows-1252).
std::string deviceColumnText(const net::DeviceRecord& record, int column);

}  // namespace vst::ops
