#include "platform/Clock.h"

#include <algorithm>
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
std::atomic<uint64_t> prescribedWaits{0};

}  // namespace

Clock& clock()
{
    Clock* c = current.load();
    return c ? *c : systemClock;
}

void setClock(Clock* replacement) { current.store(replacement); }

bool fixedWaitOver(uint32_t since, uint32_t limit, uint32_t slice)
{
    const uint32_t waited = clock().tickCount() - since;
    if (waited >= limit) return true;
    clock().sleep(std::min(limit - waited, slice));
    return false;
}

void notePrescribedWait(uint32_t milliseconds) { prescribedWaits += milliseconds; }

uint64_t prescribedWaitTotal() { return prescribedWaits.load(); }

}  // namespace vst::platform
