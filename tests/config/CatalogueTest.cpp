#include <gtest/gtest.h>

#include <filesystem>

#include "MemoryFiles.h"
#include "config/ConfigurationAssistant.h"
#include "config/ConfigurationCatalogue.h"
#include "config/ConfigurationFile.h"
#include "config/LineReader.h"
#include "platform/FileSystem.h"
#include "support/TempDir.h"

using namespace vst;
using config::ConfigLine;

namespace {

std::vector<std::string> describeLines(std::string_view text)
{
    std::vector<std::string> out;
    config::forEachConfigLine(text, [&](const ConfigLine& l) {
        switch (l.kind) {
        case ConfigLine::Kind::Section: out.push_back("S:" + std::string(l.name)); break;
        case ConfigLine::Kind::Comment: out.push_back("C"); break;
        case ConfigLine::Kind::KeyValue: out.push_back(std::string(l.key) + "|" + std::string(l.value)); break;
        }
    });
    return out;
}

config::ConfigurationCatalogue loadWithSetup(const std::string& setupTail)
{
    auto files = test::smallCatalogueFiles();
    files.files["setup.ini"] =
        "UserFile=user.ini\nProcessFile=process.ini\nProcessLangFile=lang.ini\nI2CModules=2\nMaxSensor=6\n" + setupTail;
    return config::loadCatalogue(files);
}

}  // namespace

TEST(LineReader, ClassifiesLinesAndIgnoresAnUnterminatedLastLine)
{
    EXPECT_EQ(describeLines("[System]\n#note\nKey=a=b\nbare\n=v\n\nlast"),
              (std::vector<std::string>{"S:System", "C", "Key|a=b", "bare|", "|v", "|"}));
    EXPECT_EQ(describeLines("[\n[x\n"), (std::vector<std::string>{"S:", "S:"}));
}

TEST(LineReader, SplitsIndexedHeadersAndReadsLeadingNumbers)
{
    auto h = config::splitSectionHeader("DeviceConfig][12");
    EXPECT_EQ(h.section, "DeviceConfig");
    EXPECT_EQ(h.index, 12);
    EXPECT_EQ(config::splitSectionHeader("End").index, -1);
    EXPECT_EQ(config::indexedSectionName("SensorConfig", 3), "SensorConfig][3");

    EXPECT_EQ(config::parseDecimal("  42abc"), 42);
    EXPECT_EQ(config::parseDecimal("x1"), 0);
    EXPECT_EQ(config::parseDecimal("99999999999"), INT32_MAX);
    EXPECT_EQ(config::parseHex("48"), 0x48u);
    EXPECT_EQ(config::parseHex("0x4A"), 0x4Au);
    EXPECT_EQ(config::parseHex(" e618 "), 0xE618u);
    EXPECT_EQ(config::parseHex("0x"), 0u);
}

TEST(Catalogue, LoadsSensorsFromTheirTemplates)
{
    auto files = test::smallCatalogueFiles();
    const auto c = config::loadCatalogue(files);
    ASSERT_TRUE(c.usable());
    EXPECT_EQ(c.moduleCount, 2);
    EXPECT_EQ(c.maximumSensors, 6);
    ASSERT_EQ(c.sensors.size(), 2u);
    const auto& a = c.sensors[0];
    EXPECT_EQ(a.name, "A");
    EXPECT_EQ(a.sensorType, 2);
    EXPECT_EQ(a.defaultModule, 1);
    EXPECT_EQ(a.baseAddress, 0x40);
    EXPECT_FALSE(a.hasAuxAddress());
    EXPECT_EQ(a.addressCount, 2);
    EXPECT_EQ(a.maximumOfType, 3);
    EXPECT_EQ(a.channelCount, 2);
    // "SensorAddress=40" without "0x" is hexadecimal as well
    EXPECT_EQ(c.sensors[1].baseAddress, 0x40);
    EXPECT_EQ(c.sensors[1].baseAuxAddress, 0x60);
    EXPECT_EQ(c.extensions[1].sensors, (std::vector<size_t>{0, 0, 0, 0}));
    EXPECT_EQ(c.baseDevices[0].extensions, (std::vector<size_t>{0}));
    EXPECT_EQ(c.userText, "[System]\nLanguageEnglish=0\n[End]\n");
}

TEST(Catalogue, SensorLinesNeedFiveFieldsAndIgnoreMore)
{
    const auto c = loadWithSetup("Sensor=Four;a.ini;0;2\nSensor=Six;a.ini;1;2;5;extra\nExtension=E;Six\nDevice=D;E\n");
    ASSERT_EQ(c.sensors.size(), 1u);
    EXPECT_EQ(c.sensors[0].name, "Six");
    EXPECT_EQ(c.sensors[0].variant, 1);
    EXPECT_EQ(c.sensors[0].maximumOfType, 5);
}

