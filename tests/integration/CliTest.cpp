// The console front end end to end: the program itself against simulated devices.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "support/FirmwareFile.h"
#include "support/RunCommand.h"
#include "support/TempDir.h"
#include "Testbed.h"

using namespace vst;

namespace {

class Cli : public test::CommandTestbed {
protected:
    // Runs the console front end with protocol time sped up like the tests' own.
    Run cli(const std::string& arguments, int timeScale = 10)
    {
        const std::string command = "VESTROLAN_TIME_SCALE=" + std::to_string(timeScale) +
                                    " VESTROLAN_SETTINGS=" + dir.file("settings.ini") + " " +
                                    VST_CLI_PATH + " " + arguments;
        return test::runCommand(command, dir.file("stderr.txt"));
    }

    void twoDevices()
    {
        addDeviceAddress("192.168.0.101/24");
        addDeviceAddress("10.20.0.7/16");
        auto second = test::simulatedDevice("10.20.0.7", 7, "Lager 7");
        second.network.mask = 0xFFFF0000u;
        second.serialNumber = 0xFFFFFFFFu;
        second.appVersion = 1.0512;
        startSimulator({test::simulatedDevice("192.168.0.101", 1, "Kessel \xE4"), second});
    }
};

}  // namespace

TEST_F(Cli, CardsListsBothTestCards)
{
    const Run r = cli("cards");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\tvst0\t192.168.0.1/255.255.255.0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\tvst2\t10.20.255.254/255.255.0.0\n"), std::string::npos) << r.out;
}

TEST_F(Cli, SearchListsEveryDeviceOnceWithTheListColumns)
{
    twoDevices();
    const Run r = cli("search");
    EXPECT_EQ(r.status, 0);
    // Sorted for comparison: the order of answers between the cards is not fixed.
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < r.out.size()) {
        const size_t end = r.out.find('\n', pos);
        lines.push_back(r.out.substr(pos, end - pos));
        pos = end + 1;
    }
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Kessel ä\t192.168.0.101\t02:00:00:00:00:01\t00001001\t1.05\t1.02",
                         "Lager 7\t10.20.0.7\t02:00:00:00:00:07\tN/A\t1.05 B12\t1.02",
                     }));
}

TEST_F(Cli, SearchOnOneCardWithDirectedTarget)
{
    twoDevices();
    const Run r = cli("--card 0 search --target 192.168.0.101 --directed-only");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Kessel ä\t192.168.0.101\t02:00:00:00:00:01\t00001001\t1.05\t1.02\n");
    EXPECT_EQ(cli("--card 7 search").status, 1);
    EXPECT_EQ(cli("search --target 1.2.3").status, 1);
}

TEST_F(Cli, ControlBytesInNamesAreQuestionMarks)
{
    addDeviceAddress("192.168.0.101/24");
    startSimulator({test::simulatedDevice("192.168.0.101", 1, "A\tB\nC\x7F\x1B\xE4")});
    const Run r = cli("--card 0 search --target 192.168.0.101 --directed-only");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "A?B?C??ä\t192.168.0.101\t02:00:00:00:00:01\t00001001\t1.05\t1.02\n");
}

TEST_F(Cli, RenameAndBackupRestoreInEnglish)
{
    twoDevices();
    Run r = cli("--lang en --card 0 rename 02:00:00:00:00:01 Halle");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "The name of the device was set successfully!\n");
    EXPECT_EQ(simulator->device(0).name, "Halle");

    // A backup saves only a configuration: the device gets one.
    simulator->update(0, [](devsim::Device& d) { d.configuration.userLines = {"[User]"}; });
    r = cli("--lang en --card 0 backup 02:00:00:00:00:01 " + dir.file("dev.bak"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "The backup of the device was created successfully!\n");
    dir.write("dev.bak", "[User]\n\n#PCN 1\n");
    r = cli("--lang en --card 0 restore 02:00:00:00:00:01 " + dir.file("dev.bak"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "The settings of the device were restored successfully!\n");
    EXPECT_EQ(simulator->device(0).configuration.processLines, std::vector<std::string>{"#PCN 1"});
}

TEST_F(Cli, SetnetValidatesAndMovesTheDevice)
{
    twoDevices();
    Run r = cli("--lang de setnet 02:00:00:00:00:07 --dhcp off --ip 10.20.0.0.9 --mask 255.255.0.0 "
                "--gateway 0.0.0.0 --dns1 0.0.0.0 --dns2 0.0.0.0");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Die eingegebene IP-Adresse ist ungültig!\n");
    addDeviceAddress("10.20.0.9/16");
    r = cli("--lang de --card 1 setnet 02:00:00:00:00:07 --dhcp client --ip 10.20.0.9 --mask 255.255.0.0 "
            "--gateway 10.20.0.1 --dns1 0.0.0.0 --dns2 0.0.0.0");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Die Netzwerk-Einstellungen des Geräts wurden erfolgreich geändert!\n");
    EXPECT_EQ(devsim::formatIpv4(simulator->device(1).network.address), "10.20.0.9");
}

TEST_F(Cli, UnknownDeviceAndWrongPassword)
{
    twoDevices();
    simulator->update(0, [](devsim::Device& d) { d.password = "pw"; });
    Run r = cli("--lang en rename 02:00:00:00:00:55 X");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "No response to the search request from the device!\n");
    r = cli("--lang en --password nope rename 02:00:00:00:00:01 X");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "The entered password was wrong!\n");
    EXPECT_EQ(cli("frobnicate").status, 1);
    EXPECT_EQ(cli("rename nomac X").status, 1);
}

