#pragma once
// The configuration assistant without its window: the catalogue, the list of fitted sensors, the
// language choice and the commands that change them. The dialog and the console front end drive
// it; every refusal is a result code with its own text.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/Texts.h"
#include "config/ConfigurationCatalogue.h"
#include "config/SensorList.h"

namespace vst::config {

enum class AssistantResult {
    Ok,
    CatalogueUnusable,    // 31019
    BaseDeviceRefused,    // 31021
    ExtensionRefused,     // 31022
    SensorRefused,        // 31023
    ConfigurationFaulty,  // 31025: not every sensor of the configuration could be taken over
    AddressInvalid,       // 31107
    AuxAddressInvalid,    // 31108
};

// The text that reports the result (0 for Ok).
app::TextId textIdOf(AssistantResult result);

class ConfigurationAssistant {
public:
    // `configuration` is the input text (may be empty); `editable` false is the view-only mode in
    // which only the language can change.
    ConfigurationAssistant(std::string configuration, bool editable)
        : configuration_(std::move(configuration)), editable_(editable)
    {
    }

    // Loads the catalogue; CatalogueUnusable when it lacks a part a configuration needs.
    AssistantResult loadCatalogue(const CatalogueFileSource& files);
    AssistantResult loadCatalogueFromFolder(std::string_view folder);
    // What the operator is told once after loading: one text per sensor template that could not
    // be read (the sensor is not offered).
    std::vector<std::string> catalogueNotices() const;
    // Reads the input configuration into the list and the language choice; ConfigurationFaulty
    // when a sensor of it could not be taken over.
    AssistantResult readInput();

    // Empties the list and adds the base device's extensions; on a refusal the list is left empty.
    AssistantResult selectBaseDevice(size_t index);
    // Adds the extension's sensors, all or none.
    AssistantResult addExtension(size_t index);
    // Places one catalogue sensor.
    AssistantResult addSensor(size_t index);

    // Writes the configuration (edit mode) or switches the input's language (view-only mode); the
    // result becomes the assistant's configuration text and is returned.
    const std::string& finish();

    const ConfigurationCatalogue& catalogue() const { return catalogue_; }
    SensorList& sensors() { return sensors_; }
    const SensorList& sensors() const { return sensors_; }
    bool english() const { return english_; }
    void setEnglish(bool english) { english_ = english; }
    bool editable() const { return editable_; }
    const std::string& configuration() const { return configuration_; }

    // The catalogue sensor of a row, by its type and variant.
    const CatalogueSensor* catalogueSensorOf(size_t row) const;
    // True when a row other than `row` uses this module and address.
    bool placeTakenByOther(size_t row, uint8_t module, uint8_t address) const;

private:
    ConfigurationCatalogue catalogue_;
    SensorList sensors_;
    std::string configuration_;
    bool editable_ = true;
    bool english_ = false;
};

// The sensor dialog's entries: hexadecimal address texts (empty gives 0) checked against the
// sensor's ranges.
struct SensorEntries {
    uint8_t address = 0;
    uint8_t auxAddress = 0;
};
AssistantResult checkSensorEntries(std::string_view addressText, std::string_view auxAddressText,
                                   const AddressRange& addressRange, const AddressRange& auxRange,
                                   SensorEntries& entries);

// The complaint about an address outside its range, filled with the range (Windows-1252).
std::string addressComplaint(AssistantResult result, const AddressRange& range);

}  // namespace vst::config
