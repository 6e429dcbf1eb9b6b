#include "platform/SettingsStore.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

using namespace vst::platform;
using vst::test::TempDir;

TEST(IniSettings, ReadsNumbersAndTextsByKeyPath)
{
    TempDir dir;
    dir.write("s.ini", "; comment\n[SOFTWARE\\KW\\Vestrolan-Manager\\]\nLanguage=dword:10000\n"
                       "[software\\kw]\r\nVodirurudorazSprache = Deutsch\r\n");
    IniSettingsStore store(dir.file("s.ini"));
    EXPECT_EQ(store.readNumber("SOFTWARE\\KW\\Vestrolan-Manager", "Language"), 10000u);
    EXPECT_EQ(store.readText("SOFTWARE\\KW\\", "VodirurudorazSprache", 512), "Deutsch");
    EXPECT_EQ(store.readText("SOFTWARE\\KW\\", "VodirurudorazSprache", 7), std::nullopt);
    EXPECT_EQ(store.readText("SOFTWARE\\KW\\Vestrolan-Manager\\", "Language", 512), std::nullopt);
    EXPECT_EQ(store.readNumber("SOFTWARE\\KW\\", "VodirurudorazSprache"), std::nullopt);
    EXPECT_EQ(store.readNumber("SOFTWARE\\Other", "Language"), std::nullopt);
}

TEST(IniSettings, WriteCreatesKeyAndKeepsOtherValues)
{
    TempDir dir;
    dir.write("s.ini", "# keep\n[SOFTWARE\\KW]\nVodirurudorazSprache=Deutsch\n");
    IniSettingsStore store(dir.file("s.ini"));
    ASSERT_TRUE(store.writeNumber("SOFTWARE\\KW\\Vestrolan-Manager\\", "Language", 10000));
    EXPECT_EQ(store.readNumber("SOFTWARE\\KW\\Vestrolan-Manager\\", "Language"), 10000u);
    ASSERT_TRUE(store.writeNumber("SOFTWARE\\KW\\Vestrolan-Manager\\", "Language", 0));
    EXPECT_EQ(store.readNumber("SOFTWARE\\KW\\Vestrolan-Manager\\", "Language"), 0u);
    EXPECT_EQ(store.readText("SOFTWARE\\KW\\", "VodirurudorazSprache", 512), "Deutsch");
    const std::string text = dir.read("s.ini");
    EXPECT_EQ(text.find("# keep"), 0u);
    EXPECT_EQ(text.find("Language"), text.rfind("Language")) << text;

    IniSettingsStore fresh(dir.file("new/dir/s.ini"));
    EXPECT_TRUE(fresh.writeNumber("A", "B", 7));
    EXPECT_EQ(fresh.readNumber("a\\", "b"), 7u);
}

TEST(IniSettings, UnwritableLocationFails)
{
    TempDir dir;
    dir.write("blocker", "a file where a folder should be");
    IniSettingsStore store(dir.file("blocker/s.ini"));
    EXPECT_FALSE(store.writeNumber("A", "B", 1));
    EXPECT_EQ(store.readNumber("A", "B"), std::nullopt);
}

TEST(IniSettings, InstallLanguageFromLocale)
{
    EXPECT_EQ(installLanguageForLocale("de_DE.UTF-8"), "0407");
    EXPECT_EQ(installLanguageForLocale("de_AT"), "0407");
    EXPECT_EQ(installLanguageForLocale("en_US.UTF-8"), "0409");
    EXPECT_EQ(installLanguageForLocale("C"), std::nullopt);
    EXPECT_EQ(installLanguageForLocale("C.UTF-8"), std::nullopt);
    EXPECT_EQ(installLanguageForLocale(""), std::nullopt);
}