TEST_F(Cli, UpdateAndClock)
{
    twoDevices();
    dir.write("VestrolanV107.hex", test::firmwareImage("1.07", 40));
    Run r = cli("--lang en --card 0 update 02:00:00:00:00:01 " + dir.file("VestrolanV107.hex"), 50);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "The update was executed successfully!\n");
    EXPECT_FLOAT_EQ(static_cast<float>(simulator->device(0).appVersion), 1.07f);
    r = cli("--lang en --card 0 clock 02:00:00:00:00:01");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "The time was set successfully!\n");
    EXPECT_TRUE(simulator->device(0).webState.clockSetTo.has_value());
}

TEST_F(Cli, SerialNumberWithReleaseCheckAndLog)
{
    twoDevices();
    dir.write("SNR.LOG", "01.02.2023 10:11:12 AB 00000555\n01.02.2023 10:12:00 AB #SNR FOUND 00000555\n");
    // A used number without the operator's agreement is refused before anything is sent.
    Run r = cli("--lang en --card 0 --snr " + dir.str() + " --sign XY serial 02:00:00:00:00:01 555");
    EXPECT_EQ(r.status, 1);
    std::string log = dir.read("SNR.LOG");
    EXPECT_NE(log.find(" XY The serial number 00000555 was used at 01.02.2023 on 10:11:12 by AB already!\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(" XY NO release\n"), std::string::npos);
    EXPECT_EQ(simulator->device(0).serialNumber, 1001u);

    // With --yes and the release password the number is released, assigned, set and confirmed.
    r = cli("--lang en --card 0 --snr " + dir.str() + " --sign XY --yes --release-password 40317 serial "
            "02:00:00:00:00:01 555");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "The serial number was set successfully!\n");
    EXPECT_EQ(simulator->device(0).serialNumber, 555u);
    log = dir.read("SNR.LOG");
    EXPECT_NE(log.find(" XY password OK => release\n"), std::string::npos);
    EXPECT_NE(log.find(" XY 00000555\n"), std::string::npos);
    EXPECT_NE(log.find(" XY #SNR FOUND 00000555\n"), std::string::npos);

    EXPECT_EQ(cli("--lang en serial 02:00:00:00:00:01 0").out,
              "The serial number must be within the range from 1 to 99999999!\n");
}

TEST_F(Cli, UpdateOfSeveralDevicesReportsEachAndTheSummary)
{
    for (const char* a : {"192.168.0.101/24", "192.168.0.102/24", "192.168.0.103/24", "192.168.0.104/24"}) {
        addDeviceAddress(a);
    }
    auto locked = test::simulatedDevice("192.168.0.102", 2, "Tresor");
    locked.password = "geheim";
    auto refusing = test::simulatedDevice("192.168.0.103", 3, "Stur");
    refusing.web.updateState = -1;
    auto meter = test::simulatedDevice("192.168.0.104", 4, "Zaehler");
    meter.kind = 1;
    startSimulator({test::simulatedDevice("192.168.0.101", 1, "Kessel"), locked, refusing, meter});
    dir.write("VestrolanV107.hex", test::firmwareImage("1.07", 40));

    // In the order given; the unknown device was not found by the search.
    Run r = cli("--lang en --card 0 --password geheim update "
                "02:00:00:00:00:03,02:00:00:00:00:01,02:00:00:00:00:55,02:00:00:00:00:04,02:00:00:00:00:02 " +
                    dir.file("VestrolanV107.hex"),
                50);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "02:00:00:00:00:03\tThe uploaded file is invalid!\n"
                     "02:00:00:00:00:01\tThe update was executed successfully!\n"
                     "02:00:00:00:00:55\tNo response to the search request from the device!\n"
                     "02:00:00:00:00:04\tSkipped: not a device of the served kind\n"
                     "02:00:00:00:00:02\tThe update was executed successfully!\n"
                     "Update finished: 2 updated, 2 failed, 1 skipped\n");
    EXPECT_FLOAT_EQ(static_cast<float>(simulator->device(0).appVersion), 1.07f);
    EXPECT_FLOAT_EQ(static_cast<float>(simulator->device(1).appVersion), 1.07f);
    EXPECT_EQ(simulator->device(2).webState.uploads, 1u);
    EXPECT_FLOAT_EQ(static_cast<float>(simulator->device(2).appVersion), 1.05f);
    EXPECT_EQ(simulator->device(3).webState.requests, 0u) << "the other kind is not contacted";

    // A wrong password fails that device alone; exit 0 only when every device was updated.
    r = cli("--lang de --card 0 --password falsch update 02:00:00:00:00:01,02:00:00:00:00:02 " +
                dir.file("VestrolanV107.hex"),
            50);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "02:00:00:00:00:01\tDas Update wurde erfolgreich ausgef\xC3\xBChrt!\n"
                     "02:00:00:00:00:02\tDas eingegebene Passwort ist nicht korrekt!\n"
                     "Update abgeschlossen: 1 aktualisiert, 1 fehlgeschlagen, 0 \xC3\xBC" "bersprungen\n");
    r = cli("--lang en --card 0 --password geheim update 02:00:00:00:00:02,02:00:00:00:00:01 " +
                dir.file("VestrolanV107.hex"),
            50);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(r.out.rfind("Update")), "Update finished: 2 updated, 0 failed, 0 skipped\n");
}

