#include "cli/ConfigCommand.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "app/Records.h"
#include "app/Texts.h"
#include "config/ConfigurationAssistant.h"
#include "platform/CodePage.h"

namespace vst::cli {
namespace {

const std::vector<std::string> kValueOptions = {"--snr", "--base", "--extension", "--sensor", "--translate"};
const std::vector<std::string> kFlagOptions = {"--english", "--german"};

constexpr const char* kConfigUsage =
    "usage: vestrolan-cli config --snr DIR --base NAME [--extension NAME]... [--sensor NAME]... [--english]\n"
    "       vestrolan-cli config --snr DIR --translate FILE --english|--german\n"
    "Prints the configuration as its .bak file holds it (Windows-1252, LF line ends).\n";

// One extension or sensor to add after the base device, in the order given.
struct Addition {
    bool extension = false;
    std::string name;  // Windows-1252
};

struct ConfigArguments {
    std::string serialNumberPath;
    std::optional<std::string> baseDevice;
    std::optional<std::string> translateFile;
    std::vector<Addition> additions;
    bool english = false;
    bool german = false;
    std::string error;
};

ConfigArguments parse(const std::vector<std::string>& args)
{
    ConfigArguments a;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--english") {
            a.english = true;
            continue;
        }
        if (word == "--german") {
            a.german = true;
            continue;
        }
        if (std::find(kValueOptions.begin(), kValueOptions.end(), word) == kValueOptions.end()) {
            a.error = "unexpected argument " + word;
            return a;
        }
        if (i + 1 >= args.size()) {
            a.error = "option " + word + " needs a value";
            return a;
        }
        std::string value = platform::utf8ToCp1252(args[++i]);
        if (word == "--snr") a.serialNumberPath = std::move(value);
        else if (word == "--base") a.baseDevice = std::move(value);
        else if (word == "--translate") a.translateFile = std::move(value);
        else a.additions.push_back({word == "--extension", std::move(value)});
    }
    if (a.serialNumberPath.empty()) a.error = "--snr is required";
    else if (a.english && a.german) a.error = "--english and --german exclude each other";
    else if (a.translateFile && (a.baseDevice || !a.additions.empty())) a.error = "--translate takes no devices";
    else if (a.translateFile && !a.english && !a.german) a.error = "--translate needs --english or --german";
    else if (!a.translateFile && !a.baseDevice) a.error = "--base or --translate is required";
    else if (!a.translateFile && a.german) a.error = "--german only goes with --translate";
    return a;
}

class ConfigCommand {
public:
    ConfigCommand(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

    int run(const ConfigArguments& a)
    {
        if (a.translateFile) return translate(a);
        return compose(a);
    }

private:
    int compose(const ConfigArguments& a)
    {
        config::ConfigurationAssistant assistant(std::string(), true);
        if (!loadCatalogue(assistant, a.serialNumberPath)) return 1;
        const auto& catalogue = assistant.catalogue();
        const auto base = catalogue.baseDeviceIndex(*a.baseDevice);
        if (!base) return fail("unknown base device \"" + *a.baseDevice + "\"");
        if (auto result = assistant.selectBaseDevice(*base); result != config::AssistantResult::Ok) {
            return refuse(result, *a.baseDevice);
        }
        for (const Addition& addition : a.additions) {
            const auto index = addition.extension ? catalogue.extensionIndex(addition.name)
                                                  : catalogue.sensorIndex(addition.name);
            if (!index) {
                return fail(std::string(addition.extension ? "unknown extension" : "unknown sensor") + " \"" +
                            addition.name + "\"");
            }
            const auto result =
                addition.extension ? assistant.addExtension(*index) : assistant.addSensor(*index);
            if (result != config::AssistantResult::Ok) return refuse(result, addition.name);
        }
        assistant.setEnglish(a.english);
        return print(assistant.finish());
    }

    int translate(const ConfigArguments& a)
    {
        if (!app::fileExists(*a.translateFile)) return fail("cannot read \"" + *a.translateFile + "\"");
        config::ConfigurationAssistant assistant(app::readTextFile(*a.translateFile), false);
        if (!loadCatalogue(assistant, a.serialNumberPath)) return 1;
        assistant.setEnglish(a.english);
        return print(assistant.finish());
    }

    bool loadCatalogue(config::ConfigurationAssistant& assistant, const std::string& serialNumberPath)
    {
        const auto result = assistant.loadCatalogueFromFolder(config::templateFolder(serialNumberPath));
        for (const auto& notice : assistant.catalogueNotices()) {
            std::fprintf(err_, "vestrolan-cli: %s\n", platform::cp1252ToUtf8(notice).c_str());
        }
        if (result == config::AssistantResult::Ok) return true;
        refuse(result, config::templateFolder(serialNumberPath));
        return false;
    }

    int print(const std::string& configuration)
    {
        const bool written = std::fwrite(configuration.data(), 1, configuration.size(), out_) == configuration.size();
        if (!written || std::fflush(out_) != 0) return fail("the configuration could not be written");
        return 0;
    }

    // The assistant's own text for the refusal, with what was refused.
    int refuse(config::AssistantResult result, const std::string& what)
    {
        std::fprintf(err_, "vestrolan-cli: %s: %s\n", platform::cp1252ToUtf8(what).c_str(),
                     platform::cp1252ToUtf8(app::loadText(config::textIdOf(result))).c_str());
        return 1;
    }

    int fail(const std::string& why)
    {
        std::fprintf(err_, "vestrolan-cli: %s\n", platform::cp1252ToUtf8(why).c_str());
        return 1;
    }

    std::FILE* out_;
    std::FILE* err_;
};

}  // namespace

std::vector<std::string> configCommandOptions()
{
    std::vector<std::string> options = kValueOptions;
    options.insert(options.end(), kFlagOptions.begin(), kFlagOptions.end());
    options.push_back("--help");
    options.push_back("-h");
    return options;
}

std::string configCommandHelp() { return kConfigUsage; }

int runConfigCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    for (const std::string& word : args) {
        if (word == "--help" || word == "-h") {
            std::fputs(kConfigUsage, out);
            return 0;
        }
    }
    const ConfigArguments a = parse(args);
    if (!a.error.empty()) {
        std::fprintf(err, "vestrolan-cli: config: %s\n%s\n", platform::cp1252ToUtf8(a.error).c_str(),
                     platform::cp1252ToUtf8(app::loadText(37405)).c_str());
        return 1;
    }
    return ConfigCommand(out, err).run(a);
}

}  // namespace vst::cli
