// The console front end without devices: its version, and how it shows progress on a terminal and
// elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/OperatorPrompt.h"
#include "app/Version.h"
#include "cli/Cli.h"
#include "cli/ConfigCommand.h"
#include "cli/ConsoleChannel.h"
#include "cli/ConsoleCapture.h"

using namespace vst;

namespace {

using test::Capture;
using test::runCli;

}  // namespace

TEST(Console, VersionIsTheAboutBoxVersion)
{
    Capture out, err;
    EXPECT_EQ(runCli({"--version"}, out, err), 0);
    EXPECT_EQ(out.bytes(), "vestrolan-cli " + app::programVersionText() + "\n");
    EXPECT_EQ(err.bytes(), "");
    // The about box shows the same number after the product name and the word "Version".
    const std::string line = app::aboutVersionLine(app::programProductName(), "Version", app::programProductVersion());
    EXPECT_EQ(line.substr(line.rfind(' ') + 1), app::programVersionText());
    EXPECT_EQ(app::versionNumberText("1.5.0.0"), "1.05");
    EXPECT_EQ(app::versionNumberText("1.5.3.0"), "1.0503");
}

TEST(Console, ProgressIsABarOnATerminalAndLinesElsewhere)
{
    const std::string bar10 = "\r[##------------------]  10% Suche l\xC3\xA4uft\x1b[K";
    const std::string bar50 = "\r[##########----------]  50% Suche l\xC3\xA4uft\x1b[K";
    const std::string clear = "\r\x1b[K";
    const struct {
        bool bar;
        std::string err;
    } cases[] = {
        {false, "[ 10%] Suche l\xC3\xA4uft\n[ 50%] Suche l\xC3\xA4uft\n[?] Hinweis\n== Kopf (5%)\n[ 50%] Fertig\r\nx\n"
                "[130%] Fertig\r\nx\n"},
        // 40 columns hold the 28 columns of bar and percentage, 11 of text and a free last one.
        // Other output clears the bar and has it drawn again below; a line break inside a step
        // text becomes blanks; the end of the operation leaves the last state standing.
        // A notice's text goes to the output stream, its id line (here "?": no text of the table)
        // to the error stream.
        {true, bar10 + bar50 + clear + bar50 + clear + "[?] Hinweis\n" + bar50 + clear + "== Kopf (5%)\n" + bar50 +
                   "\r[##########----------]  50% Fertig  x\x1b[K"
                   "\r[####################] 100% Fertig  x\x1b[K\n"},
    };
    for (const auto& c : cases) {
        Capture out, err;
        {
            cli::ConsoleChannel channel(out.file(), err.file());
            channel.setProgressBar(c.bar, 40);
            channel.setStep({"Suche l\xE4uft", 10});
            channel.setStepPosition(50);
            channel.showMessage({"Hinweis", static_cast<int32_t>(app::kMbIconExclamation)});
            channel.setHeading({"Kopf", 5});
            channel.setStepText("Fertig\r\nx");
            channel.setStepPosition(130);
            channel.operationFinished();
            channel.setStepText("");  // nothing to show
        }
        EXPECT_EQ(err.bytes(), c.err) << "bar " << c.bar;
        EXPECT_EQ(out.bytes(), "Hinweis\n") << "bar " << c.bar;
    }
}

// A usage error is its reason on one line and where the help is, on the error stream, exit 1;
// nothing reaches a device or the output stream.
TEST(Console, UsageErrorIsOneLineAndThePointerToTheHelp)
{
    const std::vector<std::string> production = {"--fw", "fw", "--ipe", "ipe", "--target", "192.168.0.110"};
    auto program = [&](std::string timeout) {
        std::vector<std::string> words = {"--lang", "en", "--programmer-timeout", timeout};
        words.insert(words.end(), production.begin(), production.end());
        words.push_back("program");
        return words;
    };
    const std::string timeoutError = "vestrolan-cli: --programmer-timeout takes a number of seconds from 60 to 86400\n";
    const struct {
        std::vector<std::string> words;
        std::string err;
    } cases[] = {
        {{"--lang", "en", "--bogus", "search"}, "vestrolan-cli: unknown option --bogus\nHelp: vestrolan-cli --help\n"},
        {{"--lang", "de", "--card"}, "vestrolan-cli: option --card needs a value\nHilfe: vestrolan-cli --help\n"},
        {{"--lang", "de"}, "vestrolan-cli: no command given\nHilfe: vestrolan-cli --help\n"},
        {{"--lang", "en", "frobnicate"}, "vestrolan-cli: unknown command frobnicate\nHelp: vestrolan-cli --help\n"},
        {{"--lang", "en", "config", "--snr"},
         "vestrolan-cli: config: option --snr needs a value\nHelp: vestrolan-cli --help\n"},
        {program("59"), timeoutError + "Help: vestrolan-cli --help\n"},
        {program("86401"), timeoutError + "Help: vestrolan-cli --help\n"},
        {program("1e3"), timeoutError + "Help: vestrolan-cli --help\n"},
        {program(""), timeoutError + "Help: vestrolan-cli --help\n"},
    };
    for (const auto& c : cases) {
        Capture out, err;
        EXPECT_EQ(runCli(c.words, out, err), 1) << c.err;
        EXPECT_EQ(err.bytes(), c.err);
        EXPECT_EQ(out.bytes(), "");
    }
    // A --lang that is neither: the reason, and the help in the stored language.
    Capture out, err;
    EXPECT_EQ(runCli({"--lang", "fr", "cards"}, out, err), 1);
    const std::string e = err.bytes();
    EXPECT_TRUE(e == "vestrolan-cli: --lang takes de or en\nHilfe: vestrolan-cli --help\n" ||
                e == "vestrolan-cli: --lang takes de or en\nHelp: vestrolan-cli --help\n")
        << e;
}

