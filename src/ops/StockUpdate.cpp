#include "ops/StockUpdate.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/Records.h"
#include "ops/LogWindow.h"
#include "ops/Reporting.h"
#include "ops/RunJournal.h"
#include "ops/Search.h"
#include "ops/UdpCommands.h"
#include "ops/WebOperations.h"
#include "ops/Workflow.h"
#include "platform/ChildProcess.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"

namespace vst::ops {

bool hasSerialNumber(uint32_t serial) { return serial >= 1 && serial <= 99999999; }

std::string createStockTemporaryFile(const std::string& folder)
{
    const std::string host = platform::hostName();
    std::string station;
    for (const char* c = host.c_str(); *c && station.size() < 15; ++c) {
        const unsigned char b = static_cast<unsigned char>(*c);
        station += (std::isalnum(b) || b == '-') ? *c : '-';
    }
    if (station.empty()) station = "station";
    const std::string base = "config-processlist_TMP_" + station + "_" + std::to_string(platform::processId());
    for (int n = 0; n < 100; ++n) {
        const std::string name = base + (n ? "_" + std::to_string(n) : std::string()) + ".bak";
        const std::string path = platform::joinPath(folder, name);
        if (path.size() >= 260) return {};
        // "x": created only when no file of that name exists, so no other run's file is touched.
        if (platform::createNewFile(path)) return path;
    }
    return {};
}

void flushNeighbourCache()
{
    platform::ChildProcessRequest request;
    request.arguments = platform::neighbourCacheFlushCommand();
    request.timeoutMs = kNeighbourFlushTimeoutMs;
    platform::runChildProcess(request, {}, 4096);
}

namespace {

// The only listed device, marked yellow (in progress); nullptr when there is none.
net::DeviceRecord* refindYellow(WorkerChannel& channel)
{
    net::DeviceRecord* device = channel.onlyListedDevice();
    if (device) {
        device->rowStatus = 1;
        channel.repaintList();
    }
    return device;
}

// The steps of the stock update on the one device at the target address.
class StockSteps {
public:
    StockSteps(StockUpdateParams& p, Reporter& report) : p_(p), channel_(*p.channel), report_(report), log_(report.log())
    {
        udp_.channel = &channel_;
        udp_.password = p.password;
        udp_.log = log_;
        udp_.devicePort = p.devicePort;
    }
    ~StockSteps()
    {
        if (!temporary_.empty()) {
            std::error_code ec;
            std::filesystem::remove(platform::osPath(temporary_), ec);
        }
    }
    StockSteps(const StockSteps&) = delete;
    StockSteps& operator=(const StockSteps&) = delete;

    bool found() const { return found_; }
    void setJournal(RunJournal* journal) { journal_ = journal; }
    net::DeviceRecord* device() const { return device_; }
    net::DeviceRecord*& firstRow() { return firstRow_; }

    // The directed search for the one device at the target address.
    bool findDevice()
    {
        flushNeighbourCache();
        findByDirectedSearch(channel_, p_.card, p_.target, p_.devicePort);
        if (!channel_.onlyListedDevice()) {
            if (log_) log_->appendLog(app::loadText(36006));
            return false;
        }
        found_ = true;
        temporary_ = createStockTemporaryFile(p_.serialNumberPath);
        device_ = refindYellow(channel_);
        if (device_ && journal_) journal_->deviceBefore(*device_);
        return device_ != nullptr;
    }

    bool backup()
    {
        if (temporary_.empty()) {
            report_.logSubMessage(app::loadText(35224), kStyleError, false);
            return false;
        }
        udp_.device = device_;
        udp_.filePath.assign(temporary_);
        return backupConfiguration(udp_);
    }

    bool confirmConfiguration()
    {
        const auto confirmed = report_.askConfiguration(app::readTextFile(temporary_), false);
        if (!confirmed) {
            if (log_) log_->appendLog(app::loadText(36007));
            return false;
        }
        // The device must get what the operator confirmed, never the unconfirmed backup.
        if (!platform::replaceFile(platform::osPath(temporary_), *confirmed)) {
            report_.logSubMessage(app::loadText(35224), kStyleError, false);
            return false;
        }
        return true;
    }

    bool restore() { return restoreConfiguration(udp_) && (device_ = refindYellow(channel_)) != nullptr; }

    bool clock()
    {
        auto serial = webParams<SerialParams>();
        return setClock(serial);
    }

    bool needsSerialNumber() const { return device_ && !hasSerialNumber(device_->serialNumber); }

    bool enterSerialNumber()
    {
        channel_.selectDevice(device_);
        if (channel_.enterSerialNumber()) return true;
        if (log_) log_->appendLog(app::loadText(36008));
        return false;
    }

