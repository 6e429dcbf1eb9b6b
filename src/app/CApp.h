#pragma once
// The application object: the settings of the command line, the text language, and the start-up
// sequence. The window layer plugs its framework in through StartupHost.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/AppSettings.h"
#include "app/Texts.h"

namespace vst::platform {
class SettingsStore;
}

namespace vst::app {

// What start-up needs from the window framework, called in this order.
class StartupHost {
public:
    virtual ~StartupHost() = default;
    // Builds the main window object (which enumerates the network cards).
    virtual void constructMainWindow() = 0;
    // Registers the common-control classes of the given class set.
    virtual void registerCommonControls(uint32_t classSet) = 0;
    // The framework's own initialisation.
    virtual void baseInitialise() = 0;
    // A refusal at start-up: the text (Windows-1252) in a message box with the error icon.
    virtual void showStartupError(const std::string& text) = 0;
    // Starts the socket layer; false when it cannot be started.
    virtual bool startSockets() = 0;
    // Runs the main window modally until it closes.
    virtual void runMainWindow() = 0;
};

inline constexpr uint32_t kAllCommonControlClasses = 0xFF;

enum class StartupResult {
    MainWindowClosed,  // the station ran and the operator closed it
    Refused,           // a start-up check failed and its message was shown
};

// The stored value "ProgrammerTimeout" under the station's key, in seconds; a missing value or one
// outside kMinProgrammerTimeoutSeconds..kMaxProgrammerTimeoutSeconds gives the default.
uint32_t storedProgrammerTimeout(platform::SettingsStore& store);

// The first refusal the mode settings earn (35001..35004), or nullopt when they are consistent.
std::optional<TextId> modeSettingsRefusal(const AppSettings& settings);

class CApp {
public:
    static CApp& instance();

    // Start-up: main window object, control classes, framework, language, command line, mode
    // checks, sockets, then the main window until it closes.
    StartupResult initInstance(StartupHost& host, std::string_view commandLine,
                               platform::SettingsStore& settingsStore);

    int32_t textIdOffset() const { return textIdOffset_.load(); }
    void setTextIdOffset(int32_t offset) { textIdOffset_.store(offset); }

    const AppSettings& settings() const { return settings_; }
    bool internalMode() const { return settings_.internalMode; }
    OperatingMode operatingMode() const { return settings_.operatingMode; }
    int32_t networkCardIndex() const { return settings_.networkCardIndex; }
    uint32_t targetAddress() const { return settings_.targetAddress; }
    std::string firmwarePath() const { return settings_.firmwarePath; }
    std::string serialNumberPath() const { return settings_.serialNumberPath; }
    std::string programmerPath() const { return settings_.programmerPath; }
    bool i2cTest() const { return settings_.i2cTest; }
    bool noSerialLog() const { return settings_.noSerialLog; }

    // Start-up sets these; tests and the console front end set them directly.
    void setSettings(const AppSettings& settings) { settings_ = settings; }

private:
    CApp() = default;
    std::atomic<int32_t> textIdOffset_{0};
    AppSettings settings_;
};

}  // namespace vst::app
