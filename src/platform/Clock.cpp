#include "platform/Clock.h"

#include <atomic>

#include "platform/SystemTime.h"

namespace vst::platform {
namespace {

class SystemClock : public Clock {
public:
    uint32_t tickCount() override { return systemTickCount(); }
    void sleep(uint32_t milliseconds) override { systemSleep(milliseconds); }
    LocalTime localTime() override { return systemLocalTime(); }
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
