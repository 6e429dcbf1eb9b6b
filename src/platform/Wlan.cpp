#include "platform/Wlan.h"

#include <cstdlib>
#include <mutex>

#include "platform/NmcliWlan.h"
#include "platform/WlanDouble.h"

namespace vst::platform {
namespace {

// A platform without a wireless service of ours: every join fails at the first step.
class NoWlanClient : public WlanClient {
public:
    bool open() override { return false; }
    std::optional<WlanInterfaceInfo> firstInterface() override { return std::nullopt; }
    void setEventHandler(std::function<void(WlanEvent)>) override {}
    bool setOpenProfile(const std::string&) override { return false; }
    bool connect(const std::string&) override { return false; }
    void disconnect() override {}
    void close() override {}
};

std::mutex factoryMutex;
std::function<std::unique_ptr<WlanClient>()> factoryOverride;

}  // namespace

std::unique_ptr<WlanClient> makeWlanClient()
{
    {
        std::lock_guard<std::mutex> lock(factoryMutex);
        if (factoryOverride) return factoryOverride();
    }
    if (const char* mode = std::getenv(kWlanDoubleVariable)) return std::make_unique<WlanDoubleClient>(mode);
#ifdef _WIN32
    return std::make_unique<NoWlanClient>();
#else
    return std::make_unique<NmcliWlanClient>();
#endif
}

void setWlanClientFactory(std::function<std::unique_ptr<WlanClient>()> factory)
{
    std::lock_guard<std::mutex> lock(factoryMutex);
    factoryOverride = std::move(factory);
}

}  // namespace vst::platform
