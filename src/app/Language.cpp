#include "app/Language.h"

#include "app/CApp.h"
#include "app/Texts.h"
#include "platform/SettingsStore.h"

namespace vst::app {

int32_t determineLanguage(platform::SettingsStore& store)
{
    // Only the two offsets are a language; any other stored number is ignored.
    if (auto stored = store.readNumber(kStationKey, kLanguageValue)) {
        if (*stored == static_cast<uint32_t>(kGermanOffset) || *stored == static_cast<uint32_t>(kEnglishOffset)) {
            return static_cast<int32_t>(*stored);
        }
    }
    if (auto maker = store.readText(kMakerKey, kMakerLanguageValue, 512)) {
        return *maker == "Deutsch" ? kGermanOffset : kEnglishOffset;
    }
    if (auto install = store.readText(kInstallLanguageKey, kInstallLanguageValue, 512)) {
        return *install == "0407" ? kGermanOffset : kEnglishOffset;
    }
    return kGermanOffset;
}

bool chooseLanguage(bool english, platform::SettingsStore& store, std::string* failure)
{
    const int32_t offset = english ? kEnglishOffset : kGermanOffset;
    CApp::instance().setTextIdOffset(offset);
    if (store.writeNumber(kStationKey, kLanguageValue, static_cast<uint32_t>(offset))) return true;
    if (failure) *failure = store.writeFailure();
    return false;
}

}  // namespace vst::app
