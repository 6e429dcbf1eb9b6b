// Writes seed inputs for the fuzz harnesses from the simulator's traffic: the answers the
// demonstration fleet gives to the station's own requests, over UDP and over the web.
// Usage: vst_fuzz_seeds CORPUS_DIR   (writes CORPUS_DIR/udp_answer, web_head, web_body, ...)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "devsim/Fleet.h"
#include "devsim/FleetFile.h"
#include "devsim/Web.h"
#include "net/DeviceRecord.h"
#include "net/UdpProtocol.h"

namespace {

namespace fs = std::filesystem;
using namespace vst;

void writeSeed(const fs::path& folder, const std::string& name, const std::string& bytes)
{
    fs::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary) << bytes;
}

std::string asString(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

devsim::HttpRequest request(std::string method, std::string target, std::string cookie, std::string body = {})
{
    devsim::HttpRequest r;
    r.method = std::move(method);
    r.target = target;
    const size_t q = target.find('?');
    r.path = target.substr(0, q);
    if (q != std::string::npos) r.query = target.substr(q + 1);
    if (!cookie.empty()) r.headers.emplace_back("Cookie", cookie);
    if (!body.empty()) r.headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
    r.body = std::move(body);
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: vst_fuzz_seeds CORPUS_DIR\n");
        return 2;
    }
    const fs::path out = argv[1];
    std::string error;
    auto devices = devsim::loadFleetFile(VST_SOURCE_DIR "/res/demo/fleet.ini", &error);
    if (!devices) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    devsim::Fleet fleet(*devices);

    // UDP: a search, then each write command to the first device with its password.
    net::DeviceRecord record;
    const net::Mac all = net::kAllDevices;
    std::vector<std::vector<uint8_t>> requests{net::buildSearchRequest(all)};
    for (size_t i = 0; i < fleet.size(); ++i) {
        const auto answer = devsim::searchAnswer(fleet[i], false);
        writeSeed(out / "udp_answer", "search-" + std::to_string(i), asString(answer));
    }
    const auto search = devsim::searchAnswer(fleet[0], false);
    net::fillRecordFromAnswer(search.data(), 0, record);
    const net::Password password;
    requests.push_back(net::buildSetName(record, password));
    requests.push_back(net::buildBackupRequest(record.mac, password, 'R'));
    requests.push_back(net::buildBackupRequest(record.mac, password, 'C'));
    requests.push_back(net::buildBackupRequest(record.mac, password, 'C'));
    requests.push_back(net::buildRestoreChunk(record.mac, password, 'R', "[System]"));
    requests.push_back(net::buildRestoreChunk(record.mac, password, 'F', "[End]"));
    // Both restart the device, which is silent afterwards.
    requests.push_back(net::buildSetNetwork(record, password));
    int n = 0;
    for (const auto& datagram : requests) {
        const auto outcome = fleet.handle(0, 0xFFFFFFFFu, datagram);
        for (const auto& reply : outcome.replies) {
            if (reply.device == 0) writeSeed(out / "udp_answer", "answer-" + std::to_string(n++), asString(reply.bytes));
        }
    }

    // Web: the station's requests to the first device, with the cookie of its login.
    devsim::Fleet webFleet(*devices);
    devsim::Device& device = webFleet[0];
    const auto login = devsim::respondWeb(device, 0, 1, request("POST", "/login.htm", "", "pass="));
    writeSeed(out / "web_head", "login", std::string(1, '\x00') + login.bytes);
    writeSeed(out / "web_head", "login-split", std::string(1, '\x0E') + login.bytes);
    std::string cookie;
    if (const size_t at = login.bytes.find("Set-Cookie: "); at != std::string::npos) {
        cookie = login.bytes.substr(at + 12, login.bytes.find("\r\n", at) - at - 12);
    }
    const auto refused = devsim::respondWeb(webFleet[1], 1, 1, request("POST", "/login.htm", "", "pass=falsch"));
    writeSeed(out / "web_head", "login-refused", std::string(1, '\x00') + refused.bytes);

    struct Endpoint {
        uint8_t selector;
        const char* name;
        const char* method;
        const char* target;
        const char* body;
    };
    const Endpoint endpoints[] = {
        {0, "sysinfo", "GET", "/xml/system/sysinfo.xml", ""},
        {1, "devinfo", "GET", "/xml/protect/devinfo.xml", ""},
        {2, "delete", "GET", "/xml/system/storage/media-file-delete.xml?media=S&name=LOG00001.CSV", ""},
        {3, "i2c", "GET",
         "/xml/protect/i2c-access.xml?mode=read&module=2&addr=0x28&regaddr=0x00000000&reglen=0&datalen=4&btord=1", ""},
        {4, "process-test", "GET", "/cgi/protect/process-test.cgi?mode=0", ""},
        {15, "process-test-1", "GET", "/cgi/protect/process-test.cgi?mode=1", ""},
        {5, "calibration-info", "GET", "/cgi/protect/calibration-info.cgi", ""},
        {6, "calibration-step", "GET", "/cgi/protect/calibration.cgi?type=ENG&index=1&data=1;2;3", ""},
        {7, "serial-number", "POST", "/popup/protect/serialnumber.htm", "snum=12345678"},
        {8, "date-time", "POST", "/system/datetime.htm", "date=01.02.2026&time=10:11:12"},
        {9, "logout", "GET", "/logout.htm?action=1", ""},
    };
    for (const auto& e : endpoints) {
        const auto answer = devsim::respondWeb(device, 0, 2, request(e.method, e.target, cookie, e.body));
        const std::string selectors{static_cast<char>(e.selector), static_cast<char>(255)};
        writeSeed(out / "web_body", e.name, selectors + answer.bytes);
        writeSeed(out / "web_body", std::string(e.name) + "-split", std::string{static_cast<char>(e.selector), 2} + answer.bytes);
        if (e.selector <= 3) {
            const size_t body = answer.bytes.find("\r\n\r\n");
            if (body != std::string::npos) writeSeed(out / "documents", e.name, answer.bytes.substr(body + 4));
        }
        if (e.selector == 4 || e.selector == 5) {
            const size_t body = answer.bytes.find("\r\n\r\n");
            if (body != std::string::npos) writeSeed(out / "test_lines", e.name, answer.bytes.substr(body + 4));
        }
    }
    return 0;
}
