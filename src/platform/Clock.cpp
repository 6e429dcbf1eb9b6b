#include "platform/Clock.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

namespace vst::platform {
namespace {

class SystemClock : public Clock {
public:
    uint32_t tickCount() override
    {
        using namespace std::chrono;
        return static_cast<uint32_t>(
            duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }

    void sleep(uint32_t milliseconds) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

    LocalTime localTime() override
    {
        std::time_t now = std::time(nullptr);
        std::tm parts{};
        localtime_r(&now, &parts);
        return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                parts.tm_hour, parts.tm_min, parts.tm_sec};
    }
};

SystemClock systemClock;
std::atomic<Clock*> current{nullptr};

}  // namespace

Clock& clock()
{
    Clock* c = current.load();
    return c ? *c : systemClock;
}

void setClock(Clock* replacement) { current.store(replacement); }

}  // namespace vst::platform
