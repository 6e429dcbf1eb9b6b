#pragma once
// The check of a firmware file before it goes to any device: the file must be Intel HEX. Records
// are ':' and pairs of hexadecimal digits (either case): the byte count, a 16-bit address, the
// record type, the data and a checksum that makes all bytes sum to 0 modulo 256. Empty lines, a CR
// before the LF and comment lines starting with ';' pass anywhere; the file needs an end record
// (type 01), and nothing but those may follow it.
#include <optional>
#include <string>
#include <string_view>

#include "app/Texts.h"

namespace vst::app {

struct FirmwareFault {
    int line = 0;         // 1-based; for a missing end record the file's last line
    TextId fault = 0;     // 37304 to 37308
};

enum class FirmwareFileCheck { Good, CannotOpen, Faulty };

// Checks a whole file's content. nullopt when it is sound.
std::optional<FirmwareFault> checkFirmwareText(std::string_view content);

// Reads and checks the file at the path (Windows-1252, as the station holds paths). `fault` is
// filled for Faulty.
FirmwareFileCheck checkFirmwareFile(const std::string& path, FirmwareFault* fault);

// Text 37301 filled in with the line and the fault's text, in the current language.
std::string firmwareFaultText(const FirmwareFault& fault);

}  // namespace vst::app
