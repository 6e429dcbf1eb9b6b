// What the window shows of its devices beyond the found list: the sort of a column, the filter,
// the count under the list, readable row colours, the keys, the values screen readers read, the
// update's question, the countdown of a wait, and the place kept for the next start.
#include <QAction>
#include <QHeaderView>
#include <QLineEdit>

#include "support/FirmwareFile.h"
#include "ui/DeviceStatusBar.h"
#include "ui/RowColours.h"
#include "ui/WindowState.h"
#include "WindowFixture.h"

using namespace vst;

namespace {

// Five devices of every column's kind of value: addresses that sort wrong as text, a device
// without a serial number, one of another kind ("-"), equal versions, names with umlauts.
std::vector<std::unique_ptr<net::DeviceRecord>> fleet()
{
    struct Row {
        const char* name;
        uint32_t address;
        uint32_t serial;
        float version;
        int kind;
    };
    const Row rows[] = {
        {"Zebra", 0xC0A8000Au, 300, 1.10f, 0},                         // 1: 192.168.0.10
        {"\xC3\xA4pfel", 0xC0A80009u, net::kNoSerialNumber, 1.05f, 0},  // 2: äpfel, 192.168.0.9, N/A
        {"Apfel", 0x0A0000C8u, 20, 1.0512f, 0},                         // 3: 10.0.0.200
        {"\xC3\x96l", 0xC0A80101u, 7, 2.5f, 1},                         // 4: Öl, 192.168.1.1, "-"
        {"birne", 0xC0A80064u, 1000, 1.05f, 0},                         // 5: 192.168.0.100
    };
    std::vector<std::unique_ptr<net::DeviceRecord>> out;
    uint8_t id = 1;
    for (const Row& row : rows) {
        auto r = test::record(id++, row.kind, row.name, row.serial);
        r->address = net::toNetworkOrder(row.address);
        r->appVersion = row.version;
        out.push_back(std::move(r));
    }
    return out;
}

// The devices' ids (last MAC byte) in the order drawn, hidden rows left out.
std::vector<int> drawn(const ui::CDeviceListCtrl& list)
{
    std::vector<int> ids;
    for (int row = 0; row < list.rowCount(); ++row) {
        if (!list.isRowHidden(row)) ids.push_back(list.recordAtView(row)->mac[5]);
    }
    return ids;
}

class DeviceView : public test::WindowFixture {
protected:
    void fill(ui::CDeviceListCtrl& target)
    {
        for (auto& r : fleet()) target.addDevice(std::move(r));
    }
    QAction* actionWithKey(const QKeySequence& key) const
    {
        for (QAction* action : window->findChildren<QAction*>()) {
            if (action->shortcut() == key) return action;
        }
        return nullptr;
    }
};

}  // namespace

