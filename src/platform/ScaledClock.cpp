#include "platform/ScaledClock.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "platform/SystemTime.h"

namespace vst::platform {

ScaledClock::ScaledClock(double factor, bool preparationOnly, uint32_t startTicks)
    : factor_(factor > 0 ? factor : 1.0),
      preparationOnly_(preparationOnly),
      start_(std::chrono::steady_clock::now()),
      ticksAtStart_(startTicks)
{
}

uint32_t ScaledClock::tickCount()
{
    std::lock_guard lock(mutex_);
    const auto real = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ticksAtStart_ + real * factor_));
}

void ScaledClock::sleep(uint32_t milliseconds)
{
    double factor;
    {
        std::lock_guard lock(mutex_);
        factor = factor_;
    }
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(milliseconds / factor));
}

void ScaledClock::returnToRealSpeed()
{
    if (!preparationOnly_) return;
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    ticksAtStart_ += std::chrono::duration<double, std::milli>(now - start_).count() * factor_;
    start_ = now;
    factor_ = 1.0;
}

LocalTime ScaledClock::localTime()
{
    // Wall-clock time is not scaled: records carry the real date.
    return systemLocalTime();
}

double installTimeScaleFromEnvironment()
{
    const char* text = std::getenv("VESTROLAN_TIME_SCALE");
    if (!text) return 1.0;
    const double factor = std::strtod(text, nullptr);
    if (!(factor > 1.0) || factor > 1000.0) return 1.0;
    const char* preparation = std::getenv("VESTROLAN_TIME_SCALE_PREPARATION_ONLY");
    static std::unique_ptr<ScaledClock> scaled;
    scaled = std::make_unique<ScaledClock>(factor, preparation && std::string(preparation) == "1");
    setClock(scaled.get());
    return factor;
}

}  // namespace vst::platform
