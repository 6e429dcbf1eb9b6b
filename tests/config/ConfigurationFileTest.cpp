#include <gtest/gtest.h>

#include <algorithm>

#include "MemoryFiles.h"
#include "config/ConfigurationAssistant.h"
#include "config/ConfigurationFile.h"
#include "config/LineReader.h"

using namespace vst;
using config::ConfiguredSensor;

namespace {

// The values of the key in text order.
std::vector<std::string> valuesOf(const std::string& text, std::string_view key)
{
    std::vector<std::string> out;
    config::forEachConfigLine(text, [&](const config::ConfigLine& l) {
        if (l.kind == config::ConfigLine::Kind::KeyValue && l.key == key) out.emplace_back(l.value);
    });
    return out;
}

config::ConfigurationCatalogue typeCatalogue(int channels, const char* deviceName, const char* channelName)
{
    config::ConfigurationCatalogue c;
    c.userText = "[System]\nLanguageEnglish=0\n";
    c.processText = "P=1\n";
    c.translations = {{"Geraet", "Device"}, {"Kanal", "Channel"}};
    c.moduleCount = 2;
    c.maximumSensors = 10;
    config::CatalogueSensor s;
    s.name = "S";
    s.templateText = test::sensorTemplate(4, 0, "0x30", "0x50", channels, deviceName, channelName);
    config::scanSensorTemplate(s.templateText, s);
    s.addressCount = 4;
    s.maximumOfType = 4;
    c.sensors.push_back(s);
    return c;
}

std::vector<std::string> names(const std::string& text) { return valuesOf(text, "Name"); }

ConfiguredSensor row(uint8_t type, uint8_t module, uint8_t address, uint8_t aux = 0, uint8_t variant = 0)
{
    return {"S", type, variant, module, address, aux};
}

config::ConfigurationCatalogue shippedCatalogue()
{
    return config::loadCatalogueFromFolder(config::templateFolder(VST_TEMPLATE_ROOT));
}

}  // namespace

TEST(ConfigurationWriter, RewritesTheUserTextAndAppendsTheProcessText)
{
    config::ConfigurationCatalogue c;
    c.userText = "[System]\n# note\nLanguageEnglish=0\nbare\n[Other]\nLanguageEnglish=0\n";
    c.processText = "#kept as it is\nP=1\n";
    EXPECT_EQ(config::writeConfiguration(c, {}, true),
              "[System]\n\nLanguageEnglish=1\nbare=\n[Other]\nLanguageEnglish=0\n\n#kept as it is\nP=1\n");
}

TEST(ConfigurationWriter, ReplacesTheLanguageLineOfATemplateLikeThatOfTheUserText)
{
    auto c = typeCatalogue(1, "Geraet", "Kanal #PCN");
    c.sensors[0].templateText = "[System]\nLanguageEnglish=0\n[End]\n" + c.sensors[0].templateText +
                                "[System]\nLanguageEnglish=1\n[Other]\nLanguageEnglish=7\n";
    for (bool english : {false, true}) {
        const auto text = config::writeConfiguration(c, {row(4, 0, 0x30)}, english);
        const std::string chosen = english ? "1" : "0";
        EXPECT_EQ(valuesOf(text, "LanguageEnglish"), (std::vector<std::string>{chosen, chosen, chosen, "7"}))
            << "english " << english;
    }
}

TEST(ConfigurationWriter, NumbersChannelsPerTypeAndSuffixesLaterInstances)
{
    const auto c = typeCatalogue(2, "Geraet#PCD", "Kanal #PCN#PCD");
    const auto text = config::writeConfiguration(c, {row(4, 0, 0x30, 0x50), row(4, 1, 0x31, 0x51), row(4, 0, 0x32, 0x52)},
                                                 false);
    EXPECT_EQ(names(text), (std::vector<std::string>{"Geraet", "Kanal 1", "Kanal 2", "Geraet 2", "Kanal 3 2",
                                                      "Kanal 4 2", "Geraet 3", "Kanal 5 3", "Kanal 6 3"}));
    EXPECT_EQ(valuesOf(text, "Module"), (std::vector<std::string>{"0", "1", "0"}));
    EXPECT_EQ(valuesOf(text, "SensorAddress"), (std::vector<std::string>{"0x30", "0x31", "0x32"}));
    EXPECT_EQ(valuesOf(text, "AuxAddress"), (std::vector<std::string>{"0x50", "0x51", "0x52"}));
    EXPECT_EQ(valuesOf(text, "DeviceIndex"), (std::vector<std::string>{"0", "0", "1", "1", "2", "2"}));
    EXPECT_NE(text.find("[DeviceConfig][2]\n"), std::string::npos);
    EXPECT_NE(text.find("[SensorConfig][5]\n"), std::string::npos);
    EXPECT_EQ(text.find("[SensorConfig][6]"), std::string::npos);
}

