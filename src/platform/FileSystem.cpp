#include "platform/FileSystem.h"

#include <fstream>

namespace vst::platform {

size_t lastPathSeparator(std::string_view path)
{
    for (size_t i = path.size(); i > 0; --i) {
        if (isPathSeparator(path[i - 1])) return i - 1;
    }
    return std::string_view::npos;
}

std::string_view fileNamePart(std::string_view path)
{
    const size_t sep = lastPathSeparator(path);
    return sep == std::string_view::npos ? path : path.substr(sep + 1);
}

std::string joinPath(std::string_view folder, std::string_view name)
{
    std::string out(folder);
    out += kPathSeparator;
    out += name;
    return out;
}

std::optional<std::vector<DirectoryEntry>> listDirectory(std::string_view folder)
{
    std::error_code ec;
    std::filesystem::directory_iterator it(osPath(folder), ec);
    if (ec) return std::nullopt;
    // Stepping with an error code: a listing that fails half-way (a network share that goes away)
    // reports failure instead of throwing.
    std::vector<DirectoryEntry> entries;
    for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) return std::nullopt;
        std::error_code typeError;
        entries.push_back({stationPath(it->path().filename()), it->is_directory(typeError)});
    }
    if (ec) return std::nullopt;
    return entries;
}

bool isDirectory(std::string_view path)
{
    std::error_code ec;
    return std::filesystem::is_directory(osPath(path), ec);
}

bool canOpenForReading(std::string_view path)
{
    if (isDirectory(path)) return false;
    std::ifstream in(osPath(path), std::ios::binary);
    return static_cast<bool>(in);
}

bool createDirectory(std::string_view path)
{
    std::error_code ec;
    std::filesystem::create_directory(osPath(path), ec);
    return isDirectory(path);
}

}  // namespace vst::platform
