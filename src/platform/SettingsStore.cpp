#include "platform/SettingsStore.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace vst::platform {
namespace {

constexpr const char* kNumberPrefix = "dword:";

std::string normaliseKey(std::string key)
{
    while (!key.empty() && (key.back() == '\\' || key.back() == '/')) key.pop_back();
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return key;
}

std::string normaliseName(std::string name)
{
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

std::string trim(const std::string& s)
{
    size_t b = 0;
    size_t e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

}  // namespace

IniSettingsStore::IniSettingsStore(std::filesystem::path file) : file_(std::move(file)) {}

bool IniSettingsStore::load(Sections& sections) const
{
    std::ifstream in(file_, std::ios::binary);
    if (!in) return false;
    std::string line;
    std::string section;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string t = trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t.front() == '[' && t.back() == ']') {
            section = normaliseKey(t.substr(1, t.size() - 2));
            continue;
        }
        const size_t eq = t.find('=');
        if (eq == std::string::npos) continue;
        sections[section][normaliseName(trim(t.substr(0, eq)))] = trim(t.substr(eq + 1));
    }
    return true;
}

std::optional<std::string> IniSettingsStore::rawValue(const std::string& key,
                                                      const std::string& name) const
{
    Sections sections;
    if (!load(sections)) return std::nullopt;
    auto s = sections.find(normaliseKey(key));
    if (s == sections.end()) return std::nullopt;
    auto v = s->second.find(normaliseName(name));
    if (v == s->second.end()) return std::nullopt;
    return v->second;
}

std::optional<uint32_t> IniSettingsStore::readNumber(const std::string& key, const std::string& name)
{
    auto raw = rawValue(key, name);
    if (!raw || raw->rfind(kNumberPrefix, 0) != 0) return std::nullopt;
    const std::string digits = raw->substr(std::char_traits<char>::length(kNumberPrefix));
    if (digits.empty() || digits.size() > 10 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const unsigned long long value = std::stoull(digits);
    if (value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<uint32_t>(value);
}

std::optional<std::string> IniSettingsStore::readText(const std::string& key, const std::string& name,
                                                      size_t maxBytes)
{
    auto raw = rawValue(key, name);
    if (!raw || raw->rfind(kNumberPrefix, 0) == 0) return std::nullopt;
    if (raw->size() + 1 > maxBytes) return std::nullopt;
    return raw;
}

bool IniSettingsStore::fail(const std::string& reason)
{
    writeFailure_ = stationPath(file_) + ": " + reason;
    return false;
}

bool IniSettingsStore::writeNumber(const std::string& key, const std::string& name, uint32_t value)
{
    writeFailure_.clear();
    // Re-write the file line by line, keeping comments and the other values as they are.
    // Only a file that is absent or was read completely is rewritten: writing what a failed
    // read left would drop every other value.
    std::vector<std::string> lines;
    {
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(file_, ec);
        if (status.type() != std::filesystem::file_type::not_found) {
            if (ec) return fail(utf8ToCp1252(ec.message()));
            if (std::filesystem::is_directory(file_, ec)) {
                return fail(utf8ToCp1252(std::make_error_code(std::errc::is_a_directory).message()));
            }
            auto bytes = readFileBytes(file_);
            if (!bytes) return fail(lastErrorText());
            std::istringstream in(*bytes);
            std::string line;
            while (std::getline(in, line)) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                lines.push_back(line);
            }
        }
    }
    const std::string wantedSection = normaliseKey(key);
    const std::string wantedName = normaliseName(name);
    const std::string entry = name + "=" + kNumberPrefix + std::to_string(value);

    // Every line of the value is rewritten, in every section of the key path: a hand-edited file
    // may hold it twice, and a copy left behind would be read instead of the new value.
    std::string section;
    bool inWanted = false;
    size_t insertAt = std::string::npos;
    bool done = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string t = trim(lines[i]);
        if (!t.empty() && t.front() == '[' && t.back() == ']') {
            section = normaliseKey(t.substr(1, t.size() - 2));
            inWanted = section == wantedSection;
            if (inWanted) insertAt = i + 1;
            continue;
        }
        if (!inWanted) continue;
        const size_t eq = t.find('=');
        if (!t.empty() && eq != std::string::npos && normaliseName(trim(t.substr(0, eq))) == wantedName) {
            lines[i] = entry;
            done = true;
        } else if (!t.empty()) {
            insertAt = i + 1;
        }
    }
    if (!done) {
        if (insertAt == std::string::npos) {
            if (!lines.empty() && !trim(lines.back()).empty()) lines.emplace_back();
            lines.push_back("[" + key + "]");
            lines.push_back(entry);
        } else {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
        }
    }
    std::string text;
    for (const auto& l : lines) text += l + "\n";
    std::error_code ec;
    if (file_.has_parent_path()) {
        std::filesystem::create_directories(file_.parent_path(), ec);
        if (ec) return fail(utf8ToCp1252(ec.message()));
    }
    if (!replaceFile(file_, text)) return fail(lastErrorText());
    return true;
}

