#pragma once
// The station side of one UDP conversation: a socket bound to one card address, a target, the
// source of the last datagram and the password that write commands carry. One per worker.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "net/DeviceRecord.h"
#include "net/UdpProtocol.h"
#include "platform/UdpSocket.h"

namespace vst::app {
struct NetworkCard;
}

namespace vst::net {

enum class SearchAnswerResult : int {
    RecordBuilt = 0,
    StatusZero = 1,
    NotAnAnswer = 2,   // another word, a foreign kind with kind0Only, or too short; consumed
    NothingWaiting = 3,
    NoPlace = 4,
};

// The length a received datagram of `size` bytes (of which `datagram` holds at least the first
// min(size, kHeaderSize)) is taken with: its length field, when the datagram holds the whole
// header and the field is no smaller than the header, no larger than the datagram and no larger
// than the receive buffer. 0 when the datagram can never be taken and is to be dropped.
size_t acceptedDatagramLength(const uint8_t* datagram, size_t size);

// Reads a search answer out of a taken datagram of `size` bytes (see UdpEndpoint::readSearchAnswer).
SearchAnswerResult readSearchAnswerFrom(const uint8_t* datagram, size_t size, bool kind0Only,
                                        std::unique_ptr<DeviceRecord>* out);

class UdpEndpoint {
public:
    // Receive buffer of the socket: room for the answers of a thousand devices at once.
    static constexpr int kSocketReceiveBuffer = 4 * 1024 * 1024;
    // Unusable datagrams are dropped at most this many at a time by one receive.
    static constexpr int kMaxDiscardsPerReceive = 256;

    // Creates the socket; with bindNow it also binds and closes the socket when that fails.
    // Fails when the endpoint is already open.
    bool open(bool bindNow, const app::NetworkCard* card, uint32_t target);
    // Binds to port 0 on the card address for the target and stores card and target.
    bool bind(const app::NetworkCard* card, uint32_t target);
    void close();
    bool isOpen() const { return socket_.isOpen(); }

    // Sends one datagram, whose length its own length field gives, to target:293. Datagrams still
    // waiting from before (late answers, duplicates) are dropped first, so that an answer taken
    // after the send cannot be one to an earlier request.
    bool send(const std::vector<uint8_t>& datagram);
    // Drops the datagrams waiting now (at most kMaxStaleDatagramsDrained).
    void drain();
    // From now on only datagrams from this address (host byte order) are taken; others are
    // dropped. Binding again lifts the restriction.
    void acceptOnlyFrom(uint32_t source) { onlyFrom_ = source; }
    // The target is one device's address: neither the limited broadcast nor the directed
    // broadcast of one of the card's subnets.
    bool targetIsUnicast() const;
    // Takes one complete, well-formed datagram if one is waiting (see the .cpp for the rules).
    bool receive();
    bool sendSearch(const Mac* filter);
    SearchAnswerResult readSearchAnswer(bool kind0Only, std::unique_ptr<DeviceRecord>* out);

    // The datagram taken by the last successful receive.
    const uint8_t* datagram() const { return buffer_.data(); }
    size_t datagramSize() const { return received_; }
    uint16_t datagramWord() const { return readLe16(buffer_.data() + 6); }

    const app::NetworkCard* card() const { return card_; }
    uint32_t target() const { return target_; }
    uint32_t lastSource() const { return lastSource_; }
    Password& password() { return password_; }
    void setDevicePort(uint16_t port) { devicePort_ = port; }

private:
    platform::UdpSocket socket_;
    const app::NetworkCard* card_ = nullptr;
    uint32_t target_ = 0;      // host byte order
    uint32_t lastSource_ = 0;  // host byte order
    Password password_;
    std::array<uint8_t, kReceiveBufferSize> buffer_{};
    size_t received_ = 0;
    uint16_t devicePort_ = kDevicePort;
    std::optional<uint32_t> onlyFrom_;
};

}  // namespace vst::net
