// Renders the station's windows to PNG files, so that anyone can look at the interface without
// clicking through it: the main window in each operating mode (with a few listed devices) and
// every dialog, in German and in English.
//
//   vestrolan-screenshots OUTDIR
//
// Runs on any Qt platform; scripts/screenshots.sh uses the offscreen one.
#include "config/ConfigurationAssistant.h"
#include "config/SensorList.h"
#include "ui/config/CCalibEnergyDlg.h"
#include "ui/config/CDeviceDlg.h"
#include "ui/config/CSensorDlg.h"
#include "ui/config/CSensorListCtrl.h"

#include <filesystem>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QDir>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolTip>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CApp.h"
#include "app/Texts.h"
#include "config/CalibrationRequest.h"
#include "ops/Reporting.h"
#include "ops/ServiceStarts.h"
#include "ui/CAboutDlg.h"
#include "ui/CDeviceListCtrl.h"
#include "ui/CLangDlg.h"
#include "ui/CMainDlg.h"
#include "ui/CNameDlg.h"
#include "ui/CNetDlg.h"
#include "ui/COutputDlg.h"
#include "ui/CPasswordDlg.h"
#include "ui/CPersDlg.h"
#include "ui/CDauerlaufDlg.h"
#include "ui/CRepNoDlg.h"
#include "ui/CSerialNoDlg.h"
#include "ui/QtPrompt.h"
#include "ui/UiPrompt.h"
#include "ui/UiText.h"

using namespace vst;

namespace {

// Settings that nobody stores: the language dialog only switches the offset here.
class NoSettings : public platform::SettingsStore {
public:
    std::optional<uint32_t> readNumber(const std::string&, const std::string&) override { return std::nullopt; }
    std::optional<std::string> readText(const std::string&, const std::string&, size_t) override { return std::nullopt; }
    bool writeNumber(const std::string&, const std::string&, uint32_t) override { return true; }
};

// Answers the start-up questions of the main window without showing anything.
class DemoPrompt : public ui::UiPrompt {
public:
    int messageBox(const std::string&, uint32_t) override { return app::kIdOk; }
    std::optional<std::string> askPassword() override { return std::nullopt; }
    std::optional<std::string> chooseFile(const ui::FileDialogRequest&) override { return std::nullopt; }
    std::optional<std::string> askOperatorSign(const std::string&) override { return std::string("MM"); }
    std::optional<std::string> askRepairNumber() override { return std::nullopt; }
    bool editSerialNumber(net::DeviceRecord&) override { return false; }
    bool editDeviceName(net::DeviceRecord&) override { return false; }
    bool editNetworkSettings(net::DeviceRecord&) override { return false; }
    ui::LanguageChoice chooseLanguage() override { return {}; }
    void showAbout() override {}
    std::optional<std::string> runConfigurationAssistant(const std::string&, bool) override { return std::nullopt; }
    bool calibrateEnergySensor(config::CalibrationRequest&) override { return false; }
    void openUrl(const std::string&) override {}
};

std::unique_ptr<net::DeviceRecord> device(int kind, uint8_t id, const char* name, uint32_t serial, float app,
                                          float boot, int32_t status, bool password = false)
{
    auto r = std::make_unique<net::DeviceRecord>();
    r->productKind = kind;
    r->mac = {0x02, 0x00, 0x00, 0x00, 0x00, id};
    r->name.assign(name);
    r->serialNumber = serial;
    r->appVersion = app;
    r->bootloaderVersion = boot;
    r->address = net::toNetworkOrder(0xC0A80064u + id);
    r->mask = net::toNetworkOrder(0xFFFFFF00u);
    r->rowStatus = status;
    r->passwordRequired = password;
    return r;
}

std::vector<app::NetworkCard> demoCards()
{
    app::NetworkCard lan;
    lan.description = "Ethernet (eth0)";
    lan.addresses = {{0xC0A80001u, 0xFFFFFF00u}};
    lan.index = 0;
    app::NetworkCard wlan;
    wlan.description = "WLAN (wlan0)";
    wlan.addresses = {{0x0A14FFFEu, 0xFFFF0000u}};
    wlan.index = 1;
    return {lan, wlan};
}

class Renderer {
public:
    explicit Renderer(QString folder) : folder_(std::move(folder)) {}

