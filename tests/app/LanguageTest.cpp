#include "app/Language.h"

#include <gtest/gtest.h>

#include "app/CApp.h"
#include "app/Texts.h"
#include "support/MemorySettings.h"

using namespace vst::app;
using vst::test::MemorySettings;

namespace {

struct LanguageRules : ::testing::Test {
    MemorySettings store;
    void TearDown() override { CApp::instance().setTextIdOffset(0); }

    void setStored(uint32_t v) { store.values[{kStationKey, kLanguageValue}] = v; }
    void setMaker(std::string v) { store.values[{kMakerKey, kMakerLanguageValue}] = std::move(v); }
    void setInstall(std::string v) { store.values[{kInstallLanguageKey, kInstallLanguageValue}] = std::move(v); }
};

}  // namespace

TEST_F(LanguageRules, StoredChoiceWinsOverEverything)
{
    setStored(10000);
    setMaker("Deutsch");
    setInstall("0407");
    EXPECT_EQ(determineLanguage(store), 10000);
    setStored(0);
    setInstall("0409");
    EXPECT_EQ(determineLanguage(store), 0);
}

TEST_F(LanguageRules, MakerLanguageIsCaseSensitive)
{
    setInstall("0407");
    setMaker("deutsch");
    EXPECT_EQ(determineLanguage(store), 10000);
    setMaker("Deutsch");
    EXPECT_EQ(determineLanguage(store), 0);
    setMaker("English");
    EXPECT_EQ(determineLanguage(store), 10000);
}

TEST_F(LanguageRules, MakerLanguageOverLongFallsThrough)
{
    setMaker(std::string(600, 'x'));
    setInstall("0407");
    EXPECT_EQ(determineLanguage(store), 0);
}

TEST_F(LanguageRules, InstallLanguage)
{
    setInstall("0409");
    EXPECT_EQ(determineLanguage(store), 10000);
    setInstall("0407");
    EXPECT_EQ(determineLanguage(store), 0);
}

TEST_F(LanguageRules, NothingReadableMeansGerman) { EXPECT_EQ(determineLanguage(store), 0); }

TEST_F(LanguageRules, StoredNumberOfWrongTypeFallsThrough)
{
    store.values[{kStationKey, kLanguageValue}] = std::string("10000");
    setInstall("0409");
    EXPECT_EQ(determineLanguage(store), 10000);
    setInstall("0407");
    EXPECT_EQ(determineLanguage(store), 0);
}

TEST_F(LanguageRules, ChoosingSwitchesTextsAtOnceAndStoresTheChoice)
{
    chooseLanguage(true, store);
    EXPECT_EQ(CApp::instance().textIdOffset(), 10000);
    EXPECT_EQ(loadText(30202), textAt(40202));
    EXPECT_EQ(determineLanguage(store), 10000);

    chooseLanguage(false, store);
    EXPECT_EQ(CApp::instance().textIdOffset(), 0);
    EXPECT_EQ(loadText(30202), "Englisch");
    EXPECT_EQ(determineLanguage(store), 0);
}

TEST_F(LanguageRules, FailedStoreIsIgnoredButLanguageStillChanges)
{
    store.failWrites = true;
    chooseLanguage(true, store);
    EXPECT_EQ(store.writes, 1);
    EXPECT_EQ(CApp::instance().textIdOffset(), 10000);
    EXPECT_EQ(determineLanguage(store), 0);  // the next start falls back
}

TEST_F(LanguageRules, StoredValueOtherThanTheTwoOffsetsFallsThrough)
{
    for (uint32_t stored : {1u, 9999u, 20000u, 0xFFFFFFFFu}) {
        setStored(stored);
        setMaker("English");
        EXPECT_EQ(determineLanguage(store), 10000) << stored;
        setMaker("Deutsch");
        EXPECT_EQ(determineLanguage(store), 0) << stored;
    }
}

// A choice that cannot be stored still switches the language, and the caller learns why it was
// not stored.
TEST_F(LanguageRules, ChoiceThatCannotBeStoredSaysWhy)
{
    store.failWrites = true;
    std::string failure;
    EXPECT_FALSE(chooseLanguage(true, store, &failure));
    EXPECT_EQ(CApp::instance().textIdOffset(), 10000);
    EXPECT_EQ(failure, "memory: writes refused");
    store.failWrites = false;
    failure.clear();
    EXPECT_TRUE(chooseLanguage(false, store, &failure));
    EXPECT_EQ(failure, "");
}