namespace {

// The options a manual page documents: every "\-\-name" (with "\-" inside the name) and "\-h".
std::set<std::string> documentedOptions(const std::string& page)
{
    std::set<std::string> options;
    const std::regex option(R"((^|[^\\a-z])\\-(\\-[a-z0-9]+(\\-[a-z0-9]+)*|h\b))");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), option); it != std::sregex_iterator(); ++it) {
        std::string name = (*it)[2].str();
        for (size_t at; (at = name.find("\\-")) != std::string::npos;) name.replace(at, 2, "-");
        options.insert("-" + name);
    }
    return options;
}

bool mentions(const std::string& text, const std::string& option)
{
    for (size_t at = text.find(option); at != std::string::npos; at = text.find(option, at + 1)) {
        const bool startOk = at == 0 || text[at - 1] == ' ' || text[at - 1] == '[' || text[at - 1] == '|';
        const size_t end = at + option.size();
        const bool endOk = end == text.size() || std::string(" ,=|]\n").find(text[end]) != std::string::npos;
        if (startOk && endOk) return true;
    }
    return false;
}

}  // namespace

// The options the parsers take, the help and the manual page cannot drift apart: every option the
// parser takes is in the help and in the manual page, and the manual page documents no other.
TEST(Console, HelpAndManualPageDocumentEveryOptionTheParserTakes)
{
    std::ifstream file(std::string(VST_SOURCE_DIR) + "/res/man/vestrolan-cli.1", std::ios::binary);
    ASSERT_TRUE(file) << "res/man/vestrolan-cli.1";
    std::stringstream page;
    page << file.rdbuf();
    const std::set<std::string> documented = documentedOptions(page.str());

    std::set<std::string> accepted;
    for (const auto& option : cli::acceptedOptions()) {
        accepted.insert(option);
        EXPECT_TRUE(mentions(cli::helpText(), option)) << option << " is not in --help";
        EXPECT_TRUE(documented.count(option)) << option << " is not in the manual page";
    }
    for (const auto& option : cli::configCommandOptions()) {
        accepted.insert(option);
        if (option != "--help" && option != "-h") {
            EXPECT_TRUE(mentions(cli::configCommandHelp(), option)) << option << " is not in config --help";
        }
        EXPECT_TRUE(documented.count(option)) << option << " is not in the manual page";
    }
    for (const auto& option : documented) EXPECT_TRUE(accepted.count(option)) << option << " is documented but not taken";
    EXPECT_GT(documented.size(), 40u);

    Capture out, err;
    EXPECT_EQ(runCli({"--help"}, out, err), 0);
    EXPECT_EQ(out.bytes(), cli::helpText());
}

// The search's progress is one bar over every card's worker and every scope, and never goes back,
// however the workers' steps interleave.
TEST(Console, SearchProgressOverSeveralCardsNeverGoesBack)
{
    Capture out, err;
    cli::ConsoleChannel channel(out.file(), err.file());
    channel.setProgressBar(false, 80);
    channel.beginSearchProgress(2);
    // Each worker's steps as the search reports them; `turns` interleaves the two workers.
    using Step = std::function<void()>;
    const std::vector<Step> a = {
        [&] { channel.setStep({"Starte Suche", 10}); }, [&] { channel.setStep({"Suche im gleichen Subnetz", 40}); },
        [&] { channel.setStepPosition(55); },           [&] { channel.setStep({"Suche im kompletten Netz", 70}); },
        [&] { channel.setStepPosition(85); },           [&] { channel.setStep({"Beende Suche", 100}); },
        [&] { channel.setStep({"", 0}); },              [&] { channel.operationFinished(); }};
    const std::vector<Step> b = {
        [&] { channel.setStep({"Starte Suche", 10}); }, [&] { channel.setStep({"Suche im gleichen Subnetz", 40}); },
        [&] { channel.setStepPosition(55); },           [&] { channel.setStep({"Suche im kompletten Netz", 70}); },
        [&] { channel.setStepPosition(85); },           [&] { channel.setStep({"Beende Suche", 100}); },
        [&] { channel.setStep({"", 0}); },              [&] { channel.operationFinished(); }};
    const std::string turns = "AAAAABBBAAABBBBB";
    std::mutex mutex;
    std::condition_variable changed;
    size_t turn = 0;
    auto worker = [&](char me, const std::vector<Step>& steps) {
        for (const auto& step : steps) {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return turn < turns.size() && turns[turn] == me; });
            step();
            ++turn;
            changed.notify_all();
        }
    };
    std::thread first(worker, 'A', std::cref(a));
    std::thread second(worker, 'B', std::cref(b));
    first.join();
    second.join();
    channel.endSearchProgress();
    channel.endProgress();

    // Neither the percentage nor the scope named goes back.
    const std::vector<std::string> scopes = {"Starte Suche", "Suche im gleichen Subnetz", "Suche im kompletten Netz",
                                             "Beende Suche"};
    std::istringstream lines(err.bytes());
    int last = -1;
    size_t lastScope = 0;
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        ASSERT_EQ(line.rfind("[", 0), 0u) << line;
        const int percent = std::stoi(line.substr(1, 3));
        EXPECT_GE(percent, last) << err.bytes();
        last = percent;
        const size_t scope = std::find(scopes.begin(), scopes.end(), line.substr(7)) - scopes.begin();
        ASSERT_LT(scope, scopes.size()) << line;
        EXPECT_GE(scope, lastScope) << err.bytes();
        lastScope = scope;
    }
    EXPECT_EQ(last, 100) << err.bytes();
    EXPECT_GT(count, 4);
}
