#pragma once
// One run of the console: the command named on the command line, with its options, over the
// console's channel. Each command gathers its input from the options and calls the starter of the
// window's button; the service commands are in Cli.cpp, the workflows in CliWorkflows.cpp.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "app/NetworkCards.h"
#include "app/Texts.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleChannel.h"
#include "net/DeviceRecord.h"
#include "ops/LogWindow.h"
#include "ops/ServiceStarts.h"

namespace vst::cli {

class Session {
public:
    Session(ConsoleChannel& channel, std::FILE* out, std::FILE* err, const Arguments& args)
        : channel_(channel), out_(out), err_(err), args_(args)
    {
    }

    int run();

private:
    static std::string loadText(app::TextId id) { return app::loadText(id); }

    int usage(const std::string& why) { return usageError(err_, why); }
    int failWith(const std::string& text) { return printFailure(out_, text); }

    // A device whose search answer marks it protected gets nothing without --password: an empty
    // password would only come back as "wrong password". True (37401 printed) when refused.
    bool refusedWithoutPassword(const net::DeviceRecord& device, const std::string& macAsGiven);

    int listCards(int count);

    void printDevice(const net::DeviceRecord& r);

    // Runs the search on the chosen card (or every card) and waits for it.
    bool search();

    // The password policy of the console: the --password value (none: empty) for every device.
    ops::PasswordPolicy passwordPolicy() const
    {
        ops::PasswordPolicy policy;
        policy.given = args_.value("--password");
        return policy;
    }

    int deviceCommand(const std::string& command);

    // Finds the device with the MAC by a search; nullptr (with the message printed) when it is not there.
    net::DeviceRecord* findDevice(const std::string& macText);

    int webCommand(const std::string& command);

    // The firmware file and the MACs of "update"; the exit status when they are refused. A broken
    // file reaches no device: it is refused before the search.
    std::optional<int> updateInput(ops::UpdateStart& update);

    // The options every workflow command shares: the scripted operator, the CPU test's network
    // name (when `ssid` is given) and the operator sign; the exit status when one is refused.
    std::optional<int> operatorOptions(ScriptedOperator& script, std::string& sign, std::string* ssid);
    // The scripted operator and the sign answer from now on; the station's settings of this run.
    app::AppSettings operatorFor(const ScriptedOperator& script, const std::string& sign);
    // The device password of the function tests and workflows: --password, else the service one.
    std::string workflowPassword() const;

    // The function tests: run with a log window as inside a workflow, then the last result and
    // (CPU test) the findings on the output stream.
    int functionTestCommand(const std::string& command);

    // "program" and "stock": the starter of the window's button with the scripted operator.
    int productionCommand(const std::string& command);

    // The card --card names (none without --card); the usage when it names no card.
    std::optional<int> namedCard(const app::NetworkCard*& card);

    // --snr as the serial-number folder of this run; 30040 when it holds no SNR.LOG.
    std::optional<int> useSerialNumberFolder();

    // The endurance run: the dialog's rules on the options, the start button's starter with the
    // scripted operator. Exit 0 when the run was not aborted and every device completed it.
    int enduranceCommand();

    // The final test and the repair: every value checked before anything is sent or written, then
    // the button's starter with the scripted operator. Exit 0 only for the workflow's success text
    // with every record written.
    int recordWorkflowCommand(const std::string& command);

    template <typename Params>
    void fill(Params& p, net::DeviceRecord* device, const std::string& password, ops::LogWindow* log)
    {
        p.channel = &channel_;
        p.device = device;
        p.password.assign(password);
        p.log = log;
    }

    // "MAC,MAC,...": every part a MAC address (`given` gets each part as written); false (with the
    // usage shown) otherwise.
    bool parseMacList(const std::string& text, std::vector<net::Mac>& macs, std::vector<std::string>* given = nullptr);

    // The update of several devices: one search, then each device in the order given. Prints one
    // line per device (its MAC as the search prints it, a TAB, its last result) and the summary.
    int updateSeveral(ops::UpdateStart& update);

    int dhcpModeOf() const
    {
        const std::string mode = args_.value("--dhcp");
        return mode == "client" ? 1 : mode == "server" ? 2 : 0;
    }

    ConsoleChannel& channel_;
    std::FILE* out_;
    std::FILE* err_;
    const Arguments& args_;
    std::vector<app::NetworkCard> cards_;
    std::vector<std::string> givenMacs_;  // the MACs of "update" as written
};

}  // namespace vst::cli
