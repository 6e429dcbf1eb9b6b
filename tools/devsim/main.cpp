// vestrolan-devsim: a fleet of simulated devices on the UDP device port and the web port.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "devsim/ProgramOptions.h"
#include "devsim/Simulator.h"

using namespace vst::devsim;

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
    if (options->printAddresses || options->printCidr) {
        for (const auto& line : addressLines(*devices, options->printCidr)) std::cout << line << "\n";
        return 0;
    }

    // The signals are taken by sigwait below; block them before the loop thread starts so that it
    // inherits the mask and never gets them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

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

    int received = 0;
    sigwait(&signals, &received);
    simulator.stop();
    return 0;
}