TEST(Catalogue, GroupsReferOnlyToEntriesAboveAndKeepTenNames)
{
    const auto c = loadWithSetup("Extension=Early;A,B\nSensor=A;a.ini;0;2;3\n"
                                 "Extension=Many;A,A,A,A,A,A,A,A,A,A,A\nExtension=Mixed;X,A,,A\n"
                                 "Extension=NoFields\nDevice=D;Mixed,Later,Many\nExtension=Later;A\n");
    ASSERT_EQ(c.extensions.size(), 4u);
    EXPECT_TRUE(c.extensions[0].sensors.empty());
    EXPECT_EQ(c.extensions[1].sensors.size(), 10u);
    EXPECT_EQ(c.extensions[2].sensors, (std::vector<size_t>{0, 0}));
    ASSERT_EQ(c.baseDevices.size(), 1u);
    EXPECT_EQ(c.baseDevices[0].extensions, (std::vector<size_t>{2, 1}));
}

TEST(Catalogue, CountsChannelNamesWithPlaceholders)
{
    config::CatalogueSensor s;
    config::scanSensorTemplate("[DeviceConfig]\nName=Dev #PCN\nSensorType=7\n[End]\n"
                               "[SensorConfig]\nName=T #PCN\nName=U#PCD\nName=V #PCN#PCD\nName=Plain\n"
                               "Unit=#PCN\n[End]\n[Other]\nName=W #PCN\nModule=3\n",
                               s);
    EXPECT_EQ(s.channelCount, 3);
    EXPECT_EQ(s.sensorType, 7);
    EXPECT_EQ(s.defaultModule, 0);
}

TEST(Catalogue, IsUnusableWithoutAnyRequiredPart)
{
    EXPECT_TRUE(loadWithSetup("Sensor=A;a.ini;0;2;3\nExtension=E;A\nDevice=D;E\n").usable());
    EXPECT_FALSE(loadWithSetup("Sensor=A;a.ini;0;2;3\nExtension=E;A\n").usable());
    EXPECT_FALSE(loadWithSetup("Sensor=A;a.ini;0;2;3\nExtension=E;A\nDevice=D;E\nMaxSensor=0\n").usable());

    auto files = test::smallCatalogueFiles();
    files.files.erase("process.ini");
    EXPECT_FALSE(config::loadCatalogue(files).usable());
    files = test::smallCatalogueFiles();
    files.files["lang.ini"] = "# only a comment\n[Section]\nNoValue=\n";
    EXPECT_FALSE(config::loadCatalogue(files).usable());
    EXPECT_FALSE(config::loadCatalogue(test::MemoryFiles{}).usable());
}

TEST(Catalogue, TranslatesTheFirstMatchingPrefixBothWays)
{
    config::ConfigurationCatalogue c;
    c.translations = {{"Energiez\xE4hler", "Energy meter"}, {"Energie", "Energy"}, {"Strom", "Current"}};
    EXPECT_EQ(config::translateToEnglish(c, "Energiez\xE4hler 2"), "Energy meter 2");
    EXPECT_EQ(config::translateToEnglish(c, "Energie 3"), "Energy 3");
    EXPECT_EQ(config::translateToEnglish(c, "Spannung"), "Spannung");
    EXPECT_EQ(config::translateToEnglish(c, "Ene"), "Ene");
    EXPECT_EQ(config::translateToGerman(c, "Energy meter"), "Energiez\xE4hler");
    EXPECT_EQ(config::translateToGerman(c, "Current 4"), "Strom 4");
}

TEST(Catalogue, ReadsAFolderWithWindowsLineEnds)
{
    test::TempDir dir;
    dir.write("setup.ini", "UserFile=u.ini\r\nProcessFile=p.ini\r\nProcessLangFile=l.ini\r\nI2CModules=1\r\n"
                           "MaxSensor=4\r\nSensor=S;s.ini;0;1;1\r\nExtension=E;S\r\nDevice=D;E\r\n");
    dir.write("u.ini", "[System]\r\nLanguageEnglish=0\r\n");
    dir.write("p.ini", "P=1");  // no line end: read as a line all the same
    dir.write("l.ini", "A=B\r\n");
    dir.write("s.ini", "[DeviceConfig]\r\nSensorAddress=0x10\r\n");
    const auto c = config::loadCatalogueFromFolder(dir.str());
    EXPECT_TRUE(c.usable());
    EXPECT_EQ(c.userText, "[System]\nLanguageEnglish=0\n");
    EXPECT_EQ(c.processText, "P=1\n");
    EXPECT_EQ(c.sensors.at(0).baseAddress, 0x10);
    EXPECT_EQ(config::templateFolder("/srv/snr"), std::string("/srv/snr") + platform::kPathSeparator + "_Vorlagen");
}

