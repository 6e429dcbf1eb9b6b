#pragma once
// The web interface of a simulated device, free of sockets: one complete request goes in, the
// device's state changes and the answer (with the device's web faults applied) come out. Time is
// a tick count in milliseconds passed in by the caller, as for the UDP side.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "devsim/Device.h"
#include "devsim/Fleet.h"
#include "devsim/Http.h"

namespace vst::devsim {

// Paths below these prefixes need the cookie of a login.
inline constexpr std::string_view kProtectedPrefixes[] = {"/protect/", "/popup/protect/", "/cgi/protect/",
                                                          "/xml/protect/"};
// The WLAN address a device reports when its settings give none: the address of its own access
// point.
inline constexpr Ipv4 kDefaultWlanAddress = 0xC0A86401;  // 192.168.100.1

struct WebOutcome {
    enum class Action {
        Answer,  // send `bytes` (after `delayMs`), then close
        Hold,    // send nothing and keep the connection open until the peer closes it
        Close,   // close without an answer
        Reset,   // drop the connection with a reset, as a device that is not there
    };
    Action action = Action::Answer;
    std::string bytes;
    uint32_t delayMs = 0;
    std::vector<Event> events;
    std::string summary;  // for the log, e.g. "302 /system/index.htm?state=1"
};

// What the device does with a connection made to its address.
WebOutcome::Action admitConnection(const Device& device);

// The device's answer to one request. An incomplete request (the peer stopped sending before the
// body was complete) is answered only when it is a firmware upload, as a refused one.
WebOutcome respondWeb(Device& device, size_t index, uint32_t now, const HttpRequest& request);

// The answer to a request the reader refused (`status` from the reader, e.g. 400).
WebOutcome refuseRequest(const Device& device, int status, std::string_view reason);

// The elements of the information documents as the device sends them: defaults, then the
// settings' elements (replacing a default of the same name, or added at the end).
std::vector<DocumentElement> sysInfoElements(const Device& device);
std::vector<DocumentElement> devInfoElements(const Device& device);

// "<?xml ...?>" CR LF "<response>" CR LF, one "<name>text</name>" CR LF per element, "</response>"
// CR LF (left out when `withEnd` is false).
std::string xmlDocument(const std::vector<DocumentElement>& elements, bool withEnd = true);

}  // namespace vst::devsim
