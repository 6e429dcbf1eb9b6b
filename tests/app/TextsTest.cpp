#include "app/Texts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "app/CApp.h"
#include "platform/CodePage.h"

using namespace vst::app;

TEST(TextTable, EveryTextHasItsTwinInTheOtherLanguage)
{
    const auto& table = textTable();
    ASSERT_GT(table.size(), 600u);
    for (const auto& [id, text] : table) {
        ASSERT_TRUE((id >= 30000 && id <= 37999) || (id >= 40000 && id <= 47999)) << id;
        const unsigned twin = id < 40000 ? id + 10000 : id - 10000;
        EXPECT_TRUE(table.count(twin)) << "id " << id << " has no twin " << twin;
        EXPECT_FALSE(text.empty()) << id;
    }
}

TEST(TextTable, EveryIdTheCodeLoadsExists)
{
    // Text ids appear in the code as loadText(NNNNN) or TextId{NNNNN}.
    const std::regex use(R"((?:loadText\(|TextId\{)\s*(3[0-9]{4})\b)");
    std::set<unsigned> used;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(VST_SOURCE_DIR "/src")) {
        const auto ext = entry.path().extension();
        if (ext != ".cpp" && ext != ".h") continue;
        std::ifstream in(entry.path());
        const std::string code((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (std::sregex_iterator m(code.begin(), code.end(), use), end; m != end; ++m) {
            used.insert(static_cast<unsigned>(std::stoul((*m)[1])));
        }
    }
    EXPECT_FALSE(used.empty());
    for (unsigned id : used) {
        EXPECT_FALSE(textAt(id).empty()) << "German text " << id << " missing";
        EXPECT_FALSE(textAt(id + 10000).empty()) << "English text " << id + 10000 << " missing";
    }
}

TEST(TextTable, TextsAreWindows1252WithEscapesResolved)
{
    EXPECT_EQ(textAt(36001), "Freigabe erw\xFCnscht");
    EXPECT_EQ(textAt(36004), "Lagerupdate:\r\n");
    EXPECT_EQ(textAt(46013), "  => device not found => retry desied\r\n");
    EXPECT_EQ(textAt(36027), "  - Ger\xE4t %d ist im Dauerlauf um %s beim Schritt \"%s\" ausgefallen\r\n");
    EXPECT_EQ(textAt(12345), "");
}

TEST(TextTable, LoadTextAddsTheOffset)
{
    CApp::instance().setTextIdOffset(kEnglishOffset);
    EXPECT_EQ(loadText(36003), "NO release");
    CApp::instance().setTextIdOffset(kGermanOffset);
    EXPECT_EQ(loadText(36003), "KEINE Freigabe");
}

TEST(TextTable, ParserRejectsMalformedLines)
{
    std::map<unsigned, std::string> out;
    std::string error;
    EXPECT_TRUE(parseTextTable("# comment\n\n30000\tA\\tB\\\\C\\\"D\\r\\n\n40000\t\xC3\xA4\n", out, &error)) << error;
    EXPECT_EQ(out[30000], "A\tB\\C\"D\r\n");
    EXPECT_EQ(out[40000], "\xE4");

    for (const char* bad : {"30000 no tab\n", "3x000\tA\n", "30000\tbad\\q\n", "30000\ttrailing\\\n",
                            "30000\tA\n30000\tB\n", "\tA\n", "9999999\tA\n"}) {
        out.clear();
        EXPECT_FALSE(parseTextTable(bad, out, &error)) << bad;
        EXPECT_NE(error.find("line"), std::string::npos);
    }
}