TEST_F(Cli, BrokenFirmwareFileReachesNoDevice)
{
    twoDevices();
    const std::string good = test::firmwareImage("1.07", 4);
    struct Broken {
        std::string content;
        std::string message;
    };
    const Broken files[] = {
        // The second line's checksum is one off.
        {";VERSION=1.07\r\n:10000000000102030405060708090A0B0C0D0E0F79\r\n:00000001FF\r\n",
         "The firmware file is faulty (line 2: wrong checksum)!\n"},
        {";VERSION=1.07\r\n:10000000000102\r\n:00000001FF\r\n", "The firmware file is faulty (line 2: record truncated)!\n"},
        {good + "\r\n:00000001FF\r\n", "The firmware file is faulty (line 8: data after the end record)!\n"},
    };
    for (const auto& f : files) {
        dir.write("VestrolanV107.hex", f.content);
        for (const char* macs : {"02:00:00:00:00:01", "02:00:00:00:00:01,02:00:00:00:00:07"}) {
            const Run r = cli(std::string("--lang en update ") + macs + " " + dir.file("VestrolanV107.hex"));
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, f.message) << macs;
        }
    }
    EXPECT_EQ(cli("--lang en update 02:00:00:00:00:01 " + dir.file("VestrolanV999.hex")).out,
              "Error while opening the firmware file!\n");
    EXPECT_EQ(cli("--lang en update 02:00:00:00:00:01,nomac " + dir.file("VestrolanV999.hex")).status, 1);
    const auto stats = simulator->statistics();
    EXPECT_EQ(stats.datagramsReceived, 0u) << "not even a search";
    EXPECT_EQ(stats.web.connectionsAccepted, 0u);
}

TEST_F(Cli, SerialNumberFolderNeedsItsLogAndSignsHaveNoBlanks)
{
    twoDevices();
    const struct {
        std::string arguments;
        std::string out;
    } refusals[] = {
        {"--snr " + dir.str(), "The file for the serial number log doesn't exist!\n"},
        {"--sign \"AB C\"", "The operator sign must not contain blanks or control characters!\n"},
        {"--sign \"$(printf 'A\\tB')\"", "The operator sign must not contain blanks or control characters!\n"},
    };
    for (const auto& r : refusals) {
        const Run run = cli("--lang en --card 0 " + r.arguments + " serial 02:00:00:00:00:01 556");
        EXPECT_EQ(run.status, 1) << r.arguments;
        EXPECT_EQ(run.out, r.out) << r.arguments;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "SNR.LOG"));
    EXPECT_EQ(simulator->device(0).serialNumber, 1001u);

    // A sign with blanks around it is trimmed; without --snr the number is set without any log.
    dir.write("SNR.LOG", "");
    EXPECT_EQ(cli("--lang en --card 0 --snr " + dir.str() + " --sign \" XY \" serial 02:00:00:00:00:01 556").status, 0);
    EXPECT_NE(dir.read("SNR.LOG").find(" XY 00000556\n"), std::string::npos) << dir.read("SNR.LOG");
    EXPECT_NE(dir.read("SNR.LOG").find(" XY #SNR FOUND 00000556\n"), std::string::npos) << dir.read("SNR.LOG");
    const Run noLog = cli("--lang en --card 0 serial 02:00:00:00:00:01 557");
    EXPECT_EQ(noLog.status, 0) << noLog.out;
    EXPECT_EQ(simulator->device(0).serialNumber, 557u);
}

