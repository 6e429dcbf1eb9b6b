// Start-up of the station program: the refusals of the command line, the serial-number log check
// and the operator sign before the main window shows.
#include "ui/StationHost.h"
#include "WindowFixture.h"

using namespace vst;

namespace {

// The station's host with a scripted operator and fake cards; instead of running the window it
// notes what the window looks like and closes it.
class TestHost : public ui::StationHost {
public:
    TestHost(int& argc, char** argv, platform::SettingsStore& settings, test::ScriptedUiPrompt& prompt)
        : StationHost(argc, argv, settings), prompt_(prompt)
    {
    }

    QString title;
    int cardsInWindow = -1;

protected:
    ui::UiPrompt& prompt() override { return prompt_; }
    int enumerateCards(std::vector<app::NetworkCard>* cards) override
    {
        *cards = test::fakeCards();
        return static_cast<int>(cards->size());
    }
    void runEventLoop(ui::CMainDlg& window) override
    {
        title = window.windowTitle();
        cardsInWindow = static_cast<int>(window.cards().size());
        window.close();
    }

private:
    test::ScriptedUiPrompt& prompt_;
};

class Startup : public test::WindowFixture {
protected:
    app::StartupResult start(const std::string& commandLine)
    {
        host = std::make_unique<TestHost>(argc, argv, store, prompt);
        return app::CApp::instance().initInstance(*host, commandLine, store);
    }

    int argc = 1;
    char arg0[20] = "vestrolan-manager";
    char* argv[2] = {arg0, nullptr};
    std::unique_ptr<TestHost> host;
};

}  // namespace

TEST_F(Startup, ServiceStationShowsTheWindowWithTheCards)
{
    EXPECT_EQ(start(""), app::StartupResult::MainWindowClosed);
    EXPECT_TRUE(host->mainWindowShown());
    EXPECT_EQ(host->title, "Vestrolan-Manager");
    EXPECT_EQ(host->cardsInWindow, 2);
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(Startup, InconsistentModeIsRefusedWithAnErrorBox)
{
    EXPECT_EQ(start("-VAZIR -DL -DSTIP=192.168.0.5 -FW=/fw -SNR=/snr"), app::StartupResult::Refused);
    EXPECT_FALSE(host->mainWindowShown());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, app::textAt(35001));
    EXPECT_EQ(prompt.shown[0].style, app::kMbIconError);
}

TEST_F(Startup, RefusalFollowsTheStoredLanguage)
{
    store.writeNumber(app::kStationKey, app::kLanguageValue, 10000);
    EXPECT_EQ(start("-VAZIR -PROREP"), app::StartupResult::Refused);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, app::textAt(45004));
}

TEST_F(Startup, MissingSerialNumberLogEndsTheProgram)
{
    test::TempDir empty;
    empty.write("MA.LST", "AB\n");
    EXPECT_EQ(start("-SNR=" + empty.str()), app::StartupResult::MainWindowClosed);
    EXPECT_FALSE(host->mainWindowShown());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, app::textAt(30040));
    EXPECT_EQ(prompt.shown[0].style, app::kMbIconExclamation);
    EXPECT_TRUE(prompt.signLists.empty()) << "the sign is not asked after the refusal";
}

TEST_F(Startup, MissingSignListEndsTheProgram)
{
    test::TempDir folder;
    folder.write("SNR.LOG", "");
    EXPECT_EQ(start("-VAZIR -PROREP -SNR=" + folder.str()), app::StartupResult::MainWindowClosed);
    EXPECT_FALSE(host->mainWindowShown());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, app::textAt(30803));
    EXPECT_EQ(prompt.shown[0].style, app::kMbIconError);
}

TEST_F(Startup, CancelledSignEndsTheProgram)
{
    prompt.signChoices = {std::nullopt};
    EXPECT_EQ(start("-SNR=" + records.str()), app::StartupResult::MainWindowClosed);
    EXPECT_FALSE(host->mainWindowShown());
}

TEST_F(Startup, ChosenSignAppearsInTheTitle)
{
    prompt.signChoices = {1};
    EXPECT_EQ(start("-VAZIR -PROREP -SNR=" + records.str()), app::StartupResult::MainWindowClosed);
    EXPECT_TRUE(host->mainWindowShown());
    EXPECT_EQ(host->title, "Vestrolan-Manager - " + test::german(30006) + " MM");
}
