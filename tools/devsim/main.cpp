// vestrolan-devsim: a fleet of simulated devices on the UDP device port and the web port.
#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <signal.h>
#endif

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "devsim/ProgramOptions.h"
#include "devsim/Simulator.h"
#include "devsim/StateFile.h"

using namespace vst::devsim;

namespace {

constexpr uint32_t kStateCheckMs = 200;

// Keeps the state file in step with the devices: written when what they were told has changed.
class StateKeeper {
public:
    explicit StateKeeper(std::string file) : file_(std::move(file)) {}

    void save(const Simulator& simulator)
    {
        if (file_.empty()) return;
        std::vector<DeviceState> states;
        simulator.visitDevices([&](const Device& device) { states.push_back(stateOf(device)); });
        std::string text = formatState(states);
        if (text == written_) return;
        std::string error;
        if (!saveStateFile(file_, text, &error)) {
            // Said once per failure, not every check.
            if (!failed_) std::cerr << "vestrolan-devsim: " << error << "\n";
            failed_ = true;
            return;
        }
        failed_ = false;
        written_ = std::move(text);
    }
    bool failed() const { return failed_; }

private:
    std::string file_;
    std::string written_;
    bool failed_ = false;
};

}  // namespace

#ifdef _WIN32
namespace {

HANDLE stopRequested = nullptr;  // set by Ctrl+C, Ctrl+Break, closing the console, log-off, shutdown
HANDLE stopped = nullptr;        // set once the simulator has stopped

BOOL WINAPI onConsoleControl(DWORD)
{
    ::SetEvent(stopRequested);
    // Windows ends the process when the handler returns for a close, log-off or shutdown; give
    // the simulator the moment it needs to stop.
    ::WaitForSingleObject(stopped, 5000);
    return TRUE;
}

}  // namespace
#endif

int main(int argc, char** argv)
{
    std::string error;
    const auto options = parseProgramOptions(std::vector<std::string>(argv + 1, argv + argc), &error);
    if (!options) {
        std::cerr << "vestrolan-devsim: " << error << "\n" << usageText();
        return 2;
    }
    if (options->help) {
        std::cout << usageText();
        return 0;
    }
    auto devices = buildFleet(*options, &error);
    if (!devices) {
        std::cerr << "vestrolan-devsim: " << error << "\n";
        return 2;
    }
    // The devices start as the state file keeps them; a file that is not a state file is left
    // alone rather than overwritten.
    if (!options->stateFile.empty()) {
        const auto states = loadStateFile(options->stateFile, &error);
        if (!states) {
            std::cerr << "vestrolan-devsim: " << error << "\n";
            return 2;
        }
        applyState(*devices, *states);
    }
    if (options->printAddresses || options->printCidr) {
        for (const auto& line : addressLines(*devices, options->printCidr)) std::cout << line << "\n";
        return 0;
    }

#ifdef _WIN32
    stopRequested = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    stopped = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!stopRequested || !stopped || !::SetConsoleCtrlHandler(onConsoleControl, TRUE)) {
        std::cerr << "vestrolan-devsim: cannot install the console control handler (error " << ::GetLastError()
                  << ")\n";
        return 1;
    }
#else
    // The signals are taken by sigwait below; block them before the loop thread starts so that it
    // inherits the mask and never gets them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
#endif

    SimulatorConfig config;
    const size_t count = devices->size();
    config.devices = std::move(*devices);
    config.port = options->port;
    config.web = options->web;
    config.webPort = options->webPort;
    config.bindAddress = options->bindAddress;
    config.interface = options->interface;
    config.verbose = options->verbose;
    Simulator simulator(std::move(config));
    if (!simulator.start(&error)) {
        std::cerr << "vestrolan-devsim: " << error << "\n";
        return 1;
    }
    if (options->verbose) {
        std::cerr << "vestrolan-devsim: " << count << " device(s) on port " << simulator.port();
        if (options->web) std::cerr << ", web port " << simulator.webPort();
        std::cerr << "\n";
    }
    std::cout << "ready" << std::endl;

    // With a state file, what the devices were told is written whenever it changed, and once more
    // after the simulator stopped.
    StateKeeper keeper(options->stateFile);
    keeper.save(simulator);
#ifdef _WIN32
    while (::WaitForSingleObject(stopRequested, kStateCheckMs) == WAIT_TIMEOUT) keeper.save(simulator);
    simulator.stop();
    keeper.save(simulator);
    ::SetEvent(stopped);
#else
    const timespec interval{0, static_cast<long>(kStateCheckMs) * 1000000L};
    while (sigtimedwait(&signals, nullptr, &interval) < 0) keeper.save(simulator);
    simulator.stop();
    keeper.save(simulator);
#endif
    return keeper.failed() ? 1 : 0;
}
