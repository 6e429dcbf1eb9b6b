#include "config/ConfigurationCatalogue.h"

#include <algorithm>

#include "app/Records.h"
#include "config/LineReader.h"
#include "platform/FileSystem.h"

namespace vst::config {
namespace {

std::vector<std::string_view> splitFields(std::string_view text, char separator, size_t limit)
{
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (fields.size() < limit) {
        const size_t end = text.find(separator, pos);
        if (end == std::string_view::npos) {
            fields.push_back(text.substr(pos));
            break;
        }
        fields.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return fields;
}

template <typename Entry>
std::optional<size_t> indexByName(const std::vector<Entry>& entries, std::string_view name)
{
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].name == name) return i;
    }
    return std::nullopt;
}

// Numbers held in a byte are clamped to what the byte holds, not cut to their low bits.
uint8_t byteValue(int64_t value) { return static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 0xFF)); }

void addTranslations(std::string_view text, std::vector<TranslationPair>& out)
{
    forEachConfigLine(text, [&](const ConfigLine& line) {
        if (line.kind != ConfigLine::Kind::KeyValue || line.key.empty() || line.value.empty()) return;
        out.push_back({std::string(line.key), std::string(line.value)});
    });
}

void addSensor(const CatalogueFileSource& files, std::string_view value, ConfigurationCatalogue& catalogue)
{
    // name;file;variant;address count;maximum of type - anything after the fifth field is ignored
    const auto fields = splitFields(value, ';', 6);
    if (fields.size() < 5) return;
    // A sensor without its template would be written as nothing: it is not offered.
    auto templateText = files.readIfReadable(fields[1]);
    if (!templateText) {
        auto& unreadable = catalogue.unreadableTemplates;
        if (std::find(unreadable.begin(), unreadable.end(), fields[1]) == unreadable.end()) {
            unreadable.emplace_back(fields[1]);
        }
        return;
    }
    CatalogueSensor sensor;
    sensor.name = std::string(fields[0]);
    sensor.templateText = std::move(*templateText);
    scanSensorTemplate(sensor.templateText, sensor);
    sensor.variant = byteValue(parseDecimal(fields[2]));
    sensor.addressCount = parseDecimal(fields[3]);
    sensor.maximumOfType = parseDecimal(fields[4]);
    catalogue.sensors.push_back(std::move(sensor));
}

// "name;member,member,..." - members are looked up among the entries defined so far.
template <typename Entry, typename Member>
void addGroup(std::string_view value, const std::vector<Member>& members, std::vector<Entry>& out,
              std::vector<size_t> Entry::*references)
{
    const auto fields = splitFields(value, ';', 2);
    if (fields.size() < 2) return;
    Entry entry;
    entry.name = std::string(fields[0]);
    for (std::string_view name : splitFields(fields[1], ',', kMaxReferences)) {
        if (auto index = indexByName(members, name)) (entry.*references).push_back(*index);
    }
    out.push_back(std::move(entry));
}

}  // namespace

bool ConfigurationCatalogue::usable() const
{
    return !userText.empty() && !processText.empty() && !translations.empty() && moduleCount > 0 &&
           maximumSensors > 0 && !sensors.empty() && !extensions.empty() && !baseDevices.empty();
}

const CatalogueSensor* ConfigurationCatalogue::findSensor(uint8_t sensorType, uint8_t variant) const
{
    for (const auto& sensor : sensors) {
        if (sensor.sensorType == sensorType && sensor.variant == variant) return &sensor;
    }
    return nullptr;
}

std::optional<size_t> ConfigurationCatalogue::sensorIndex(std::string_view name) const
{
    return indexByName(sensors, name);
}

std::optional<size_t> ConfigurationCatalogue::extensionIndex(std::string_view name) const
{
    return indexByName(extensions, name);
}

std::optional<size_t> ConfigurationCatalogue::baseDeviceIndex(std::string_view name) const
{
    return indexByName(baseDevices, name);
}

uint8_t ConfigurationCatalogue::highestSensorType() const
{
    uint8_t highest = 0;
    for (const auto& sensor : sensors) highest = std::max(highest, sensor.sensorType);
    return highest;
}

