#pragma once
// One tick source, one sleep and one wall clock for every time limit and time stamp of the
// station. Tests replace the process-wide clock with a controllable one so that long protocol
// waits pass without real waiting.
#include <cstdint>

namespace vst::platform {

struct LocalTime {
    int year = 1970;
    int month = 1;   // 1..12
    int day = 1;     // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start; wraps around like a 32-bit tick counter.
    virtual uint32_t tickCount() = 0;
    virtual void sleep(uint32_t milliseconds) = 0;
    virtual LocalTime localTime() = 0;
};

// The clock all code uses. Never null.
Clock& clock();
// Replaces the process-wide clock; nullptr restores the system clock. The caller keeps ownership.
void setClock(Clock* replacement);

// Milliseconds elapsed since `start`, correct across a wrap of the tick counter.
inline uint32_t elapsedSince(uint32_t start) { return clock().tickCount() - start; }

}  // namespace vst::platform
