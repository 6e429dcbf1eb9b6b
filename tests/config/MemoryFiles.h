#pragma once
// Catalogue files held in memory, and a small catalogue to build tests on.
#include <map>
#include <string>
#include <string_view>

#include "config/ConfigurationCatalogue.h"

namespace vst::test {

class MemoryFiles : public config::CatalogueFileSource {
public:
    std::map<std::string, std::string, std::less<>> files;

    std::string read(std::string_view name) const override
    {
        auto it = files.find(name);
        return it == files.end() ? std::string() : it->second;
    }
};

// A DeviceConfig section and `channels` SensorConfig sections named "<channel>#PCD".
inline std::string sensorTemplate(int type, int module, const char* address, const char* aux, int channels,
                                  const char* deviceName = "Geraet#PCD", const char* channelName = "Kanal#PCD")
{
    std::string t = "[DeviceConfig]\nName=" + std::string(deviceName) + "\nModule=" + std::to_string(module) +
                    "\nSensorAddress=" + address + "\nAuxAddress=" + aux + "\nSensorType=" + std::to_string(type) +
                    "\nIntervall=10\n[End]\n";
    for (int c = 0; c < channels; ++c) {
        t += "[SensorConfig]\nName=" + std::string(channelName) +
             "\nDeviceIndex=0\nKalibDatentyp=0\nKalibRegister=0\nKalibDaten=0\n[End]\n";
    }
    return t;
}

// Two modules, at most six sensors:
//   "A" type 2 at 0x40 (no aux), default module 1, 2 addresses, at most 3, 2 channels
//   "B" type 3 at 0x40 aux 0x60, default module 0, 4 addresses, at most 4, 1 channel
//   extension "AB" = A, B;  extension "AAA" = A, A, A, A (the fourth A is too many)
//   base device "Basis" = AB
inline MemoryFiles smallCatalogueFiles()
{
    MemoryFiles f;
    f.files["setup.ini"] =
        "UserFile=user.ini\nProcessFile=process.ini\nProcessLangFile=lang.ini\nI2CModules=2\nMaxSensor=6\n"
        "Sensor=A;a.ini;0;2;3\nSensor=B;b.ini;0;4;4\n"
        "Extension=AB;A,B\nExtension=AAA;A,A,A,A\nDevice=Basis;AB\n";
    f.files["user.ini"] = "[System]\nLanguageEnglish=0\n[End]\n";
    f.files["process.ini"] = "[Prozessliste]\nVersion=1\n[End]\n";
    f.files["lang.ini"] = "Geraet=Device\nKanal=Channel\n";
    f.files["a.ini"] = sensorTemplate(2, 1, "0x40", "0", 2);
    f.files["b.ini"] = sensorTemplate(3, 0, "40", "60", 1);
    return f;
}

}  // namespace vst::test
