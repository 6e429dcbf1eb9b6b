// The web session against a scripted server on the loopback address.
#include "net/DeviceWebSession.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "app/NetworkCards.h"
#include "platform/ManualClock.h"
#include "support/PacedPeer.h"
#include "support/ScriptedHttpServer.h"
#include "support/TempDir.h"

using namespace vst;
using namespace vst::net;
using test::ScriptedHttpServer;

namespace {

struct WebSession : ::testing::Test {
    app::NetworkCard card;
    DeviceRecord device;
    ScriptedHttpServer server;
    std::unique_ptr<DeviceWebSession> session;

    void SetUp() override
    {
        card.addresses = {{0x7F000001, 0xFF000000}};
        device.card = &card;
        device.address = toNetworkOrder(0x7F000001);
        session = std::make_unique<DeviceWebSession>(device);
        session->setPort(server.port());
    }

    // Polls until the exchange ends; the clock moves 1 ms per poll.
    template <typename Poll>
    int finish(Poll poll)
    {
        for (int i = 0; i < 2'000'000; ++i) {
            const PollResult r = poll();
            if (!r.pending()) return r.code();
            platform::clock().sleep(1);
        }
        return -100;
    }
    int login(const std::string& password = "geheim")
    {
        session->beginLogin(password);
        return finish([&] { return session->pollLogin(); });
    }
    int logout()
    {
        session->beginLogout();
        return finish([&] { return session->pollLogout(); });
    }
};

}  // namespace

TEST_F(WebSession, RequestHeadsAreByteExact)
{
    server.reply(ScriptedHttpServer::redirect("/system/index.htm?state=1", "Set-Cookie: ab12\r\n"));
    server.reply(ScriptedHttpServer::redirect("/system/index.htm?state=2"));
    server.reply(ScriptedHttpServer::redirect("/system/datetime.htm?state=1"));
    EXPECT_EQ(login("pw"), 0);
    EXPECT_EQ(logout(), 0);
    session->beginSetDateTime("");
    EXPECT_EQ(finish([&] { return session->pollSetDateTime(); }), 0);
    const auto r = server.requests();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0],
              "POST /login.htm HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: Vestrolan-Manager\r\nConnection: close\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 7\r\n\r\npass=pw");
    EXPECT_EQ(r[1],
              "GET /logout.htm?action=1 HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: Vestrolan-Manager\r\n"
              "Connection: close\r\nCookie: ab12\r\n\r\n");
    // A POST with an empty body still carries its Content-Length.
    EXPECT_EQ(r[2],
              "POST /system/datetime.htm HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: Vestrolan-Manager\r\n"
              "Connection: close\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 0\r\n"
              "Cookie: ab12\r\n\r\n");
    EXPECT_EQ(session->cookie(), "ab12");
}

TEST_F(WebSession, GetWithoutCookieEndsWithConnectionLine)
{
    device.address = toNetworkOrder(0x7F000001);
    EXPECT_EQ(session->requestHead("/x", nullptr, false, 0),
              "GET /x HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: Vestrolan-Manager\r\nConnection: close\r\n\r\n");
}

TEST_F(WebSession, LocationValueRules)
{
    struct Case {
        std::string answer;
        int result;
    };
    const Case cases[] = {
        {"HTTP/1.1 302 Found\r\nLocation: /login.htm?state=-2\r\n\r\n", 2},
        {"HTTP/1.1 302 Found\r\nLocation: /login.htm?state=-2 \r\n\r\n", 3},
        {"HTTP/1.1 302 Found\r\nLocation:/system/index.htm?state=1\r\n\r\n", 0},
        {"HTTP/1.1 302 Found\r\nLocation:    /system/index.htm?state=1\r\n\r\n", 0},
        {"HTTP/1.1 302 Found\r\nlocation: /system/index.htm?state=1\r\n\r\n", 3},
        {"HTTP/1.1 302 Found\r\nLocation: http://10.0.0.5/system/index.htm?state=1\r\n\r\n", 3},
        {"HTTP/1.1 302 Found\r\nLocation: /login.htm?state=-1\r\n\r\n", 1},
        {"HTTP/1.1 302 Found\r\nLocation: /system/index.htm?state=1" + std::string(260, 'x') + "\r\n\r\n", 3},
        {"", 3},  // closed without any header
    };
    for (const auto& c : cases) server.reply(c.answer);
    for (const auto& c : cases) EXPECT_EQ(login(), c.result) << c.answer;
}

