#include "net/ByteRing.h"

#include <algorithm>
#include <cstring>

namespace vst::net {

// Each copy is at most two block copies: up to the end of the slots, then from the start.

bool ByteRing::write(const void* data, size_t size)
{
    if (size > freeSpace()) return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    const size_t first = std::min(size, kSlots - write_);
    if (first > 0) std::memcpy(slots_.data() + write_, bytes, first);
    if (size > first) std::memcpy(slots_.data(), bytes + first, size - first);
    write_ = (write_ + size) % kSlots;
    return true;
}

size_t ByteRing::peek(void* destination, size_t max) const
{
    const size_t n = std::min(max, used());
    auto* out = static_cast<uint8_t*>(destination);
    const size_t first = std::min(n, kSlots - read_);
    if (first > 0) std::memcpy(out, slots_.data() + read_, first);
    if (n > first) std::memcpy(out + first, slots_.data(), n - first);
    return n;
}

size_t ByteRing::consume(void* destination, size_t max)
{
    const size_t n = destination ? peek(destination, max) : std::min(max, used());
    read_ = (read_ + n) % kSlots;
    return n;
}

}  // namespace vst::net