std::string FolderFileSource::pathOf(std::string_view name) const
{
    std::string relative(name);
    std::replace_if(
        relative.begin(), relative.end(), [](char c) { return c == '\\' || c == '/'; }, platform::kPathSeparator);
    return platform::joinPath(folder_, relative);
}

std::string FolderFileSource::read(std::string_view name) const { return app::readTextFile(pathOf(name)); }

std::optional<std::string> FolderFileSource::readIfReadable(std::string_view name) const
{
    const std::string path = pathOf(name);
    if (!platform::readFileBytes(platform::osPath(path))) return std::nullopt;
    return app::readTextFile(path);
}

std::string templateFolder(std::string_view serialNumberPath)
{
    return platform::joinPath(serialNumberPath, kTemplateFolderName);
}

void scanSensorTemplate(std::string_view templateText, CatalogueSensor& sensor)
{
    sensor.defaultModule = 0;
    sensor.baseAddress = 0;
    sensor.baseAuxAddress = 0;
    sensor.sensorType = 0;
    sensor.channelCount = 0;
    std::string_view section;
    forEachConfigLine(templateText, [&](const ConfigLine& line) {
        if (line.kind == ConfigLine::Kind::Section) {
            section = line.name;
            return;
        }
        if (line.kind != ConfigLine::Kind::KeyValue || line.key.empty() || line.value.empty()) return;
        if (section == "DeviceConfig") {
            if (line.key == "Module") sensor.defaultModule = byteValue(parseDecimal(line.value));
            else if (line.key == "SensorAddress") sensor.baseAddress = byteValue(parseHex(line.value));
            else if (line.key == "AuxAddress") sensor.baseAuxAddress = byteValue(parseHex(line.value));
            else if (line.key == "SensorType") sensor.sensorType = byteValue(parseDecimal(line.value));
        } else if (section == "SensorConfig") {
            if (line.key == "Name" && (line.value.find("#PCN") != std::string_view::npos ||
                                       line.value.find("#PCD") != std::string_view::npos)) {
                ++sensor.channelCount;
            }
        }
    });
}

ConfigurationCatalogue loadCatalogue(const CatalogueFileSource& files)
{
    ConfigurationCatalogue catalogue;
    const std::string setup = files.read(kCatalogueFileName);
    forEachConfigLine(setup, [&](const ConfigLine& line) {
        if (line.kind != ConfigLine::Kind::KeyValue || line.key.empty() || line.value.empty()) return;
        const std::string_view key = line.key;
        if (key == "UserFile") {
            catalogue.userText = files.read(line.value);
        } else if (key == "ProcessFile") {
            catalogue.processText = files.read(line.value);
        } else if (key == "ProcessLangFile") {
            addTranslations(files.read(line.value), catalogue.translations);
        } else if (key == "I2CModules") {
            // module numbers are bytes: more than 256 modules cannot be told apart
            catalogue.moduleCount = std::min(parseDecimal(line.value), kMaxModules);
        } else if (key == "MaxSensor") {
            catalogue.maximumSensors = parseDecimal(line.value);
        } else if (key == "Sensor") {
            addSensor(files, line.value, catalogue);
        } else if (key == "Extension") {
            addGroup(line.value, catalogue.sensors, catalogue.extensions, &CatalogueExtension::sensors);
        } else if (key == "Device") {
            addGroup(line.value, catalogue.extensions, catalogue.baseDevices, &CatalogueDevice::extensions);
        }
    });
    return catalogue;
}

ConfigurationCatalogue loadCatalogueFromFolder(std::string_view folder)
{
    return loadCatalogue(FolderFileSource(std::string(folder)));
}

std::string translateToEnglish(const ConfigurationCatalogue& catalogue, std::string_view name)
{
    for (const auto& pair : catalogue.translations) {
        if (name.substr(0, pair.german.size()) == pair.german) {
            return pair.english + std::string(name.substr(pair.german.size()));
        }
    }
    return std::string(name);
}

std::string translateToGerman(const ConfigurationCatalogue& catalogue, std::string_view name)
{
    for (const auto& pair : catalogue.translations) {
        if (name.substr(0, pair.english.size()) == pair.english) {
            return pair.german + std::string(name.substr(pair.english.size()));
        }
    }
    return std::string(name);
}

}  // namespace vst::config