LayeredSettingsStore::LayeredSettingsStore(std::optional<std::filesystem::path> userFile,
                                           std::filesystem::path machineFile)
    : machine_(std::move(machineFile))
{
    if (userFile) user_.emplace(std::move(*userFile));
}

std::optional<uint32_t> LayeredSettingsStore::readNumber(const std::string& key, const std::string& name)
{
    if (user_) {
        if (auto value = user_->readNumber(key, name)) return value;
    }
    return machine_.readNumber(key, name);
}

std::optional<std::string> LayeredSettingsStore::readText(const std::string& key, const std::string& name,
                                                          size_t maxBytes)
{
    if (user_) {
        if (auto value = user_->readText(key, name, maxBytes)) return value;
    }
    return machine_.readText(key, name, maxBytes);
}

bool LayeredSettingsStore::writeNumber(const std::string& key, const std::string& name, uint32_t value)
{
    return user_ && user_->writeNumber(key, name, value);
}

std::string LayeredSettingsStore::writeFailure() const
{
    if (!user_) return "no folder for the user's settings ($XDG_CONFIG_HOME and $HOME are not set)";
    return user_->writeFailure();
}

SettingsFiles settingsFiles(const std::function<const char*(const char*)>& lookup)
{
    auto variable = [&](const char* name) -> std::string {
        const char* value = lookup(name);
        return value ? value : "";
    };
    SettingsFiles files;
    if (const std::string single = variable("VESTROLAN_SETTINGS"); !single.empty()) {
        files.machine = single;
        files.single = true;
        return files;
    }
    files.machine = "/etc/vestrolan/settings.ini";
    // A relative $XDG_CONFIG_HOME is to be ignored, as if it were not set.
    std::filesystem::path config = variable("XDG_CONFIG_HOME");
    if (config.empty() || !config.is_absolute()) {
        const std::filesystem::path home = variable("HOME");
        config = home.empty() ? std::filesystem::path() : home / ".config";
    }
    if (!config.empty()) files.user = config / "vestrolan" / "settings.ini";
    return files;
}

std::optional<std::string> installLanguageForLocale(const std::string& locale)
{
    if (locale.empty() || locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0) {
        return std::nullopt;
    }
    if (locale.rfind("de", 0) == 0) return std::string("0407");
    return std::string("0409");
}

#ifndef _WIN32
namespace {

class MachineSettings : public LayeredSettingsStore {
public:
    using LayeredSettingsStore::LayeredSettingsStore;

    std::optional<std::string> readText(const std::string& key, const std::string& name,
                                        size_t maxBytes) override
    {
        auto stored = LayeredSettingsStore::readText(key, name, maxBytes);
        if (stored) return stored;
        if (normaliseKey(key) == normaliseKey("SYSTEM\\CurrentControlSet\\Control\\Nls\\Language") &&
            normaliseName(name) == normaliseName("InstallLanguage")) {
            for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
                const char* v = std::getenv(var);
                if (v && *v) return installLanguageForLocale(v);
            }
        }
        return std::nullopt;
    }
};

// The files as the environment names them when the store is first used.
SettingsFiles filesFromEnvironment()
{
    return settingsFiles([](const char* name) { return std::getenv(name); });
}

}  // namespace

SettingsStore& machineSettings()
{
    static const SettingsFiles files = filesFromEnvironment();
    // One file for both: the same file is the user's and the machine's.
    static MachineSettings store(files.single ? std::optional<std::filesystem::path>(files.machine) : files.user,
                                 files.machine);
    return store;
}

SettingsStore& userSettings() { return machineSettings(); }
#endif

}  // namespace vst::platform
