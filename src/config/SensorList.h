#pragma once
// The sensors fitted to a device, in the order the configuration lists them, and the rules that
// place a catalogue sensor on a free I2C module and address.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/ConfigurationCatalogue.h"

namespace vst::config {

// One sensor fitted to a device (one row of the assistant's list).
struct ConfiguredSensor {
    std::string name;
    uint8_t sensorType = 0;
    uint8_t variant = 0;
    uint8_t module = 0;
    uint8_t address = 0;
    uint8_t auxAddress = 0;  // 0 when the sensor has none

    bool operator==(const ConfiguredSensor&) const = default;
};

// Why a sensor was or was not added.
enum class Placement {
    Placed,
    NotInCatalogue,   // no catalogue sensor with that type and variant
    ListFull,         // the list holds the catalogue's maximum sensors
    TypeFull,         // the sensors of this type reached its maximum of type
    NoFreeSlot,       // every module and address of the type is taken
    OutOfRange,       // module, address or aux address outside what the sensor can use
    SlotInUse,        // another sensor already uses that module and address
    ModuleFull,       // the sensors of this type on the module reached its address count
};

class SensorList {
public:
    size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    const ConfiguredSensor& at(size_t row) const { return rows_.at(row); }
    const std::vector<ConfiguredSensor>& rows() const { return rows_; }

    // The row with this module and address.
    std::optional<size_t> find(uint8_t module, uint8_t address) const;
    // Appends the sensor unless its module and address are already used; false then.
    bool append(const ConfiguredSensor& sensor);
    void remove(size_t row);
    void clear() { rows_.clear(); }
    // Shrinks the list back to its first `count` rows.
    void truncate(size_t count);
    // Moves the row one place up or down; false at the first or last row.
    bool moveUp(size_t row);
    bool moveDown(size_t row);
    // Replaces the module and addresses of a row.
    void setPlace(size_t row, uint8_t module, uint8_t address, uint8_t auxAddress);

    // Places the catalogue sensor on the first free slot: the modules from its default module on,
    // wrapping around, and within each module its addresses in order.
    Placement place(const ConfigurationCatalogue& catalogue, const CatalogueSensor& sensor);
    // Adds a sensor at a given module and addresses (a configuration read back).
    Placement addWithSettings(const ConfigurationCatalogue& catalogue, uint8_t sensorType, uint8_t variant,
                              uint8_t module, uint8_t address, uint8_t auxAddress);
    // Places every sensor of the extension; when one is refused the rows added for it are removed
    // again and that refusal is returned.
    Placement addExtension(const ConfigurationCatalogue& catalogue, const CatalogueExtension& extension);

    int countOfType(uint8_t sensorType) const;

private:
    std::vector<ConfiguredSensor> rows_;
};

// The addresses a catalogue sensor may use, inclusive, as the sensor dialog offers them.
struct AddressRange {
    int lowest = 0;
    int highest = 0;
    bool contains(int value) const { return value >= lowest && value <= highest; }
};
AddressRange addressRangeOf(const CatalogueSensor& sensor);
// For a sensor without aux address this is 0 .. address count - 1; the upper end wraps at 256.
AddressRange auxAddressRangeOf(const CatalogueSensor& sensor);

}  // namespace vst::config
