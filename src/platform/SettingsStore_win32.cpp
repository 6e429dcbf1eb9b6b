#include "platform/SettingsStore.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/WideText_win32.h"

namespace vst::platform {
namespace {

// The station's texts are Windows-1252 and so are its key and value names; the registry's own
// interface is UTF-16.
std::wstring wide(const std::string& cp1252) { return wideFromCp1252(cp1252); }

std::string narrow(const std::wstring& text) { return cp1252From(text); }

// One value read raw: its type and bytes; nullopt when the key or value is missing.
struct RawValue {
    DWORD type = REG_NONE;
    std::vector<unsigned char> bytes;
};

std::optional<RawValue> queryValue(HKEY root, const std::string& key, const std::string& name)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, wide(key).c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &handle) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const std::wstring valueName = wide(name);
    RawValue value;
    LSTATUS rc = ERROR_MORE_DATA;
    DWORD size = 0;
    // A value that grows between asking for its size and reading it is asked for again.
    for (int attempt = 0; attempt < 3 && rc == ERROR_MORE_DATA; ++attempt) {
        rc = RegQueryValueExW(handle, valueName.c_str(), nullptr, &value.type, nullptr, &size);
        if (rc != ERROR_SUCCESS) break;
        value.bytes.assign(size, 0);
        rc = RegQueryValueExW(handle, valueName.c_str(), nullptr, &value.type,
                              value.bytes.empty() ? nullptr : value.bytes.data(), &size);
        if (rc == ERROR_SUCCESS) value.bytes.resize(size);
    }
    RegCloseKey(handle);
    if (rc != ERROR_SUCCESS) return std::nullopt;
    return value;
}

}  // namespace

RegistrySettingsStore::RegistrySettingsStore(void* root, std::string prefix) : root_(root), prefix_(std::move(prefix))
{
}

std::string RegistrySettingsStore::fullKey(const std::string& key) const
{
    std::string path = key;
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    if (prefix_.empty()) return path;
    return prefix_ + "\\" + path;
}

std::optional<uint32_t> RegistrySettingsStore::readNumber(const std::string& key, const std::string& name)
{
    const auto value = queryValue(static_cast<HKEY>(root_), fullKey(key), name);
    if (!value || value->type != REG_DWORD || value->bytes.size() != sizeof(DWORD)) return std::nullopt;
    DWORD number = 0;
    std::memcpy(&number, value->bytes.data(), sizeof number);
    return static_cast<uint32_t>(number);
}

std::optional<std::string> RegistrySettingsStore::readText(const std::string& key, const std::string& name,
                                                           size_t maxBytes)
{
    const auto value = queryValue(static_cast<HKEY>(root_), fullKey(key), name);
    if (!value || value->type != REG_SZ) return std::nullopt;
    std::wstring text(value->bytes.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(text.data(), value->bytes.data(), text.size() * sizeof(wchar_t));
    // The stored terminator (or several) is not part of the text.
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    std::string out = narrow(text);
    if (out.size() + 1 > maxBytes) return std::nullopt;
    return out;
}

bool RegistrySettingsStore::writeNumber(const std::string& key, const std::string& name, uint32_t value)
{
    writeFailure_.clear();
    // The registry's calls return their error; it becomes the thread's last error for its text.
    auto fail = [&](LSTATUS rc) {
        SetLastError(static_cast<DWORD>(rc));
        writeFailure_ = fullKey(key) + ": " + lastErrorText();
        return false;
    };
    HKEY handle = nullptr;
    LSTATUS rc = RegCreateKeyExW(static_cast<HKEY>(root_), wide(fullKey(key)).c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &handle, nullptr);
    if (rc != ERROR_SUCCESS) return fail(rc);
    const DWORD number = value;
    rc = RegSetValueExW(handle, wide(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    RegCloseKey(handle);
    if (rc != ERROR_SUCCESS) return fail(rc);
    return true;
}

SettingsStore& machineSettings()
{
    static RegistrySettingsStore store(HKEY_LOCAL_MACHINE);
    return store;
}

SettingsStore& userSettings()
{
    static RegistrySettingsStore store(HKEY_CURRENT_USER);
    return store;
}

}  // namespace vst::platform
