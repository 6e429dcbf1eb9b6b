#pragma once
// The protocol core of the simulator, free of sockets and clocks: a datagram that arrived for a
// destination address goes in; the answers (each with the device address it must come from) and
// the state changes come out. Time is a tick count in milliseconds passed in by the caller; it
// may wrap around like a 32-bit tick counter.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "devsim/Device.h"
#include "devsim/Wire.h"

namespace vst::devsim {

struct Reply {
    size_t device = 0;    // index in the fleet
    Ipv4 source = 0;      // the answering device's address: the datagram's source address
    Bytes bytes;
    uint32_t delayMs = 0;  // send this much later than now
};

enum class EventKind {
    PasswordRefused,     // a write command was answered with status 0
    NameChanged,
    RestartBegun,        // after "=I" or the final restore chunk; silent until RestartEnded
    RestartEnded,        // back, with the new network settings if "=I" gave some
    BackupStarted,
    BackupFinished,      // the final chunk went out
    RestoreStarted,
    ConfigurationReplaced,
    RequestIgnored,      // an out-of-order backup request or restore chunk: not answered
    // Web server.
    LoggedIn,
    LoginRefused,        // wrong password or too many users
    LoggedOut,
    SerialNumberChanged,
    ClockSet,
    FirmwareAccepted,    // installed by the next restart
    FirmwareRefused,
    FileDeleted,
    CalibrationStep,
};

struct Event {
    size_t device = 0;
    EventKind kind{};
};

struct Outcome {
    std::vector<Reply> replies;
    std::vector<Event> events;
};

// Whether a datagram sent to `destination` reaches the device: its own address, the limited
// broadcast, or the directed broadcast of its subnet.
bool reaches(const Device& device, Ipv4 destination);

// The answers of one device (index `index` in its fleet) to one datagram; the device's state is
// updated in place. A restarting device answers nothing; a device whose restart is due at `now`
// is back first.
Outcome respond(Device& device, size_t index, uint32_t now, Ipv4 destination,
                std::span<const uint8_t> datagram);

// Begins a restart at `now`: silent on UDP and web for restartMs, backup, restore and web sessions
// dropped; `settings` are taken over when it ends.
void beginRestart(Device& device, uint32_t now, std::optional<NetworkSettings> settings);

// Ends a restart that is due at `now`; true when it ended. An accepted firmware upload is
// installed then: the device reports its version from now on.
bool finishRestart(Device& device, uint32_t now);

// The search answer the device sends, before any malformation fault.
Bytes searchAnswer(const Device& device, bool filteredOnMac);

class Fleet {
public:
    Fleet() = default;
    explicit Fleet(std::vector<Device> devices) : devices_(std::move(devices)) {}

    // Every device's answers to one datagram, in fleet order.
    Outcome handle(uint32_t now, Ipv4 destination, std::span<const uint8_t> datagram);

    // Ends every restart that is due; the events say which.
    std::vector<Event> advance(uint32_t now);

    // Tick count at which the next restart ends, if any device is restarting.
    std::optional<uint32_t> nextRestartEnd(uint32_t now) const;

    size_t size() const { return devices_.size(); }
    Device& operator[](size_t index) { return devices_[index]; }
    const Device& operator[](size_t index) const { return devices_[index]; }
    std::vector<Device>& devices() { return devices_; }
    const std::vector<Device>& devices() const { return devices_; }

private:
    std::vector<Device> devices_;
};

const char* eventName(EventKind kind);

}  // namespace vst::devsim
