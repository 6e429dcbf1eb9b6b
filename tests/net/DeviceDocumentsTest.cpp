#include "net/DeviceDocuments.h"

#include <gtest/gtest.h>

#include "ops/WebOperations.h"

using namespace vst::net;

TEST(ExtractTag, FirstOccurrenceAndNoAttributes)
{
    EXPECT_EQ(extractTag("<a>1</a>", "a"), "1");
    // The opening tag inside another element's text is the one taken.
    EXPECT_EQ(extractTag("<x>see <b>inner</b></x><b>outer</b>", "b"), "inner");
    EXPECT_EQ(extractTag("<a x=\"1\">1</a>", "a"), std::nullopt);
    EXPECT_EQ(extractTag("<a >1</a>", "a"), std::nullopt);
    EXPECT_EQ(extractTag("<a>unclosed", "a"), std::nullopt);
    EXPECT_EQ(extractTag("</a><a>", "a"), std::nullopt);
    EXPECT_EQ(extractTag("<a></a>", "a"), "");
    EXPECT_EQ(extractTag("<a> &amp; </a>", "a"), " &amp; ");
}

TEST(SysInfoDocument, AddressesMacsAndPhrases)
{
    SysInfo info;
    readSysInfo("<response><netwfipw>10.0.0.7</netwfipw><netwfipe>not-an-address</netwfipe>"
                "<netwfmacw>0A:1b:2C:3D:4E:5F</netwfmacw><netwfmace>02:03:zz:05:06:07</netwfmace>"
                "<sdstatus>SD-Karte Ist bereit</sdstatus><usbfdstatus>stick is ready</usbfdstatus></response>",
                info);
    EXPECT_EQ(info.wlanAddress, 0x0A000007u);
    EXPECT_EQ(info.ethernetAddress, 0xFFFFFFFFu);
    EXPECT_EQ(info.thirdAddress, 0u);
    EXPECT_EQ(info.wlanMac, (std::array<uint8_t, 6>{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}));
    // Parsing stops at the first group that does not fit; the rest stays as it was.
    EXPECT_EQ(info.ethernetMac, (std::array<uint8_t, 6>{2, 3, 0, 0, 0, 0}));
    EXPECT_FALSE(info.sdCardReady);
    EXPECT_TRUE(info.usbStickReady);
    readSysInfo("<sdstatus>SD-Karte ist bereit</sdstatus>", info);
    EXPECT_TRUE(info.sdCardReady);
}

TEST(DevInfoDocument, NumbersAndPhrases)
{
    DevInfo info;
    readDevInfo("<gehcode>12abc</gehcode><gehaddr>1A2B</gehaddr><extrtc>RTC l\xE4uft</extrtc>"
                "<rtframework>70000</rtframework><rtapp></rtapp><appstate>im Normal-Modus</appstate>"
                "<apperrors>SD Sensoren </apperrors><spstate>processing</spstate>",
                info);
    EXPECT_EQ(info.code, 12u);
    EXPECT_EQ(info.address, 0x1A2Bu);
    EXPECT_TRUE(info.externalClockRunning);
    EXPECT_EQ(info.applicationValue, 0u);
    EXPECT_TRUE(info.applicationNormalMode);
    EXPECT_TRUE(info.sensorErrors);
    EXPECT_TRUE(info.sdErrors);
    EXPECT_TRUE(info.processing);

    DevInfo other;
    // UTF-8 "läuft" is not the device's phrase; "SD-Karte" carries no error word.
    readDevInfo("<extrtc>RTC läuft</extrtc><apperrors>SD-Karte</apperrors>", other);
    EXPECT_FALSE(other.externalClockRunning);
    EXPECT_FALSE(other.sdErrors);
    EXPECT_FALSE(other.sensorErrors);
    readDevInfo("<extrtc>RTC is running</extrtc>", other);
    EXPECT_TRUE(other.externalClockRunning);
}

TEST(I2cAnswer, StateMustBeExactlyOk)
{
    EXPECT_TRUE(readI2cState("<response><state>OK</state></response>"));
    EXPECT_FALSE(readI2cState("<response><state>OK </state></response>"));
    EXPECT_FALSE(readI2cState("<response><state>ok</state></response>"));
    EXPECT_FALSE(readI2cState("<response></response>"));
}

TEST(CalibrationLines, FieldsAndLimits)
{
    auto item = parseCalibrationLine("ENG;AIN1;3;1,0.5,2.0\r\n");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->type, "ENG");
    EXPECT_EQ(item->name, "AIN1");
    EXPECT_EQ(item->index, 3);
    EXPECT_TRUE(item->secondaryIsCurrent);
    item = parseCalibrationLine("ENG;AIN1;3;1,0.5\n");
    ASSERT_TRUE(item);
    EXPECT_FALSE(item->secondaryIsCurrent);
    item = parseCalibrationLine("ENG;;7;\n");  // empty fields are kept
    ASSERT_TRUE(item);
    EXPECT_EQ(item->name, "");
    EXPECT_EQ(item->index, 7);
    EXPECT_FALSE(parseCalibrationLine("ENG;AIN1;3\n"));
    EXPECT_FALSE(parseCalibrationLine("ENG;" + std::string(20, 'n') + ";3;1\n"));
    EXPECT_FALSE(parseCalibrationLine("ENGINEERING;AIN1;3;1\n"));
    EXPECT_FALSE(parseCalibrationLine("ENG;AIN1;3;" + std::string(50, '1') + "\n"));
}

TEST(ProcessTestLines, Prefixes)
{
    EXPECT_TRUE(classifyProcessTestLine("ERROR => Sensor 3\r\n").error);
    EXPECT_FALSE(classifyProcessTestLine(" ERROR => x").error);
    EXPECT_FALSE(classifyProcessTestLine("error => x").error);
    EXPECT_EQ(classifyProcessTestLine("NEED => MODE=1\r\n").neededMode, 1);
    EXPECT_EQ(classifyProcessTestLine("NEED => MODE=x").neededMode, -1);
    // Numbers past an int stay a mode other than 1, never a negative one.
    EXPECT_EQ(classifyProcessTestLine("NEED => MODE=3000000001").neededMode, INT32_MAX);
    EXPECT_EQ(classifyProcessTestLine("NEED => MODE=4294967297").neededMode, INT32_MAX);
    EXPECT_EQ(classifyProcessTestLine("all fine").neededMode, -1);
}

TEST(ClockForm, LocalTimeAndZone)
{
    vst::platform::TimeZoneInfo summer;
    summer.utcSeconds = 1720000000;  // July 2024
    summer.biasMinutes = -120;       // CEST: UTC = local - 120 min
    summer.standardBiasMinutes = -60;
    summer.hasDaylightRules = true;
    EXPECT_EQ(vst::ops::clockFormBody(summer), "mdte=1&mdt=1720007200&dttz=60&dtsw=1");
    vst::platform::TimeZoneInfo utc;
    utc.utcSeconds = 5;
    EXPECT_EQ(vst::ops::clockFormBody(utc), "mdte=1&mdt=5&dttz=0&dtsw=0");
    vst::platform::TimeZoneInfo west;
    west.utcSeconds = 100000;
    west.biasMinutes = 300;
    west.standardBiasMinutes = 300;
    EXPECT_EQ(vst::ops::clockFormBody(west), "mdte=1&mdt=82000&dttz=-300&dtsw=0");
}