    // `overlay`, when given, paints over the window's picture (what the pointer would show).
    bool save(QWidget& widget, const QString& name, const std::function<void(QPainter&)>& overlay = {})
    {
        widget.show();
        QApplication::processEvents();
        const QString file = QDir(folder_).filePath(name + QStringLiteral(".png"));
        QPixmap contents = widget.grab();
        if (overlay) {
            QPainter painter(&contents);
            overlay(painter);
        }
        // A window whose picture is one colour was not drawn (a platform that renders nothing).
        const bool drawn = !isOneColour(contents.toImage());
        const bool ok = drawn && withTitleBar(widget, contents).save(file);
        std::printf("%s %s%s\n", ok ? "wrote" : "FAILED", file.toLocal8Bit().constData(), drawn ? "" : " (blank)");
        widget.hide();
        failures_ += ok ? 0 : 1;
        return ok;
    }
    int failures() const { return failures_; }

private:
    static bool isOneColour(const QImage& image)
    {
        if (image.isNull()) return true;
        const QRgb first = image.pixel(0, 0);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixel(x, y) != first) return false;
            }
        }
        return true;
    }

    // The window's contents under a plain title bar that shows its title, since the platform's own
    // frame is not part of a widget's picture.
    static QPixmap withTitleBar(const QWidget& widget, const QPixmap& contents)
    {
        QFont font = widget.font();
        font.setBold(true);
        const int titleHeight = QFontMetrics(font).height() + 10;
        QPixmap framed(contents.width() + 2, contents.height() + titleHeight + 1);
        framed.fill(QColor(60, 60, 60));
        QPainter painter(&framed);
        painter.fillRect(1, 1, contents.width(), titleHeight - 1, QColor(45, 85, 140));
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(9, 1, contents.width() - 16, titleHeight - 1), Qt::AlignVCenter | Qt::AlignLeft,
                         widget.windowTitle());
        painter.drawPixmap(1, titleHeight, contents);
        return framed;
    }

    QString folder_;
    int failures_ = 0;
};

