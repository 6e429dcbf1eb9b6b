#pragma once
// A fixed-size, NUL-padded text field (name 16, password 50, path 260 bytes): assignments are
// bounded copies that always leave a terminator, whatever the source holds.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

namespace vst::app {

template <size_t N>
class FixedText {
public:
    static constexpr size_t kCapacity = N;  // including the terminator

    FixedText() { bytes_.fill('\0'); }
    FixedText(std::string_view text) { assign(text); }  // NOLINT: implicit on purpose

    void assign(std::string_view text)
    {
        bytes_.fill('\0');
        const size_t n = std::min(text.size(), N - 1);
        std::memcpy(bytes_.data(), text.data(), n);
    }
    // Takes a raw field of `size` bytes that may lack a terminator.
    void assignField(const void* data, size_t size)
    {
        const auto* p = static_cast<const char*>(data);
        assign(std::string_view(p, strnlen(p, std::min(size, N - 1))));
    }

    const char* c_str() const { return bytes_.data(); }
    std::string str() const { return std::string(bytes_.data(), strnlen(bytes_.data(), N)); }
    size_t size() const { return strnlen(bytes_.data(), N); }
    bool empty() const { return bytes_[0] == '\0'; }
    const std::array<char, N>& bytes() const { return bytes_; }

    bool operator==(const FixedText& other) const { return bytes_ == other.bytes_; }

private:
    std::array<char, N> bytes_;
};

}  // namespace vst::app
