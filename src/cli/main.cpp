// The console front end: the station's device operations without a window, for scripted service
// work. Progress goes to the error stream, results and listings to the output stream; the exit
// status is 0 on success and 1 on failure.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "platform/Console.h"
#include "platform/Network.h"
#include "platform/ScaledClock.h"

namespace {

vst::cli::ConsoleChannel* activeChannel = nullptr;

void onInterrupt(int)
{
    if (activeChannel) activeChannel->cancel();
}

}  // namespace

int main(int argc, char** argv)
{
    vst::platform::installTimeScaleFromEnvironment();
    vst::platform::prepareConsoleStreams();
    vst::platform::startNetworking();
    vst::cli::ConsoleChannel channel(stdout, stderr);
    activeChannel = &channel;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    // The arguments as UTF-8 on every platform (Windows hands them over as UTF-16).
    std::vector<std::string> arguments = vst::platform::consoleArguments(argc, argv);
    std::vector<char*> pointers;
    for (auto& a : arguments) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    return vst::cli::runCli(static_cast<int>(arguments.size()), pointers.data(), channel, stdout, stderr);
}
