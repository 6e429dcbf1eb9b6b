// The catalogue and its templates from the shared template folder, and device configurations.
#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzHarnesses.h"
#include "config/ConfigurationCatalogue.h"
#include "config/ConfigurationFile.h"
#include "config/SensorList.h"

namespace vst::fuzz {
namespace {

// Catalogue files cut out of one input: the parts between NUL bytes. "setup.ini" is the first
// part, every other file name gets the next unused part when it is first asked for; a file
// without a part is missing (empty).
class PartFiles : public config::CatalogueFileSource {
public:
    PartFiles(const uint8_t* data, size_t size)
    {
        std::string_view rest(reinterpret_cast<const char*>(data), size);
        while (true) {
            const size_t nul = rest.find('\0');
            parts_.emplace_back(rest.substr(0, nul));
            if (nul == std::string_view::npos) break;
            rest.remove_prefix(nul + 1);
        }
    }
    std::string read(std::string_view name) const override
    {
        auto it = given_.find(std::string(name));
        if (it == given_.end()) {
            const size_t part = name == config::kCatalogueFileName ? 0 : nextPart_++;
            it = given_.emplace(std::string(name), part).first;
        }
        return it->second < parts_.size() ? parts_[it->second] : std::string();
    }
    const std::string& last() const { return parts_.back(); }

private:
    std::vector<std::string> parts_;
    mutable std::map<std::string, size_t> given_;
    mutable size_t nextPart_ = 1;
};

void checkCatalogue(const config::ConfigurationCatalogue& c)
{
    for (const auto& e : c.extensions) {
        VST_FUZZ_CHECK(e.sensors.size() <= config::kMaxReferences);
        for (size_t s : e.sensors) VST_FUZZ_CHECK(s < c.sensors.size());
    }
    for (const auto& d : c.baseDevices) {
        VST_FUZZ_CHECK(d.extensions.size() <= config::kMaxReferences);
        for (size_t e : d.extensions) VST_FUZZ_CHECK(e < c.extensions.size());
    }
}

// roundTrip: the catalogue's templates are sound, so what the assistant writes must read back.
void readInto(const config::ConfigurationCatalogue& catalogue, std::string_view text, bool roundTrip)
{
    config::SensorList list;
    (void)config::readConfiguration(catalogue, text, list);
    VST_FUZZ_CHECK(list.size() <= static_cast<size_t>(std::max(catalogue.maximumSensors, 0)));
    for (const auto& row : list.rows()) VST_FUZZ_CHECK(catalogue.findSensor(row.sensorType, row.variant) != nullptr);
    if (roundTrip) {
        config::SensorList again;
        (void)config::readConfiguration(catalogue, config::writeConfiguration(catalogue, list.rows(), false), again);
        VST_FUZZ_CHECK(again.rows() == list.rows());
    }
    for (bool english : {false, true}) {
        const std::string written = config::writeConfiguration(catalogue, list.rows(), english);
        (void)config::switchConfigurationLanguage(catalogue, written, !english);
    }
}

const config::ConfigurationCatalogue& shippedCatalogue()
{
    static const config::ConfigurationCatalogue catalogue =
        config::loadCatalogueFromFolder(VST_SOURCE_DIR "/res/templates/_Vorlagen");
    return catalogue;
}

}  // namespace

// The input is the template folder's files separated by NUL bytes (setup.ini first); the last
// part is also read as a sensor template and as a configuration against the catalogue.
int fuzzCatalogue(const uint8_t* data, size_t size)
{
    const PartFiles files(data, size);
    const config::ConfigurationCatalogue catalogue = config::loadCatalogue(files);
    checkCatalogue(catalogue);
    config::CatalogueSensor sensor;
    config::scanSensorTemplate(files.last(), sensor);
    for (const auto& s : catalogue.sensors) {
        const config::AddressRange range = config::addressRangeOf(s);
        VST_FUZZ_CHECK(range.lowest == s.baseAddress);
        (void)config::auxAddressRangeOf(s);
        (void)config::translateToEnglish(catalogue, s.name);
        (void)config::translateToGerman(catalogue, s.name);
    }
    if (catalogue.usable()) readInto(catalogue, files.last(), false);
    return 0;
}

// The input is a device configuration, read against the catalogue shipped in res/templates and
// switched to either language.
int fuzzConfiguration(const uint8_t* data, size_t size)
{
    const config::ConfigurationCatalogue& catalogue = shippedCatalogue();
    VST_FUZZ_CHECK(catalogue.usable());
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    readInto(catalogue, text, true);
    for (bool english : {false, true}) (void)config::switchConfigurationLanguage(catalogue, text, english);
    return 0;
}

}  // namespace vst::fuzz
