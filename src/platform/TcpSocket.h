#pragma once
// A thin non-blocking TCP client socket. Addresses are IPv4 numbers in host byte order.
#include <cstddef>
#include <cstdint>

#include "platform/NativeHandle.h"

namespace vst::platform {

class TcpSocket : private HandleOwner {
public:
    enum class Connect { Done, InProgress, Failed };
    // Results of send and receive besides a byte count.
    static constexpr long kWouldBlock = -1;
    static constexpr long kNoBufferSpace = -2;  // the system is short of buffers; try again
    static constexpr long kError = -3;

    TcpSocket() = default;
    ~TcpSocket();

    bool open();
    bool isOpen() const { return fd_ != kNoSocket; }
    // Closes the socket; false when the system reported an error while closing.
    bool close();

    void setBufferSizes(int receiveBytes, int sendBytes);
    bool bind(uint32_t address, uint16_t port);
    // Starts connecting; InProgress means: ask connectResult() later.
    Connect startConnect(uint32_t address, uint16_t port);
    Connect connectResult();

    // Bytes sent, or kWouldBlock, kNoBufferSpace, kError.
    long send(const void* data, size_t size);
    // Waits at most `milliseconds` (real time) until the socket takes more bytes; true when it does.
    bool waitWritable(uint32_t milliseconds);
    // Bytes received, 0 when the peer closed the connection, or kWouldBlock, kError.
    long receive(void* buffer, size_t capacity);

private:
    NativeSocket fd_ = kNoSocket;
};

// For test servers: a listening socket on address:port (port 0 = any); kNoSocket on failure.
NativeSocket listenTcp(uint32_t address, uint16_t port, uint16_t* boundPort);

}  // namespace vst::platform
