#pragma once
// The starters of the service commands, shared by the window's buttons and the console's commands
// (see Starter.h): the firmware choice and its check, the device password, the search jobs, single
// and bulk update, network settings and name, backup and restore, serial number and clock. The
// front ends gather the input (dialogs or options) and call these; every rule is here once.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/DeviceRecord.h"
#include "ops/BulkUpdate.h"
#include "ops/PasswordMemory.h"
#include "ops/Starter.h"
#include "ops/UdpCommands.h"
#include "ops/WebOperations.h"

namespace vst::app {
struct NetworkCard;
}

namespace vst::ops {

class SearchJobList;

// A refusal shown to the operator: the text (Windows-1252) and its message-box style.
struct Refusal {
    std::string text;
    uint32_t style = 0;
};

// The firmware check of a file that is about to be sent: nullopt when it may be sent, else why
// not (35211 for a file that cannot be opened, the fault's own text for a broken one).
std::optional<Refusal> firmwareFileRefusal(const std::string& file);

// The window's firmware choice: the newest firmware file of `folder`, else the file the operator
// chooses (`chooseFile`; a name not shaped like a firmware file is refused with 30038). The chosen
// file is checked before it is returned: a path the operation cannot hold (35226) or a broken file
// is refused. nullopt when nothing is to be sent.
std::optional<std::string> chooseFirmwareFile(StarterHost& host, const std::string& folder,
                                              const std::function<std::optional<std::string>()>& chooseFile);

// Where a service operation's device password comes from.
struct PasswordPolicy {
    bool internal = false;                // the station's service password for every device
    std::optional<std::string> given;     // a password given beforehand for every device
    PasswordMemory* memory = nullptr;     // passwords typed earlier in this run (asked once each)
};

// The password for `device`: the service password when internal, the given one, none for an
// unprotected device, the remembered one, else the operator's answer to the password dialog
// (remembered). nullopt when the operator cancelled.
std::optional<std::string> devicePassword(StarterHost& host, const PasswordPolicy& policy,
                                          const net::DeviceRecord& device);

// The search of one search command: one job per card (only `only` when given), all with the same
// entered address and scope.
struct SearchStart {
    const std::vector<app::NetworkCard>* cards = nullptr;
    const app::NetworkCard* only = nullptr;
    uint32_t target = 0;  // host byte order; 0 = no entered address
    bool directedOnly = false;
    bool kind0Only = false;
};
std::shared_ptr<SearchJobList> searchJobs(WorkerChannel& channel, const SearchStart& start);

// The firmware update of the devices chosen: one device alone, or several one after the other
// (the passwords of the served kind asked for before the run, so that it needs no one).
struct UpdateStart {
    bool several = false;                     // the bulk run, even for one device
    std::vector<net::DeviceRecord*> devices;  // the chosen devices (several: by MAC in the run)
    std::vector<net::Mac> macs;               // several devices that need not be listed
    std::string file;                         // checked already (chooseFirmwareFile or the console)
    bool showSummary = true;                  // the bulk run's summary as a message box
    // Ask before anything is sent (the window's "Update" button): the devices' names, MACs and
    // versions as the list shows them and the file's version; No starts nothing.
    bool confirm = false;
    // Out: the operation's result, and the bulk run's results.
    std::shared_ptr<bool> succeeded = std::make_shared<bool>(false);
    std::shared_ptr<BulkUpdateParams> bulk;
};
StartOutcome startUpdate(StarterHost& host, const PasswordPolicy& policy, UpdateStart& start);
// The question before an update of `devices` (served kind only) with `file`: 37453 for one
// device, 37454 for several; empty when none of them is of the served kind.
std::string updateQuestion(const std::vector<net::DeviceRecord*>& devices, const std::string& file);

// The UDP write commands of one device: network settings, name, backup and restore. The record
// holds the new settings or name already; `file` is the backup or restore file.
struct DeviceCommandStart {
    net::DeviceRecord* device = nullptr;
    bool (*operation)(UdpCommandParams&) = nullptr;
    std::string file;
    bool broadcast = false;
    std::shared_ptr<bool> succeeded = std::make_shared<bool>(false);
};
StartOutcome startDeviceCommand(StarterHost& host, const PasswordPolicy& policy, const DeviceCommandStart& start);

// A path a file operation's 260-byte field cannot hold: it would be cut to another file's name.
bool pathTooLong(const std::string& path);

// The serial number of the current device: the serial-number dialog with the release check and
// the log line (the host's), then the operation with `password`.
StartOutcome startSerialNumber(StarterHost& host, net::DeviceRecord* device, const std::string& password,
                               std::shared_ptr<bool> succeeded = {});
// The device clock from this computer's.
StartOutcome startClock(StarterHost& host, net::DeviceRecord* device, const std::string& password,
                        std::shared_ptr<bool> succeeded = {});

// Hands a parameter block to the host's worker: the operation runs with the host's channel and its
// result goes to `succeeded` when given. `device` names the device whose refused password the
// front end forgets.
template <typename Params>
void startServiceOperation(StarterHost& host, bool (*operation)(Params&), std::shared_ptr<Params> params,
                           const net::DeviceRecord* device, std::shared_ptr<bool> succeeded = {})
{
    host.startServiceWorker(
        [operation, params = std::move(params), succeeded](WorkerChannel& channel) {
            params->channel = &channel;
            const bool ok = operation(*params);
            if (succeeded) *succeeded = ok;
        },
        device);
}

}  // namespace vst::ops
