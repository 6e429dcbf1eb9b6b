#pragma once
// The text language: chosen at start-up from the settings store, changed by the language dialog.
#include <cstdint>
#include <string>

namespace vst::platform {
class SettingsStore;
}

namespace vst::app {

inline constexpr const char* kStationKey = "SOFTWARE\\KW\\Vestrolan-Manager\\";
inline constexpr const char* kLanguageValue = "Language";
inline constexpr const char* kProgrammerTimeoutValue = "ProgrammerTimeout";
inline constexpr const char* kMakerKey = "SOFTWARE\\KW\\";
inline constexpr const char* kMakerLanguageValue = "VodirurudorazSprache";
inline constexpr const char* kInstallLanguageKey = "SYSTEM\\CurrentControlSet\\Control\\Nls\\Language";
inline constexpr const char* kInstallLanguageValue = "InstallLanguage";

// The text-id offset for start-up, first match wins: the station's stored choice when it is one
// of the two offsets (anything else falls through); the
// maker's software language ("Deutsch" is German); the installation language ("0407" is German);
// German.
int32_t determineLanguage(platform::SettingsStore& store);

// The language dialog's OK: the offset changes at once for every text loaded afterwards, and the
// choice is stored for the next start. False when it could not be stored (the language still
// changes for this run); `failure` then gets the store's reason (Windows-1252), which the
// window tells the operator (37404): a choice lost without a word would pass for a stored one.
bool chooseLanguage(bool english, platform::SettingsStore& store, std::string* failure = nullptr);

}  // namespace vst::app
