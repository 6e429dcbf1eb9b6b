#include "platform/SettingsStore.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <optional>

#include "support/TempDir.h"

using namespace vst::platform;
using vst::test::TempDir;

namespace {

// A store over the file s.ini in `dir`, which holds `text`.
IniSettingsStore storeWith(TempDir& dir, const std::string& text)
{
    dir.write("s.ini", text);
    return IniSettingsStore(dir.file("s.ini"));
}

}  // namespace

TEST(IniSettings, ReadsNumbersAndTextsByKeyPath)
{
    TempDir dir;
    IniSettingsStore store = storeWith(dir, "; comment\n[SOFTWARE\\KW\\Vestrolan-Manager\\]\nLanguage=dword:10000\n"
                                            "[software\\kw]\r\nVodirurudorazSprache = Deutsch\r\n");
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
    IniSettingsStore store = storeWith(dir, "# keep\n[SOFTWARE\\KW]\nVodirurudorazSprache=Deutsch\n");
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

TEST(IniSettings, WriteReplacesEveryCopyOfTheValue)
{
    TempDir dir;
    IniSettingsStore store = storeWith(dir, "[SOFTWARE\\KW]\nLanguage=dword:0\nLanguage=text\n[other]\n[software\\kw\\]\nlanguage=dword:1\n");
    ASSERT_TRUE(store.writeNumber("SOFTWARE\\KW", "Language", 10000));
    EXPECT_EQ(store.readNumber("SOFTWARE\\KW", "Language"), 10000u);
    EXPECT_EQ(dir.read("s.ini"), "[SOFTWARE\\KW]\nLanguage=dword:10000\nLanguage=dword:10000\n[other]\n"
                                 "[software\\kw\\]\nLanguage=dword:10000\n");
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

// A settings file that exists but cannot be read is left alone: rewriting it from what was read
// would keep only the new value.
TEST(IniSettings, UnreadableFileIsNotRewritten)
{
    TempDir dir;
    dir.write("target.ini", "[SOFTWARE\\A]\nKeep=dword:7\n");
    const struct {
        const char* what;
        std::function<void(const std::filesystem::path&)> make;
    } cases[] = {
        {"a link to a folder", [&](const std::filesystem::path& f) { std::filesystem::create_directory_symlink(dir.path(), f); }},
        {"a dangling link", [&](const std::filesystem::path& f) { std::filesystem::create_symlink(dir.path() / "gone.ini", f); }},
        {"a link loop", [&](const std::filesystem::path& f) { std::filesystem::create_symlink(f, f); }},
    };
    int n = 0;
    for (const auto& c : cases) {
        const auto file = dir.path() / ("settings" + std::to_string(n++) + ".ini");
        c.make(file);
        IniSettingsStore store(file);
        EXPECT_FALSE(store.writeNumber("SOFTWARE\\A", "New", 1)) << c.what;
        EXPECT_TRUE(std::filesystem::is_symlink(file)) << c.what;
    }
    if (::geteuid() != 0) {
        const auto file = dir.path() / "target.ini";
        std::filesystem::permissions(file, std::filesystem::perms::owner_write);
        EXPECT_FALSE(IniSettingsStore(file).writeNumber("SOFTWARE\\A", "New", 1));
        std::filesystem::permissions(file, std::filesystem::perms::owner_all);
        EXPECT_EQ(dir.read("target.ini"), "[SOFTWARE\\A]\nKeep=dword:7\n");
    }
    // An absent file is created with the value.
    IniSettingsStore fresh(dir.path() / "fresh.ini");
    EXPECT_TRUE(fresh.writeNumber("SOFTWARE\\A", "New", 1));
    EXPECT_EQ(fresh.readNumber("SOFTWARE\\A", "New"), 1u);
}

// Where the settings are on Linux: one file named by VESTROLAN_SETTINGS, else the user's file
// below $XDG_CONFIG_HOME (or ~/.config) before the machine's.
TEST(SettingsFiles, FromTheEnvironment)
{
    const std::filesystem::path machine = "/etc/vestrolan/settings.ini";
    const struct {
        std::map<std::string, std::string> env;
        std::optional<std::filesystem::path> user;
        std::filesystem::path machine;
        bool single;
    } cases[] = {
        {{{"VESTROLAN_SETTINGS", "/tmp/demo/settings.ini"}, {"HOME", "/home/u"}}, std::nullopt,
         "/tmp/demo/settings.ini", true},
        {{{"XDG_CONFIG_HOME", "/home/u/cfg"}, {"HOME", "/home/u"}}, "/home/u/cfg/vestrolan/settings.ini", machine, false},
        {{{"HOME", "/home/u"}}, "/home/u/.config/vestrolan/settings.ini", machine, false},
        // An empty or relative $XDG_CONFIG_HOME counts as unset, an empty VESTROLAN_SETTINGS too.
        {{{"XDG_CONFIG_HOME", "cfg"}, {"HOME", "/home/u"}}, "/home/u/.config/vestrolan/settings.ini", machine, false},
        {{{"XDG_CONFIG_HOME", ""}, {"VESTROLAN_SETTINGS", ""}, {"HOME", "/home/u"}},
         "/home/u/.config/vestrolan/settings.ini", machine, false},
        {{}, std::nullopt, machine, false},
    };
    for (const auto& c : cases) {
        const SettingsFiles files = settingsFiles([&](const char* name) -> const char* {
            auto it = c.env.find(name);
            return it == c.env.end() ? nullptr : it->second.c_str();
        });
        EXPECT_EQ(files.user, c.user) << c.machine;
        EXPECT_EQ(files.machine, c.machine);
        EXPECT_EQ(files.single, c.single);
    }
}

// Each value comes from the user's file when it holds it, else from the machine's; a write goes to
// the user's file and leaves the machine's alone.
TEST(LayeredSettings, UserFileFirstThenTheMachinesAndWritesOnlyTheUsers)
{
    TempDir dir;
    const std::string machineText = "[SOFTWARE\\KW\\Vestrolan-Manager]\nLanguage=dword:0\nProgrammerTimeout=dword:900\n"
                                    "[SOFTWARE\\KW]\nVodirurudorazSprache=Deutsch\n";
    dir.write("etc.ini", machineText);
    LayeredSettingsStore store(dir.path() / "home/.config/vestrolan/settings.ini", dir.path() / "etc.ini");
    EXPECT_EQ(store.readNumber("SOFTWARE\\KW\\Vestrolan-Manager", "Language"), 0u);
    ASSERT_TRUE(store.writeNumber("SOFTWARE\\KW\\Vestrolan-Manager\\", "Language", 10000));
    EXPECT_EQ(store.readNumber("SOFTWARE\\KW\\Vestrolan-Manager", "Language"), 10000u);
    EXPECT_EQ(store.readNumber("SOFTWARE\\KW\\Vestrolan-Manager", "ProgrammerTimeout"), 900u);
    EXPECT_EQ(store.readText("SOFTWARE\\KW", "VodirurudorazSprache", 512), "Deutsch");
    EXPECT_EQ(dir.read("etc.ini"), machineText);
    EXPECT_EQ(dir.read("home/.config/vestrolan/settings.ini"),
              "[SOFTWARE\\KW\\Vestrolan-Manager\\]\nLanguage=dword:10000\n");
}

// A write that fails says where and why; without a user's file every write fails and says so.
TEST(LayeredSettings, FailedWriteTellsWhereAndWhy)
{
    TempDir dir;
    dir.write("blocker", "a file where the settings folder should be");
    const auto file = dir.path() / "blocker" / "vestrolan" / "settings.ini";
    LayeredSettingsStore blocked(file, dir.path() / "etc.ini");
    EXPECT_FALSE(blocked.writeNumber("A", "B", 1));
    const std::string why = blocked.writeFailure();
    EXPECT_EQ(why.rfind(file.string() + ": ", 0), 0u) << why;
    EXPECT_GT(why.size(), file.string().size() + 2) << why;

    LayeredSettingsStore homeless(std::nullopt, dir.path() / "etc.ini");
    EXPECT_FALSE(homeless.writeNumber("A", "B", 1));
    EXPECT_NE(homeless.writeFailure().find("$HOME"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "etc.ini"));

    if (::geteuid() != 0) {
        std::filesystem::create_directories(dir.path() / "ro");
        std::filesystem::permissions(dir.path() / "ro", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        IniSettingsStore readOnly(dir.path() / "ro" / "settings.ini");
        EXPECT_FALSE(readOnly.writeNumber("A", "B", 1));
        EXPECT_EQ(readOnly.writeFailure(), (dir.path() / "ro" / "settings.ini").string() + ": " + std::strerror(EACCES));
        std::filesystem::permissions(dir.path() / "ro", std::filesystem::perms::owner_all);
    }
}
