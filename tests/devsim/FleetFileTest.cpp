// Building a fleet: fleet files, fault lists, configuration files, generated devices and the
// program's command line.
#include "devsim/FleetFile.h"

#include <gtest/gtest.h>

#include "devsim/ProgramOptions.h"
#include "support/TempDir.h"

using namespace vst::devsim;
using vst::test::TempDir;

namespace {

// ---------------------------------------------------------------------------------------------
// Fleet files

TEST(FleetFile, ReadsEveryKey)
{
    TempDir dir;
    dir.write("halle.bak", "[Allgemein]\r\nName=Halle\r\n\r\nP1=1\n\nP2=2");
    const std::string text =
        "# two devices\n"
        "[device]\n"
        "kind = 0\n"
        "mac = 02:00:00:00:00:01\n"
        "address = 192.168.0.101/16\n"
        "gateway = 192.168.0.1\n"
        "dns1 = 192.168.0.2\n"
        "dns2 = 10.0.0.53\n"
        "dhcp = server\n"
        "name = Z\xC3\xA4hler 1\n"  // UTF-8 in the file, Windows-1252 on the wire
        "serial = 12345678\n"
        "app = 1.05\n"
        "boot = 0.5\n"
        "password = geheim\n"
        "restart_ms = 750\n"
        "config_file = halle.bak\n"
        "faults = delay=20, wrong-password\n"
        "\n"
        "; second\n"
        "[device]\n"
        "kind=3\n"
        "mac=02-00-00-00-00-02\n"
        "address=10.1.2.3\n"
        "mask=255.0.0.0\n"
        "serial=none\n"
        "config_line=u1\n"
        "process_line=p1\n"
        "config_line=u2\n";
    std::string error;
    const auto devices = parseFleetText(text, dir.path(), &error);
    ASSERT_TRUE(devices) << error;
    ASSERT_EQ(devices->size(), 2u);

    const Device& a = (*devices)[0];
    EXPECT_EQ(a.kind, 0);
    EXPECT_EQ(a.mac, (Mac{2, 0, 0, 0, 0, 1}));
    EXPECT_EQ(a.network, (NetworkSettings{DhcpMode::Server, 0xC0A80065, 0xFFFF0000, 0xC0A80001, 0xC0A80002, 0x0A000035}));
    EXPECT_EQ(a.name, "Z\xE4hler 1");
    EXPECT_EQ(a.serialNumber, 12345678u);
    EXPECT_DOUBLE_EQ(a.appVersion, 1.05);
    EXPECT_DOUBLE_EQ(a.bootVersion, 0.5);
    EXPECT_EQ(a.password, "geheim");
    EXPECT_EQ(a.restartMs, 750u);
    EXPECT_EQ(a.configuration, (Configuration{{"[Allgemein]", "Name=Halle"}, {"P1=1", "P2=2"}}));
    EXPECT_EQ(a.faults.delayMs, 20u);
    EXPECT_TRUE(a.faults.wrongPassword);

    const Device& b = (*devices)[1];
    EXPECT_EQ(b.kind, 3);
    EXPECT_EQ(b.network.address, 0x0A010203u);
    EXPECT_EQ(b.network.mask, 0xFF000000u);
    EXPECT_EQ(b.network.dhcp, DhcpMode::Off);
    EXPECT_EQ(b.serialNumber, kNoSerialNumber);
    EXPECT_TRUE(b.password.empty());
    EXPECT_EQ(b.configuration, (Configuration{{"u1", "u2"}, {"p1"}}));
    EXPECT_EQ(b.faults, Faults{});
}

TEST(FleetFile, ReadsTheWebKeys)
{
    const std::string text =
        "[device]\n"
        "mac = 02:00:00:00:00:01\n"
        "address = 192.168.0.101/24\n"
        "max_logins = 1\n"
        "session_timeout_ms = 0\n"
        "sysinfo.sdstatus = SD-Karte fehlt\n"
        "sysinfo.netwfipw = 192.168.5.1\n"
        "devinfo.extrtc = RTC l\xC3\xA4uft nicht\n"  // UTF-8 in the file, Windows-1252 on the wire
        "i2c_state = NACK\n"
        "process_test.0 = Teste AIN1\n"
        "process_test.0 = NEED => MODE=1\n"
        "process_test.1 = ERROR => AIN1\n"
        "process_test.7 =\n"
        "calibration_item = ENG;AIN1;3;1,0.5,2.0\n"
        "calibration_item = ENG;AIN2;4;0,1,1\n"
        "calibration_answer = FAIL\n"
        "sd_files = config.ini, firmware.hex\n"
        "serial_state = -1\n"
        "serial_kept = on\n"
        "datetime_state = -2\n"
        "update_state = -5\n"
        "faults = web-delay=100, web-long-cookie\n"
        "[device]\n"
        "mac = 02:00:00:00:00:02\n"
        "address = 192.168.0.102\n"
        "sd_files =\n";
    std::string error;
    const auto devices = parseFleetText(text, ".", &error);
    ASSERT_TRUE(devices) << error;
    const Device& a = (*devices)[0];
    WebSettings expected;
    expected.maxLogins = 1;
    expected.sessionTimeoutMs = 0;
    expected.sysInfo = {{"sdstatus", "SD-Karte fehlt"}, {"netwfipw", "192.168.5.1"}};
    expected.devInfo = {{"extrtc", "RTC l\xE4uft nicht"}};
    expected.i2cState = "NACK";
    expected.processTestLines = {{0, {"Teste AIN1", "NEED => MODE=1"}}, {1, {"ERROR => AIN1"}}, {7, {}}};
    expected.calibrationItems = {"ENG;AIN1;3;1,0.5,2.0", "ENG;AIN2;4;0,1,1"};
    expected.calibrationAnswer = "FAIL";
    expected.serialState = -1;
    expected.serialKept = true;
    expected.dateTimeState = -2;
    expected.updateState = -5;
    EXPECT_EQ(a.web, expected);
    EXPECT_EQ(a.sdFiles, (std::vector<std::string>{"config.ini", "firmware.hex"}));
    EXPECT_EQ(a.faults.webDelayMs, 100u);
    EXPECT_EQ(a.faults.webLongCookie, 15u);

    const Device& b = (*devices)[1];
    EXPECT_EQ(b.web, WebSettings{});
    EXPECT_TRUE(b.sdFiles.empty());
    EXPECT_EQ(Device{}.sdFiles, defaultSdFiles());
}

TEST(FleetFile, ErrorsNameTheLine)
{
    const std::string head = "[device]\nmac = 02:00:00:00:00:01\naddress = 192.168.0.1\n";
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {head + "colour = red\n", "line 4: unknown key 'colour'"},
        {head + "kind = 6\n", "line 4: kind must be 0 to 5"},
        {head + "mask = 255.255.255\n", "line 4: bad IPv4 address '255.255.255'"},
        {head + "name = 0123456789abcdef\n", "line 4: name is longer than 15 characters"},
        {head + "address = 192.168.0.2\n", "line 4: key 'address' given twice"},
        {head + "faults = loud\n", "line 4: unknown fault 'loud'"},
        {head + "config_file = missing.bak\n", "line 4: cannot read config_file"},
        {head + "config_line = " + std::string(249, 'x') + "\n", "line 4: config_line is longer than 248"},
        {head + "just text\n", "line 4: expected key = value"},
        {"mac = 02:00:00:00:00:01\n", "line 1: key outside a [device] section"},
        {"[devices]\n", "line 1: unknown section [devices]"},
        {"[device]\naddress = 192.168.0.1\n[device]\n", "line 3: device at line 1 has no mac"},
        {"[device]\nmac = 02:00:00:00:00:01\n", "line 2: device at line 1 has no address"},
        {head + head, "MAC address 02:00:00:00:00:01 is used twice"},
        {head + "max_logins = two\n", "line 4: max_logins must be a number"},
        {head + "sysinfo. = x\n", "line 4: bad element name in 'sysinfo.'"},
        {head + "devinfo.a b = x\n", "line 4: bad element name in 'devinfo.a b'"},
        {head + "sysinfo.sdstatus = a\nsysinfo.sdstatus = b\n", "line 5: key 'sysinfo.sdstatus' given twice"},
        {head + "process_test.x = a\n", "line 4: bad mode number in 'process_test.x'"},
        {head + "calibration_item =\n", "line 4: calibration_item must not be empty"},
        {head + "update_state = -1.5\n", "line 4: update_state must be a whole number"},
        {head + "serial_kept = yes\n", "line 4: serial_kept must be on or off"},
        {head + "faults = web-long-cookie=3\n", "line 4: fault 'web-long-cookie' takes a cookie length"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parseFleetText(c.text, "/nonexistent", &error)) << c.text;
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << "got: " << error;
    }
}

