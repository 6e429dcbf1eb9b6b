#pragma once
// Joining a device's own wireless network from this PC: the first wireless interface, an open
// profile for the network name, a connection attempt that returns at once, and the connected and
// disconnected events, which arrive on a thread of the platform.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace vst::platform {

struct WlanInterfaceInfo {
    std::string id;           // the system's identifier of the interface
    std::string description;  // as the network-card list names the same card
};

enum class WlanEvent { Connected, Disconnected };

class WlanClient {
public:
    virtual ~WlanClient() = default;
    // Opens the client; false when the system offers no wireless service.
    virtual bool open() = 0;
    // The first wireless interface, or nullopt when there is none.
    virtual std::optional<WlanInterfaceInfo> firstInterface() = 0;
    // Events of the interface chosen last; the handler may run on another thread.
    void setEventHandler(std::function<void(WlanEvent)> handler);
    // Stores an open (unencrypted) profile for the network, replacing one of the same name.
    virtual bool setOpenProfile(const std::string& ssid) = 0;
    // Starts connecting with that profile and returns at once; the outcome arrives as an event.
    virtual bool connect(const std::string& ssid) = 0;
    virtual void disconnect() = 0;
    virtual void close() = 0;

protected:
    // Hands the event to the handler set last, if any. The handler runs outside the lock, so it
    // may set another handler itself.
    void notify(WlanEvent event);

private:
    std::mutex handlerMutex_;
    std::function<void(WlanEvent)> handler_;
};

// The platform's client. Where the platform has no wireless service its open() fails.
std::unique_ptr<WlanClient> makeWlanClient();

// Replaces what makeWlanClient returns (tests, the demonstration double); an empty factory
// restores the platform's own.
void setWlanClientFactory(std::function<std::unique_ptr<WlanClient>()> factory);

}  // namespace vst::platform