void renderMainWindow(Renderer& out, const QString& language, app::OperatingMode mode, const std::string& records)
{
    app::AppSettings settings;
    settings.internalMode = mode != app::OperatingMode::Service;
    settings.operatingMode = mode;
    if (mode != app::OperatingMode::Service) {
        settings.serialNumberPath = records;
        settings.networkCardIndex = 0;
        settings.targetAddress = 0xC0A800C8u;
        settings.firmwarePath = records;
        settings.programmerPath = records;
    }
    app::CApp::instance().setSettings(settings);

    DemoPrompt prompt;
    ui::CMainDlg window(prompt, demoCards());
    if (!window.initialise()) {
        std::printf("FAILED the main window did not start\n");
        return;
    }
    const bool service = mode == app::OperatingMode::Service;
    window.addDevice(device(0, 1, "Kesselhaus", 12345678, 1.05f, 1.02f, service ? 0 : 2));
    window.addDevice(device(0, 2, "Halle 3", 12345679, 1.0512f, 1.02f, service ? 0 : 1, true));
    window.addDevice(device(0, 3, "Neu ab Lager", net::kNoSerialNumber, 1.04f, 1.01f, service ? 0 : 3));
    window.addDevice(device(1, 4, "Z\xE4hler Ost", net::kNoSerialNumber, 2.5f, 0.0f, 0));
    window.addDevice(device(3, 5, "Funk-Gateway", 20000001, 3.1f, 0.0f, 0));
    window.deviceList()->selectOnly(0);
    if (service) {
        // Service mode: two rows selected for an update of both, the second one current.
        window.deviceList()->setCurrentCell(2, 1, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        window.setStep({app::loadText(35102), 55});
    } else if (mode == app::OperatingMode::Production) {
        // A final test in its CPU test step, with the device's batch number in the header.
        if (auto* batch = qobject_cast<QLabel*>(window.control(10003))) {
            batch->setText(ui::uiText(app::TextId{30010}) + QStringLiteral(" CH-2026-12"));
        }
        window.setHeading({app::loadText(35313), 60});
        window.setStep({app::loadText(35126), 70});
    } else {
        window.setHeading({app::loadText(35313), 40});
        window.setStep({app::loadText(35126), 70});
    }
    static const char* kModeNames[] = {"service", "stock", "endurance", "production"};
    out.save(window, language + QStringLiteral("-main-") + QString::fromLatin1(kModeNames[static_cast<int>(mode)]));
    if (service || mode == app::OperatingMode::Production) {
        // The File menu opened: the list export, in the production modes also the report.
        for (QMenu* menu : window.findChildren<QMenu*>()) {
            if (menu->title() != ui::uiText(app::TextId{30001})) continue;
            menu->setWindowTitle(menu->title());
            menu->adjustSize();
            out.save(*menu, language + (service ? QStringLiteral("-menu-file") : QStringLiteral("-menu-file-production")));
        }
    }
    app::CApp::instance().setSettings({});
}

// The service window in the states an operator meets while working through a list: every row
// colour, a filter with its count over a sorted list, and a restart counted down.
void renderServiceStates(Renderer& out, const QString& language)
{
    app::CApp::instance().setSettings({});
    const auto fill = [](ui::CMainDlg& window, bool coloured) {
        window.addDevice(device(0, 1, "Kesselhaus", 12345678, 1.05f, 1.02f, coloured ? 1 : 0));
        window.addDevice(device(0, 2, "Halle 3", 12345679, 1.0512f, 1.02f, coloured ? 2 : 0, true));
        window.addDevice(device(0, 3, "Halle 1", net::kNoSerialNumber, 1.04f, 1.01f, coloured ? 3 : 0));
        window.addDevice(device(1, 4, "Z\xE4hler Ost", net::kNoSerialNumber, 2.5f, 0.0f, 0));
        window.addDevice(device(3, 5, "Funk-Gateway", 20000001, 3.1f, 0.0f, 0));
    };
    {
        // In progress, passed, failed and uncoloured rows; nothing selected, so every colour shows.
        DemoPrompt prompt;
        ui::CMainDlg window(prompt, demoCards());
        if (!window.initialise()) return;
        fill(window, true);
        out.save(window, language + QStringLiteral("-main-row-states"));
        // The same rows with the tooltip each coloured row shows under the pointer.
        window.show();
        QApplication::processEvents();
        ui::CDeviceListCtrl* list = window.deviceList();
        out.save(window, language + QStringLiteral("-main-row-tooltips"), [&](QPainter& painter) {
            for (int row = 0; row < 3; ++row) {
                // Each tip beside the pointer, on its own row.
                const QRect cell = list->visualRect(list->model()->index(row, 4));
                QToolTip::showText(list->viewport()->mapToGlobal(cell.center()), list->item(row, 4)->toolTip(), list);
                QApplication::processEvents();
                for (QWidget* top : QApplication::topLevelWidgets()) {
                    if (!top->inherits("QTipLabel") || !top->isVisible()) continue;
                    const QPixmap tip = top->grab();
                    const QPoint at(cell.center().x() + cell.width() / 4, cell.center().y() - tip.height() / 2);
                    painter.drawPixmap(list->viewport()->mapTo(&window, at), tip);
                }
                QToolTip::hideText();
            }
        });
    }
    {
        // "hall" typed into the filter over a list sorted by name, the first shown row selected.
        DemoPrompt prompt;
        ui::CMainDlg window(prompt, demoCards());
        if (!window.initialise()) return;
        fill(window, false);
        window.deviceList()->sortBy({1, false});
        window.filterField()->setText(QStringLiteral("hall"));
        ui::CDeviceListCtrl* list = window.deviceList();
        int first = 0;
        while (first < list->rowCount() && list->isRowHidden(first)) ++first;
        list->selectOnly(first);
        out.save(window, language + QStringLiteral("-main-filter"));
    }
    {
        // A firmware update waiting for the device's restart.
        DemoPrompt prompt;
        ui::CMainDlg window(prompt, demoCards());
        if (!window.initialise()) return;
        fill(window, false);
        window.deviceList()->selectOnly(1);
        window.enableControls({});
        window.setStep({app::loadText(35111), 60});
        window.announceWait(app::loadText(35111), 45);
        out.save(window, language + QStringLiteral("-main-countdown"));
    }
}

// The configuration assistant, a sensor's settings and the energy calibration, on the shipped
// template folder (copied below the record folder).
void renderConfigurationDialogs(Renderer& out, const QString& language, const std::string& records)
{
    DemoPrompt prompt;
    const std::string templates = records + "/_Vorlagen";
    config::ConfigurationAssistant composer("", true);
    if (composer.loadCatalogueFromFolder(templates) != config::AssistantResult::Ok ||
        composer.selectBaseDevice(1) != config::AssistantResult::Ok) {
        std::printf("FAILED the shipped templates cannot be used\n");
        return;
    }
    const std::string configuration = composer.finish();
    {
        ui::CDeviceDlg dialog(prompt, configuration, true, templates);
        if (dialog.initialise()) {
            // A row chosen, then a sensor added: the chosen row stays selected with its buttons.
            if (auto* list = dialog.findChild<ui::CSensorListCtrl*>(QStringLiteral("11008"))) list->selectSensor(1);
            if (auto* add = dialog.findChild<QPushButton*>(QStringLiteral("11015"))) add->click();
            out.save(dialog, language + QStringLiteral("-configuration-assistant"));
        }
        const auto& assistant = dialog.assistant();
        const config::CatalogueSensor* entry = assistant.catalogueSensorOf(0);
        if (entry && assistant.sensors().size() > 0) {
            ui::CSensorDlg sensor(prompt, assistant.sensors().at(0), assistant.catalogue().moduleCount,
                                  config::addressRangeOf(*entry), config::auxAddressRangeOf(*entry));
            out.save(sensor, language + QStringLiteral("-sensor"));
        }
    }
    {
        ui::CDeviceDlg dialog(prompt, configuration, false, templates);
        if (dialog.initialise()) out.save(dialog, language + QStringLiteral("-configuration-view-only"));
    }
    {
        config::CalibrationRequest request;
        request.sensorName.assign("L1 Strom");
        request.sensorNumber = 3;
        request.secondaryIsCurrent = 1;
        ui::CCalibEnergyDlg dialog(prompt, request);
        out.save(dialog, language + QStringLiteral("-energy-calibration"));
    }
}

void renderDialogs(Renderer& out, const QString& language, const std::string& records)
{
    DemoPrompt prompt;
    NoSettings settings;
    auto record = device(0, 1, "Kesselhaus", 12345678, 1.05f, 1.02f, 0);
    record->gateway = net::toNetworkOrder(0xC0A80001u);
    record->dhcpClient = true;

    {
        ui::CAboutDlg dialog;
        out.save(dialog, language + QStringLiteral("-about"));
    }
    {
        ui::CLangDlg dialog(settings);
        out.save(dialog, language + QStringLiteral("-language"));
    }
    {
        ui::CPasswordDlg dialog(prompt);
        out.save(dialog, language + QStringLiteral("-password"));
    }
    {
        ui::CNetDlg dialog(prompt, *record);
        out.save(dialog, language + QStringLiteral("-network"));
    }
    {
        ui::CNameDlg dialog(prompt, *record);
        out.save(dialog, language + QStringLiteral("-name"));
    }
    {
        ui::CSerialNoDlg dialog(prompt, *record);
        out.save(dialog, language + QStringLiteral("-serial-number"));
    }
    {
        ui::CPersDlg dialog(prompt, records);
        dialog.loadList();
        out.save(dialog, language + QStringLiteral("-operator-sign"));
    }
    {
        ui::CRepNoDlg dialog(prompt);
        out.save(dialog, language + QStringLiteral("-repair-number"));
    }
    {
        ui::CDauerlaufDlg dialog(prompt, nullptr, 0);
        dialog.numberEdit()->setText(QStringLiteral("2026-12"));
        dialog.countEdit()->setText(QStringLiteral("4"));
        dialog.rowEdited(0, QStringLiteral("4001"));
        out.save(dialog, language + QStringLiteral("-endurance-run"));
        dialog.repairButton()->setChecked(true);
        out.save(dialog, language + QStringLiteral("-endurance-run-repair"));
    }
    {
        ui::COutputDlg dialog;
        dialog.appendLog(app::loadText(36031));
        dialog.appendLog("  - " + app::loadText(35105) + "\r\n  - " + app::loadText(35119) + "\r\n  - MSG: " +
                         app::loadText(35227) + "\r\n  - " + app::loadText(35106) + "\r\n");
        dialog.allowClose();
        QApplication::processEvents();
        dialog.showPendingText();
        out.save(dialog, language + QStringLiteral("-log-window"));
    }
    {
        QMessageBox box;
        ui::prepareMessageBox(box, ui::fromCp1252(app::loadText(35400)), app::kMbYesNo | app::kMbIconExclamation |
                                                                            app::kMbDefaultButton2);
        out.save(box, language + QStringLiteral("-message-box"));
    }
    {
        // The question before the "Update" button updates a device.
        std::vector<net::DeviceRecord*> devices{record.get()};
        QMessageBox box;
        ui::prepareMessageBox(box, ui::fromCp1252(ops::updateQuestion(devices, "/fw/VestrolanV106.hex")),
                              app::kMbYesNo | app::kMbIconQuestion | app::kMbDefaultButton2);
        out.save(box, language + QStringLiteral("-update-confirmation"));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vestrolan-screenshots OUTDIR\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "vestrolan-screenshots: cannot create %s\n", argv[1]);
        return 1;
    }
    // The production modes need a record folder with a serial-number log and a sign list.
    QTemporaryDir records;
    if (!records.isValid()) return 1;
    const std::string root = records.path().toStdString();
    std::ofstream(root + "/SNR.LOG") << "";
    std::ofstream(root + "/MA.LST") << "MM\nAB\nCD\n";
    std::filesystem::copy(VST_SOURCE_DIR "/res/templates/_Vorlagen", root + "/_Vorlagen",
                          std::filesystem::copy_options::recursive);

    Renderer out(folder);
    for (const int offset : {app::kGermanOffset, app::kEnglishOffset}) {
        app::CApp::instance().setTextIdOffset(offset);
        ui::applyQtTranslation();
        const QString language = offset == 0 ? QStringLiteral("de") : QStringLiteral("en");
        for (const auto mode : {app::OperatingMode::Service, app::OperatingMode::Stock, app::OperatingMode::Endurance,
                                app::OperatingMode::Production}) {
            renderMainWindow(out, language, mode, root);
        }
        renderServiceStates(out, language);
        renderDialogs(out, language, root);
        renderConfigurationDialogs(out, language, root);
    }
    return out.failures() == 0 ? 0 : 1;
}
