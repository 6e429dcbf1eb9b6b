// The devices' web interface over real TCP connections on the loopback interface: each device
// has an address of its own in 127.0.0.0/8, and one listening socket serves them all.
#include "devsim/Simulator.h"

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "LoopbackDevices.h"
#include "LoopbackSocket.h"
#include "StationRequests.h"
#include "WebClient.h"

using namespace vst::devsim;
using namespace vst::devsim::test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr Ipv4 kFirst = 0x7F000A01;   // 127.0.10.1
constexpr Ipv4 kSecond = 0x7F000A02;  // 127.0.10.2
constexpr Ipv4 kNobody = 0x7F000AFE;  // an address without a device
constexpr char kPassword[] = "geheim";
constexpr char kNoRights[] = "/system/index.htm?state=-3";

Device webDevice(Ipv4 address, uint8_t id)
{
    Device d = deviceOnLoopback(address, 0x0A, id);
    d.name = "Web " + std::to_string(id);
    d.serialNumber = 4000 + id;
    d.appVersion = 1.05;
    d.password = kPassword;
    d.restartMs = 300;
    return d;
}

float floatAt(const Bytes& bytes, size_t offset)
{
    float value = 0;
    std::memcpy(&value, bytes.data() + offset, sizeof value);  // little-endian like the host
    return value;
}

class WebServer : public ::testing::Test {
protected:
    void start(std::vector<Device> devices)
    {
        simulator = std::make_unique<Simulator>(quietConfig(std::move(devices)));
        std::string error;
        ASSERT_TRUE(simulator->start(&error)) << error;
        ASSERT_NE(simulator->webPort(), 0);
    }

    WebReply send(Ipv4 address, const std::string& request, int timeoutMs = 3000)
    {
        return exchange(address, simulator->webPort(), request, timeoutMs);
    }

    // Logs in and returns the cookie; empty (and a failure) when the login did not succeed.
    std::string login(Ipv4 address = kFirst, std::string_view password = kPassword)
    {
        const WebReply reply = send(address, loginRequest(address, password));
        EXPECT_EQ(reply.location(), "/system/index.htm?state=1") << reply.raw;
        return reply.cookie();
    }

    // The search answer of the device at `address`, if it gives one within `timeoutMs`.
    std::optional<Bytes> search(Ipv4 address, int timeoutMs = 1000)
    {
        LoopbackSocket station;
        if (!station.sendTo(address, simulator->port(), searchRequest())) return std::nullopt;
        auto reply = station.receive(timeoutMs);
        if (!reply) return std::nullopt;
        return reply->bytes;
    }

    Device device(size_t i) const { return simulator->device(i); }

    std::unique_ptr<Simulator> simulator;
};

// ---------------------------------------------------------------------------------------------
// Login, sessions, protected paths

TEST_F(WebServer, LoginCookieOpensTheProtectedPaths)
{
    start({webDevice(kFirst, 1)});

    // Every protected area redirects without a login, whatever the method.
    for (const char* path : {"/protect/update.htm", "/popup/protect/serialnumber.htm",
                             "/cgi/protect/process-test.cgi?mode=0", "/xml/protect/devinfo.xml",
                             "/protect/no-such-page.htm"}) {
        EXPECT_EQ(send(kFirst, getRequest(kFirst, path)).location(), kNoRights) << path;
        EXPECT_EQ(send(kFirst, formPost(kFirst, path, "x=1")).location(), kNoRights) << path;
    }

    const WebReply wrong = send(kFirst, loginRequest(kFirst, "falsch"));
    EXPECT_EQ(wrong.location(), "/login.htm?state=-1");
    EXPECT_FALSE(wrong.header("Set-Cookie"));

    const std::string loginHead = stationHead("POST", "/login.htm", kFirst, "application/x-www-form-urlencoded",
                                              11, "");
    const WebReply ok = send(kFirst, loginHead + "pass=geheim");
    EXPECT_TRUE(ok.closed) << "one request per connection";
    EXPECT_EQ(ok.statusLine, "HTTP/1.1 302 Found");
    EXPECT_EQ(ok.location(), "/system/index.htm?state=1");
    EXPECT_EQ(ok.header("Connection"), "close");
    const std::string cookie = ok.cookie();
    EXPECT_FALSE(cookie.empty());
    EXPECT_LE(cookie.size(), 14u) << "the station keeps 14 characters";
    EXPECT_EQ(device(0).webState.logins, 1u);
    EXPECT_EQ(device(0).webState.refusedLogins, 1u);
    EXPECT_EQ(device(0).webState.lastRequest, loginHead.substr(0, loginHead.size() - 4));

    const WebReply info = send(kFirst, getRequest(kFirst, "/xml/protect/devinfo.xml", cookie));
    EXPECT_EQ(info.statusLine, "HTTP/1.1 200 OK");
    EXPECT_NE(info.body.find("<appstate>Normal-Modus</appstate>"), std::string::npos);
    // The cookie among others, and a cookie the device never gave.
    EXPECT_EQ(send(kFirst, getRequest(kFirst, "/protect/update.htm", "lang=de; " + cookie)).statusLine,
              "HTTP/1.1 200 OK");
    EXPECT_EQ(send(kFirst, getRequest(kFirst, "/protect/update.htm", "SID=00000000")).location(), kNoRights);
    // An unknown path behind a valid login, and a form sent with the wrong method.
    EXPECT_EQ(send(kFirst, getRequest(kFirst, "/protect/no-such-page.htm", cookie)).statusLine,
              "HTTP/1.1 404 Not Found");
    EXPECT_EQ(send(kFirst, formPost(kFirst, "/xml/protect/devinfo.xml", "", cookie)).statusLine,
              "HTTP/1.1 405 Method Not Allowed");
}

