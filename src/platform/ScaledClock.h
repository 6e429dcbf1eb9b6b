#pragma once
// A clock whose time runs faster than real time by a fixed factor: a wait of N ms takes N/factor
// real milliseconds. Tests over real sockets use it so that long protocol waits stay short while
// packets still travel in real time. Made for a preparation only, it returns to real speed when
// the workflow says its measured part begins.
#include <chrono>
#include <mutex>

#include "platform/Clock.h"

namespace vst::platform {

class ScaledClock : public Clock {
public:
    // `startTicks` lets a clock that replaces another one go on from the tick count it had, so
    // that time limits begun under the old clock neither wrap nor restart.
    explicit ScaledClock(double factor, bool preparationOnly = false, uint32_t startTicks = 1000);

    uint32_t tickCount() override;
    void sleep(uint32_t milliseconds) override;
    LocalTime localTime() override;
    void returnToRealSpeed() override;

private:
    std::mutex mutex_;
    double factor_;
    const bool preparationOnly_;
    std::chrono::steady_clock::time_point start_;
    double ticksAtStart_ = 1000;
};

// Installs a ScaledClock when the environment variable VESTROLAN_TIME_SCALE holds a factor
// above 1 (used by the end-to-end tests of the console front end and the benchmarks); with
// VESTROLAN_TIME_SCALE_PREPARATION_ONLY=1 it returns to real speed where a run's measured part
// begins. Returns the factor in force.
double installTimeScaleFromEnvironment();

}  // namespace vst::platform
