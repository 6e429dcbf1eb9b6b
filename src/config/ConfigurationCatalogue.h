#pragma once
// The catalogue of building blocks a device configuration is composed from: the workshop's user
// and process parts, the translation table for process names, and the sensor types, extensions
// and base devices that "setup.ini" in the template folder "_Vorlagen" lists.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vst::config {

inline constexpr const char* kTemplateFolderName = "_Vorlagen";
inline constexpr const char* kCatalogueFileName = "setup.ini";
// Extensions list at most this many sensors, base devices at most this many extensions.
inline constexpr size_t kMaxReferences = 10;
// Module numbers are bytes, so a device has at most this many I2C modules.
inline constexpr int32_t kMaxModules = 256;

struct TranslationPair {
    std::string german;
    std::string english;
};

// One sensor type and variant.
struct CatalogueSensor {
    std::string name;
    std::string templateText;
    uint8_t defaultModule = 0;     // where automatic placement starts
    uint8_t baseAddress = 0;       // first I2C address
    uint8_t baseAuxAddress = 0;    // first aux address; 0 = the sensor has none
    uint8_t sensorType = 0;
    uint8_t variant = 0;
    int32_t addressCount = 0;      // consecutive addresses it can use = most of this type per module
    int32_t maximumOfType = 0;     // most sensors of this type in one configuration
    int32_t channelCount = 0;      // process values it brings

    bool hasAuxAddress() const { return baseAuxAddress != 0; }
};

// A group of sensors, as indices into ConfigurationCatalogue::sensors.
struct CatalogueExtension {
    std::string name;
    std::vector<size_t> sensors;
};

// A group of extensions, as indices into ConfigurationCatalogue::extensions.
struct CatalogueDevice {
    std::string name;
    std::vector<size_t> extensions;
};

struct ConfigurationCatalogue {
    std::string userText;
    std::string processText;
    std::vector<TranslationPair> translations;
    int32_t moduleCount = 0;
    int32_t maximumSensors = 0;
    std::vector<CatalogueSensor> sensors;
    std::vector<CatalogueExtension> extensions;
    std::vector<CatalogueDevice> baseDevices;
    // Template files of sensors that are not offered because the file could not be read, each
    // named once, as setup.ini names it.
    std::vector<std::string> unreadableTemplates;

    // Every part a configuration needs is there (otherwise the assistant refuses with 31019).
    bool usable() const;

    // The first sensor with this type and variant.
    const CatalogueSensor* findSensor(uint8_t sensorType, uint8_t variant) const;
    std::optional<size_t> sensorIndex(std::string_view name) const;
    std::optional<size_t> extensionIndex(std::string_view name) const;
    std::optional<size_t> baseDeviceIndex(std::string_view name) const;
    // The highest sensor type of the catalogue (0 when it has no sensors).
    uint8_t highestSensorType() const;
};

// Reads a catalogue file through its folder: the folder, a separator and the name. The name may
// use "\" or "/" between subfolders. A missing file reads as empty text.
class CatalogueFileSource {
public:
    virtual ~CatalogueFileSource() = default;
    virtual std::string read(std::string_view name) const = 0;
    // The same, but none when the file cannot be read at all (missing, a folder, an error).
    virtual std::optional<std::string> readIfReadable(std::string_view name) const { return read(name); }
};

// Files of one folder on disk, read with readTextFile (CR LF and LF alike).
class FolderFileSource : public CatalogueFileSource {
public:
    explicit FolderFileSource(std::string folder) : folder_(std::move(folder)) {}
    std::string read(std::string_view name) const override;
    std::optional<std::string> readIfReadable(std::string_view name) const override;

private:
    std::string pathOf(std::string_view name) const;

    std::string folder_;
};

// The template folder below the serial-number path: path + separator + "_Vorlagen".
std::string templateFolder(std::string_view serialNumberPath);

// Builds the catalogue from "setup.ini" of the source; the result may be unusable.
ConfigurationCatalogue loadCatalogue(const CatalogueFileSource& files);
// Builds the catalogue from the template folder (a folder holding "setup.ini").
ConfigurationCatalogue loadCatalogueFromFolder(std::string_view folder);

// Counts the channels of a sensor template and reads its DeviceConfig defaults into `sensor`.
void scanSensorTemplate(std::string_view templateText, CatalogueSensor& sensor);

// Replaces the first matching prefix of the name by its other-language twin; the name is
// returned unchanged when no pair matches.
std::string translateToEnglish(const ConfigurationCatalogue& catalogue, std::string_view name);
std::string translateToGerman(const ConfigurationCatalogue& catalogue, std::string_view name);

}  // namespace vst::config
