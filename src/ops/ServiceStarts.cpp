#include "ops/ServiceStarts.h"

#include "app/FirmwareCheck.h"
#include "app/NetworkCards.h"
#include "app/Records.h"
#include "app/Format.h"
#include "app/Texts.h"
#include "ops/DeviceColumns.h"
#include "ops/Search.h"

namespace vst::ops {

std::optional<Refusal> firmwareFileRefusal(const std::string& file)
{
    app::FirmwareFault fault;
    switch (app::checkFirmwareFile(file, &fault)) {
    case app::FirmwareFileCheck::Good: return std::nullopt;
    case app::FirmwareFileCheck::CannotOpen: return Refusal{app::loadText(35211), app::kMbIconError};
    case app::FirmwareFileCheck::Faulty: return Refusal{app::firmwareFaultText(fault), app::kMbIconExclamation};
    }
    return Refusal{app::loadText(35211), app::kMbIconError};
}

bool pathTooLong(const std::string& path) { return path.size() >= 260; }

std::optional<std::string> chooseFirmwareFile(StarterHost& host, const std::string& folder,
                                              const std::function<std::optional<std::string>()>& chooseFile)
{
    std::optional<std::string> file;
    if (!folder.empty()) {
        std::string newest = app::newestFirmwareFile(folder);
        if (!newest.empty()) file = std::move(newest);
    }
    if (!file) {
        file = chooseFile();
        if (!file) return std::nullopt;
        float version = 0;
        if (!app::firmwareVersionFromFileName(*file, version)) {
            refuse(host, app::TextId{30038}, app::kMbIconExclamation);
            return std::nullopt;
        }
    }
    if (pathTooLong(*file)) {
        refuse(host, app::TextId{35226}, app::kMbIconError);
        return std::nullopt;
    }
    // A broken file never reaches a device.
    if (auto refusal = firmwareFileRefusal(*file)) {
        host.prompt().messageBox(refusal->text, refusal->style);
        return std::nullopt;
    }
    return file;
}

std::optional<std::string> devicePassword(StarterHost& host, const PasswordPolicy& policy,
                                          const net::DeviceRecord& device)
{
    if (policy.internal) return std::string(kServicePassword);
    if (policy.given) return policy.given;
    if (!device.passwordRequired) return std::string();
    // Each protected device is asked for once while the station runs.
    if (policy.memory) {
        if (auto known = policy.memory->recall(device.mac)) return known;
    }
    auto typed = host.prompt().askPassword();
    if (typed && policy.memory) policy.memory->remember(device.mac, *typed);
    return typed;
}

std::shared_ptr<SearchJobList> searchJobs(WorkerChannel& channel, const SearchStart& start)
{
    auto jobs = std::make_shared<SearchJobList>();
    if (!start.cards) return jobs;
    for (const auto& card : *start.cards) {
        if (start.only && &card != start.only) continue;
        SearchJob& job = jobs->add();
        job.channel = &channel;
        job.card = &card;
        job.target = start.target;
        job.directedOnly = start.directedOnly;
        job.kind0Only = start.kind0Only;
    }
    return jobs;
}

namespace {

StartOutcome startBulkUpdate(StarterHost& host, const PasswordPolicy& policy, UpdateStart& start)
{
    auto params = std::make_shared<BulkUpdateParams>();
    params->firmwarePath.assign(start.file);
    params->showSummary = start.showSummary;
    for (const net::DeviceRecord* device : start.devices) {
        if (!device) continue;
        BulkUpdateDevice entry;
        entry.mac = device->mac;
        // Other kinds are skipped by the run and need no password.
        if (device->productKind == 0) {
            const auto password = devicePassword(host, policy, *device);
            if (!password) return StartOutcome::Cancelled;
            entry.password.assign(*password);
        }
        params->devices.push_back(entry);
    }
    for (const net::Mac& mac : start.macs) {
        BulkUpdateDevice entry;
        entry.mac = mac;
        entry.password.assign(policy.given.value_or(std::string()));
        params->devices.push_back(entry);
    }
    start.bulk = params;
    startServiceOperation(host, bulkUpdate, std::move(params), nullptr, start.succeeded);
    return StartOutcome::Started;
}

}  // namespace

std::string updateQuestion(const std::vector<net::DeviceRecord*>& devices, const std::string& file)
{
    std::vector<const net::DeviceRecord*> served;
    for (const net::DeviceRecord* device : devices) {
        if (device && device->productKind == 0) served.push_back(device);
    }
    if (served.empty()) return {};
    float version = 0;
    const std::string newVersion = app::firmwareVersionFromFileName(file, version) ? versionText(version) : "?";
    if (served.size() > 1) {
        return app::formatText(app::loadText(37454), static_cast<int>(served.size()), newVersion.c_str());
    }
    const net::DeviceRecord& device = *served.front();
    return app::formatText(app::loadText(37453), device.name.str().c_str(), net::macText(device.mac).c_str(),
                           deviceColumnText(device, kColumnAppVersion).c_str(), newVersion.c_str());
}

StartOutcome startUpdate(StarterHost& host, const PasswordPolicy& policy, UpdateStart& start)
{
    if (start.confirm) {
        const std::string question = updateQuestion(start.devices, start.file);
        const uint32_t style = app::kMbYesNo | app::kMbIconQuestion | app::kMbDefaultButton2;
        if (!question.empty() && host.prompt().messageBox(question, style) != app::kIdYes) {
            return StartOutcome::Cancelled;
        }
    }
    if (start.several) return startBulkUpdate(host, policy, start);
    if (start.devices.empty() || !start.devices.front()) return StartOutcome::Refused;
    net::DeviceRecord* device = start.devices.front();
    const auto password = devicePassword(host, policy, *device);
    if (!password) return StartOutcome::Cancelled;
    auto params = std::make_shared<UpdateParams>();
    params->device = device;
    params->password.assign(*password);
    params->firmwarePath.assign(start.file);
    startServiceOperation(host, updateFirmware, std::move(params), device, start.succeeded);
    return StartOutcome::Started;
}

StartOutcome startDeviceCommand(StarterHost& host, const PasswordPolicy& policy, const DeviceCommandStart& start)
{
    if (!start.device || !start.operation) return StartOutcome::Refused;
    const auto password = devicePassword(host, policy, *start.device);
    if (!password) return StartOutcome::Cancelled;
    auto params = std::make_shared<UdpCommandParams>();
    params->device = start.device;
    params->password.assign(*password);
    params->filePath.assign(start.file);
    params->broadcast = start.broadcast;
    startServiceOperation(host, start.operation, std::move(params), start.device, start.succeeded);
    return StartOutcome::Started;
}

StartOutcome startSerialNumber(StarterHost& host, net::DeviceRecord* device, const std::string& password,
                               std::shared_ptr<bool> succeeded)
{
    if (!device) return StartOutcome::Refused;
    if (!host.enterSerialNumber()) return StartOutcome::Cancelled;
    auto params = std::make_shared<SerialParams>();
    params->device = device;
    params->password.assign(password);
    startServiceOperation(host, setSerialNumber, std::move(params), device, std::move(succeeded));
    return StartOutcome::Started;
}

StartOutcome startClock(StarterHost& host, net::DeviceRecord* device, const std::string& password,
                        std::shared_ptr<bool> succeeded)
{
    if (!device) return StartOutcome::Refused;
    auto params = std::make_shared<SerialParams>();
    params->device = device;
    params->password.assign(password);
    startServiceOperation(host, setClock, std::move(params), device, std::move(succeeded));
    return StartOutcome::Started;
}

}  // namespace vst::ops
