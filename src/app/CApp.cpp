#include "app/CApp.h"

#include "app/CommandLine.h"
#include "app/Language.h"
#include "platform/SettingsStore.h"

namespace vst::app {

std::optional<TextId> modeSettingsRefusal(const AppSettings& s)
{
    const bool stockOrEndurance =
        s.operatingMode == OperatingMode::Stock || s.operatingMode == OperatingMode::Endurance;
    if (stockOrEndurance && s.networkCardIndex == -1) return TextId{35001};
    if (stockOrEndurance && s.targetAddress == 0) return TextId{35002};
    if (stockOrEndurance && s.firmwarePath.empty()) return TextId{35003};
    if (s.operatingMode != OperatingMode::Service && s.serialNumberPath.empty()) return TextId{35004};
    return std::nullopt;
}

uint32_t storedProgrammerTimeout(platform::SettingsStore& store)
{
    const auto stored = store.readNumber(kStationKey, kProgrammerTimeoutValue);
    if (!stored || *stored < kMinProgrammerTimeoutSeconds || *stored > kMaxProgrammerTimeoutSeconds) {
        return kDefaultProgrammerTimeoutSeconds;
    }
    return *stored;
}

CApp& CApp::instance()
{
    static CApp app;
    return app;
}

StartupResult CApp::initInstance(StartupHost& host, std::string_view commandLine,
                                 platform::SettingsStore& settingsStore)
{
    host.constructMainWindow();
    host.registerCommonControls(kAllCommonControlClasses);
    host.baseInitialise();
    setTextIdOffset(determineLanguage(settingsStore));

    AppSettings parsed;
    parseCommandLine(commandLine, parsed);
    parsed.programmerTimeoutSeconds = storedProgrammerTimeout(settingsStore);
    if (!parsed.internalMode) {
        parsed.operatingMode = OperatingMode::Service;
    } else if (auto refusal = modeSettingsRefusal(parsed)) {
        settings_ = parsed;
        host.showStartupError(loadText(*refusal));
        return StartupResult::Refused;
    }
    settings_ = parsed;

    if (!host.startSockets()) {
        host.showStartupError(loadText(35005));
        return StartupResult::Refused;
    }
    host.runMainWindow();
    return StartupResult::MainWindowClosed;
}

}  // namespace vst::app