TEST_F(WebSession, CookieRules)
{
    server.reply(ScriptedHttpServer::redirect("/system/index.htm?state=1", "Set-Cookie: first\r\nSet-Cookie: second\r\n"));
    server.reply(ScriptedHttpServer::redirect("/system/index.htm?state=2"));
    server.reply(ScriptedHttpServer::redirect("/system/index.htm?state=1", "Set-Cookie: fifteen-chars-xx\r\n"));
    EXPECT_EQ(login(), 0);
    EXPECT_EQ(session->cookie(), "second");
    EXPECT_EQ(logout(), 0);
    EXPECT_EQ(session->cookie(), "second");  // logout does not clear it
    // A cookie that does not fit is not kept cut short; the login answer counts as invalid.
    EXPECT_EQ(login(), 3);
    EXPECT_EQ(session->cookie(), "second");
}

TEST_F(WebSession, OverlongHeaderLineFails)
{
    server.reply("HTTP/1.1 302 Found\r\nX-Junk: " + std::string(600, 'j') + "\r\nLocation: /system/index.htm?state=1\r\n\r\n");
    EXPECT_EQ(login(), 4);
}

TEST_F(WebSession, FirstByteWaitsFiveMinutesThenFails)
{
    platform::ManualClock clock;
    platform::ScopedClock use(clock);
    server.silence();
    const uint32_t start = clock.tickCount();
    EXPECT_EQ(login(), 4);
    const uint32_t waited = clock.tickCount() - start;
    EXPECT_GE(waited, kFirstByteTimeoutMs);
    EXPECT_LT(waited, kFirstByteTimeoutMs + 1000);
}

TEST_F(WebSession, UnknownHostFailsWithTheConnectionCode)
{
    server.reply("");
    app::NetworkCard none;
    device.card = nullptr;
    EXPECT_EQ(login(), 4);
    EXPECT_EQ(session->state(), ExchangeState::Idle);
}

TEST_F(WebSession, SysInfoDocument)
{
    server.reply("HTTP/1.1 200 OK\r\n\r\n<response><netwfipe>192.168.0.101</netwfipe><netwfmace>02:00:00:00:00:01"
                 "</netwfmace><sdstatus>SD-Karte ist bereit</sdstatus></response>");
    SysInfo info;
    info.sdCardReady = false;
    session->beginReadSysInfo(&info);
    EXPECT_EQ(finish([&] { return session->pollReadSysInfo(); }), 0);
    EXPECT_EQ(info.ethernetAddress, 0xC0A80065u);
    EXPECT_EQ(info.ethernetMac[5], 1);
    EXPECT_TRUE(info.sdCardReady);
    EXPECT_FALSE(info.usbStickReady);
}

TEST_F(WebSession, ADocumentEndsAtItsClosingTagHoweverItsBytesArrive)
{
    const std::string answer = "HTTP/1.1 200 OK\r\n\r\n<response><gehcode>7</gehcode></response>"
                               "<rtapp>100</rtapp><gehcode>9</gehcode></response>";
    for (size_t slice : {size_t{1}, size_t{3}, answer.size()}) {
        SCOPED_TRACE(slice);
        DevInfo info;
        session->beginReadDevInfo(&info);
        EXPECT_EQ(session->readAnswer(answer, slice), 0);
        EXPECT_EQ(info.code, 7u);
        EXPECT_EQ(info.applicationValue, 0u);
    }
}

TEST_F(WebSession, DocumentsThatDoNotEndOrDoNotFit)
{
    platform::ManualClock clock;
    platform::ScopedClock use(clock);
    server.reply("HTTP/1.1 200 OK\r\n\r\n<response><sdstatus>x</sdstatus>");
    server.reply("HTTP/1.1 200 OK\r\n\r\n<response>" + std::string(5000, ' ') + "</response>");
    SysInfo info;
    session->beginReadSysInfo(&info);
    EXPECT_EQ(finish([&] { return session->pollReadSysInfo(); }), 1);
    session->beginReadSysInfo(&info);
    const uint32_t start = clock.tickCount();
    EXPECT_EQ(finish([&] { return session->pollReadSysInfo(); }), 2);
    EXPECT_GE(clock.tickCount() - start, kDrainTimeoutMs);
}

TEST_F(WebSession, LineEndpoints)
{
    const std::string exact(248, 'a');
    server.reply("HTTP/1.1 200 OK\r\n\r\n" + exact + "\n" + std::string(600, 'b') + "\nERROR => x\r\n");
    std::string line;
    std::vector<std::string> lines;
    session->beginReadProcessTestLine(0, 1, &line);
    const int r = finish([&] {
        const PollResult p = session->pollReadProcessTestLine();
        if (!line.empty()) lines.push_back(line);
        return p;
    });
    EXPECT_EQ(r, 0);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), exact + "\n");
    EXPECT_EQ(lines.back(), "ERROR => x\r\n");
    // The 600-character run is dropped in 249-byte pieces; its last 102 bytes and the LF remain a line.
    EXPECT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], std::string(600 - 2 * 249, 'b') + "\n");
}

