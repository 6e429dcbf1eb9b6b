#pragma once
// A ring of 997 byte slots: it holds at most 996 bytes, one slot always stays free.
#include <array>
#include <cstddef>
#include <cstdint>

namespace vst::net {

class ByteRing {
public:
    static constexpr size_t kSlots = 997;
    static constexpr size_t kCapacity = kSlots - 1;

    size_t used() const { return (write_ + kSlots - read_) % kSlots; }
    size_t freeSpace() const { return (read_ + kSlots - write_ - 1) % kSlots; }
    bool empty() const { return read_ == write_; }
    void reset() { read_ = write_ = 0; }

    // Writes all bytes or none; true when they fitted.
    bool write(const void* data, size_t size);
    // Copies up to max bytes from the front without taking them.
    size_t peek(void* destination, size_t max) const;
    // Takes up to max bytes from the front; with no destination they are dropped.
    size_t consume(void* destination, size_t max);

private:
    std::array<uint8_t, kSlots> slots_{};
    size_t read_ = 0;
    size_t write_ = 0;
};

}  // namespace vst::net
