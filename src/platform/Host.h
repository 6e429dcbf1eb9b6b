#pragma once
// This PC's name and this process's number, for names that must differ between stations and runs.
#include <cstdint>
#include <string>

namespace vst::platform {

// The computer's network name (ASCII in practice); empty when the system does not tell it.
std::string hostName();
uint32_t processId();

}  // namespace vst::platform
