#pragma once
// The machine-wide settings store: named values under key paths such as
// "SOFTWARE\KW\Vestrolan-Manager\". Key paths compare without case and without a trailing
// backslash, as registry keys do.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace vst::platform {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // nullopt when the key or value is missing or holds another type.
    virtual std::optional<uint32_t> readNumber(const std::string& key, const std::string& name) = 0;
    // nullopt when missing, of another type, or longer than maxBytes (terminator included).
    virtual std::optional<std::string> readText(const std::string& key, const std::string& name,
                                                size_t maxBytes) = 0;
    // Creates the key when needed. False when the value could not be stored.
    virtual bool writeNumber(const std::string& key, const std::string& name, uint32_t value) = 0;
    // Why the last write that failed failed: the place and the system's reason (Windows-1252);
    // empty when the store cannot tell.
    virtual std::string writeFailure() const { return {}; }
};

// A store kept in an INI-style file: one section per key path, "name=dword:N" for numbers and
// "name=text" for texts. The file is re-read on every access so that several processes agree,
// and written through a temporary file that replaces the old one.
class IniSettingsStore : public SettingsStore {
public:
    explicit IniSettingsStore(std::filesystem::path file);

    std::optional<uint32_t> readNumber(const std::string& key, const std::string& name) override;
    std::optional<std::string> readText(const std::string& key, const std::string& name,
                                        size_t maxBytes) override;
    bool writeNumber(const std::string& key, const std::string& name, uint32_t value) override;
    std::string writeFailure() const override { return writeFailure_; }

    const std::filesystem::path& file() const { return file_; }

private:
    using Sections = std::map<std::string, std::map<std::string, std::string>>;
    bool load(Sections& sections) const;
    std::optional<std::string> rawValue(const std::string& key, const std::string& name) const;
    bool fail(const std::string& reason);

    std::filesystem::path file_;
    std::string writeFailure_;
};

// The settings of a user on a machine: each value is looked up in the user's file first, then in
// the machine's; writes go to the user's file only. Without a user's file (no home folder) values
// come from the machine's file and every write fails.
class LayeredSettingsStore : public SettingsStore {
public:
    LayeredSettingsStore(std::optional<std::filesystem::path> userFile, std::filesystem::path machineFile);

    std::optional<uint32_t> readNumber(const std::string& key, const std::string& name) override;
    std::optional<std::string> readText(const std::string& key, const std::string& name,
                                        size_t maxBytes) override;
    bool writeNumber(const std::string& key, const std::string& name, uint32_t value) override;
    std::string writeFailure() const override;

private:
    std::optional<IniSettingsStore> user_;
    IniSettingsStore machine_;
};

// Where the settings files are on Linux, from the environment (`lookup` returns a variable's
// value or null): VESTROLAN_SETTINGS names one file for reading and writing; otherwise the user's
// file is $XDG_CONFIG_HOME/vestrolan/settings.ini ($HOME/.config when that is unset or not an
// absolute path; none without either) and the machine's /etc/vestrolan/settings.ini.
struct SettingsFiles {
    std::optional<std::filesystem::path> user;
    std::filesystem::path machine;
    bool single = false;  // VESTROLAN_SETTINGS: `machine` is the one file
};
SettingsFiles settingsFiles(const std::function<const char*(const char*)>& lookup);

#ifdef _WIN32
// The registry below a root key (HKEY_LOCAL_MACHINE for the machine's store), in its 32-bit view:
// the station has always been a 32-bit program, so its stored language and the maker's other
// software live there, and a 64-bit build must find the same values. `prefix`, when given, is put
// before every key path (tests keep their values apart with it). Texts are read as UTF-16 and
// returned in the station's code page.
class RegistrySettingsStore : public SettingsStore {
public:
    // `root` is a predefined registry key (an HKEY).
    explicit RegistrySettingsStore(void* root, std::string prefix = {});

    std::optional<uint32_t> readNumber(const std::string& key, const std::string& name) override;
    std::optional<std::string> readText(const std::string& key, const std::string& name,
                                        size_t maxBytes) override;
    bool writeNumber(const std::string& key, const std::string& name, uint32_t value) override;
    std::string writeFailure() const override { return writeFailure_; }

private:
    std::string fullKey(const std::string& key) const;

    void* root_;
    std::string prefix_;
    std::string writeFailure_;
};
#endif

// The station's store. On Windows it is the registry under HKEY_LOCAL_MACHINE. Elsewhere it is
// the files of settingsFiles(): the user's file, then the machine's, or the one file of
// $VESTROLAN_SETTINGS. The installation language, which Linux keeps in the locale rather than in
// a settings value, is answered from the locale when no file holds it: a German locale gives
// "0407", any other named locale "0409", and an unset or "C" locale leaves it unreadable.
SettingsStore& machineSettings();

// The store of one user's own state (the window's place, its columns and sort order). On Windows
// the registry under HKEY_CURRENT_USER; elsewhere the user's settings file, which already takes
// every write (the machine's file is only read).
SettingsStore& userSettings();

// The installation-language answer for a locale name such as "de_DE.UTF-8"; nullopt for none.
std::optional<std::string> installLanguageForLocale(const std::string& locale);

}  // namespace vst::platform
