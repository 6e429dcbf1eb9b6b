// The station program. Start-up runs through the application object; the Qt application supplies
// the message boxes.
#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <cstdio>
#include <string>
#include <memory>
#include <vector>

#include "app/CApp.h"
#include "app/NetworkCards.h"
#include "app/Version.h"
#include "platform/CodePage.h"
#include "platform/Network.h"
#include "platform/SettingsStore.h"
#include "app/CommandLineText.h"

namespace {

QString fromCp1252(const std::string& text)
{
    return QString::fromStdString(vst::platform::cp1252ToUtf8(text));
}

class QtStartupHost : public vst::app::StartupHost {
public:
    QtStartupHost(int& argc, char** argv) : argc_(argc), argv_(argv) {}

    void constructMainWindow() override
    {
        cardCount_ = vst::app::enumerateNetworkCards(&cards_);
    }
    void registerCommonControls(uint32_t) override {}
    void baseInitialise() override
    {
        application_ = std::make_unique<QApplication>(argc_, argv_);
        QApplication::setApplicationName(vst::app::programProductName());
        QApplication::setApplicationVersion(vst::app::programProductVersion());
    }
    void showStartupError(const std::string& text) override
    {
        QMessageBox::critical(nullptr, QString::fromLatin1(vst::app::programProductName()),
                              fromCp1252(text));
    }
    bool startSockets() override { return vst::platform::startNetworking(); }
    void runMainWindow() override
    {
        // The operator window is not built yet: report what start-up found and end.
        const auto& app = vst::app::CApp::instance();
        std::printf("%s %s\n", vst::app::programProductName(), vst::app::programProductVersion());
        std::printf("mode %d%s, language offset %d\n", static_cast<int>(app.operatingMode()),
                    app.internalMode() ? " (internal)" : "", app.textIdOffset());
        std::printf("network cards: %d\n", cardCount_);
        for (const auto& card : cards_) {
            std::printf("  %d %s", card.index, card.description.c_str());
            for (const auto& a : card.addresses) {
                std::printf(" %s/%s", vst::app::dottedAddress(a.address).c_str(),
                            vst::app::dottedAddress(a.mask).c_str());
            }
            std::printf("\n");
        }
    }

private:
    int& argc_;
    char** argv_;
    std::unique_ptr<QApplication> application_;
    std::vector<vst::app::NetworkCard> cards_;
    int cardCount_ = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    const std::string commandLine = vst::app::commandLineText(argc, argv);
    QtStartupHost host(argc, argv);
    const auto result =
        vst::app::CApp::instance().initInstance(host, commandLine, vst::platform::machineSettings());
    return result == vst::app::StartupResult::Refused ? 1 : 0;
}
