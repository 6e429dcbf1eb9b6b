#include "platform/ScaledClock.h"

#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/SystemTime.h"

namespace vst::platform {

ScaledClock::ScaledClock(double factor) : factor_(factor > 0 ? factor : 1.0), start_(std::chrono::steady_clock::now())
{
}

uint32_t ScaledClock::tickCount()
{
    const auto real = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(real * factor_) + 1000);
}

void ScaledClock::sleep(uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(milliseconds / factor_));
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
    static std::unique_ptr<ScaledClock> scaled;
    scaled = std::make_unique<ScaledClock>(factor);
    setClock(scaled.get());
    return factor;
}

}  // namespace vst::platform
