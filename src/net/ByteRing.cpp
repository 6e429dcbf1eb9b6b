#include "net/ByteRing.h"

#include <algorithm>

namespace vst::net {

bool ByteRing::write(const void* data, size_t size)
{
    if (size > freeSpace()) return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
        slots_[write_] = bytes[i];
        write_ = (write_ + 1) % kSlots;
    }
    return true;
}

size_t ByteRing::peek(void* destination, size_t max) const
{
    const size_t n = std::min(max, used());
    auto* out = static_cast<uint8_t*>(destination);
    for (size_t i = 0; i < n; ++i) out[i] = slots_[(read_ + i) % kSlots];
    return n;
}

size_t ByteRing::consume(void* destination, size_t max)
{
    const size_t n = destination ? peek(destination, max) : std::min(max, used());
    read_ = (read_ + n) % kSlots;
    return n;
}

}  // namespace vst::net