TEST_F(WebSession, CalibrationStepNeedsUpperCaseOk)
{
    server.reply("HTTP/1.1 200 OK\r\n\r\nOK");
    server.reply("HTTP/1.1 200 OK\r\n\r\nok");
    session->beginRunCalibrationStep("ENG", 3, "1,5");
    EXPECT_EQ(finish([&] { return session->pollRunCalibrationStep(); }), 0);
    session->beginRunCalibrationStep("ENG", 3, "1,5");
    EXPECT_EQ(finish([&] { return session->pollRunCalibrationStep(); }), 1);
    EXPECT_EQ(server.requests()[0].rfind("GET /cgi/protect/calibration.cgi?type=ENG&index=3&data=1,5 HTTP/1.1\r\n", 0), 0u);
}

TEST_F(WebSession, SerialNumberAnswers)
{
    server.reply(ScriptedHttpServer::redirect("/popup/protect/serialnumber.htm?state=1"));
    server.reply(ScriptedHttpServer::redirect("/system/index.htm?state=-3"));
    server.reply("HTTP/1.1 200 OK\r\n\r\n");
    for (int expected : {0, 2, 3}) {
        session->beginSetSerialNumber(4711);
        EXPECT_EQ(finish([&] { return session->pollSetSerialNumber(); }), expected);
    }
    EXPECT_NE(server.requests()[0].find("\r\n\r\nsnum=4711"), std::string::npos);
}

namespace {

std::string uploadBody(const std::string& payload)
{
    return "------------VtL-Manager\r\nContent-Diposition: form-data; name=\"hexfile\"; "
           "filename=\"VestrolanVxyy.hex\"\r\nContent-Type: application/octet-stream\r\n\r\n" +
           payload + "\r\n------------VtL-Manager--\r\n";
}

}  // namespace

TEST_F(WebSession, MultipartUploadIsByteExact)
{
    test::TempDir dir;
    std::string payload;
    for (int i = 0; i < 1500; ++i) payload += static_cast<char>('0' + i % 43);
    dir.write("empty.hex", "");
    dir.write("fw.hex", payload);
    server.reply(ScriptedHttpServer::redirect("/protect/reboot.htm?state=1"));
    server.reply(ScriptedHttpServer::redirect("/protect/update.htm?state=-1"));
    for (const char* name : {"empty.hex", "fw.hex"}) {
        std::FILE* f = std::fopen(dir.file(name).c_str(), "rb");
        double progress = -1;
        session->beginUploadFirmware(f, &progress);
        const int r = finish([&] { return session->pollUploadFirmware(); });
        std::fclose(f);
        EXPECT_EQ(r, std::string(name) == "empty.hex" ? 0 : 2);
        EXPECT_EQ(progress, std::string(name) == "empty.hex" ? 100.0 : 100.0);
    }
    const auto r = server.requests();
    ASSERT_EQ(r.size(), 2u);
    const std::string head =
        "POST /protect/update.htm HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: Vestrolan-Manager\r\nConnection: close\r\n"
        "Content-Type: multipart/form-data; boundary=----------VtL-Manager\r\nContent-Length: ";
    EXPECT_EQ(r[0], head + "173\r\n\r\n" + uploadBody(""));
    EXPECT_EQ(r[1], head + "1673\r\n\r\n" + uploadBody(payload));
    EXPECT_EQ(uploadBody("").size(), 173u);
}

TEST_F(WebSession, RebootRequestIsSentAndNotAnswered)
{
    server.silence();
    session->beginRequestReboot();
    EXPECT_EQ(finish([&] { return session->pollRequestReboot(); }), 0);
    for (int i = 0; i < 200 && server.requests().empty(); ++i) usleep(5000);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].rfind("GET /cgi/protect/reboot.cgi HTTP/1.1\r\n", 0), 0u);
}

