#include "config/ConfigurationAssistant.h"

#include "app/Format.h"
#include "config/ConfigurationFile.h"
#include "config/LineReader.h"

namespace vst::config {

app::TextId textIdOf(AssistantResult result)
{
    switch (result) {
    case AssistantResult::Ok: return 0;
    case AssistantResult::CatalogueUnusable: return app::TextId{31019};
    case AssistantResult::BaseDeviceRefused: return app::TextId{31021};
    case AssistantResult::ExtensionRefused: return app::TextId{31022};
    case AssistantResult::SensorRefused: return app::TextId{31023};
    case AssistantResult::ConfigurationFaulty: return app::TextId{31025};
    case AssistantResult::AddressInvalid: return app::TextId{31107};
    case AssistantResult::AuxAddressInvalid: return app::TextId{31108};
    }
    return 0;
}

AssistantResult ConfigurationAssistant::loadCatalogue(const CatalogueFileSource& files)
{
    catalogue_ = config::loadCatalogue(files);
    return catalogue_.usable() ? AssistantResult::Ok : AssistantResult::CatalogueUnusable;
}

AssistantResult ConfigurationAssistant::loadCatalogueFromFolder(std::string_view folder)
{
    return loadCatalogue(FolderFileSource(std::string(folder)));
}

std::vector<std::string> ConfigurationAssistant::catalogueNotices() const
{
    std::vector<std::string> notices;
    for (const auto& file : catalogue_.unreadableTemplates) {
        notices.push_back(app::formatText(app::loadText(app::TextId{37250}), file.c_str()));
    }
    return notices;
}

AssistantResult ConfigurationAssistant::readInput()
{
    const ReadOutcome outcome = readConfiguration(catalogue_, configuration_, sensors_);
    if (outcome.english) english_ = true;
    return outcome.complete ? AssistantResult::Ok : AssistantResult::ConfigurationFaulty;
}

AssistantResult ConfigurationAssistant::selectBaseDevice(size_t index)
{
    sensors_.clear();
    if (index >= catalogue_.baseDevices.size()) return AssistantResult::BaseDeviceRefused;
    for (size_t extension : catalogue_.baseDevices[index].extensions) {
        if (extension >= catalogue_.extensions.size()) continue;
        if (sensors_.addExtension(catalogue_, catalogue_.extensions[extension]) != Placement::Placed) {
            sensors_.clear();
            return AssistantResult::BaseDeviceRefused;
        }
    }
    return AssistantResult::Ok;
}

AssistantResult ConfigurationAssistant::addExtension(size_t index)
{
    if (index >= catalogue_.extensions.size()) return AssistantResult::ExtensionRefused;
    return sensors_.addExtension(catalogue_, catalogue_.extensions[index]) == Placement::Placed
               ? AssistantResult::Ok
               : AssistantResult::ExtensionRefused;
}

AssistantResult ConfigurationAssistant::addSensor(size_t index)
{
    if (index >= catalogue_.sensors.size()) return AssistantResult::SensorRefused;
    return sensors_.place(catalogue_, catalogue_.sensors[index]) == Placement::Placed
               ? AssistantResult::Ok
               : AssistantResult::SensorRefused;
}

const std::string& ConfigurationAssistant::finish()
{
    configuration_ = editable_ ? writeConfiguration(catalogue_, sensors_.rows(), english_)
                               : switchConfigurationLanguage(catalogue_, configuration_, english_);
    return configuration_;
}

const CatalogueSensor* ConfigurationAssistant::catalogueSensorOf(size_t row) const
{
    if (row >= sensors_.size()) return nullptr;
    const ConfiguredSensor& sensor = sensors_.at(row);
    return catalogue_.findSensor(sensor.sensorType, sensor.variant);
}

bool ConfigurationAssistant::placeTakenByOther(size_t row, uint8_t module, uint8_t address) const
{
    for (size_t i = 0; i < sensors_.size(); ++i) {
        if (i != row && sensors_.at(i).module == module && sensors_.at(i).address == address) return true;
    }
    return false;
}

AssistantResult checkSensorEntries(std::string_view addressText, std::string_view auxAddressText,
                                   const AddressRange& addressRange, const AddressRange& auxRange,
                                   SensorEntries& entries)
{
    const uint32_t address = parseHex(addressText);
    if (address > 0xFF || !addressRange.contains(static_cast<int>(address))) return AssistantResult::AddressInvalid;
    const uint32_t aux = parseHex(auxAddressText);
    if (aux > 0xFF || !auxRange.contains(static_cast<int>(aux))) return AssistantResult::AuxAddressInvalid;
    entries.address = static_cast<uint8_t>(address);
    entries.auxAddress = static_cast<uint8_t>(aux);
    return AssistantResult::Ok;
}

std::string addressComplaint(AssistantResult result, const AddressRange& range)
{
    const app::TextId id = textIdOf(result);
    if (id == 0) return std::string();
    return app::formatText(app::loadText(id), static_cast<unsigned>(range.lowest), static_cast<unsigned>(range.highest));
}

}  // namespace vst::config
