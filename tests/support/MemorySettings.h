#pragma once
// A settings store in memory, with a switch that makes every write fail.
#include <map>
#include <optional>
#include <string>
#include <variant>

#include "platform/SettingsStore.h"

namespace vst::test {

class MemorySettings : public platform::SettingsStore {
public:
    using Value = std::variant<uint32_t, std::string>;
    std::map<std::pair<std::string, std::string>, Value> values;
    bool failWrites = false;
    int writes = 0;

    std::optional<uint32_t> readNumber(const std::string& key, const std::string& name) override
    {
        auto it = values.find({key, name});
        if (it == values.end() || !std::holds_alternative<uint32_t>(it->second)) return std::nullopt;
        return std::get<uint32_t>(it->second);
    }
    std::optional<std::string> readText(const std::string& key, const std::string& name,
                                        size_t maxBytes) override
    {
        auto it = values.find({key, name});
        if (it == values.end() || !std::holds_alternative<std::string>(it->second)) return std::nullopt;
        const auto& text = std::get<std::string>(it->second);
        if (text.size() + 1 > maxBytes) return std::nullopt;
        return text;
    }
    bool writeNumber(const std::string& key, const std::string& name, uint32_t value) override
    {
        ++writes;
        if (failWrites) return false;
        values[{key, name}] = value;
        return true;
    }
    std::string writeFailure() const override { return failWrites ? "memory: writes refused" : ""; }
};

}  // namespace vst::test
