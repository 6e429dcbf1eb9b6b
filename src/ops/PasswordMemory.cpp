#include "ops/PasswordMemory.h"

#include "app/Texts.h"

namespace vst::ops {

std::optional<std::string> PasswordMemory::recall(const net::Mac& mac) const
{
    const auto it = passwords_.find(mac);
    if (it == passwords_.end()) return std::nullopt;
    return it->second;
}

void PasswordMemory::remember(const net::Mac& mac, const std::string& password) { passwords_[mac] = password; }

void PasswordMemory::forget(const net::Mac& mac) { passwords_.erase(mac); }

bool isPasswordRefusal(const std::string& resultText)
{
    constexpr unsigned kWrongPassword = 35208;
    return !resultText.empty() && (resultText == app::textAt(kWrongPassword + app::kGermanOffset) ||
                                   resultText == app::textAt(kWrongPassword + app::kEnglishOffset));
}

}  // namespace vst::ops
