#include "ops/StockUpdate.h"

#include <cctype>
#include <cstdio>

#include "app/Records.h"
#include "ops/LogWindow.h"
#include "ops/Reporting.h"
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
#ifdef _WIN32
    // Run without a console window (the child process is always started hidden).
    request.arguments = {"arp", "-d"};
#else
    request.arguments = {"ip", "-4", "neigh", "flush", "all"};
#endif
    request.timeoutMs = kNeighbourFlushTimeoutMs;
    platform::runChildProcess(request, {}, 4096);
}

namespace {

// The only listed device, marked yellow (in progress); nullptr when there is none.
net::DeviceRecord* refindYellow(WorkerChannel& window)
{
    net::DeviceRecord* device = window.onlyListedDevice();
    if (device) {
        device->rowStatus = 1;
        window.repaintList();
    }
    return device;
}

// Steps 5 to 11: true when the device went through all of them.
bool updateDevice(StockUpdateParams& p, Reporter& report, const std::string& temporary)
{
    WorkerChannel& window = *p.window;
    LogWindow* log = report.log();
    net::DeviceRecord* device = refindYellow(window);
    if (!device) return false;

    report.logHeading(app::loadText(35301), 20);
    if (temporary.empty()) {
        report.logSubMessage(app::loadText(35224), kStyleError, false);
        return false;
    }
    UdpCommandParams udp;
    udp.window = &window;
    udp.device = device;
    udp.password = p.password;
    udp.filePath.assign(temporary);
    udp.log = log;
    udp.devicePort = p.devicePort;
    if (!backupConfiguration(udp)) return false;

    report.setHeading(app::loadText(35316), 30);
    const auto confirmed = report.askConfiguration(app::readTextFile(temporary), false);
    if (!confirmed) {
        if (log) log->appendLog(app::loadText(36007));
        return false;
    }
    // The device must get what the operator confirmed, never the unconfirmed backup.
    if (!platform::replaceFile(platform::osPath(temporary), *confirmed)) {
        report.logSubMessage(app::loadText(35224), kStyleError, false);
        return false;
    }

    report.logHeading(app::loadText(35303), 40);
    if (!restoreConfiguration(udp)) return false;
    if (!(device = refindYellow(window))) return false;

    report.logHeading(app::loadText(35307), 50);
    SerialParams serial;
    serial.window = &window;
    serial.device = device;
    serial.password = p.password;
    serial.log = log;
    serial.webPort = p.webPort;
    serial.devicePort = p.devicePort;
    if (!setClock(serial)) return false;

    if (!hasSerialNumber(device->serialNumber)) {
        report.setHeading(app::loadText(35317), 60);
        window.selectDevice(device);
        if (!window.enterSerialNumber()) {
            if (log) log->appendLog(app::loadText(36008));
            return false;
        }
        report.logHeading(app::loadText(35308), 70);
        if (!setSerialNumber(serial)) return false;
        if (!(device = refindYellow(window))) return false;
    }

    float version = 0;
    if (!app::firmwareVersionFromFileName(p.firmwarePath.str(), version) || version == device->appVersion) {
        if (log) log->appendLog(app::loadText(36009));
    } else {
        report.logHeading(app::loadText(35309), 80);
        UpdateParams update;
        update.window = &window;
        update.device = device;
        update.password = p.password;
        update.firmwarePath = p.firmwarePath;
        update.log = log;
        update.webPort = p.webPort;
        update.devicePort = p.devicePort;
        if (!updateFirmware(update)) return false;
        if (!(device = refindYellow(window))) return false;
    }

    device = window.onlyListedDevice();
    if (!device) return false;
    device->rowStatus = 2;
    window.repaintList();
    if (log) log->appendLog("\r\n");
    report.logMessage(app::loadText(35405), kStyleInformation, true);
    return true;
}

}  // namespace

void runStockUpdate(StockUpdateParams& p)
{
    WorkerChannel& window = *p.window;
    LogWindow* log = openWorkflowLog(window, 36004, 36005);
    Reporter report(window, log);

    report.logHeading(app::loadText(35300), 10);
    flushNeighbourCache();
    auto list = std::make_shared<SearchJobList>();
    SearchJob& job = list->add();
    job.window = &window;
    job.card = p.card;
    job.target = p.target;
    job.directedOnly = true;
    job.kind0Only = true;
    job.devicePort = p.devicePort;
    runSearch(job);

    if (!window.onlyListedDevice()) {
        if (log) log->appendLog(app::loadText(36006));
    } else {
        const std::string temporary = createStockTemporaryFile(p.serialNumberPath);
        p.succeeded = updateDevice(p, report, temporary);
        net::DeviceRecord* row0 = window.deviceAt(0);
        cleanSdCardStep(&window, log, row0, p.password, p.webPort);
        if (!temporary.empty()) {
            std::error_code ec;
            std::filesystem::remove(platform::osPath(temporary), ec);
        }
        if (row0 && row0->rowStatus != 2) {
            row0->rowStatus = 3;
            window.repaintList();
        }
    }
    finishWorkflow(window, log);
}

}  // namespace vst::ops
