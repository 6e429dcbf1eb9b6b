#pragma once
// The journal lines runs left under a records root, and their fields, for the workflow tests.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/Json.h"

namespace vst::test {

// Every line of every journal under {root}/_Records, file by file in name order.
inline std::vector<std::string> journalLines(const std::string& root)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    std::error_code ec;
    const fs::path records = fs::path(root) / "_Records";
    if (!fs::is_directory(records, ec)) return {};
    for (const auto& host : fs::directory_iterator(records)) {
        if (!host.is_directory()) continue;
        for (const auto& f : fs::directory_iterator(host.path())) {
            if (f.path().extension() == ".jsonl") files.push_back(f.path());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> lines;
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
    }
    return lines;
}

// The raw JSON of the member at a dotted path ("device.mac"); "<absent>" when there is none.
inline std::string jsonAt(std::string_view raw, std::string_view path)
{
    while (!path.empty()) {
        const size_t dot = path.find('.');
        const std::string_view name = path.substr(0, dot);
        const auto members = app::json::objectMembers(raw);
        if (!members) return "<absent>";
        const auto value = app::json::member(*members, name);
        if (!value) return "<absent>";
        raw = *value;
        path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
    }
    return std::string(raw);
}

// A string member's text ("<absent>" when it is no string).
inline std::string textAt(std::string_view raw, std::string_view path)
{
    const std::string value = jsonAt(raw, path);
    return app::json::stringValue(value).value_or("<absent>");
}

// The raw JSON of one member (`path` inside each element) of every element of an array.
inline std::vector<std::string> eachOf(std::string_view raw, std::string_view array, std::string_view path)
{
    std::vector<std::string> out;
    const std::string list = jsonAt(raw, array);
    const auto elements = app::json::arrayElements(list);
    if (!elements) return {"<no array>"};
    for (const auto& e : *elements) out.push_back(jsonAt(e, path));
    return out;
}

}  // namespace vst::test
