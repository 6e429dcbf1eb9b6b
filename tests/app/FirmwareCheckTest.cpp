// The Intel HEX check that a firmware file passes before it is sent to any device.
#include <gtest/gtest.h>

#include "app/CApp.h"
#include "app/FirmwareCheck.h"
#include "support/FirmwareFile.h"
#include "support/TempDir.h"

using namespace vst;

namespace {

struct Case {
    const char* what;
    std::string content;
    int line;        // 0: the file is sound
    unsigned fault;
};

const std::string kData = ":10000000000102030405060708090A0B0C0D0E0F78";
const std::string kEnd = ":00000001FF";

}  // namespace

TEST(FirmwareCheck, JudgesEveryLine)
{
    const Case cases[] = {
        {"generated image", test::firmwareImage("1.06", 3), 0, 0},
        {"lower-case digits, LF only", ":10000000000102030405060708090a0b0c0d0e0f78\n:00000001ff\n", 0, 0},
        {"comments, blank lines, CR LF, no final line end",
         ";VERSION=1.06\r\n\r\n" + kData + "\r\n\n;after\r\n" + kEnd + "\r\n\r\n; the end", 0, 0},
        {"address records", ":020000040800F2\n:0400000508000000EF\n" + kEnd, 0, 0},
        {"wrong checksum", kData.substr(0, kData.size() - 2) + "79\n" + kEnd, 1, 37304},
        {"checksum of the end record", ";x\n" + kData + "\n:00000001FE\n", 3, 37304},
        {"record cut short", kData + "\n:10001000000102\n" + kEnd, 2, 37306},
        {"odd number of digits", kData.substr(0, kData.size() - 1) + "\n" + kEnd, 1, 37306},
        {"colon alone", ":\n" + kEnd, 1, 37306},
        {"record longer than its count", ":0000000000FF00\n" + kEnd, 1, 37305},
        {"no colon", "10000000\n" + kEnd, 1, 37305},
        {"space in a record", ":00000001 FF\n", 1, 37305},
        {"unknown record type", ":00000006FA\n" + kEnd, 1, 37305},
        {"end record with data", ":0100000100FE\n" + kEnd, 1, 37305},
        {"CR inside a line", ":0000\r0001FF\n", 1, 37305},
        {"data after the end record", kEnd + "\n" + kData + "\n", 2, 37307},
        {"text after the end record", kData + "\r\n" + kEnd + "\r\n\r\ngarbage\r\n", 4, 37307},
        {"no end record", kData + "\r\n" + kData + "\r\n\r\n", 3, 37308},
        {"empty file", "", 1, 37308},
        {"overlong line", ":" + std::string(5000, '0') + "\n" + kEnd, 1, 37305},
    };
    for (const auto& c : cases) {
        const auto fault = app::checkFirmwareText(c.content);
        if (c.line == 0) {
            EXPECT_FALSE(fault) << c.what << ": line " << fault->line << " fault " << fault->fault;
            continue;
        }
        ASSERT_TRUE(fault) << c.what;
        EXPECT_EQ(fault->line, c.line) << c.what;
        EXPECT_EQ(fault->fault, c.fault) << c.what;
    }
}

TEST(FirmwareCheck, ReadsTheFileAndNamesTheFault)
{
    test::TempDir dir;
    app::FirmwareFault fault;
    EXPECT_EQ(app::checkFirmwareFile(dir.file("missing.hex"), &fault), app::FirmwareFileCheck::CannotOpen);
    // Larger than one read, so the lines cross the reader's pieces.
    dir.write("good.hex", test::firmwareImage("1.07", 2000));
    EXPECT_EQ(app::checkFirmwareFile(dir.file("good.hex"), &fault), app::FirmwareFileCheck::Good);
    EXPECT_EQ(app::checkFirmwareFile(VST_SOURCE_DIR "/res/demo/firmware/VestrolanV106.hex", &fault),
              app::FirmwareFileCheck::Good)
        << "the demonstration firmware, line " << fault.line;
    dir.write("bad.hex", test::firmwareImage("1.07", 2000) + ":00000001FF\r\n");
    ASSERT_EQ(app::checkFirmwareFile(dir.file("bad.hex"), &fault), app::FirmwareFileCheck::Faulty);
    EXPECT_EQ(fault.line, 2003);
    EXPECT_EQ(fault.fault, 37307);

    app::CApp::instance().setTextIdOffset(app::kEnglishOffset);
    EXPECT_EQ(app::firmwareFaultText(fault), "The firmware file is faulty (line 2003: data after the end record)!");
    app::CApp::instance().setTextIdOffset(app::kGermanOffset);
    EXPECT_EQ(app::firmwareFaultText({7, 37304}), "Die Firmware-Datei ist fehlerhaft (Zeile 7: Pr\xFC" "fsumme falsch)!");
}