namespace {

struct PacedCase {
    const char* name;
    std::function<void(test::PacedPeer&)> script;
    bool lineStream;  // read as a process-test line stream, else as a login
    int result;
    uint32_t minMs;  // the exchange ends within [minMs, maxMs] of the request
    uint32_t maxMs;
    uint32_t lines = 0;  // lines handed out (line streams)
};

std::vector<test::PacedPeer::Piece> byteEvery(uint32_t everyMs, const std::string& bytes, uint32_t startMs = 0)
{
    std::vector<test::PacedPeer::Piece> pieces;
    for (size_t i = 0; i < bytes.size(); ++i) pieces.push_back({startMs + static_cast<uint32_t>(i) * everyMs, bytes.substr(i, 1)});
    return pieces;
}

std::string headWith(int extraLines, size_t lineLength)
{
    std::string head = "HTTP/1.1 302 Found\r\n";
    for (int i = 0; i < extraLines; ++i) head += "X-F: " + std::string(lineLength - 5, 'f') + "\r\n";
    return head + "Location: /system/index.htm?state=1\r\n\r\n";
}

// A stream of `count` lines "x", as fast as the station takes them.
void lineFlood(test::PacedPeer& peer, uint32_t count)
{
    auto sent = std::make_shared<uint32_t>(0);
    peer.generate([sent, count](uint32_t, bool& done) {
        std::string bytes = *sent == 0 ? "HTTP/1.1 200 OK\r\n\r\n" : "";
        while (*sent < count && bytes.size() < 4000) {
            bytes += "x\n";
            ++*sent;
        }
        done = *sent == count;
        return bytes;
    });
}

}  // namespace

TEST_F(WebSession, AnswersAreHeldToTheLimitsOfTheirKind)
{
    const std::string loggedIn = ScriptedHttpServer::redirect("/system/index.htm?state=1");
    const std::string streamHead = "HTTP/1.1 200 OK\r\n\r\n";
    const PacedCase cases[] = {
        {"a document trickling one byte every 29 s fails 120 s after its first byte",
         [&](test::PacedPeer& p) { p.script(byteEvery(29000, loggedIn)); }, false, 4, kWholeAnswerTimeoutMs,
         kWholeAnswerTimeoutMs + 1000},
        {"the first byte may still take almost five minutes",
         [&](test::PacedPeer& p) { p.script({{299000, loggedIn}}); }, false, 0, 299000, 300000},
        {"100 header lines are read", [&](test::PacedPeer& p) { p.script({{0, headWith(98, 20)}}); }, false, 0, 0,
         1000},
        {"101 header lines are too many", [&](test::PacedPeer& p) { p.script({{0, headWith(99, 20)}}); }, false, 4,
         0, 1000},
        {"a head of more than 16 KiB is too long", [&](test::PacedPeer& p) { p.script({{0, headWith(40, 450)}}); },
         false, 4, 0, 1000},
        {"a line stream may last longer than 120 s while lines come",
         [&](test::PacedPeer& p) {
             std::vector<test::PacedPeer::Piece> pieces{{0, streamHead}};
             for (uint32_t i = 1; i <= 20; ++i) pieces.push_back({i * 10000, "Zeile\r\n"});
             p.script(pieces);
         },
         true, 0, 200000, 201000, 20},
        {"bytes without a line feed are no progress",
         [&](test::PacedPeer& p) {
             auto pieces = byteEvery(1000, std::string(200, 'z'), 5000);
             pieces.insert(pieces.begin(), {{0, streamHead}, {4000, "Zeile\n"}});
             p.script(pieces);
         },
         true, 2, 4000 + kLineProgressTimeoutMs, 4000 + kLineProgressTimeoutMs + 1000, 1},
        {"100 000 lines are taken", [](test::PacedPeer& p) { lineFlood(p, kMaxStreamLines); }, true, 0, 0, 200000,
         kMaxStreamLines},
        {"the next line is one too many", [](test::PacedPeer& p) { lineFlood(p, kMaxStreamLines + 1); }, true, 2, 0,
         200000, kMaxStreamLines},
    };
    for (const auto& c : cases) {
        platform::ManualClock clock;
        platform::ScopedClock use(clock);
        test::PacedPeer peer;
        c.script(peer);
        session->setPort(peer.port());
        std::string line;
        uint32_t lines = 0;
        if (c.lineStream) {
            session->beginReadProcessTestLine(0, 1, &line);
            EXPECT_EQ(session->answerKind(), AnswerKind::LineStream);
        } else {
            session->beginLogin("geheim");
            EXPECT_EQ(session->answerKind(), AnswerKind::Document);
        }
        const uint32_t start = clock.tickCount();
        int r = -1;
        for (int i = 0; i < 3'000'000 && r < 0; ++i) {
            peer.step();
            r = (c.lineStream ? session->pollReadProcessTestLine() : session->pollLogin()).code();
            if (!line.empty()) ++lines;
            clock.sleep(1);
        }
        const uint32_t took = clock.tickCount() - start;
        EXPECT_EQ(r, c.result) << c.name;
        EXPECT_GE(took, c.minMs) << c.name;
        EXPECT_LE(took, c.maxMs) << c.name;
        if (c.lineStream) {
            EXPECT_EQ(lines, c.lines) << c.name;
        }
    }
}
