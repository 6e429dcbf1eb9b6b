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
    // Called where a long run's preparation ends and its measured part begins. A benchmark may
    // install a clock that runs the preparation faster than real time and returns to real speed
    // here; every other clock ignores it. The tick count stays monotonic across the change.
    virtual void returnToRealSpeed() {}
};

// The clock all code uses. Never null.
Clock& clock();
// Replaces the process-wide clock; nullptr restores the system clock. The caller keeps ownership.
void setClock(Clock* replacement);

// For a fixed wait in which nothing is expected: true once at least `limit` ms have passed since
// `since`; until then it sleeps towards that moment, at most `slice` ms at a time (so that the
// caller's loop still looks at a cancel now and then), and returns false.
inline constexpr uint32_t kIdleWaitSliceMs = 100;
bool fixedWaitOver(uint32_t since, uint32_t limit, uint32_t slice = kIdleWaitSliceMs);

// The fixed waits the protocol prescribes (a device's restart, a search's scope, a calibration
// item's settling time), summed over the process's life as each one ends. Time limits that end
// when an answer comes are not among them. A benchmark compares a workflow's wall time with this.
void notePrescribedWait(uint32_t milliseconds);
uint64_t prescribedWaitTotal();

// Milliseconds elapsed since `start`, correct across a wrap of the tick counter.
inline uint32_t elapsedSince(uint32_t start) { return clock().tickCount() - start; }

}  // namespace vst::platform
