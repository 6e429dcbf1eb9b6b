#pragma once
// A main window under test: settings of the command line, fake network cards, a scripted operator
// and a record folder with the serial-number log and the sign list.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <type_traits>

#include "app/CApp.h"
#include "app/Texts.h"
#include "platform/CodePage.h"
#include "support/MemorySettings.h"
#include "support/TempDir.h"
#include "ui/CDeviceListCtrl.h"
#include "ui/CMainDlg.h"
#include "ScriptedUiPrompt.h"

namespace vst::test {

inline std::vector<app::NetworkCard> fakeCards()
{
    app::NetworkCard lan;
    lan.description = "LAN-Karte";
    lan.addresses = {{0xC0A80001u, 0xFFFFFF00u}};
    lan.index = 0;
    app::NetworkCard wlan;
    wlan.description = "WLAN-Karte";
    wlan.addresses = {{0x0A14FFFEu, 0xFFFF0000u}};
    wlan.index = 1;
    return {lan, wlan};
}

inline std::unique_ptr<net::DeviceRecord> record(uint8_t id, int kind = 0, const char* name = "Gerät",
                                                 uint32_t serial = net::kNoSerialNumber)
{
    auto r = std::make_unique<net::DeviceRecord>();
    r->productKind = kind;
    r->mac = {0x02, 0x00, 0x00, 0x00, 0x00, id};
    r->name.assign(platform::utf8ToCp1252(name));
    r->serialNumber = serial;
    r->appVersion = 1.05f;
    r->bootloaderVersion = 1.02f;
    r->address = net::toNetworkOrder(0xC0A80064u + id);
    r->mask = net::toNetworkOrder(0xFFFFFF00u);
    return r;
}

inline QString german(app::TextId id) { return QString::fromStdString(platform::cp1252ToUtf8(app::textAt(id))); }

// The text of an id in the current language with CR LF as a line break, as captions show it.
inline QString caption(app::TextId id)
{
    QString text = QString::fromStdString(platform::cp1252ToUtf8(app::loadText(id)));
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// Runs the call on a thread of its own, as a worker would, and serves the window meanwhile.
template <typename F>
auto fromWorker(F call) -> std::invoke_result_t<F&>
{
    using Result = std::invoke_result_t<F&>;
    std::atomic<bool> done{false};
    std::conditional_t<std::is_void_v<Result>, int, Result> result{};
    std::thread worker([&] {
        if constexpr (std::is_void_v<Result>) call();
        else result = call();
        done = true;
    });
    const bool finished = QTest::qWaitFor([&] { return done.load(); }, 10000);
    worker.join();
    EXPECT_TRUE(finished);
    if constexpr (!std::is_void_v<Result>) return result;
}

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        prompt.settings = &store;
        app::CApp::instance().setTextIdOffset(app::kGermanOffset);
        records.write("SNR.LOG", "");
        records.write("MA.LST", "AB\nMM\n");
    }

    void TearDown() override
    {
        window.reset();
        app::CApp::instance().setSettings({});
        app::CApp::instance().setTextIdOffset(app::kGermanOffset);
    }

    // Settings for an internal mode with every path it needs.
    app::AppSettings modeSettings(app::OperatingMode mode) const
    {
        app::AppSettings s;
        s.internalMode = true;
        s.operatingMode = mode;
        s.serialNumberPath = records.str();
        s.networkCardIndex = 0;
        s.targetAddress = 0xC0A800C8u;
        s.firmwarePath = records.str();
        return s;
    }

    bool open(const app::AppSettings& settings, std::vector<app::NetworkCard> cards = fakeCards())
    {
        app::CApp::instance().setSettings(settings);
        if (!settings.serialNumberPath.empty() && prompt.signChoices.empty()) prompt.signChoices.push_back(0);
        window = std::make_unique<ui::CMainDlg>(prompt, std::move(cards));
        return window->initialise();
    }

    QWidget* control(int id) const { return window->control(id); }
    QPushButton* button(int id) const { return qobject_cast<QPushButton*>(control(id)); }
    QString labelText(int id) const { return qobject_cast<QLabel*>(control(id))->text(); }
    bool shown(int id) const { return !control(id)->isHidden(); }
    bool enabled(int id) const { return control(id)->isEnabled(); }
    ui::CDeviceListCtrl* list() const { return window->deviceList(); }

    ScriptedUiPrompt prompt;
    MemorySettings store;
    TempDir records;
    std::unique_ptr<ui::CMainDlg> window;
};

}  // namespace vst::test
