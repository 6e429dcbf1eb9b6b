// The console's scripted operator: questions answered by id, notices with their hooks, and the
// starter host's refusals and questions.
#include <gtest/gtest.h>

#include <cstdio>

#include "app/CApp.h"
#include "app/Format.h"
#include "app/Texts.h"
#include "cli/ConsoleChannel.h"
#include "cli/ConsoleCapture.h"
#include "ops/Starter.h"
#include "platform/CodePage.h"

using namespace vst;

namespace {

std::string contents(std::FILE* f) { return test::contentsOf(f); }

class ConsoleOperator : public ::testing::Test {
protected:
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    cli::ConsoleChannel channel{out, err};

    void SetUp() override { app::CApp::instance().setTextIdOffset(app::kEnglishOffset); }
    void TearDown() override
    {
        std::fclose(out);
        std::fclose(err);
        app::CApp::instance().setTextIdOffset(app::kGermanOffset);
    }
    int ask(app::TextId id) { return channel.showMessage({app::loadText(id), app::kMbYesNo | app::kMbIconQuestion}); }
};

}  // namespace

TEST_F(ConsoleOperator, QuestionsTakeTheirOwnAnswerElseTheDefault)
{
    struct Case {
        bool yes;
        std::map<int, bool> answers;
        app::TextId asked;
        int expected;
    };
    const std::vector<Case> cases = {
        {false, {}, 30044, app::kIdNo},
        {true, {}, 30044, app::kIdYes},
        {true, {{30044, false}}, 30044, app::kIdNo},
        {false, {{30044, true}}, 30044, app::kIdYes},
        {false, {{30045, true}}, 30044, app::kIdNo},  // another question's answer does not apply
        {false, {{35410, true}}, 35410, app::kIdYes},  // a question with placeholders
    };
    for (const auto& c : cases) {
        cli::ScriptedOperator script;
        script.yes = c.yes;
        script.answers = c.answers;
        channel.setScript(script);
        const std::string text = c.asked == 35410 ? app::formatText(app::loadText(35410), 2, 100) : app::loadText(c.asked);
        EXPECT_EQ(channel.showMessage({text, app::kMbYesNo}), c.expected) << c.asked;
    }
    EXPECT_EQ(contents(out), "");  // questions and answers go to the error stream only
    EXPECT_NE(contents(err).find("-> yes (--answer 35410)"), std::string::npos);
}

TEST_F(ConsoleOperator, NoticeHookRunsWithTheDeviceNumberBeforeTheNoticeIsConfirmed)
{
    cli::ScriptedOperator script;
#ifdef _WIN32
    // cmd /c, whose echo ends its lines with CR LF.
    script.noticeHooks[35407] = "echo device=%VST_DEVICE%& exit 3";
    script.noticeHooks[35406] = "if defined VST_DEVICE (echo device=%VST_DEVICE%) else (echo device=none)";
    const std::string eol = "\r\n";
#else
    script.noticeHooks[35407] = "echo \"device=$VST_DEVICE\"; exit 3";
    script.noticeHooks[35406] = "echo \"device=${VST_DEVICE-none}\"";
    const std::string eol = "\n";
#endif
    channel.setScript(script);
    EXPECT_EQ(channel.showMessage({app::formatText(app::loadText(35407), 7), app::kMbIconInformation}), app::kIdOk);
    EXPECT_EQ(channel.showMessage({app::loadText(35406), app::kMbIconInformation}), app::kIdOk);
    EXPECT_EQ(contents(out), platform::cp1252ToUtf8(app::formatText(app::loadText(35407), 7)) + "\n" +
                                 platform::cp1252ToUtf8(app::loadText(35406)) + "\n");
    const std::string e = contents(err);
    EXPECT_NE(e.find("device=7" + eol), std::string::npos) << e;
    EXPECT_NE(e.find("--on-notice 35407: exit status 3"), std::string::npos) << e;
    EXPECT_NE(e.find("device=none" + eol), std::string::npos) << e;
}

TEST_F(ConsoleOperator, StarterHostRefusesOnTheOutputAndAsksThroughTheScript)
{
    cli::ScriptedOperator script;
    script.answers[30045] = true;
    channel.setScript(script);
    ops::StarterHost& host = channel;
    EXPECT_EQ(ops::refuse(host, 30048, app::kMbIconExclamation), ops::StartOutcome::Refused);
    EXPECT_TRUE(ops::confirm(host, 30045));
    EXPECT_FALSE(ops::confirm(host, 30046));
    EXPECT_EQ(contents(out), platform::cp1252ToUtf8(app::loadText(30048)) + "\n");

    bool ran = false;
    host.startWorkflow([&](ops::WorkerChannel& window) { ran = &window == &channel; }, ops::WorkerEnd::Finished);
    EXPECT_TRUE(ran);
}

// Every question and notice gets a line "[ID] text" on the error stream, so that an operator learns
// what to give --answer and --on-notice; a notice's text stays on the output stream as it was. A
// question put together from a lead-in and its text (the release of a used serial number) is known
// by its own id, and --answer takes that id.
TEST_F(ConsoleOperator, QuestionsAndNoticesShowTheirIdOnTheErrorStream)
{
    cli::ScriptedOperator script;
    script.answers[35400] = true;
    channel.setScript(script);
    const std::string notice = app::formatText(app::loadText(35407), 2);
    const std::string release = app::formatText(app::loadText(36000), "00004711", "01.02.2026", "10:11:12", "MM") +
                                " " + app::loadText(35400);
    EXPECT_EQ(channel.showMessage({notice, app::kMbIconInformation}), app::kIdOk);
    EXPECT_EQ(ask(30045), app::kIdNo);
    EXPECT_EQ(channel.showMessage({release, app::kMbYesNo | app::kMbIconExclamation}), app::kIdYes);
    EXPECT_EQ(channel.showMessage({"not a text of the table", app::kMbIconInformation}), app::kIdOk);
    EXPECT_EQ(contents(out), platform::cp1252ToUtf8(notice) + "\nnot a text of the table\n");
    EXPECT_EQ(contents(err), "[35407] " + platform::cp1252ToUtf8(notice) + "\n" +
                                 "[30045] " + platform::cp1252ToUtf8(app::loadText(30045)) +
                                 "\n  -> no (give --yes to agree)\n" +
                                 "[35400] " + platform::cp1252ToUtf8(release) + "\n  -> yes (--answer 35400)\n" +
                                 "[?] not a text of the table\n");
}

TEST(TextIds, MessagesAreKnownByTheirTextsInEitherLanguage)
{
    const struct {
        int32_t offset;
        std::string text;
        app::TextId id;
    } cases[] = {
        {app::kGermanOffset, app::textAt(30045), 30045},
        {app::kEnglishOffset, app::textAt(40045), 30045},
        {app::kGermanOffset, app::formatText(app::textAt(35410), 3, 4711), 35410},
        {app::kEnglishOffset, app::formatText(app::textAt(45407), 12), 35407},
        {app::kGermanOffset, "Vorspann " + app::textAt(35400), 35400},
        {app::kGermanOffset, app::textAt(40045), 0},  // the other language's text
        {app::kGermanOffset, "", 0},
    };
    for (const auto& c : cases) {
        app::CApp::instance().setTextIdOffset(c.offset);
        EXPECT_EQ(app::findTextId(c.text), c.id) << c.text;
    }
    app::CApp::instance().setTextIdOffset(app::kGermanOffset);
}
