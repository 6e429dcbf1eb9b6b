#include "cli/CliOptions.h"

#include "cli/Cli.h"
#include "cli/ReportCommand.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "app/CApp.h"
#include "app/CommandLine.h"
#include "app/Language.h"
#include "app/Texts.h"
#include "config/CalibrationRequest.h"
#include "ops/InputChecks.h"
#include "platform/ChildProcess.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"

namespace vst::cli {
namespace {

constexpr const char* kUsage =
    "usage: vestrolan-cli [options] COMMAND [arguments]\n"
    "commands:\n"
    "  cards                         list the network cards\n"
    "  search                        search devices and list them\n"
    "  setnet MAC --dhcp off|client|server --ip A --mask M --gateway G --dns1 D --dns2 D\n"
    "                                send new network settings\n"
    "  rename MAC NAME               give the device a new name\n"
    "  backup MAC FILE               save the device's configuration into FILE\n"
    "  restore MAC FILE              load the configuration file FILE into the device\n"
    "  update MAC[,MAC...] FILE      load a firmware file (VestrolanVnnn.hex) into one or more devices\n"
    "  serial MAC NUMBER             give the device a serial number\n"
    "  clock MAC                     set the device clock from this PC\n"
    "  config ...                    compose or translate a device configuration (config --help)\n"
    "  cputest MAC                   CPU function test\n"
    "  proctest MAC                  process-list function test\n"
    "  calibrate MAC                 calibrate the energy sensors\n"
    "  sdclean MAC                   delete the system files on the SD card\n"
    "  endtest MAC                   final test of a numbered device\n"
    "  repair-start MAC REPNO        start a repair\n"
    "  repair-end MAC REPNO          end a repair\n"
    "  program                       initial programming of a blank board with the programmer tool\n"
    "                                (needs --card, --fw, --ipe, --target)\n"
    "  stock                         stock update of the device at --target\n"
    "                                (needs --card, --snr, --fw, --target)\n"
    "  endurance                     endurance run of --count devices from --target on (needs --card,\n"
    "                                --snr, --fw, --target, --type, --number; Ctrl+C stops it like\n"
    "                                the stop button)\n"
    "options of every command:\n"
    "  --lang de|en        language of the texts for this run\n"
    "  --card N            search on card N only (default: every card)\n"
    "  --password P        the device password (function tests and workflows: 730 by default)\n"
    "  --yes               answer every question with yes (otherwise: no)\n"
    "  --help, -h          print this help and end\n"
    "  --version           print the version and end\n"
    "search:\n"
    "  --target A.B.C.D    search this address first\n"
    "  --directed-only     search only the --target address\n"
    "  --kind0-only        list only devices of product kind 0\n"
    "  --csv               print the list as the window's list export\n"
    "setnet, backup, restore:\n"
    "  --dhcp off|client|server, --ip A, --mask M, --gateway G, --dns1 D, --dns2 D\n"
    "                      the new network settings (setnet)\n"
    "  --broadcast         send to the broadcast address of the device's subnet\n"
    "serial numbers and records:\n"
    "  --snr DIR           serial-number folder, which must hold SNR.LOG: serial checks and writes\n"
    "                      the log (without it serial keeps no log); the workflows keep their\n"
    "                      records there\n"
    "  --sign SIGN         operator sign for the log and the records, no blanks (default CLI)\n"
    "  --release-password P  release password for a serial number already in use\n"
    "what the operator answers (function tests and workflows):\n"
    "  --answer ID=yes|no  answer to the question with text id ID (repeatable); standard error\n"
    "                      shows each question and notice as \"[ID] text\"\n"
    "  --on-notice ID=CMD  run CMD (%SHELL%) before notice ID is confirmed (repeatable)\n"
    "  --config FILE|keep  the configuration assistant's answer\n"
    "  --calibrate P,S,U,I the energy calibration's answer (primary, secondary, voltage, current)\n"
    "  --serial N          the serial-number dialog's answer\n"
    "function tests and workflows:\n"
    "  --ssid S            the device's wireless network for the CPU test (default \"Vestrolan WiFi\";\n"
    "                      \"\" leaves the wireless part out)\n"
    "  --i2c               the CPU test reads the I2C bus too\n"
    "  --skip-follow-up    proctest: run mode 0 only, without its follow-up modes\n"
    "  --fw DIR            firmware folder (program, stock, endurance: its newest firmware file)\n"
    "  --ipe DIR           folder of the programmer tool ipecmd.exe (program)\n"
    "  --target A.B.C.D    the device's address (program, stock), the first device's (endurance)\n"
    "  --programmer-timeout S  stop a programmer tool run after S seconds, 60 to 86400 (program;\n"
    "                      default: the setting ProgrammerTimeout, else 600)\n"
    "endurance:\n"
    "  --type production|repair  the kind of run\n"
    "  --number NO         the batch or repair number (run folder CHRG_NO or REP_NO)\n"
    "  --count K           the number of devices, 1 to 999 (a repair run has one)\n"
    "  --serials S1,...,SK the devices' serial numbers (default 00000100, 00000200, ...)\n"
    "  --passes P          end the run like the stop button after P test passes\n"
    "                      (device n is connected at notice 35407, see --on-notice)\n";

const std::set<std::string> kValueOptions = {"--fw", "--ipe",
                                             "--card",  "--target",  "--password", "--lang", "--dhcp", "--ip",
                                             "--mask",  "--gateway", "--dns1",     "--dns2", "--sign", "--snr",
                                             "--release-password", "--config", "--calibrate", "--serial",
                                             "--ssid", "--type", "--number", "--count", "--serials",
                                             "--passes", "--programmer-timeout"};
// Options that may be given several times.
const std::set<std::string> kListOptions = {"--answer", "--on-notice"};
const std::set<std::string> kFlagOptions = {"--directed-only", "--kind0-only", "--broadcast", "--yes", "--csv", "--i2c",
                                            "--skip-follow-up"};

}  // namespace

// A field of the TAB-separated output: control bytes (below 0x20, and 0x7F) would break the
// columns or the terminal, so each is printed as '?'.
std::string printable(const std::string& cp1252)
{
    std::string text = cp1252;
    for (char& c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) c = '?';
    }
    return platform::cp1252ToUtf8(text);
}