TEST_F(DeviceView, ColumnsSortByTheirValuesAndKeepTheFoundOrderUnderneath)
{
    struct Case {
        int column;
        bool descending;
        std::vector<int> order;
    };
    const Case cases[] = {
        {1, false, {3, 2, 5, 4, 1}},  // names: case and umlauts second only
        {1, true, {1, 4, 5, 2, 3}},
        {2, false, {3, 2, 1, 5, 4}},  // addresses by their four numbers
        {2, true, {4, 5, 1, 2, 3}},
        {4, false, {3, 1, 5, 2, 4}},  // serial numbers; "N/A" and "-" last either way
        {4, true, {5, 1, 3, 2, 4}},
        {5, false, {2, 5, 3, 1, 4}},  // versions as numbers; equal ones in found order
        {5, true, {4, 1, 3, 2, 5}},
        {6, true, {1, 2, 3, 5, 4}},   // equal bootloader versions, the other kind's "-" last
        {-1, false, {1, 2, 3, 4, 5}},
    };
    ui::CDeviceListCtrl list;
    fill(list);
    for (const Case& c : cases) {
        list.sortBy({c.column, c.descending});
        EXPECT_EQ(drawn(list), c.order) << c.column << (c.descending ? " down" : " up");
        EXPECT_EQ(list.recordAt(0)->mac[5], 1) << "the device list keeps the found order";
    }

    // Header clicks: ascending, then reversed, with the header's indicator; a device found later
    // goes to its place, and the view stays the device list's view.
    emit list.horizontalHeader()->sectionClicked(4);
    emit list.horizontalHeader()->sectionClicked(4);
    EXPECT_EQ(list.sortOrder().column, 4);
    EXPECT_TRUE(list.sortOrder().descending);
    EXPECT_EQ(list.horizontalHeader()->sortIndicatorSection(), 4);
    EXPECT_EQ(list.horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    list.addDevice(test::record(6, 0, "Neu", 500));
    EXPECT_EQ(drawn(list), (std::vector<int>{5, 6, 1, 3, 2, 4}));
    EXPECT_EQ(list.item(1, 4)->text(), "00000500");
    EXPECT_EQ(list.recordAt(5)->mac[5], 6);
    // A changed serial number moves its row; the selection stays with its device.
    list.selectOnly(list.viewRowOf(*list.recordAt(2)));
    auto changed = test::record(3, 0, "Apfel", 5000);
    list.replaceDevice(std::move(changed));
    EXPECT_EQ(drawn(list).front(), 3);
    ASSERT_EQ(list.selectedRecords().size(), 1u);
    EXPECT_EQ(list.selectedRecords().front()->mac[5], 3);
    list.removeDevice(*list.recordAt(0));
    EXPECT_EQ(drawn(list), (std::vector<int>{3, 5, 6, 2, 4}));
}

TEST_F(DeviceView, FilterKeepsRowsWithTheTextInAnyColumn)
{
    const std::pair<const char*, std::vector<int>> cases[] = {
        {"", {1, 2, 3, 4, 5}},
        {"APFEL", {3}},                // the name, without regard to case
        {"\xC3\x84PF", {2}},           // "ÄPF" finds "äpfel"
        {"0.10", {1, 5}},              // the address
        {"00:04", {4}},                // the MAC
        {"00000300", {1}},             // the serial number
        {"n/a", {2}},
        {"B12", {3}},                  // the version as shown
        {"xyz", {}},
    };
    ui::CDeviceListCtrl list;
    fill(list);
    for (const auto& [text, shown] : cases) {
        list.setFilter(QString::fromUtf8(text));
        EXPECT_EQ(drawn(list), shown) << text;
        EXPECT_EQ(list.shownCount(), static_cast<int>(shown.size())) << text;
    }
}

TEST_F(DeviceView, CountTextsInBothLanguages)
{
    const struct {
        int32_t offset;
        int shown, total;
        const char* text;
    } cases[] = {
        {app::kGermanOffset, 5, 5, "5 Ger\xC3\xA4te"},
        {app::kGermanOffset, 2, 5, "2 von 5 Ger\xC3\xA4ten"},
        {app::kEnglishOffset, 3, 3, "3 devices"},
        {app::kEnglishOffset, 0, 3, "0 of 3 devices"},
    };
    for (const auto& c : cases) {
        app::CApp::instance().setTextIdOffset(c.offset);
        EXPECT_EQ(ui::DeviceStatusBar::countText(c.shown, c.total), QString::fromUtf8(c.text));
    }
}

TEST_F(DeviceView, EveryRowStateReadsWithEnoughContrastAndSaysWhatItMeans)
{
    EXPECT_NEAR(ui::contrastRatio(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(ui::contrastRatio(QColor(255, 0, 0), Qt::black), 5.25, 0.01);
    EXPECT_EQ(ui::readableTextColour(QColor(0, 0, 128)), QColor(Qt::white));
    ui::CDeviceListCtrl list;
    for (int32_t state : ui::kRowStates) {
        auto r = test::record(static_cast<uint8_t>(state));
        r->rowStatus = state;
        list.addDevice(std::move(r));
        const int row = list.rowCount() - 1;
        const QColor background = ui::rowBackground(state);
        const QColor text = list.item(row, 2)->foreground().color();
        EXPECT_EQ(list.item(row, 2)->background().color(), background) << state;
        EXPECT_GE(ui::contrastRatio(text, background), 4.5) << state;
        const QString meaning = test::german(static_cast<app::TextId>(37457 + state));
        EXPECT_EQ(list.item(row, 3)->toolTip(), meaning) << state;
        EXPECT_EQ(list.item(row, 1)->data(Qt::AccessibleDescriptionRole).toString(), meaning) << state;
    }
}

TEST_F(DeviceView, FilterFieldCountAndCurrentDeviceInTheWindow)
{
    ASSERT_TRUE(open({}));
    window->show();
    for (auto& r : fleet()) window->addDevice(std::move(r));
    const QLabel* count = window->statusBar()->countLabel();
    EXPECT_EQ(count->text(), QString::fromUtf8("5 Ger\xC3\xA4te"));
    EXPECT_EQ(window->filterField()->placeholderText(), test::german(37450));
    EXPECT_EQ(window->filterField()->accessibleName(), test::german(37450));

    list()->selectOnly(0);
    ASSERT_EQ(window->currentDevice(), list()->recordAt(0));
    window->filterField()->setText(QStringLiteral("apfel"));
    EXPECT_EQ(count->text(), QString::fromUtf8("1 von 5 Ger\xC3\xA4ten"));
    EXPECT_EQ(count->accessibleName(), count->text());
    EXPECT_EQ(window->currentDevice(), nullptr) << "the hidden current device is none";
    EXPECT_EQ(labelText(10005), "-");
    EXPECT_FALSE(enabled(10010));
    EXPECT_TRUE(list()->selectedRows().empty());
    list()->selectAll();
    ASSERT_EQ(list()->selectedRecords().size(), 1u) << "a select-all takes only the shown rows";
    EXPECT_EQ(list()->selectedRecords().front()->mac[5], 3);
    QTest::keyClick(window->filterField(), Qt::Key_Escape);
    EXPECT_EQ(window->filterField()->text(), "");
    EXPECT_EQ(count->text(), QString::fromUtf8("5 Ger\xC3\xA4te"));
    window->addDevice(test::record(9));
    EXPECT_EQ(count->text(), QString::fromUtf8("6 Ger\xC3\xA4te")) << "counted as answers arrive";

    // A sorted view: the selected row is the device drawn there, and the update asks about it.
    list()->sortBy({1, true});
    list()->selectOnly(0);
    EXPECT_EQ(window->currentDevice()->mac[5], 1);  // "Zebra"
    records.write("VestrolanV106.hex", test::firmwareImage("1.06"));
    prompt.files = {records.file("VestrolanV106.hex")};
    prompt.answers = {app::kIdNo};
    button(10010)->click();
    EXPECT_EQ(window->runningWorkers(), 0) << "No starts nothing";
    ASSERT_FALSE(prompt.shown.empty());
    EXPECT_EQ(prompt.shown.back().text, "Firmware von Zebra (02:00:00:00:00:01) von Version 1.10 auf Version 1.06 aktualisieren?");
    EXPECT_EQ(prompt.shown.back().style, app::kMbYesNo | app::kMbIconQuestion | app::kMbDefaultButton2);
}

TEST_F(DeviceView, KeysActThroughTheirEnabledButtonsAndMenuItems)
{
    ASSERT_TRUE(open({}, {}));
    QAction* f5 = actionWithKey(QKeySequence(Qt::Key_F5));
    ASSERT_NE(f5, nullptr);
    EXPECT_EQ(window->menuAction(20011)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(window->menuAction(20012)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_E));
    f5->trigger();
    ASSERT_EQ(prompt.shown.size(), 1u) << "F5 pressed the search button";
    EXPECT_EQ(prompt.shown[0].text, app::loadText(30037));
    window->enableControls({});
    f5->trigger();
    EXPECT_EQ(prompt.shown.size(), 1u) << "a disabled button takes no key";
}

TEST_F(DeviceView, ValueFieldsAreReadWithTheirCaptions)
{
    ASSERT_TRUE(open(modeSettings(app::OperatingMode::Production)));
    EXPECT_EQ(control(10001)->accessibleName(), test::german(30006) + QStringLiteral(" AB"));
    EXPECT_EQ(control(10003)->accessibleName(), test::german(30008) + QStringLiteral(" -"));
    window->addDevice(test::record(1, 0, "Kessel", 1234));
    list()->selectOnly(0);
    EXPECT_EQ(control(10005)->accessibleName(), test::german(30007) + QStringLiteral(" Kessel (#00001234)"));
}

TEST_F(DeviceView, CountdownOfAnAnnouncedWait)
{
    ASSERT_TRUE(open({}));
    const QLabel* countdown = window->statusBar()->countdownLabel();
    test::fromWorker([&] { window->channel().announceWait("Warte auf Ger\xE4teneustart", 15); });
    EXPECT_EQ(countdown->text(), QString::fromUtf8("Warte auf Ger\xC3\xA4teneustart \xE2\x80\x93 noch 15 s"));
    EXPECT_EQ(countdown->accessibleName(), countdown->text());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->statusBar()->secondsLeft() == 14; }, 2500));
    test::fromWorker([&] { window->channel().setStep({"Suche Ger\xE4te", 80}); });
    EXPECT_TRUE(countdown->isHidden()) << "the next step ends the wait";
}