TEST_F(WebServer, TooManyUsersLogoutAndSessionTimeout)
{
    Device open = webDevice(kSecond, 2);
    open.password.clear();
    start({webDevice(kFirst, 1), open});

    const std::string a = login();
    const std::string b = login();
    EXPECT_NE(a, b);
    const WebReply third = send(kFirst, loginRequest(kFirst, kPassword));
    EXPECT_EQ(third.location(), "/login.htm?state=-2");
    EXPECT_FALSE(third.header("Set-Cookie"));
    // A wrong password is still a wrong password when the device is full.
    EXPECT_EQ(send(kFirst, loginRequest(kFirst, "x")).location(), "/login.htm?state=-1");
    // A login that brings its own session's cookie keeps that session instead of needing a slot.
    const WebReply again = send(kFirst, loginRequest(kFirst, kPassword, a));
    EXPECT_EQ(again.location(), "/system/index.htm?state=1");
    EXPECT_EQ(again.cookie(), a);
    EXPECT_EQ(device(0).webState.sessions.size(), 2u);

    EXPECT_EQ(send(kFirst, getRequest(kFirst, "/logout.htm?action=1", a)).location(), "/system/index.htm?state=2");
    EXPECT_EQ(send(kFirst, getRequest(kFirst, "/logout.htm?action=1", a)).location(), "/system/index.htm?state=-1");
    EXPECT_EQ(send(kFirst, getRequest(kFirst, "/logout.htm?action=1")).location(), "/system/index.htm?state=-1");
    EXPECT_EQ(send(kFirst, getRequest(kFirst, "/xml/protect/devinfo.xml", a)).location(), kNoRights);
    const std::string c = login();
    EXPECT_FALSE(c.empty()) << "the logout freed a slot";
    EXPECT_EQ(device(0).webState.logouts, 1u);

    // Sessions unused for the session time-out end by themselves.
    simulator->update(0, [](Device& d) { d.web.sessionTimeoutMs = 100; });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(send(kFirst, getRequest(kFirst, "/xml/protect/devinfo.xml", b)).location(), kNoRights);
    EXPECT_FALSE(login().empty());
    EXPECT_FALSE(login().empty());

    // A device without a password takes any.
    EXPECT_FALSE(login(kSecond, "whatever").empty());
    EXPECT_FALSE(login(kSecond, "").empty());
}

// ---------------------------------------------------------------------------------------------
// Documents

