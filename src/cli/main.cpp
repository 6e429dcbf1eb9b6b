// The console front end: the station's device operations without a window, for scripted service
// work. Progress goes to the error stream, results and listings to the output stream; the exit
// status is 0 on success and 1 on failure.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "platform/Clock.h"
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
    const int status = vst::cli::runCli(static_cast<int>(arguments.size()), pointers.data(), channel, stdout, stderr);
    // For the benchmarks: how much of the run the protocol's fixed waits took.
    if (std::getenv("VESTROLAN_REPORT_WAITS")) {
        std::fprintf(stderr, "vestrolan-cli: prescribed waits: %llu ms\n",
                     static_cast<unsigned long long>(vst::platform::prescribedWaitTotal()));
    }
    return status;
}