TEST(FleetFile, ConfigFileIsFoundNextToTheFleetFile)
{
    TempDir dir;
    dir.write("a.bak", "x\n\ny\n");
    dir.write("fleet.ini", "[device]\nmac=02:00:00:00:00:01\naddress=127.0.0.2\nconfig_file=a.bak\n");
    std::string error;
    const auto devices = loadFleetFile(dir.path() / "fleet.ini", &error);
    ASSERT_TRUE(devices) << error;
    EXPECT_EQ((*devices)[0].configuration, (Configuration{{"x"}, {"y"}}));
    EXPECT_FALSE(loadFleetFile(dir.path() / "none.ini", &error));
    EXPECT_NE(error.find("none.ini"), std::string::npos);
}

TEST(BackupText, ParsesTheBackupFileForm)
{
    EXPECT_EQ(parseBackupText("a\nb\n\nc\n"), (Configuration{{"a", "b"}, {"c"}}));
    EXPECT_EQ(parseBackupText("a\nb"), (Configuration{{"a", "b"}, {}})) << "no separator: all user configuration";
    EXPECT_EQ(parseBackupText("\nc\n"), (Configuration{{}, {"c"}}));
    EXPECT_EQ(parseBackupText(""), (Configuration{}));
    EXPECT_EQ(parseBackupText("a\n\nc\n\nd\n"), (Configuration{{"a"}, {"c", "d"}})) << "later empty lines are skipped";
    std::string error;
    EXPECT_FALSE(parseBackupText("ok\n" + std::string(249, 'x') + "\n", &error));
    EXPECT_EQ(error, "line 2 is longer than 248 characters");
}

