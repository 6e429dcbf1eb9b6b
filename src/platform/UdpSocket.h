#pragma once
// A thin non-blocking UDP socket. Addresses are IPv4 numbers in host byte order.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/NativeHandle.h"

namespace vst::platform {

class UdpSocket : private HandleOwner {
public:
    UdpSocket() = default;
    ~UdpSocket();

    // Creates a non-blocking socket with broadcast and address reuse enabled.
    bool open();
    bool isOpen() const { return fd_ != kNoSocket; }
    void close();

    // Asks for a receive buffer of the given size (the system may grant less).
    void setReceiveBuffer(int bytes);
    bool bind(uint32_t address, uint16_t port);
    // The port the socket is bound to, 0 when unknown.
    uint16_t localPort() const;

    // True when the whole datagram was accepted.
    bool sendTo(uint32_t address, uint16_t port, const void* data, size_t size);

    struct Peeked {
        size_t size;  // the datagram's full size, even when larger than the peek buffer
        size_t copied;
    };
    // Looks at the next waiting datagram without taking it; nullopt when none is waiting.
    std::optional<Peeked> peek(void* buffer, size_t capacity);

    struct Received {
        size_t copied;       // bytes placed into the buffer
        size_t size;         // the datagram's full size
        uint32_t source;     // host byte order
        uint16_t sourcePort;
    };
    // Takes the next datagram; the part that does not fit the buffer is discarded.
    std::optional<Received> receive(void* buffer, size_t capacity);
    // Takes and drops the next datagram.
    void discard();

private:
    NativeSocket fd_ = kNoSocket;
};

}  // namespace vst::platform