TEST(ConfigurationWriter, FillsChannelRangeOfTheSecondSensor)
{
    const auto c = typeCatalogue(3, "Wort #PCS-#PCE#PCD", "Kanal #PCN");
    const auto text = config::writeConfiguration(c, {row(4, 0, 0x30), row(4, 0, 0x31)}, false);
    const auto n = names(text);
    ASSERT_EQ(n.size(), 8u);
    EXPECT_EQ(n[0], "Wort 1-3");
    EXPECT_EQ(n[4], "Wort 4-6 2");
    EXPECT_EQ(n[7], "Kanal 6");
    EXPECT_EQ(valuesOf(text, "AuxAddress")[0], "0x0");
}

TEST(ConfigurationWriter, SensorWithoutChannelsGetsNoSuffixAndUnknownSensorsAreLeftOut)
{
    const auto c = typeCatalogue(0, "Geraet#PCD #PCS", "unused");
    const auto text = config::writeConfiguration(c, {row(4, 0, 0x30), row(9, 0, 0x31), row(4, 0, 0x32)}, true);
    EXPECT_EQ(names(text), (std::vector<std::string>{"Device 1", "Device 1"}));
    EXPECT_EQ(config::deviceInstanceSuffix(5, 0), "");
    EXPECT_EQ(config::channelInstanceSuffix(5, 0), "");
}

TEST(ConfigurationReader, ReadsBlocksBackAndReportsRefusedSensors)
{
    const auto c = typeCatalogue(1, "G", "K#PCD");
    config::SensorList list;
    const std::string text =
        "[System]\nLanguageEnglish=1\n[End]\n"
        "[DeviceConfig][0]\nModule=1\nSensorAddress=0x31\nAuxAddress=0x51\nSensorType=4\n[End]\n"
        "[DeviceConfig][1]\nModule=0\nAuxAddress=0x50\nSensorType=4\n[End]\n"            // no address
        "[DeviceConfig]\nModule=0\nSensorAddress=0x32\nSensorType=4\n[End]\n"             // no index
        "[DeviceConfig][3]\nModule=0\nSensorAddress=0x33\nAuxAddress=0x53\nSensorType=4\n[End]\n";
    auto outcome = config::readConfiguration(c, text, list);
    EXPECT_TRUE(outcome.english);
    EXPECT_TRUE(outcome.complete);
    EXPECT_EQ(list.rows(), (std::vector<ConfiguredSensor>{row(4, 1, 0x31, 0x51), row(4, 0, 0x33, 0x53)}));

    // outside the sensor's range, a slot taken twice and an unknown type: all tried, report once
    list.clear();
    outcome = config::readConfiguration(
        c,
        "[DeviceConfig][0]\nModule=0\nSensorAddress=0x30\nAuxAddress=0x50\nSensorType=4\n[End]\n"
        "[DeviceConfig][1]\nModule=0\nSensorAddress=0x30\nAuxAddress=0x50\nSensorType=4\n[End]\n"
        "[DeviceConfig][2]\nModule=0\nSensorAddress=0x40\nAuxAddress=0x50\nSensorType=4\n[End]\n"
        "[DeviceConfig][3]\nModule=0\nSensorAddress=0x31\nAuxAddress=0x70\nSensorType=4\n[End]\n"
        "[DeviceConfig][4]\nModule=0\nSensorAddress=0x31\nSensorType=8\n[End]\n"
        "[DeviceConfig][5]\nModule=1\nSensorAddress=0x31\nAuxAddress=0x51\nSensorType=4\n[End]\n",
        list);
    EXPECT_FALSE(outcome.english);
    EXPECT_FALSE(outcome.complete);
    EXPECT_EQ(list.rows(), (std::vector<ConfiguredSensor>{row(4, 0, 0x30, 0x50), row(4, 1, 0x31, 0x51)}));
}

