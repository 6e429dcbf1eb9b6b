#pragma once
// The device passwords the operator typed while the station runs, one per device (by MAC), held
// in memory only and never written anywhere. A password that a device refused is forgotten at
// once, so the next operation asks again. Used on the thread that owns the device list.
#include <map>
#include <optional>
#include <string>

#include "net/UdpProtocol.h"

namespace vst::ops {

class PasswordMemory {
public:
    std::optional<std::string> recall(const net::Mac& mac) const;
    void remember(const net::Mac& mac, const std::string& password);
    void forget(const net::Mac& mac);
    size_t size() const { return passwords_.size(); }

private:
    std::map<net::Mac, std::string> passwords_;
};

// True when a result text is the device's answer that the password is wrong (text 35208, in
// either language), from the web login as from the UDP write commands.
bool isPasswordRefusal(const std::string& resultText);

}  // namespace vst::ops
