#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace vst::app;

namespace {

AppSettings parse(std::string_view text)
{
    AppSettings s;
    parseCommandLine(text, s);
    return s;
}

}  // namespace

TEST(CommandLine, FullProductionExample)
{
    const auto s = parse("-VAZIR -PROREP -SNR=\"C:\\Produktion Daten\" -FW=C:\\Firmware -NETCARD=1 "
                         "-DSTIP=192.168.0.200");
    EXPECT_TRUE(s.internalMode);
    EXPECT_EQ(s.operatingMode, OperatingMode::Production);
    EXPECT_EQ(s.serialNumberPath, "C:\\Produktion Daten");
    EXPECT_EQ(s.firmwarePath, "C:\\Firmware");
    EXPECT_EQ(s.networkCardIndex, 1);
    EXPECT_EQ(s.targetAddress, 0xC0A800C8u);
    EXPECT_FALSE(s.i2cTest);
    EXPECT_FALSE(s.noSerialLog);
}

TEST(CommandLine, EmptyLineKeepsDefaults)
{
    const auto s = parse("");
    EXPECT_FALSE(s.internalMode);
    EXPECT_EQ(s.operatingMode, OperatingMode::Service);
    EXPECT_EQ(s.networkCardIndex, -1);
    EXPECT_EQ(s.targetAddress, 0u);
    EXPECT_TRUE(s.firmwarePath.empty());
}

TEST(CommandLine, NamesMatchByPrefixInKeywordOrderAndCaseSensitively)
{
    EXPECT_EQ(parse("-FWX=/fw").firmwarePath, "/fw");
    EXPECT_EQ(parse("-NETCARDS=3").networkCardIndex, 3);
    EXPECT_EQ(parse("-DLX").operatingMode, OperatingMode::Endurance);
    // NOSNRLOG is tested last, but nothing before it is a prefix of it.
    EXPECT_TRUE(parse("-NOSNRLOGGING").noSerialLog);
    EXPECT_FALSE(parse("-vazir").internalMode);
    EXPECT_TRUE(parse("-I2C").i2cTest);
    // Unknown names are ignored without effect.
    const auto s = parse("-HELP -X=1 -SNRX=/records");
    EXPECT_EQ(s.serialNumberPath, "/records");
    EXPECT_FALSE(s.internalMode);
}

TEST(CommandLine, LaterOptionWinsAndModesShareOneMember)
{
    EXPECT_EQ(parse("-VAZIR -LAGER -PROREP").operatingMode, OperatingMode::Production);
    EXPECT_EQ(parse("-PROREP -DL").operatingMode, OperatingMode::Endurance);
    EXPECT_EQ(parse("-FW=/a -FW=/b").firmwarePath, "/b");
    EXPECT_EQ(parse("-NETCARD=4 -NETCARD=2").networkCardIndex, 2);
}

TEST(CommandLine, QuotingRules)
{
    // Quoted with a blank inside: the text between the quotes.
    EXPECT_EQ(parse("-SNR=\"D:\\Prod Daten\" -I2C").serialNumberPath, "D:\\Prod Daten");
    // Characters after the closing quote: the quotes stay part of the value.
    EXPECT_EQ(parse("-SNR=\"D:\\a b\"x -I2C").serialNumberPath, "\"D:\\a b\"x");
    // Unquoted: the value ends at the first blank; the rest up to the next dash is skipped.
    const auto s = parse("-SNR=D:\\Prod Daten -FW=E:\\fw");
    EXPECT_EQ(s.serialNumberPath, "D:\\Prod");
    EXPECT_EQ(s.firmwarePath, "E:\\fw");
    // A quote that is never closed runs to the end of the text.
    EXPECT_EQ(parse("-SNR=\"D:\\x -FW=y").serialNumberPath, "\"D:\\x -FW=y");
    // Only a quote right after the equals sign opens a quotation.
    EXPECT_EQ(parse("-SNR=a\"b c\" -I2C").serialNumberPath, "a\"b");
}

TEST(CommandLine, DashInsideSkippedWordStartsOption)
{
    const auto s = parse("junk-VAZIR garbage-DL");
    EXPECT_TRUE(s.internalMode);
    EXPECT_EQ(s.operatingMode, OperatingMode::Endurance);
}

TEST(CommandLine, ValuesWhereNoneAreTakenAndMissingValues)
{
    EXPECT_TRUE(parse("-VAZIR=no").internalMode);
    EXPECT_TRUE(parse("-FW -SNR -IPE").firmwarePath.empty());
    EXPECT_EQ(parse("-FW=/keep -FW").firmwarePath, "/keep");
    EXPECT_EQ(parse("-DSTIP").targetAddress, 0u);
    EXPECT_EQ(parse("-IPE=/opt/prog/ipe").programmerPath, "/opt/prog/ipe");
}

TEST(CommandLine, NetcardLeadingNumberRule)
{
    EXPECT_EQ(parse("-NETCARD").networkCardIndex, 0);
    EXPECT_EQ(parse("-NETCARD=2abc").networkCardIndex, 2);
    EXPECT_EQ(parse("-NETCARD=abc").networkCardIndex, 0);
    EXPECT_EQ(parse("-NETCARD=-1").networkCardIndex, -1);
    EXPECT_EQ(parse("-NETCARD=+7").networkCardIndex, 7);
    EXPECT_EQ(parse("-NETCARD=\"  5\"").networkCardIndex, 5);
}

TEST(CommandLine, DstipThroughInetAddrRules)
{
    EXPECT_EQ(parse("-DSTIP=10.0.0.1").targetAddress, 0x0A000001u);
    EXPECT_EQ(parse("-DSTIP=nonsense").targetAddress, 0xFFFFFFFFu);
    EXPECT_EQ(parse("-DSTIP=300.1.1.1").targetAddress, 0xFFFFFFFFu);

    EXPECT_EQ(parseInetAddress("192.168.0.200"), 0xC0A800C8u);
    EXPECT_EQ(parseInetAddress("127.1"), 0x7F000001u);
    EXPECT_EQ(parseInetAddress("10.1.2"), 0x0A010002u);
    EXPECT_EQ(parseInetAddress("0x7f.0.0.010"), 0x7F000008u);
    EXPECT_EQ(parseInetAddress("3232235720"), 0xC0A800C8u);
    EXPECT_EQ(parseInetAddress("1.2.3.4 trailing"), 0x01020304u);
    for (const char* bad : {"", "1.2.3.4.5", "1..2", "1.2.3.", "08.1.1.1", "1.2.3.256", "1.2.3.4x", "a.b.c.d"}) {
        EXPECT_EQ(parseInetAddress(bad), 0xFFFFFFFFu) << bad;
    }
}
