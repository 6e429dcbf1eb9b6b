// The console front end without devices: its version, and how it shows progress on a terminal and
// elsewhere.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/OperatorPrompt.h"
#include "app/Version.h"
#include "cli/Cli.h"
#include "cli/ConsoleChannel.h"

using namespace vst;

namespace {

// A stream in memory whose bytes can be read back.
class Capture {
public:
    Capture() : file_(std::tmpfile()) {}
    ~Capture() { std::fclose(file_); }
    std::FILE* file() const { return file_; }
    std::string bytes() const
    {
        std::fflush(file_);
        std::rewind(file_);
        std::string out;
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) out.append(buffer, n);
        return out;
    }

private:
    std::FILE* file_;
};

int runCli(std::vector<std::string> words, Capture& out, Capture& err)
{
    words.insert(words.begin(), "vestrolan-cli");
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    cli::ConsoleChannel channel(out.file(), err.file());
    return cli::runCli(static_cast<int>(argv.size()), argv.data(), channel, out.file(), err.file());
}

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
        {false, "[ 10%] Suche l\xC3\xA4uft\n[ 50%] Suche l\xC3\xA4uft\n== Kopf (5%)\n[ 50%] Fertig\r\nx\n"
                "[130%] Fertig\r\nx\n"},
        // 40 columns hold the 28 columns of bar and percentage, 11 of text and a free last one.
        // Other output clears the bar and has it drawn again below; a line break inside a step
        // text becomes blanks; the end of the operation leaves the last state standing.
        {true, bar10 + bar50 + clear + bar50 + clear + "== Kopf (5%)\n" + bar50 +
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