int printFailure(std::FILE* out, const std::string& text)
{
    std::fprintf(out, "%s\n", platform::cp1252ToUtf8(text).c_str());
    return 1;
}

bool takesValue(const std::string& option) { return kValueOptions.count(option) || kListOptions.count(option); }

std::vector<std::string> acceptedOptions()
{
    std::vector<std::string> options(kValueOptions.begin(), kValueOptions.end());
    options.insert(options.end(), kListOptions.begin(), kListOptions.end());
    options.insert(options.end(), kFlagOptions.begin(), kFlagOptions.end());
    for (const char* own : {"--help", "-h", "--version"}) options.push_back(own);
    for (const auto& own : reportCommandOptions()) options.push_back(own);
    return options;
}

std::string helpText()
{
    // The shell that runs an --on-notice command is the system's.
    std::string text = kUsage;
    const std::string mark = "%SHELL%";
    text.replace(text.find(mark), mark.size(), platform::shellCommandName());
    return text + reportCommandHelp();
}

int usageError(std::FILE* err, const std::string& why)
{
    std::fprintf(err, "vestrolan-cli: %s\n%s\n", why.c_str(), platform::cp1252ToUtf8(app::loadText(37405)).c_str());
    return 1;
}

bool chooseLanguage(const std::optional<std::string>& lang)
{
    const bool given = lang && (*lang == "de" || *lang == "en");
    app::CApp::instance().setTextIdOffset(!given ? app::determineLanguage(platform::machineSettings())
                                          : *lang == "en" ? app::kEnglishOffset
                                                          : app::kGermanOffset);
    return given || !lang;
}

Arguments parseArguments(int argc, char** argv)
{
    Arguments a;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (kFlagOptions.count(word)) {
            a.flags.insert(word);
        } else if (kValueOptions.count(word) || kListOptions.count(word)) {
            if (i + 1 >= argc) {
                a.error = "option " + word + " needs a value";
                return a;
            }
            const std::string value = platform::utf8ToCp1252(argv[++i]);
            if (kListOptions.count(word)) a.lists.emplace(word, value);
            else a.values[word] = value;
        } else if (word.size() > 2 && word.rfind("--", 0) == 0) {
            a.error = "unknown option " + word;
            return a;
        } else {
            a.positional.push_back(platform::utf8ToCp1252(word));
        }
    }
    return a;
}

std::optional<int> readScript(const Arguments& args, ScriptedOperator& script, std::FILE* out, std::FILE* err)
{
    script.yes = args.has("--yes");
    for (const auto& [option, value] : args.lists) {
        const size_t eq = value.find('=');
        const std::string idText = value.substr(0, eq);
        const int id = app::parseLeadingInteger(idText);
        if (eq == std::string::npos || idText.empty() || idText.find_first_not_of("0123456789") != std::string::npos ||
            id < 30000 || id > 39999) {
            return usageError(err, option + " takes ID=..., ID being a German text id");
        }
        const std::string rest = value.substr(eq + 1);
        if (option == "--answer") {
            if (rest != "yes" && rest != "no") return usageError(err, "--answer takes ID=yes or ID=no");
            script.answers[id] = rest == "yes";
        } else {
            if (script.noticeHooks.count(id)) return usageError(err, "--on-notice: one command per notice id");
            script.noticeHooks[id] = platform::cp1252ToUtf8(rest);
        }
    }
    if (args.has("--config")) {
        const std::string config = args.value("--config");
        if (config == "keep") {
            script.keepConfiguration = true;
        } else {
            const auto bytes = platform::readFileBytes(platform::osPath(config));
            if (!bytes) return usageError(err, "--config " + platform::cp1252ToUtf8(config) + ": cannot read the file");
            script.configuration = *bytes;
        }
    }
    if (args.has("--calibrate")) {
        std::array<std::string, 4> fields;
        size_t count = 0;
        std::string text = args.value("--calibrate");
        for (size_t start = 0;; ++count) {
            const size_t comma = text.find(',', start);
            if (count < 4) fields[count] = text.substr(start, comma - start);
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        if (count != 3) return usageError(err, "--calibrate takes four comma-separated numbers");
        for (const auto& f : fields) {
            const size_t digits = std::count_if(f.begin(), f.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
            const bool number = !f.empty() && digits > 0 && f.find_first_not_of("0123456789.") == std::string::npos &&
                                std::count(f.begin(), f.end(), '.') <= 1;
            if (!number) return usageError(err, "--calibrate: '" + f + "' is not a number");
        }
        config::CalibrationValues values;
        const auto check = config::checkCalibrationEntries(fields, values);
        if (check != config::CalibrationCheck::Accepted) return printFailure(out, app::loadText(config::textIdOf(check)));
        script.calibration = std::array<double, 4>{values.primary, values.secondary, values.voltage, values.current};
    }
    if (args.has("--serial")) {
        uint32_t serial = 0;
        if (auto refusal = ops::checkSerialInput(args.value("--serial"), serial)) return printFailure(out, app::loadText(*refusal));
        script.serialNumber = serial;
    }
    if (args.has("--release-password")) script.releasePassword = args.value("--release-password");
    return std::nullopt;
}

}  // namespace vst::cli
