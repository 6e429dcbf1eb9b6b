#include <gtest/gtest.h>

#include <cstdio>

#include "app/CApp.h"
#include "cli/ConfigCommand.h"
#include "config/ConfigurationAssistant.h"
#include "support/TempDir.h"

using namespace vst;

namespace {

struct CommandRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string drain(std::FILE* f)
{
    std::rewind(f);
    std::string text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    std::fclose(f);
    return text;
}

CommandRun runConfig(const std::vector<std::string>& args)
{
    app::CApp::instance().setTextIdOffset(app::kGermanOffset);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    CommandRun r;
    r.status = cli::runConfigCommand(args, out, err);
    r.out = drain(out);
    r.err = drain(err);
    return r;
}

const std::string kSnr = VST_TEMPLATE_ROOT;

}  // namespace

TEST(ConfigCommand, ComposesInTheOrderGivenAndTranslatesThereAndBack)
{
    // names are typed in UTF-8; the sensor comes before the extension as on the command line
    const auto german = runConfig({"--snr", kSnr, "--base", "Vestrolan Basis", "--sensor", "Energiezähler 5A",
                                   "--extension", "Eingänge"});
    ASSERT_EQ(german.status, 0) << german.err;
    const size_t energy = german.out.find("Name=Energiez\xE4hler\n");
    const size_t inputs = german.out.find("Name=Digitaleing\xE4nge 1-4\n");
    EXPECT_LT(german.out.find("Name=Klima\n"), energy);
    EXPECT_LT(energy, inputs);
    EXPECT_NE(inputs, std::string::npos);
    EXPECT_EQ(german.out.find('\r'), std::string::npos);

    test::TempDir dir;
    dir.write("de.bak", german.out);
    const auto english = runConfig({"--snr", kSnr, "--translate", dir.file("de.bak"), "--english"});
    EXPECT_NE(english.out.find("LanguageEnglish=1\nZeitzone"), std::string::npos);
    EXPECT_NE(english.out.find("Name=Digital inputs 1-4\n"), std::string::npos);
    dir.write("en.bak", english.out);
    EXPECT_EQ(runConfig({"--snr", kSnr, "--translate", dir.file("en.bak"), "--german"}).out, german.out);
    EXPECT_EQ(runConfig({"--snr", kSnr, "--base", "Vestrolan Basis", "--sensor", "Energiezähler 5A", "--extension",
                         "Eingänge", "--english"})
                  .out,
              english.out);
}

TEST(ConfigCommand, RefusalsGoToTheErrorStream)
{
    const auto tooMany = runConfig({"--snr", kSnr, "--base", "Vestrolan Energie", "--extension", "Energie 3-phasig 5A"});
    EXPECT_EQ(tooMany.status, 1);
    EXPECT_EQ(tooMany.out, "");
    EXPECT_NE(tooMany.err.find("Die Erweiterung konnte nicht hinzugef\xC3\xBCgt werden."), std::string::npos);

    test::TempDir empty;
    const auto noCatalogue = runConfig({"--snr", empty.str(), "--base", "Vestrolan Basis"});
    EXPECT_EQ(noCatalogue.status, 1);
    EXPECT_NE(noCatalogue.err.find("Die Konfigurationsdatei wurde nicht gefunden"), std::string::npos);

    EXPECT_EQ(runConfig({"--snr", kSnr, "--base", "Vestrolan Basis", "--sensor", "Unbekannt"}).status, 1);
    EXPECT_EQ(runConfig({"--snr", kSnr, "--translate", empty.file("missing.bak"), "--english"}).status, 1);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--base", "Vestrolan Basis"},
             {"--snr", kSnr, "--base"},
             {"--snr", kSnr, "--translate", "x.bak"},
             {"--snr", kSnr, "--base", "Vestrolan Basis", "--german"},
         }) {
        EXPECT_NE(runConfig(args).err.find(": vestrolan-cli --help\n"), std::string::npos);  // a usage error
    }
    const auto help = runConfig({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage:", 0), 0u);
}