TEST(ConfigurationReader, EnergySensorVariantComesFromItsCalibrationRegister)
{
    const auto c = shippedCatalogue();
    config::SensorList list;
    const std::string text =
        "[DeviceConfig][0]\nModule=0\nSensorAddress=0x20\nAuxAddress=0x50\nSensorType=1\n[End]\n"
        "[DeviceConfig][1]\nModule=0\nSensorAddress=0x21\nAuxAddress=0x51\nSensorType=1\n[End]\n"
        "[SensorConfig][0]\nDeviceIndex=1\nKalibDatentyp=2\nKalibRegister=E618\nKalibDaten=1\n[End]\n"
        "[SensorConfig][1]\nDeviceIndex=0\nKalibDatentyp=0\nKalibRegister=E618\nKalibDaten=1\n[End]\n";
    EXPECT_TRUE(config::readConfiguration(c, text, list).complete);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.at(0).variant, 0);
    EXPECT_EQ(list.at(1).variant, 1);
    EXPECT_EQ(list.at(1).name, c.findSensor(1, 1)->name);
}

TEST(ConfigurationFile, WriteThenReadGivesBackTheSensorList)
{
    config::ConfigurationAssistant composer("", true);
    ASSERT_EQ(composer.loadCatalogueFromFolder(config::templateFolder(VST_TEMPLATE_ROOT)), config::AssistantResult::Ok);
    const auto& c = composer.catalogue();
    ASSERT_EQ(composer.selectBaseDevice(*c.baseDeviceIndex("Vestrolan Industrie")), config::AssistantResult::Ok);
    ASSERT_EQ(composer.addExtension(*c.extensionIndex("Klima")), config::AssistantResult::Ok);
    ASSERT_EQ(composer.addSensor(*c.sensorIndex("Klima SHT")), config::AssistantResult::Ok);
    ASSERT_TRUE(composer.sensors().moveUp(composer.sensors().size() - 1));
    composer.setEnglish(true);
    const std::string text = composer.finish();

    config::ConfigurationAssistant reader(text, true);
    ASSERT_EQ(reader.loadCatalogueFromFolder(config::templateFolder(VST_TEMPLATE_ROOT)), config::AssistantResult::Ok);
    EXPECT_EQ(reader.readInput(), config::AssistantResult::Ok);
    EXPECT_TRUE(reader.english());
    EXPECT_EQ(reader.sensors().rows(), composer.sensors().rows());
    EXPECT_EQ(reader.finish(), text);
}

TEST(ConfigurationFile, LanguageSwitchTranslatesThereAndBack)
{
    const auto c = shippedCatalogue();
    config::SensorList list;
    ASSERT_EQ(list.addExtension(c, c.extensions[*c.extensionIndex("Energie 3-phasig 333mV")]), config::Placement::Placed);
    ASSERT_EQ(list.addExtension(c, c.extensions[*c.extensionIndex("Klima")]), config::Placement::Placed);
    const std::string german = config::writeConfiguration(c, list.rows(), false);
    const std::string english = config::writeConfiguration(c, list.rows(), true);

    EXPECT_EQ(config::switchConfigurationLanguage(c, german, true), english);
    EXPECT_EQ(config::switchConfigurationLanguage(c, english, false), german);
    // switching to the language the text already has changes nothing
    EXPECT_EQ(config::switchConfigurationLanguage(c, german, false), german);
    EXPECT_EQ(config::switchConfigurationLanguage(c, english, true), english);

    const auto n = names(english);
    EXPECT_NE(std::find(n.begin(), n.end(), "Energy meter 2"), n.end());
    EXPECT_NE(std::find(n.begin(), n.end(), "Surface temperature 1"), n.end());
    EXPECT_NE(std::find(n.begin(), n.end(), "Ger\xE4tetemperatur"), n.end());  // process names stay
}
