#include "config/SensorList.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace vst::config {
namespace {

// Address offsets a sensor can use on one module; addresses are bytes and end at 0xFF.
int usableOffsets(const CatalogueSensor& sensor)
{
    return std::clamp(sensor.addressCount, 0, 256 - static_cast<int>(sensor.baseAddress));
}

int usableModules(const ConfigurationCatalogue& catalogue)
{
    return std::clamp(catalogue.moduleCount, 0, kMaxModules);
}

bool listFull(const ConfigurationCatalogue& catalogue, size_t size)
{
    return catalogue.maximumSensors <= 0 || size >= static_cast<size_t>(catalogue.maximumSensors);
}

}  // namespace

std::optional<size_t> SensorList::find(uint8_t module, uint8_t address) const
{
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].module == module && rows_[i].address == address) return i;
    }
    return std::nullopt;
}

bool SensorList::append(const ConfiguredSensor& sensor)
{
    if (find(sensor.module, sensor.address)) return false;
    rows_.push_back(sensor);
    return true;
}

void SensorList::remove(size_t row)
{
    if (row < rows_.size()) rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
}

void SensorList::truncate(size_t count)
{
    if (count < rows_.size()) rows_.resize(count);
}

bool SensorList::moveUp(size_t row)
{
    if (row == 0 || row >= rows_.size()) return false;
    std::swap(rows_[row - 1], rows_[row]);
    return true;
}

bool SensorList::moveDown(size_t row)
{
    if (row + 1 >= rows_.size()) return false;
    std::swap(rows_[row], rows_[row + 1]);
    return true;
}

void SensorList::setPlace(size_t row, uint8_t module, uint8_t address, uint8_t auxAddress)
{
    if (row >= rows_.size()) return;
    rows_[row].module = module;
    rows_[row].address = address;
    rows_[row].auxAddress = auxAddress;
}

int SensorList::countOfType(uint8_t sensorType) const
{
    return static_cast<int>(std::count_if(rows_.begin(), rows_.end(),
                                          [&](const ConfiguredSensor& s) { return s.sensorType == sensorType; }));
}

Placement SensorList::place(const ConfigurationCatalogue& catalogue, const CatalogueSensor& sensor)
{
    if (listFull(catalogue, rows_.size())) return Placement::ListFull;
    if (countOfType(sensor.sensorType) >= sensor.maximumOfType) return Placement::TypeFull;
    const int modules = usableModules(catalogue);
    const int offsets = usableOffsets(sensor);
    for (int i = 0; i < modules; ++i) {
        const auto module = static_cast<uint8_t>((sensor.defaultModule + i) % modules);
        for (int offset = 0; offset < offsets; ++offset) {
            const auto address = static_cast<uint8_t>(sensor.baseAddress + offset);
            // A slot another sensor of any type uses is not free: taking it would lose the new row.
            if (find(module, address)) continue;
            ConfiguredSensor row;
            row.name = sensor.name;
            row.sensorType = sensor.sensorType;
            row.variant = sensor.variant;
            row.module = module;
            row.address = address;
            row.auxAddress = sensor.hasAuxAddress() ? static_cast<uint8_t>(sensor.baseAuxAddress + offset) : 0;
            rows_.push_back(std::move(row));
            return Placement::Placed;
        }
    }
    return Placement::NoFreeSlot;
}

Placement SensorList::addWithSettings(const ConfigurationCatalogue& catalogue, uint8_t sensorType, uint8_t variant,
                                      uint8_t module, uint8_t address, uint8_t auxAddress)
{
    const CatalogueSensor* sensor = catalogue.findSensor(sensorType, variant);
    if (!sensor) return Placement::NotInCatalogue;
    if (module >= usableModules(catalogue)) return Placement::OutOfRange;
    // Offsets from the first address, so that no count from the catalogue can overflow the sum.
    if (address < sensor->baseAddress || address - sensor->baseAddress >= sensor->addressCount) {
        return Placement::OutOfRange;
    }
    if (sensor->hasAuxAddress() &&
        (auxAddress < sensor->baseAuxAddress || auxAddress - sensor->baseAuxAddress >= sensor->addressCount)) {
        return Placement::OutOfRange;
    }
    if (listFull(catalogue, rows_.size())) return Placement::ListFull;
    if (find(module, address)) return Placement::SlotInUse;
    if (countOfType(sensorType) >= sensor->maximumOfType) return Placement::TypeFull;
    const auto onModule = std::count_if(rows_.begin(), rows_.end(), [&](const ConfiguredSensor& s) {
        return s.sensorType == sensorType && s.module == module;
    });
    if (onModule >= sensor->addressCount) return Placement::ModuleFull;
    rows_.push_back({sensor->name, sensorType, variant, module, address, auxAddress});
    return Placement::Placed;
}

Placement SensorList::addExtension(const ConfigurationCatalogue& catalogue, const CatalogueExtension& extension)
{
    const size_t before = rows_.size();
    for (size_t index : extension.sensors) {
        if (index >= catalogue.sensors.size()) continue;
        const Placement result = place(catalogue, catalogue.sensors[index]);
        if (result != Placement::Placed) {
            truncate(before);
            return result;
        }
    }
    return Placement::Placed;
}

AddressRange addressRangeOf(const CatalogueSensor& sensor)
{
    const int64_t highest = int64_t{sensor.baseAddress} + sensor.addressCount - 1;
    return {sensor.baseAddress, static_cast<int>(std::clamp<int64_t>(highest, INT32_MIN, INT32_MAX))};
}

AddressRange auxAddressRangeOf(const CatalogueSensor& sensor)
{
    const int highest = static_cast<int>(((int64_t{sensor.baseAuxAddress} + sensor.addressCount - 1) % 256 + 256) % 256);
    return {sensor.baseAuxAddress, highest};
}

}  // namespace vst::config