    bool sendSerialNumber()
    {
        auto serial = webParams<SerialParams>();
        return setSerialNumber(serial) && (device_ = refindYellow(channel_)) != nullptr;
    }

    bool firmwareDiffers() const
    {
        float version = 0;
        return device_ && app::firmwareVersionFromFileName(p_.firmwarePath.str(), version) &&
               version != device_->appVersion;
    }

    void firmwareKept()
    {
        if (log_) log_->appendLog(app::loadText(36009));
    }

    bool update()
    {
        auto update = webParams<UpdateParams>();
        update.firmwarePath = p_.firmwarePath;
        if (journal_) journal_->setFirmware(p_.firmwarePath.str());
        return updateFirmware(update) && (device_ = refindYellow(channel_)) != nullptr;
    }

    // The end of a device that went through every step: green, and the success text 35405.
    bool conclude(bool ok)
    {
        if (found_) firstRow_ = channel_.deviceAt(0);
        if (!ok || !(device_ = channel_.onlyListedDevice())) return false;
        if (journal_) journal_->deviceAfter(device_);
        device_->rowStatus = 2;
        channel_.repaintList();
        if (log_) log_->appendLog("\r\n");
        report_.logMessage(app::loadText(35405), kStyleInformation, true);
        return true;
    }

    // A device that did not go through shows red; the temporary file is gone.
    void records()
    {
        if (!found_) return;
        if (!temporary_.empty()) {
            std::error_code ec;
            std::filesystem::remove(platform::osPath(temporary_), ec);
            temporary_.clear();
        }
        if (firstRow_ && firstRow_->rowStatus != 2) {
            firstRow_->rowStatus = 3;
            channel_.repaintList();
        }
    }

private:
    template <typename Params>
    Params webParams()
    {
        return paramsFor<Params>(deviceContext(&channel_, log_, device_, p_.password, p_.webPort, p_.devicePort));
    }

    StockUpdateParams& p_;
    WorkerChannel& channel_;
    Reporter& report_;
    LogWindow* log_;
    UdpCommandParams udp_;
    std::string temporary_;
    net::DeviceRecord* device_ = nullptr;
    net::DeviceRecord* firstRow_ = nullptr;
    RunJournal* journal_ = nullptr;
    bool found_ = false;
};

}  // namespace

void runStockUpdate(StockUpdateParams& p)
{
    WorkflowFrame frame(*p.channel, 36004, 36005, p.serialNumberPath, app::JournalWorkflow::StockUpdate);
    PhaseRunner& runner = frame.runner;
    StockSteps s(p, frame.report);
    s.setJournal(&frame.journal);

    auto phase = [&s](app::TextId heading, int32_t position, bool (StockSteps::*step)()) {
        return Phase(heading, position, [&s, step] { return (s.*step)(); });
    };
    Phase confirm = phase(35316, 30, &StockSteps::confirmConfiguration);
    confirm.style = HeadingStyle::Shown;
    // The number is sent only to a device that needed one and got it in the dialog just before.
    bool serialWanted = false;
    Phase enterSerial(35317, 60, [&s, &serialWanted, &runner] {
        serialWanted = s.enterSerialNumber();
        if (!serialWanted) runner.noteResult(36008);  // the operator ended the run here
        return serialWanted;
    });
    enterSerial.style = HeadingStyle::Shown;
    enterSerial.when = [&s] { return s.needsSerialNumber(); };
    Phase sendSerial = phase(35308, 70, &StockSteps::sendSerialNumber);
    sendSerial.when = [&serialWanted] { return serialWanted; };
    Phase update = phase(35309, 80, &StockSteps::update);
    update.when = [&s] { return s.firmwareDiffers(); };
    update.otherwise = [&s] { s.firmwareKept(); };

    WorkflowPlan plan;
    plan.record = 36004;
    plan.phases = {
        phase(35300, 10, &StockSteps::findDevice),
        phase(35301, 20, &StockSteps::backup),
        confirm,
        phase(35303, 40, &StockSteps::restore),
        phase(35307, 50, &StockSteps::clock),
        enterSerial,
        sendSerial,
        update,
    };
    plan.conclude = [&](bool ok) {
        p.succeeded = s.conclude(ok);
        if (p.succeeded) {
            runner.noteResult(35405);
            runner.setResult(35405);
        }
        return p.succeeded;
    };
    plan.cleanUp = {sdCardCleanUpPhase(frame.channel, frame.log, s.firstRow(), p.password, p.webPort, &runner)};
    plan.records = [&s] { s.records(); };
    plan.close = [&] {
        if (!frame.close()) p.succeeded = false;
    };
    runner.run(plan);
}

}  // namespace vst::ops
