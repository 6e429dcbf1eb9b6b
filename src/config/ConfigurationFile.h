#pragma once
// The device configuration text: the workshop's user part with the language value, the process
// part, and one block per fitted sensor built from its template - [DeviceConfig][n] for the sensor
// and [SensorConfig][m] for each of its channels, numbers and names filled in. Lines end with a
// single line feed; the text is Windows-1252 and goes byte for byte into "config-processlist.bak".
#include <string>
#include <string_view>
#include <vector>

#include "config/ConfigurationCatalogue.h"
#include "config/SensorList.h"

namespace vst::config {

// Composes the configuration from the sensors in list order; sensors without a catalogue entry
// are left out. With `english` the names are translated and "LanguageEnglish" is "1".
std::string writeConfiguration(const ConfigurationCatalogue& catalogue, const std::vector<ConfiguredSensor>& sensors,
                               bool english);

// Rewrites an existing configuration in the chosen language: "LanguageEnglish" is set and the
// sensor and channel names are translated when the text was in the other language.
std::string switchConfigurationLanguage(const ConfigurationCatalogue& catalogue, std::string_view configuration,
                                        bool english);

struct ReadOutcome {
    bool english = false;   // the text says "LanguageEnglish=1"
    bool complete = true;   // every sensor block was taken into the list (otherwise 31025)
};

// Adds the sensors the configuration describes to the list, each at its own module and
// addresses, by the rules for adding a sensor with given settings.
ReadOutcome readConfiguration(const ConfigurationCatalogue& catalogue, std::string_view configuration,
                              SensorList& list);

// The "#PCD" instance suffix of a sensor's DeviceConfig name and of a channel name, given the
// channel counter of its type; empty for the first sensor of a type and for sensors without
// channels.
std::string deviceInstanceSuffix(int counter, int channelCount);
std::string channelInstanceSuffix(int counter, int channelCount);

}  // namespace vst::config
