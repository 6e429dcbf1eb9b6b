// The console front end: the station's device operations without a window, for scripted service
// work. Progress goes to the error stream, results and listings to the output stream; the exit
// status is 0 on success and 1 on failure.
#include <csignal>
#include <cstdio>

#include "cli/Cli.h"
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
    vst::platform::startNetworking();
    vst::cli::ConsoleChannel channel(stdout, stderr);
    activeChannel = &channel;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    return vst::cli::runCli(argc, argv, channel, stdout, stderr);
}