TEST_F(WebServer, SystemInformationWithoutLoginDefaultsAndSettings)
{
    Device second = webDevice(kSecond, 2);
    second.web.sysInfo = {{"sdstatus", "Keine SD-Karte"}, {"netwfipw", "10.0.0.1"}, {"extra", "1"}};
    start({webDevice(kFirst, 1), second});

    const WebReply first = send(kFirst, getRequest(kFirst, "/xml/system/sysinfo.xml"));
    EXPECT_EQ(first.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(first.header("Content-Type"), "text/xml; charset=windows-1252");
    EXPECT_EQ(first.header("Content-Length"), std::to_string(first.body.size()));
    EXPECT_EQ(first.body,
              "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n"
              "<response>\r\n"
              "<netwfipw>192.168.100.1</netwfipw>\r\n"
              "<netwfipe>127.0.10.1</netwfipe>\r\n"
              "<netwfipl>0.0.0.0</netwfipl>\r\n"
              "<netwfmacw>02:00:00:00:0A:02</netwfmacw>\r\n"
              "<netwfmace>02:00:00:00:0A:01</netwfmace>\r\n"
              "<sdstatus>SD-Karte ist bereit</sdstatus>\r\n"
              "<usbfdstatus>Kein USB-Stick erkannt</usbfdstatus>\r\n"
              "</response>\r\n");

    const std::string body = send(kSecond, getRequest(kSecond, "/xml/system/sysinfo.xml")).body;
    EXPECT_NE(body.find("<netwfipw>10.0.0.1</netwfipw>\r\n<netwfipe>127.0.10.2</netwfipe>"), std::string::npos)
        << "a setting replaces the default in its place:\n" << body;
    EXPECT_NE(body.find("<sdstatus>Keine SD-Karte</sdstatus>"), std::string::npos);
    EXPECT_NE(body.find("<extra>1</extra>\r\n</response>"), std::string::npos) << "new elements come last";
}

TEST_F(WebServer, DeveloperInformationAndI2cAnswer)
{
    Device second = webDevice(kSecond, 2);
    second.web.devInfo = {{"extrtc", "RTC steht"}, {"apperrors", "SD Sensoren "}};
    second.web.i2cState = "NACK";
    start({webDevice(kFirst, 1), second});
    const std::string i2cPath =
        "/xml/protect/i2c-access.xml?mode=read&module=2&addr=0x28&regaddr=0x00000000&reglen=0&datalen=4&btord=1";

    const std::string cookie = login();
    const std::string info = send(kFirst, getRequest(kFirst, "/xml/protect/devinfo.xml", cookie)).body;
    EXPECT_NE(info.find("<extrtc>RTC l\xE4uft</extrtc>"), std::string::npos) << "Windows-1252 a-umlaut";
    for (const char* element : {"<gehcode>1</gehcode>", "<gehaddr>0</gehaddr>", "<rtframework>100</rtframework>",
                                "<rtapp>100</rtapp>", "<apperrors>Keine Fehler</apperrors>",
                                "<spstate>verarbeite Prozessliste</spstate>", "</response>\r\n"}) {
        EXPECT_NE(info.find(element), std::string::npos) << element;
    }
    EXPECT_NE(send(kFirst, getRequest(kFirst, i2cPath, cookie)).body.find("<state>OK</state>"), std::string::npos);
    EXPECT_NE(send(kFirst, getRequest(kFirst, "/xml/protect/i2c-access.xml?mode=write", cookie))
                  .body.find("<state>ERROR</state>"),
              std::string::npos);

    const std::string other = login(kSecond);
    const std::string changed = send(kSecond, getRequest(kSecond, "/xml/protect/devinfo.xml", other)).body;
    EXPECT_NE(changed.find("<extrtc>RTC steht</extrtc>"), std::string::npos);
    EXPECT_NE(changed.find("<apperrors>SD Sensoren </apperrors>"), std::string::npos);
    EXPECT_NE(send(kSecond, getRequest(kSecond, i2cPath, other)).body.find("<state>NACK</state>"), std::string::npos);
}

TEST_F(WebServer, ProcessTestLinesPerMode)
{
    Device second = webDevice(kSecond, 2);
    second.web.processTestLines[0] = {"Teste AIN1", "NEED => MODE=1"};
    second.web.processTestLines[1] = {"ERROR => AIN1 Strom"};
    second.web.processTestLines[2] = {};
    start({webDevice(kFirst, 1), second});

    const std::string cookie = login();
    const WebReply plain = send(kFirst, getRequest(kFirst, "/cgi/protect/process-test.cgi?mode=0", cookie));
    EXPECT_EQ(plain.body, std::string(kDefaultProcessTestLine) + "\r\n");
    EXPECT_EQ(plain.header("Content-Type"), "text/plain; charset=windows-1252");
    const WebReply noMode = send(kFirst, getRequest(kFirst, "/cgi/protect/process-test.cgi?mode=x", cookie));
    EXPECT_EQ(noMode.body.rfind("ERROR => ", 0), 0u) << "a mode that is no number fails the test";

    const std::string other = login(kSecond);
    auto lines = [&](int mode) {
        return send(kSecond, getRequest(kSecond, "/cgi/protect/process-test.cgi?mode=" + std::to_string(mode), other))
            .body;
    };
    EXPECT_EQ(lines(0), "Teste AIN1\r\nNEED => MODE=1\r\n");
    EXPECT_EQ(lines(1), "ERROR => AIN1 Strom\r\n");
    EXPECT_EQ(lines(2), "");
    EXPECT_EQ(lines(3), std::string(kDefaultProcessTestLine) + "\r\n");
    EXPECT_EQ(device(1).webState.processTestModes, (std::vector<uint32_t>{0, 1, 2, 3}));
}

TEST_F(WebServer, CalibrationItemsAndSteps)
{
    Device d = webDevice(kFirst, 1);
    d.web.calibrationItems = {"ENG;AIN1;3;1,0.5,2.0", "XYZ;Other;4;"};
    start({d});
    const std::string cookie = login();

    EXPECT_EQ(send(kFirst, getRequest(kFirst, "/cgi/protect/calibration-info.cgi", cookie)).body,
              "ENG;AIN1;3;1,0.5,2.0\r\nXYZ;Other;4;\r\n");

    auto step = [&](const std::string& query) {
        return send(kFirst, getRequest(kFirst, "/cgi/protect/calibration.cgi?" + query, cookie)).body;
    };
    EXPECT_EQ(step("type=ENG&index=3&data=100.000;5.000;230.000;1.500"), "OK");
    EXPECT_EQ(step("type=ENG&index=4&data=100.000;5.000;230.000;1.500"), "ERROR") << "no such item";
    EXPECT_EQ(step("type=ENG&index=3&data=100.000;5.000;230.000"), "ERROR") << "three values";
    EXPECT_EQ(step("type=ENG&index=3&data=1;2;x;4"), "ERROR");
    simulator->update(0, [](Device& device) { device.web.calibrationAnswer = "FAIL"; });
    EXPECT_EQ(step("type=ENG&index=3&data=1;2;3;4"), "FAIL");
    const auto steps = device(0).webState.calibrationSteps;
    ASSERT_EQ(steps.size(), 5u);
    EXPECT_EQ(steps[0], (CalibrationRequest{"ENG", "3", "100.000;5.000;230.000;1.500"}));
}

TEST_F(WebServer, MediaFileDeleteEmptiesTheSdCard)
{
    start({webDevice(kFirst, 1)});
    auto remove = [&](const std::string& media, const std::string& name) {
        return send(kFirst, getRequest(kFirst, "/xml/system/storage/media-file-delete.xml?media=" + media +
                                                   "&name=" + name))
            .body;
    };
    for (const auto& file : defaultSdFiles()) {
        EXPECT_NE(remove("S", file).find("<state>OK</state>\r\n</response>\r\n"), std::string::npos) << file;
    }
    EXPECT_TRUE(device(0).sdFiles.empty());
    EXPECT_NE(remove("S", "config.ini").find("<state>NOT FOUND</state>"), std::string::npos);
    EXPECT_NE(remove("U", "config.ini").find("<state>ERROR</state>"), std::string::npos);
    EXPECT_EQ(device(0).webState.deleteRequests.size(), 7u);
    EXPECT_EQ(device(0).webState.deleteRequests.front(), "config.akt");
}

// ---------------------------------------------------------------------------------------------
// Forms

TEST_F(WebServer, SerialNumberShowsInTheSearchAnswer)
{
    start({webDevice(kFirst, 1)});
    const std::string path = "/popup/protect/serialnumber.htm";
    EXPECT_EQ(send(kFirst, formPost(kFirst, path, "snum=12345678")).location(), kNoRights);
    const std::string cookie = login();

    EXPECT_EQ(send(kFirst, formPost(kFirst, path, "snum=12345678", cookie)).location(), path + "?state=1");
    const auto answer = search(kFirst);
    ASSERT_TRUE(answer);
    EXPECT_EQ(getU32(*answer, 19), 12345678u);

    for (const char* bad : {"snum=0", "snum=100000000", "snum=-5", "snum=12a", "snum=", "nummer=5"}) {
        EXPECT_EQ(send(kFirst, formPost(kFirst, path, bad, cookie)).location(), path + "?state=-1") << bad;
    }
    EXPECT_EQ(send(kFirst, formPost(kFirst, path, "snum=99999999", cookie)).location(), path + "?state=1");
    EXPECT_EQ(device(0).serialNumber, 99999999u);

    simulator->update(0, [](Device& d) { d.web.serialState = -1; });
    EXPECT_EQ(send(kFirst, formPost(kFirst, path, "snum=777", cookie)).location(), path + "?state=-1");
    simulator->update(0, [](Device& d) { d.web.serialState = 7; });
    EXPECT_EQ(send(kFirst, formPost(kFirst, path, "snum=777", cookie)).location(), path + "?state=7");
    EXPECT_EQ(device(0).serialNumber, 99999999u) << "a forced answer changes nothing";

    // A device that claims success but keeps its number: the search answer goes on carrying it.
    simulator->update(0, [](Device& d) {
        d.web.serialState = kStateNormal;
        d.web.serialKept = true;
    });
    EXPECT_EQ(send(kFirst, formPost(kFirst, path, "snum=4711", cookie)).location(), path + "?state=1");
    EXPECT_EQ(send(kFirst, formPost(kFirst, path, "snum=0", cookie)).location(), path + "?state=-1");
    EXPECT_EQ(device(0).serialNumber, 99999999u);
    const auto kept = search(kFirst);
    ASSERT_TRUE(kept);
    EXPECT_EQ(getU32(*kept, 19), 99999999u);
}

TEST_F(WebServer, DateTimeFormIsStored)
{
    start({webDevice(kFirst, 1)});
    const std::string path = "/system/datetime.htm";
    const std::string form = "mdte=1&mdt=1700000000&dttz=60&dtsw=1";
    EXPECT_EQ(send(kFirst, formPost(kFirst, path, form)).location(), kNoRights) << "setting the clock takes a login";
    EXPECT_FALSE(device(0).webState.dateTime);
    const std::string cookie = login();

    EXPECT_EQ(send(kFirst, formPost(kFirst, path, form, cookie)).location(), path + "?state=1");
    auto received = device(0).webState.dateTime;
    ASSERT_TRUE(received);
    EXPECT_EQ(received->body, form);
    EXPECT_TRUE(received->accepted);
    EXPECT_EQ(received->localTime, 1700000000u);
    EXPECT_EQ(received->zoneMinutes, 60);
    EXPECT_EQ(received->daylightSaving, 1u);
    EXPECT_EQ(device(0).webState.clockSetTo, 1700000000u);

    EXPECT_EQ(send(kFirst, formPost(kFirst, path, "mdte=1&mdt=5&dttz=-300&dtsw=0", cookie)).location(),
              path + "?state=1");
    EXPECT_EQ(device(0).webState.dateTime->zoneMinutes, -300);
    for (const char* bad : {"mdte=0&mdt=5&dttz=60&dtsw=1", "mdte=1&mdt=x&dttz=60&dtsw=1",
                            "mdte=1&mdt=5&dttz=900&dtsw=1", "mdte=1&mdt=5&dttz=60&dtsw=2", "mdte=1&mdt=5&dttz=60"}) {
        EXPECT_EQ(send(kFirst, formPost(kFirst, path, bad, cookie)).location(), path + "?state=-1") << bad;
        EXPECT_FALSE(device(0).webState.dateTime->accepted);
    }
    EXPECT_EQ(device(0).webState.clockSetTo, 5u);

    simulator->update(0, [](Device& d) { d.web.dateTimeState = -2; });
    EXPECT_EQ(send(kFirst, formPost(kFirst, path, form, cookie)).location(), path + "?state=-2");
    EXPECT_EQ(device(0).webState.dateTime->localTime, 1700000000u) << "received, though refused";
    EXPECT_FALSE(device(0).webState.dateTime->accepted);
}

// ---------------------------------------------------------------------------------------------
// Firmware upload and restart

TEST_F(WebServer, FirmwareUploadIsCheckedByteForByte)
{
    start({webDevice(kFirst, 1)});
    Upload good;
    good.payload = firmwareImage("1.06", 40);
    EXPECT_EQ(send(kFirst, uploadRequest(kFirst, good, "")).location(), kNoRights);
    const std::string cookie = login();

    struct Case {
        const char* what;
        Upload upload;
        std::string problem;
    };
    auto with = [&good](auto change) {
        Upload u = good;
        change(u);
        return u;
    };
    const Case refused[] = {
        {"boundary", with([](Upload& u) { u.bodyBoundary = "----------VtL-Managex"; }), "begin with the boundary"},
        {"correct spelling", with([](Upload& u) { u.dispositionName = "Content-Disposition"; }), "part head"},
        {"length short", with([](Upload& u) { u.lengthError = -1; }), "closing delimiter"},
        {"no image", with([](Upload& u) { u.payload = "Hallo"; }), "not a firmware image"},
        {"checksum", with([](Upload& u) { u.payload.replace(u.payload.find(":00000001FF"), 11, ":00000001FE"); }),
         "wrong checksum"},
        {"version", with([](Upload& u) { u.payload.erase(0, u.payload.find('\n') + 1); }), "no ;VERSION="},
    };
    for (const auto& c : refused) {
        EXPECT_EQ(send(kFirst, uploadRequest(kFirst, c.upload, cookie)).location(), "/protect/update.htm?state=-1")
            << c.what;
        EXPECT_NE(device(0).webState.uploadProblem.find(c.problem), std::string::npos)
            << c.what << ": " << device(0).webState.uploadProblem;
        EXPECT_FALSE(device(0).pendingAppVersion) << c.what;
    }

    // A Content-Length beyond the body: the device waits for the rest until the sender stops.
    {
        WebConnection connection(kFirst, simulator->webPort());
        connection.send(uploadRequest(kFirst, with([](Upload& u) { u.lengthError = 10; }), cookie));
        EXPECT_TRUE(connection.read(100).timedOut) << "still waiting for ten more bytes";
        connection.shutdownWrite();
        EXPECT_EQ(connection.read(2000).location(), "/protect/update.htm?state=-1");
        EXPECT_NE(device(0).webState.uploadProblem.find("ended after"), std::string::npos);
    }

    // The good upload, sent in the station's 512-byte chunks with pauses between them.
    {
        const std::string request = uploadRequest(kFirst, good, cookie);
        WebConnection connection(kFirst, simulator->webPort());
        for (size_t at = 0; at < request.size(); at += 512) {
            connection.send(std::string_view(request).substr(at, 512));
            if (at % 4096 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_EQ(connection.read(2000).location(), "/protect/reboot.htm?state=1");
    }
    const Device d = device(0);
    EXPECT_EQ(d.webState.uploadProblem, "");
    EXPECT_EQ(d.webState.uploadBytes, good.payload.size());
    EXPECT_EQ(d.pendingAppVersion, 1.06);
    EXPECT_DOUBLE_EQ(d.appVersion, 1.05) << "the new firmware runs after the restart";
    EXPECT_EQ(d.webState.uploads, 8u);

    // The device's own failures, set for the test.
    for (int state : {-1, -2, -3, -4, -5}) {
        simulator->update(0, [state](Device& device) { device.web.updateState = state; });
        EXPECT_EQ(send(kFirst, uploadRequest(kFirst, good, cookie)).location(),
                  "/protect/update.htm?state=" + std::to_string(state));
    }
}

TEST_F(WebServer, RebootIsSilentAndBringsTheUploadedVersion)
{
    start({webDevice(kFirst, 1), webDevice(kSecond, 2)});
    const std::string cookie = login();
    Upload upload;
    upload.payload = firmwareImage("1.06");
    ASSERT_EQ(send(kFirst, uploadRequest(kFirst, upload, cookie)).location(), "/protect/reboot.htm?state=1");

    EXPECT_EQ(send(kFirst, getRequest(kFirst, "/cgi/protect/reboot.cgi")).location(), kNoRights);
    EXPECT_FALSE(device(0).restarting);

    // The station sends the request and closes at once, without reading the answer.
    const auto sent = Clock::now();
    {
        WebConnection connection(kFirst, simulator->webPort());
        ASSERT_TRUE(connection.send(getRequest(kFirst, "/cgi/protect/reboot.cgi", cookie)));
    }
    while (!device(0).restarting && Clock::now() - sent < std::chrono::seconds(2)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(device(0).restarting);
    EXPECT_EQ(device(0).webState.reboots, 1u);

    // Silent on both sides while it restarts; the other device is not.
    const WebReply during = send(kFirst, loginRequest(kFirst, kPassword), 1000);
    EXPECT_TRUE(during.reset) << during.raw;
    EXPECT_EQ(during.raw, "");
    EXPECT_FALSE(search(kFirst, 100));
    EXPECT_FALSE(login(kSecond).empty());

    while (device(0).restarting && Clock::now() - sent < std::chrono::seconds(3)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GE(Clock::now() - sent, std::chrono::milliseconds(290));
    const auto answer = search(kFirst);
    ASSERT_TRUE(answer);
    EXPECT_FLOAT_EQ(floatAt(*answer, 11), 1.06f) << "kind 0 reports the version as a float";
    EXPECT_FALSE(device(0).pendingAppVersion);
    EXPECT_EQ(send(kFirst, getRequest(kFirst, "/xml/protect/devinfo.xml", cookie)).location(), kNoRights)
        << "the restart ended every session";

    // A restart without a new upload keeps the version.
    const std::string again = login();
    send(kFirst, getRequest(kFirst, "/cgi/protect/reboot.cgi", again));
    while (device(0).restarting && Clock::now() - sent < std::chrono::seconds(5)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_DOUBLE_EQ(device(0).appVersion, 1.06);
}

// ---------------------------------------------------------------------------------------------
// Faults

// One device per web fault, each on its own address.
class WebFaults : public WebServer {
protected:
    static Ipv4 at(uint8_t n) { return 0x7F000B00u + n; }

    void SetUp() override
    {
        std::vector<Device> devices;
        const char* faults[] = {"",
                                "web-no-answer",
                                "web-close-on-accept",
                                "web-close-after-request",
                                "web-long-header",
                                "web-no-response-end",
                                "web-absolute-location",
                                "web-lowercase-location",
                                "web-long-cookie",
                                "web-long-cookie=20",
                                "web-delay=150",
                                "silent",
                                "web-long-header=510"};
        for (uint8_t i = 0; i < std::size(faults); ++i) {
            Device d = webDevice(at(i), i);
            std::string error;
            auto parsed = parseFaults(faults[i], &error);
            ASSERT_TRUE(parsed) << error;
            d.faults = *parsed;
            devices.push_back(d);
        }
        start(std::move(devices));
    }

    WebReply loginAt(uint8_t n, int timeoutMs = 3000) { return send(at(n), loginRequest(at(n), kPassword), timeoutMs); }
};

TEST_F(WebFaults, SilenceAndClosedConnections)
{
    {
        WebConnection held(at(1), simulator->webPort());
        held.send(loginRequest(at(1), kPassword));
        const WebReply nothing = held.read(300);
        EXPECT_TRUE(nothing.timedOut);
        EXPECT_EQ(nothing.raw, "");
        // Held, not lost: the connection is still open after more time.
        EXPECT_TRUE(held.read(100).timedOut);
    }
    const WebReply early = loginAt(2);
    EXPECT_TRUE(early.closed) << "an orderly close, not a reset";
    EXPECT_EQ(early.raw, "");
    const WebReply late = loginAt(3);
    EXPECT_TRUE(late.closed);
    EXPECT_EQ(late.raw, "");
    for (size_t i : {1, 2, 3}) {
        EXPECT_EQ(device(i).webState.logins, 0u) << "device " << i << " handled the request";
    }

    const WebReply silent = loginAt(11);
    EXPECT_TRUE(silent.reset);
    EXPECT_EQ(silent.raw, "");
    const WebReply nobody = send(kNobody, loginRequest(kNobody, kPassword));
    EXPECT_TRUE(nobody.reset);
    EXPECT_EQ(nobody.raw, "");
    EXPECT_EQ(simulator->statistics().web.connectionsReset, 2u);
}

TEST_F(WebFaults, MisshapenAnswers)
{
    const WebReply longHeader = loginAt(4);
    ASSERT_GE(longHeader.headers.size(), 2u);
    EXPECT_EQ(longHeader.headers[0].first, "X-Filler");
    EXPECT_EQ(longHeader.raw.find("\r\n", longHeader.raw.find("X-Filler")) - longHeader.raw.find("X-Filler"), 600u)
        << "600 characters before the line's CR LF";
    EXPECT_EQ(longHeader.location(), "/system/index.htm?state=1") << "the Location still follows";
    const WebReply fits = loginAt(12);
    EXPECT_EQ(fits.raw.find("\r\n", fits.raw.find("X-Filler")) - fits.raw.find("X-Filler"), 510u);

    const std::string cookie = loginAt(5).cookie();
    const WebReply document = send(at(5), getRequest(at(5), "/xml/protect/devinfo.xml", cookie));
    EXPECT_NE(document.body.find("<spstate>"), std::string::npos);
    EXPECT_EQ(document.body.find("</response>"), std::string::npos);
    EXPECT_EQ(send(at(5), getRequest(at(5), "/xml/system/sysinfo.xml")).body.find("</response>"), std::string::npos);

    EXPECT_EQ(loginAt(6).location(), "http://127.0.11.6/system/index.htm?state=1");
    const WebReply lower = loginAt(7);
    EXPECT_FALSE(lower.header("Location"));
    EXPECT_EQ(lower.header("location"), "/system/index.htm?state=1");

    const std::string longCookie = loginAt(8).cookie();
    EXPECT_EQ(longCookie.size(), 15u);
    EXPECT_EQ(loginAt(9).cookie().size(), 20u);
    // The device itself knows its long cookie.
    EXPECT_EQ(send(at(8), getRequest(at(8), "/protect/update.htm", longCookie)).statusLine, "HTTP/1.1 200 OK");
}

TEST_F(WebFaults, SlowAnswerStallsNothingElse)
{
    WebConnection slow(at(10), simulator->webPort());
    const auto sent = Clock::now();
    slow.send(loginRequest(at(10), kPassword));
    // Meanwhile another device answers at once.
    const WebReply quick = loginAt(0);
    EXPECT_EQ(quick.location(), "/system/index.htm?state=1");
    EXPECT_LT(Clock::now() - sent, std::chrono::milliseconds(140));
    const WebReply late = slow.read(2000);
    EXPECT_GE(Clock::now() - sent, std::chrono::milliseconds(145));
    EXPECT_EQ(late.location(), "/system/index.htm?state=1");
    EXPECT_EQ(device(10).webState.logins, 1u);
}

TEST_F(WebFaults, WaitingConnectionsCostNoProcessorTime)
{
    // A connection in each waiting state: request incomplete, answer delayed after the client's
    // half-close, held without an answer, answered and lingering for the client's close.
    WebConnection mute(at(0), simulator->webPort());
    WebConnection delayed(at(10), simulator->webPort());
    delayed.send(loginRequest(at(10), kPassword));
    delayed.shutdownWrite();
    WebConnection held(at(1), simulator->webPort());
    held.send(loginRequest(at(1), kPassword));
    WebConnection lingering(at(0), simulator->webPort());
    lingering.send(loginRequest(at(0), kPassword));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));

    auto processorMs = [] {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
               (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    };
    const double before = processorMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    EXPECT_LT(processorMs() - before, 40.0) << "the loop spins";
    EXPECT_EQ(delayed.read(1000).location(), "/system/index.htm?state=1") << "the answer still goes out";
}

// ---------------------------------------------------------------------------------------------
// Hostile clients

TEST_F(WebServer, HostileClientsGetNoHoldOnTheServer)
{
    start({webDevice(kFirst, 1)});
    // A client that stops in the middle of its head, one that sends nothing, one that sends a
    // head without end: none of them keeps the others waiting.
    WebConnection halfHead(kFirst, simulator->webPort());
    halfHead.send("POST /login.htm HTTP/1.1\r\nContent-Le");
    WebConnection mute(kFirst, simulator->webPort());
    WebConnection endless(kFirst, simulator->webPort());
    endless.send("GET /" + std::string(9000, 'a'));
    WebConnection shortBody(kFirst, simulator->webPort());
    shortBody.send(stationHead("POST", "/login.htm", kFirst, "application/x-www-form-urlencoded", 100, "") + "pass=");

    const auto start = Clock::now();
    EXPECT_FALSE(login().empty());
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));

    const WebReply tooLong = endless.read(2000);
    EXPECT_EQ(tooLong.statusLine, "HTTP/1.1 431 Request Header Fields Too Large");
    EXPECT_TRUE(tooLong.closed);
    EXPECT_EQ(send(kFirst, "HELLO\r\n\r\n").statusLine, "HTTP/1.1 400 Bad Request");

    // A request cut short by the client's half-close is dropped without an answer.
    shortBody.shutdownWrite();
    const WebReply dropped = shortBody.read(2000);
    EXPECT_TRUE(dropped.closed);
    EXPECT_EQ(dropped.raw, "");
    EXPECT_EQ(device(0).webState.logins, 1u);
    EXPECT_TRUE(halfHead.read(50).timedOut);
    EXPECT_TRUE(mute.read(50).timedOut);
}

TEST_F(WebServer, ConnectionsBeyondTheLimitAreReset)
{
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur < 2 * kMaxConnections + 100) GTEST_SKIP() << "only " << files.rlim_cur << " file descriptors";
    start({webDevice(kFirst, 1)});
    std::vector<std::unique_ptr<WebConnection>> idle;
    for (size_t i = 0; i < kMaxConnections; ++i) {
        idle.push_back(std::make_unique<WebConnection>(kFirst, simulator->webPort()));
    }
    // Wait until the server has taken them all.
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    while (simulator->statistics().web.connectionsAccepted < kMaxConnections && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const WebReply refused = send(kFirst, loginRequest(kFirst, kPassword), 2000);
    EXPECT_TRUE(refused.reset);
    EXPECT_EQ(refused.raw, "");

    // Clients that go away free their places.
    idle.resize(kMaxConnections - 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(login().empty());
}

}  // namespace