TEST(Catalogue, AFileLineEndingCrCrLfLosesOneCr)
{
    // The file is read in text mode, which takes CR LF apart once; the line reader takes nothing more.
    test::TempDir dir;
    dir.write("setup.ini", "UserFile=u.ini\nProcessFile=p.ini\nProcessLangFile=l.ini\nI2CModules=1\nMaxSensor=4\n"
                           "Sensor=S;s.ini;0;1;1\nExtension=E;S\nDevice=D;E\n");
    dir.write("u.ini", "[System]\r\nNote=a\r\r\nPlain=b\r\n");
    dir.write("p.ini", "P=1\r\r\n");
    dir.write("l.ini", "A=B\r\n");
    dir.write("s.ini", "[DeviceConfig]\r\nSensorAddress=0x10\r\n");
    const auto c = config::loadCatalogueFromFolder(dir.str());
    ASSERT_TRUE(c.usable());
    EXPECT_EQ(c.userText, "[System]\nNote=a\r\nPlain=b\n");
    EXPECT_EQ(describeLines(c.userText), (std::vector<std::string>{"S:System", "Note|a\r", "Plain|b"}));
    const std::string written = config::writeConfiguration(c, {}, false);
    EXPECT_EQ(written, "[System]\nNote=a\r\nPlain=b\n\nP=1\r\n");
}

TEST(Catalogue, ShippedTemplateFolderIsComplete)
{
    const auto c = config::loadCatalogueFromFolder(config::templateFolder(VST_TEMPLATE_ROOT));
    ASSERT_TRUE(c.usable());
    EXPECT_GE(c.sensors.size(), 5u);
    for (const auto& s : c.sensors) EXPECT_NE(s.baseAddress, 0) << s.name;  // every template was found
    for (const auto& e : c.extensions) EXPECT_FALSE(e.sensors.empty()) << e.name;
    for (const auto& d : c.baseDevices) EXPECT_FALSE(d.extensions.empty()) << d.name;
}

TEST(Catalogue, SensorsWithUnreadableTemplatesAreNotOfferedAndBytesAreClamped)
{
    test::TempDir dir;
    dir.write("setup.ini", "UserFile=u.ini\nProcessFile=p.ini\nProcessLangFile=l.ini\nI2CModules=1\nMaxSensor=4\n"
                           "Sensor=S;s.ini;300;1;1\nSensor=Missing;m.ini;0;1;1\nSensor=Again;m.ini;1;1;1\n"
                           "Sensor=Folder;d.ini;0;1;1\nExtension=E;S,Missing,Folder\nDevice=D;E\n");
    dir.write("u.ini", "[System]\n");
    dir.write("p.ini", "P=1\n");
    dir.write("l.ini", "A=B\n");
    dir.write("s.ini", "[DeviceConfig]\nModule=999\nSensorAddress=0x1FF\nAuxAddress=100\nSensorType=70000\n");
    std::filesystem::create_directory(dir.path() / "d.ini");
    const auto c = config::loadCatalogueFromFolder(dir.str());
    ASSERT_EQ(c.sensors.size(), 1u);
    EXPECT_EQ(c.sensors[0].name, "S");
    EXPECT_EQ(c.extensions.at(0).sensors, (std::vector<size_t>{0}));
    EXPECT_EQ(c.unreadableTemplates, (std::vector<std::string>{"m.ini", "d.ini"}));
    // Numbers held in a byte are clamped, not cut to their low bits.
    EXPECT_EQ(c.sensors[0].variant, 255);
    EXPECT_EQ(c.sensors[0].defaultModule, 255);
    EXPECT_EQ(c.sensors[0].baseAddress, 0xFF);
    EXPECT_EQ(c.sensors[0].baseAuxAddress, 0xFF);
    EXPECT_EQ(c.sensors[0].sensorType, 255);

    config::ConfigurationAssistant assistant("", true);
    EXPECT_EQ(assistant.loadCatalogueFromFolder(dir.str()), config::AssistantResult::Ok);
    EXPECT_EQ(assistant.catalogueNotices(),
              (std::vector<std::string>{
                  "Die Vorlage m.ini konnte nicht gelesen werden. Der Sensor wird nicht angeboten.",
                  "Die Vorlage d.ini konnte nicht gelesen werden. Der Sensor wird nicht angeboten."}));
}
