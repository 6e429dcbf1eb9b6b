// The station program: the application object's start-up over the Qt window framework.
#include <string>

#include "app/CApp.h"
#include "app/CommandLineText.h"
#include "platform/SettingsStore.h"
#include "ui/StationHost.h"

int main(int argc, char** argv)
{
    const std::string commandLine = vst::app::commandLineText(argc, argv);
    vst::platform::SettingsStore& settings = vst::platform::machineSettings();
    vst::ui::StationHost host(argc, argv, settings);
    const auto result = vst::app::CApp::instance().initInstance(host, commandLine, settings);
    return result == vst::app::StartupResult::Refused ? 1 : 0;
}
