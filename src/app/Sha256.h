#pragma once
// SHA-256 of a byte string or a file, as lower-case hex: the journal names the firmware image a run
// sent or programmed by it.
#include <optional>
#include <string>
#include <string_view>

namespace vst::app {

std::string sha256Hex(std::string_view bytes);
// The file's digest; nullopt when it cannot be read.
std::optional<std::string> fileSha256Hex(const std::string& path);

}  // namespace vst::app
