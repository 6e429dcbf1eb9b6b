#pragma once
// A clock whose time runs faster than real time by a fixed factor: a wait of N ms takes N/factor
// real milliseconds. Tests over real sockets use it so that long protocol waits stay short while
// packets still travel in real time.
#include <chrono>

#include "platform/Clock.h"

namespace vst::platform {

class ScaledClock : public Clock {
public:
    explicit ScaledClock(double factor);

    uint32_t tickCount() override;
    void sleep(uint32_t milliseconds) override;
    LocalTime localTime() override;

private:
    double factor_;
    std::chrono::steady_clock::time_point start_;
};

// Installs a ScaledClock when the environment variable VESTROLAN_TIME_SCALE holds a factor
// above 1 (used by the end-to-end tests of the console front end). Returns the factor in force.
double installTimeScaleFromEnvironment();

}  // namespace vst::platform
