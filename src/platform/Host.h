#pragma once
// This PC's name and this process's number, for names that must differ between stations and runs.
#include <cstdint>
#include <string>

namespace vst::platform {

// The computer's network name (ASCII in practice); empty when the system does not tell it.
std::string hostName();
uint32_t processId();
// Whether a process of that id runs on this computer (a process that cannot be asked counts as
// running).
bool processRunning(uint32_t pid);

}  // namespace vst::platform
