#include "ui/StationHost.h"

#include "platform/SettingsStore.h"

#include <QApplication>

#include <clocale>

#include "app/Version.h"
#include "platform/Network.h"
#include "ui/CMainDlg.h"
#include "ui/QtPrompt.h"

namespace vst::ui {

StationHost::StationHost(int& argc, char** argv, platform::SettingsStore& settings)
    : argc_(argc), argv_(argv), settings_(settings)
{
}

StationHost::~StationHost() = default;

void StationHost::constructMainWindow()
{
    // The window object itself needs the framework, which starts later; what its construction
    // does first, the card enumeration, happens here in the start-up order.
    if (enumerateCards(&cards_) < 0) cards_.clear();
}

int StationHost::enumerateCards(std::vector<app::NetworkCard>* cards) { return app::enumerateNetworkCards(cards); }

void StationHost::registerCommonControls(uint32_t) {}

void StationHost::baseInitialise()
{
    if (!QApplication::instance()) application_ = std::make_unique<QApplication>(argc_, argv_);
    // Qt takes the desktop's locale for the C library too; numbers sent to devices and written
    // into records keep their decimal point in every locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QString::fromLatin1(app::programProductName()));
    QApplication::setApplicationVersion(QString::fromLatin1(app::programProductVersion()));
}

UiPrompt& StationHost::prompt()
{
    if (!operatorPrompt_) operatorPrompt_ = std::make_unique<QtPrompt>(settings_);
    return *operatorPrompt_;
}

void StationHost::showStartupError(const std::string& text)
{
    // The language is known by now: the box's own buttons follow it.
    applyQtTranslation();
    prompt().messageBox(text, app::kMbIconError);
}

bool StationHost::startSockets() { return platform::startNetworking(); }

void StationHost::runMainWindow()
{
    applyQtTranslation();
    CMainDlg window(prompt(), std::move(cards_));
    if (operatorPrompt_) operatorPrompt_->setParentWindow(&window);
    // The operator's own window place, columns and sort order.
    window.setStateStore(&platform::userSettings());
    if (window.initialise()) {
        shown_ = true;
        window.show();
        window.restoreState();
        runEventLoop(window);
    }
    if (operatorPrompt_) operatorPrompt_->setParentWindow(nullptr);
}

void StationHost::runEventLoop(CMainDlg& window)
{
    QObject::connect(qApp, &QApplication::lastWindowClosed, &window, [] { QApplication::quit(); });
    QApplication::exec();
}

}  // namespace vst::ui
