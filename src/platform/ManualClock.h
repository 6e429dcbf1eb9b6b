#pragma once
// A controllable clock for tests: time moves only when someone sleeps or advances it.
#include <atomic>

#include "platform/Clock.h"

namespace vst::platform {

class ManualClock : public Clock {
public:
    explicit ManualClock(uint32_t startTicks = 1000) : ticks_(startTicks) {}

    uint32_t tickCount() override { return ticks_.load(); }
    void sleep(uint32_t milliseconds) override { ticks_ += milliseconds; }
    LocalTime localTime() override { return now_; }

    void advance(uint32_t milliseconds) { ticks_ += milliseconds; }
    void setLocalTime(const LocalTime& t) { now_ = t; }

private:
    std::atomic<uint32_t> ticks_;
    LocalTime now_{2021, 3, 8, 14, 5, 9};
};

// Installs a clock for the lifetime of the guard.
class ScopedClock {
public:
    explicit ScopedClock(Clock& c) { setClock(&c); }
    ~ScopedClock() { setClock(nullptr); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
};

}  // namespace vst::platform