// ---------------------------------------------------------------------------------------------
// Fault lists

TEST(FaultList, ParsesAndFormatsEveryFault)
{
    const std::string all =
        "silent, search-status-0, wrong-password, length-beyond-datagram, length-above-268, oversized, "
        "short-search-answer, unknown-word, backup-without-nul, foreign-mac=02:00:00:00:00:99, delay=250, "
        "web-no-answer, web-close-on-accept, web-close-after-request, web-no-response-end, "
        "web-absolute-location, web-lowercase-location, web-long-header=700, web-long-cookie=20, web-delay=40, "
        "duplicate-answers, backup-endless, restore-strict, web-split, web-trickle=29000, "
        "web-stream=/cgi/protect/process-test.cgi, web-stream-ms=500, web-stream-lines=300";
    std::string error;
    const auto faults = parseFaults(all, &error);
    ASSERT_TRUE(faults) << error;
    EXPECT_TRUE(faults->silent);
    EXPECT_TRUE(faults->searchStatusZero);
    EXPECT_TRUE(faults->wrongPassword);
    for (auto m : {Malformation::LengthBeyondDatagram, Malformation::LengthAbove268, Malformation::Oversized,
                   Malformation::ShortSearchAnswer, Malformation::UnknownWord, Malformation::BackupWithoutNul}) {
        EXPECT_TRUE(faults->has(m));
    }
    EXPECT_EQ(faults->foreignMac, (Mac{2, 0, 0, 0, 0, 0x99}));
    EXPECT_EQ(faults->delayMs, 250u);
    EXPECT_TRUE(faults->webNoAnswer);
    EXPECT_TRUE(faults->webCloseOnAccept);
    EXPECT_TRUE(faults->webCloseAfterRequest);
    EXPECT_TRUE(faults->webNoResponseEnd);
    EXPECT_TRUE(faults->webAbsoluteLocation);
    EXPECT_TRUE(faults->webLowercaseLocation);
    EXPECT_EQ(faults->webLongHeader, 700u);
    EXPECT_EQ(faults->webLongCookie, 20u);
    EXPECT_EQ(faults->webDelayMs, 40u);
    EXPECT_TRUE(faults->duplicateAnswers && faults->backupEndless && faults->restoreStrict && faults->webSplit);
    EXPECT_EQ(faults->webTrickleMs, 29000u);
    EXPECT_EQ(faults->webStreamPath, "/cgi/protect/process-test.cgi");
    EXPECT_EQ(faults->webStreamMs, 500u);
    EXPECT_EQ(faults->webStreamLines, 300u);
    EXPECT_EQ(formatFaults(*faults), all);
    // Lengths have defaults.
    const auto defaults = parseFaults("web-long-header, web-long-cookie");
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->webLongHeader, 600u);
    EXPECT_EQ(defaults->webLongCookie, 15u);
    EXPECT_EQ(parseFaults(formatFaults(*faults)), faults);
    EXPECT_EQ(parseFaults(" , "), Faults{});
}