TEST_F(Cli, SearchAsCsvPrintsTheListExport)
{
    twoDevices();
    const Run r = cli("--lang en --card 0 search --csv --target 192.168.0.101 --directed-only");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "\xEF\xBB\xBFname;IP address;MAC address;serial number;app ver.;btl ver.;Card;Product kind\r\n"
              "Kessel \xC3\xA4;192.168.0.101;02:00:00:00:00:01;00001001;1.05;1.02;0;0\r\n");
}

// A device without a configuration gives no backup: 37403, exit 1, no file written, and an earlier
// file of that name stays as it was.
TEST_F(Cli, BackupOfAnEmptyConfigurationSavesNothing)
{
    twoDevices();
    dir.write("dev.bak", "earlier backup\n");
    for (const std::string& file : {dir.file("dev.bak"), dir.file("new.bak")}) {
        const Run r = cli("--lang en --card 0 backup 02:00:00:00:00:01 " + file);
        EXPECT_EQ(r.status, 1) << file;
        EXPECT_EQ(r.out, "The device sent an empty configuration. Nothing was saved!\n") << file;
    }
    EXPECT_EQ(dir.read("dev.bak"), "earlier backup\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "new.bak"));
}

// A protected device and no --password: 37401 naming the MAC as given, exit 1, and the device gets
// nothing but the search (before, an empty password went out and came back as "wrong password").
TEST_F(Cli, ProtectedDeviceWithoutPasswordGetsNothing)
{
    twoDevices();
    simulator->update(0, [](devsim::Device& d) {
        d.password = "pw";
        d.configuration.userLines = {"[User]"};
    });
    dir.write("VestrolanV107.hex", test::firmwareImage("1.07", 4));
    dir.write("new.bak", "[User]\nNeu=1\n");
    dir.write("SNR.LOG", "");
    const std::string firmware = dir.file("VestrolanV107.hex");
    const std::string mac = "02-00-00-00-00-01";  // as given: with dashes
    const std::string refusal = "Device 02-00-00-00-00-01 is protected by a password: give it with --password.\n";
    // What a search alone brings to the devices, for comparison.
    auto datagrams = [&] { return simulator->statistics().datagramsReceived; };
    uint64_t before = datagrams();
    ASSERT_EQ(cli("--lang en search").status, 0);
    const uint64_t searchOnly = datagrams() - before;
    const std::string commands[] = {
        "setnet " + mac + " --dhcp off --ip 192.168.0.111 --mask 255.255.255.0 --gateway 0.0.0.0 --dns1 0.0.0.0 "
        "--dns2 0.0.0.0",
        "rename " + mac + " Anders",
        "backup " + mac + " " + dir.file("dev.bak"),
        "restore " + mac + " " + dir.file("new.bak"),
        "update " + mac + " " + firmware,
        "--snr " + dir.str() + " serial " + mac + " 4711",
        "clock " + mac,
        // Several devices: the protected one is named and none of them gets anything.
        "update 02:00:00:00:00:07," + mac + " " + firmware,
    };
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        before = datagrams();
        const Run r = cli("--lang en " + command);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, refusal);
        EXPECT_EQ(datagrams() - before, searchOnly);
    }
    const devsim::Device d = simulator->device(0);
    EXPECT_EQ(d.name, "Kessel \xE4");
    EXPECT_EQ(d.configuration.userLines, std::vector<std::string>{"[User]"});
    EXPECT_EQ(d.serialNumber, 1001u);
    EXPECT_EQ(devsim::formatIpv4(d.network.address), "192.168.0.101");
    EXPECT_EQ(d.webState.requests, 0u);
    EXPECT_EQ(simulator->device(1).webState.requests, 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "dev.bak"));
    EXPECT_EQ(dir.read("SNR.LOG"), "") << "no number is assigned for a device that gets nothing";

    // With --password the commands go through as before; the unprotected device needs none.
    EXPECT_EQ(cli("--lang en --password pw rename " + mac + " Anders").status, 0);
    EXPECT_EQ(simulator->device(0).name, "Anders");
    EXPECT_EQ(cli("--lang en rename 02:00:00:00:00:07 Frei").status, 0);
}