TEST_F(DeviceView, PlaceColumnsAndSortOrderSurviveARestart)
{
    test::MemorySettings kept;
    ui::WindowState state;
    state.position = QPoint(-40, 30);
    state.columnWidths = {90, 80, 70, 60, 50, 40};
    state.sort = {5, true};
    ui::writeWindowState(kept, state);
    const ui::WindowState read = ui::readWindowState(kept);
    EXPECT_EQ(read.position, state.position);
    EXPECT_EQ(read.columnWidths, state.columnWidths);
    EXPECT_EQ(read.sort.column, 5);
    EXPECT_TRUE(read.sort.descending);

    // The window writes its state when it closes and takes it back at the next start.
    test::MemorySettings user;
    ASSERT_TRUE(open({}));
    window->setStateStore(&user);
    window->show();
    window->move(20, 40);
    list()->setColumnWidth(1, 123);
    emit list()->horizontalHeader()->sectionClicked(2);
    ASSERT_TRUE(window->close());
    window.reset();
    ASSERT_TRUE(open({}));
    window->setStateStore(&user);
    window->show();
    window->restoreState();
    EXPECT_EQ(window->pos(), QPoint(20, 40));
    EXPECT_EQ(list()->columnWidth(1), 123);
    EXPECT_EQ(list()->sortOrder().column, 2);
    EXPECT_FALSE(list()->sortOrder().descending);

    // A place on a screen that is gone is not taken; a failed write says nothing.
    user.values[{ui::kWindowStateKey, "Left"}] = uint32_t{100000};
    window->move(20, 40);
    window->restoreState();
    EXPECT_EQ(window->pos(), QPoint(20, 40));
    user.failWrites = true;
    window->saveState();
    EXPECT_TRUE(prompt.shown.empty());
}
