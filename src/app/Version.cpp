#include "app/Version.h"

#include <cstdio>
#include <vector>

#include "app/CommandLine.h"

namespace vst::app {
namespace {

std::vector<int32_t> versionParts(std::string_view version)
{
    std::vector<int32_t> parts;
    size_t start = 0;
    while (true) {
        const size_t dot = version.find('.', start);
        parts.push_back(parseLeadingInteger(version.substr(start, dot == std::string_view::npos ? dot : dot - start)));
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return parts;
}

}  // namespace

double productVersionNumber(std::string_view productVersion)
{
    double value = 0.0;
    double scale = 1.0;
    for (int32_t part : versionParts(productVersion)) {
        value += part * scale;
        scale /= 100.0;
    }
    return value;
}

std::string aboutVersionLine(const std::string& productName, const std::string& versionWord,
                             std::string_view productVersion)
{
    const auto parts = versionParts(productVersion);
    const bool fine = parts.size() > 2 && parts[2] != 0;
    char line[256];
    std::snprintf(line, sizeof line, fine ? "%s, %s %.4f" : "%s, %s %.2f", productName.c_str(),
                  versionWord.c_str(), productVersionNumber(productVersion));
    return line;
}

const char* programProductName() { return VST_PRODUCT_NAME; }
const char* programProductVersion() { return VST_PRODUCT_VERSION; }
const char* programCopyright() { return VST_COPYRIGHT; }

}  // namespace vst::app
