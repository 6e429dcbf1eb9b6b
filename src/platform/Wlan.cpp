#include "platform/Wlan.h"

#include <cstdlib>
#include <mutex>

#ifdef _WIN32
#include "platform/NativeWifi.h"
#else
#include "platform/NmcliWlan.h"
#endif
#include "platform/WlanDouble.h"

namespace vst::platform {
namespace {

std::mutex factoryMutex;
std::function<std::unique_ptr<WlanClient>()> factoryOverride;

}  // namespace

void WlanClient::setEventHandler(std::function<void(WlanEvent)> handler)
{
    std::lock_guard<std::mutex> lock(handlerMutex_);
    handler_ = std::move(handler);
}

void WlanClient::notify(WlanEvent event)
{
    std::function<void(WlanEvent)> handler;
    {
        std::lock_guard<std::mutex> lock(handlerMutex_);
        handler = handler_;
    }
    if (handler) handler(event);
}

std::unique_ptr<WlanClient> makeWlanClient()
{
    {
        std::lock_guard<std::mutex> lock(factoryMutex);
        if (factoryOverride) return factoryOverride();
    }
    if (const char* mode = std::getenv(kWlanDoubleVariable)) return std::make_unique<WlanDoubleClient>(mode);
#ifdef _WIN32
    return std::make_unique<NativeWifiClient>();
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
