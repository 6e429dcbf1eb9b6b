#include "config/ConfigurationFile.h"

#include <array>
#include <cstdint>
#include <cstdio>

#include "config/LineReader.h"

namespace vst::config {
namespace {

constexpr std::string_view kSystem = "System";
constexpr std::string_view kDeviceConfig = "DeviceConfig";
constexpr std::string_view kSensorConfig = "SensorConfig";
constexpr std::string_view kEnd = "End";
constexpr std::string_view kLanguageKey = "LanguageEnglish";
constexpr uint16_t kVariantRegister = 0xE618;
constexpr uint8_t kEnergySensorType = 1;
constexpr uint8_t kMissing = 255;

std::string decimal(long value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%ld", value);
    return text;
}

std::string hexadecimal(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

void replaceAll(std::string& text, std::string_view what, std::string_view with)
{
    size_t pos = 0;
    while ((pos = text.find(what, pos)) != std::string::npos) {
        text.replace(pos, what.size(), with);
        pos += with.size();
    }
}

bool contains(std::string_view text, std::string_view what) { return text.find(what) != std::string_view::npos; }

// Writes one line in its canonical form: headers as "[name]", lines without a key as a bare line
// feed, everything else as key=value.
void writeLine(std::string& out, const ConfigLine& line, std::string_view value)
{
    switch (line.kind) {
    case ConfigLine::Kind::Section:
        out += '[';
        out += line.name;
        out += "]\n";
        return;
    case ConfigLine::Kind::Comment:
        out += '\n';
        return;
    case ConfigLine::Kind::KeyValue:
        if (line.key.empty()) {
            out += '\n';
            return;
        }
        out += line.key;
        out += '=';
        out += value;
        out += '\n';
        return;
    }
}

void writeLine(std::string& out, const ConfigLine& line) { writeLine(out, line, line.value); }

std::string_view languageValue(bool english) { return english ? "1" : "0"; }

// The "LanguageEnglish" line of a "System" section, in the user text and in a sensor template alike.
bool isLanguageLine(std::string_view section, const ConfigLine& line)
{
    return line.kind == ConfigLine::Kind::KeyValue && section == kSystem && line.key == kLanguageKey;
}

}  // namespace

std::string deviceInstanceSuffix(int counter, int channelCount)
{
    if (channelCount <= 0 || counter < channelCount) return std::string();
    return " " + decimal(counter / channelCount + 1);
}

std::string channelInstanceSuffix(int counter, int channelCount)
{
    if (channelCount <= 0 || counter <= channelCount) return std::string();
    return " " + decimal((counter - 1) / channelCount + 1);
}

std::string writeConfiguration(const ConfigurationCatalogue& catalogue, const std::vector<ConfiguredSensor>& sensors,
                               bool english)
{
    std::string out;
    std::string_view section;
    forEachConfigLine(catalogue.userText, [&](const ConfigLine& line) {
        if (line.kind == ConfigLine::Kind::Section) section = line.name;
        if (isLanguageLine(section, line)) {
            writeLine(out, line, languageValue(english));
        } else {
            writeLine(out, line);
        }
    });
    out += '\n';
    out += catalogue.processText;

    std::array<int, 256> channelCounter{};  // per sensor type
    int deviceIndex = 0;
    int sensorIndex = 0;
    for (const ConfiguredSensor& sensor : sensors) {
        const CatalogueSensor* entry = catalogue.findSensor(sensor.sensorType, sensor.variant);
        if (!entry) continue;
        int& counter = channelCounter[entry->sensorType];
        const int channels = entry->channelCount;
        section = std::string_view();
        forEachConfigLine(entry->templateText, [&](const ConfigLine& line) {
            if (line.kind == ConfigLine::Kind::Section) {
                section = line.name;
                ConfigLine header = line;
                std::string indexed;
                if (section == kDeviceConfig) {
                    indexed = indexedSectionName(section, deviceIndex++);
                    header.name = indexed;
                } else if (section == kSensorConfig) {
                    indexed = indexedSectionName(section, sensorIndex++);
                    header.name = indexed;
                }
                writeLine(out, header);
                return;
            }
            if (line.kind != ConfigLine::Kind::KeyValue) {
                writeLine(out, line);
                return;
            }
            const bool inDevice = section == kDeviceConfig;
            const bool inSensor = section == kSensorConfig;
            if (isLanguageLine(section, line)) {
                writeLine(out, line, languageValue(english));
            } else if (inDevice && line.key == "Module") {
                writeLine(out, line, decimal(sensor.module));
            } else if (inDevice && line.key == "SensorAddress") {
                writeLine(out, line, hexadecimal(sensor.address));
            } else if (inDevice && line.key == "AuxAddress") {
                writeLine(out, line, hexadecimal(sensor.auxAddress));
            } else if (inSensor && line.key == "DeviceIndex") {
                writeLine(out, line, decimal(deviceIndex - 1));
            } else if ((inDevice || inSensor) && line.key == "Name") {
                if (inSensor && (contains(line.value, "#PCN") || contains(line.value, "#PCD"))) ++counter;
                std::string name = english ? translateToEnglish(catalogue, line.value) : std::string(line.value);
                replaceAll(name, "#PCS", decimal(counter + 1));
                replaceAll(name, "#PCE", decimal(static_cast<long>(counter) + channels));
                replaceAll(name, "#PCN", decimal(counter));
                replaceAll(name, "#PCD",
                           inDevice ? deviceInstanceSuffix(counter, channels) : channelInstanceSuffix(counter, channels));
                writeLine(out, line, name);
            } else {
                writeLine(out, line);
            }
        });
    }
    return out;
}

std::string switchConfigurationLanguage(const ConfigurationCatalogue& catalogue, std::string_view configuration,
                                        bool english)
{
    std::string out;
    std::string_view section;
    bool textIsEnglish = false;
    forEachConfigLine(configuration, [&](const ConfigLine& line) {
        if (line.kind == ConfigLine::Kind::Section) {
            section = splitSectionHeader(line.name).section;
            writeLine(out, line);
            return;
        }
        if (line.kind != ConfigLine::Kind::KeyValue) {
            writeLine(out, line);
            return;
        }
        if (section == kSystem && line.key == kLanguageKey) {
            textIsEnglish = line.value == "1";
            writeLine(out, line, languageValue(english));
        } else if ((section == kDeviceConfig || section == kSensorConfig) && line.key == "Name" &&
                   english != textIsEnglish) {
            writeLine(out, line,
                      english ? translateToEnglish(catalogue, line.value) : translateToGerman(catalogue, line.value));
        } else {
            writeLine(out, line);
        }
    });
    return out;
}

ReadOutcome readConfiguration(const ConfigurationCatalogue& catalogue, std::string_view configuration,
                              SensorList& list)
{
    struct PendingSensor {
        int32_t deviceIndex;
        uint8_t sensorType;
        uint8_t variant;
        uint8_t module;
        uint8_t address;
        uint8_t auxAddress;
    };
    struct DeviceBlock {
        uint8_t module = kMissing;
        uint8_t address = 0;
        uint8_t auxAddress = 0;
        uint8_t sensorType = kMissing;
    };
    struct ChannelBlock {
        uint8_t deviceIndex = kMissing;
        int32_t calibrationType = 0;
        uint16_t calibrationRegister = 0;
        uint16_t calibrationData = 0;
    };

    ReadOutcome outcome;
    std::vector<PendingSensor> pending;
    std::string_view section;
    int32_t index = -1;
    DeviceBlock device;
    ChannelBlock channel;

    forEachConfigLine(configuration, [&](const ConfigLine& line) {
        if (line.kind == ConfigLine::Kind::Section) {
            if (line.name != kEnd) {
                const SectionHeader header = splitSectionHeader(line.name);
                section = header.section;
                index = header.index;
                device = DeviceBlock();
                channel = ChannelBlock();
                return;
            }
            if (section == kDeviceConfig) {
                if (device.module != kMissing && device.address != 0 && device.sensorType != kMissing && index != -1) {
                    pending.push_back(
                        {index, device.sensorType, 0, device.module, device.address, device.auxAddress});
                }
                device = DeviceBlock();
            } else if (section == kSensorConfig) {
                if (channel.deviceIndex != kMissing && channel.calibrationType != 0) {
                    for (PendingSensor& sensor : pending) {
                        if (sensor.deviceIndex != channel.deviceIndex) continue;
                        if (sensor.sensorType == kEnergySensorType && channel.calibrationRegister == kVariantRegister) {
                            sensor.variant = static_cast<uint8_t>(channel.calibrationData & 1u);
                        }
                        break;
                    }
                }
                channel = ChannelBlock();
            }
            return;
        }
        if (line.kind != ConfigLine::Kind::KeyValue) return;
        if (section == kSystem) {
            if (line.key == kLanguageKey && line.value == "1") outcome.english = true;
        } else if (section == kDeviceConfig) {
            if (line.key == "Module") device.module = static_cast<uint8_t>(parseDecimal(line.value));
            else if (line.key == "SensorAddress") device.address = static_cast<uint8_t>(parseHex(line.value));
            else if (line.key == "AuxAddress") device.auxAddress = static_cast<uint8_t>(parseHex(line.value));
            else if (line.key == "SensorType") device.sensorType = static_cast<uint8_t>(parseDecimal(line.value));
        } else if (section == kSensorConfig) {
            if (line.key == "DeviceIndex") channel.deviceIndex = static_cast<uint8_t>(parseDecimal(line.value));
            else if (line.key == "KalibDatentyp") channel.calibrationType = parseDecimal(line.value);
            else if (line.key == "KalibRegister") channel.calibrationRegister = static_cast<uint16_t>(parseHex(line.value));
            else if (line.key == "KalibDaten") channel.calibrationData = static_cast<uint16_t>(parseHex(line.value));
        }
    });

    for (const PendingSensor& sensor : pending) {
        const Placement result = list.addWithSettings(catalogue, sensor.sensorType, sensor.variant, sensor.module,
                                                      sensor.address, sensor.auxAddress);
        if (result != Placement::Placed) outcome.complete = false;
    }
    return outcome;
}

}  // namespace vst::config
