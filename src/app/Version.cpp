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

std::string versionNumberText(std::string_view productVersion)
{
    const auto parts = versionParts(productVersion);
    const bool fine = parts.size() > 2 && parts[2] != 0;
    char text[64];
    std::snprintf(text, sizeof text, fine ? "%.4f" : "%.2f", productVersionNumber(productVersion));
    return text;
}

std::string aboutVersionLine(const std::string& productName, const std::string& versionWord,
                             std::string_view productVersion)
{
    return productName + ", " + versionWord + " " + versionNumberText(productVersion);
}

const char* programProductName() { return VST_PRODUCT_NAME; }
const char* programProductVersion() { return VST_PRODUCT_VERSION; }
const char* programCopyright() { return VST_COPYRIGHT; }
std::string programVersionText() { return versionNumberText(programProductVersion()); }

}  // namespace vst::app