TEST(FaultList, RejectsBadItems)
{
    for (const char* bad : {"delay", "delay=", "delay=1x", "foreign-mac", "foreign-mac=02:00", "silent=1", "slient",
                            "web-delay", "web-no-answer=1", "web-long-cookie=14", "web-long-cookie=x",
                            "web-long-header=15", "web-long-header=70000", "web-trickle=0", "web-stream", "web-stream=x",
                            "web-stream-ms=0", "duplicate-answers=1"}) {
        std::string error;
        EXPECT_FALSE(parseFaults(bad, &error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

// ---------------------------------------------------------------------------------------------
// Generated devices and the command line

TEST(Generate, ConsecutiveAddressesMacsAndNames)
{
    GenerateRequest request{300, *parseNetwork("192.168.7.9/23"), "pw", 100, {}};
    std::string error;
    const auto devices = generateDevices(request, 5, &error);
    ASSERT_TRUE(devices) << error;
    ASSERT_EQ(devices->size(), 300u);
    const Device& first = devices->front();
    EXPECT_EQ(formatIpv4(first.network.address), "192.168.6.1") << "first host of the network";
    EXPECT_EQ(formatIpv4(first.network.mask), "255.255.254.0");
    EXPECT_EQ(formatMac(first.mac), "02:56:53:00:00:05");
    EXPECT_EQ(first.name, "SIM0005");
    EXPECT_EQ(first.password, "pw");
    EXPECT_EQ(first.restartMs, 100u);
    EXPECT_EQ(first.kind, 0);
    const Device& last = devices->back();
    EXPECT_EQ(formatIpv4(last.network.address), "192.168.7.44");
    EXPECT_EQ(formatMac(last.mac), "02:56:53:00:01:30");
    EXPECT_EQ(last.name, "SIM0304");
}

TEST(Generate, RefusesANetworkWithTooFewHosts)
{
    std::string error;
    EXPECT_TRUE(generateDevices({254, *parseNetwork("10.0.0.0/24"), "", 0, {}}, 1, &error));
    EXPECT_FALSE(generateDevices({255, *parseNetwork("10.0.0.0/24"), "", 0, {}}, 1, &error));
    EXPECT_EQ(error, "10.0.0.0/24 has 254 host addresses, too few for 255 devices");
    EXPECT_FALSE(generateDevices({1, *parseNetwork("10.0.0.0/31"), "", 0, {}}, 1, &error));
    EXPECT_FALSE(parseNetwork("10.0.0.0"));
    EXPECT_FALSE(parseNetwork("10.0.0.0/33"));
}

TEST(ProgramOptions, BuildsTheFleetInCommandLineOrder)
{
    TempDir dir;
    dir.write("f.ini", "[device]\nmac=02:00:00:00:00:01\naddress=10.9.9.9/8\n");
    std::string error;
    const auto options = parseProgramOptions({"--generate", "2", "--network", "192.168.0.0/24", "--fleet",
                                              dir.file("f.ini"), "--generate=3", "--network=172.16.0.0/16",
                                              "--password", "pw", "--restart-ms", "50", "--faults", "delay=5",
                                              "--port", "2930", "--bind", "127.0.0.1", "--verbose", "--web-port",
                                              "8080"},
                                             &error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->port, 2930);
    EXPECT_EQ(options->webPort, 8080);
    EXPECT_TRUE(options->web);
    EXPECT_FALSE(parseProgramOptions({"--no-web"})->web);
    EXPECT_EQ(options->bindAddress, 0x7F000001u);
    EXPECT_TRUE(options->verbose);
    const auto devices = buildFleet(*options, &error);
    ASSERT_TRUE(devices) << error;
    ASSERT_EQ(devices->size(), 6u);
    std::vector<std::string> names;
    for (const auto& d : *devices) names.push_back(d.name);
    EXPECT_EQ(names, (std::vector<std::string>{"SIM0001", "SIM0002", "", "SIM0003", "SIM0004", "SIM0005"}));
    EXPECT_EQ(formatIpv4((*devices)[3].network.address), "172.16.0.1");
    EXPECT_EQ((*devices)[3].password, "pw") << "generated devices share --password wherever it stands";
    EXPECT_EQ((*devices)[0].restartMs, 50u);
    EXPECT_EQ((*devices)[0].faults.delayMs, 5u);
    EXPECT_TRUE((*devices)[2].password.empty()) << "fleet-file devices keep their own settings";
    EXPECT_EQ(addressLines(*devices, false),
              (std::vector<std::string>{"192.168.0.1", "192.168.0.2", "10.9.9.9", "172.16.0.1", "172.16.0.2",
                                        "172.16.0.3"}));
    EXPECT_EQ(addressLines(*devices, true)[2], "10.9.9.9/8");
}

TEST(ProgramOptions, Errors)
{
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"--generate", "3"}, "--generate needs a --network after it"},
        {{"--network", "10.0.0.0/8"}, "--network must follow its --generate"},
        {{"--generate", "2", "--network", "10.0.0.0/8", "--network", "10.0.0.0/8"}, "--network must follow its --generate"},
        {{"--generate", "0"}, "--generate needs a device count"},
        {{"--port", "65536"}, "--port needs a port number"},
        {{"--web-port", "http"}, "--web-port needs a port number"},
        {{"--no-web=1"}, "--no-web takes no value"},
        {{"--faults", "nope"}, "--faults: unknown fault 'nope'"},
        {{"--verbose=yes"}, "--verbose takes no value"},
        {{"--fleet"}, "--fleet needs a file"},
        {{"-x"}, "unknown option -x"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parseProgramOptions(c.args, &error)) << c.message;
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << "got: " << error;
    }
    std::string error;
    const auto none = parseProgramOptions({}, &error);
    ASSERT_TRUE(none);
    EXPECT_FALSE(buildFleet(*none, &error));
    EXPECT_EQ(error.rfind("no devices", 0), 0u);

    TempDir dir;
    dir.write("f.ini", "[device]\nmac=02:56:53:00:00:01\naddress=10.9.9.9/8\n");
    const auto clash = parseProgramOptions({"--fleet", dir.file("f.ini"), "--generate", "1", "--network", "10.0.0.0/8"});
    ASSERT_TRUE(clash);
    EXPECT_FALSE(buildFleet(*clash, &error));
    EXPECT_EQ(error, "MAC address 02:56:53:00:00:01 is used twice");
}

}  // namespace
