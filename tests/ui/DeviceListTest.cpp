// The device list: columns and widths, the row texts, row colours, and the list owning its records.
#include <QHeaderView>
#include <QStyle>

#include "WindowFixture.h"

using namespace vst;

namespace {

std::unique_ptr<net::DeviceRecord> deviceOfKind(uint8_t id, int kind, float app, float boot, uint32_t serial)
{
    auto r = test::record(id, kind, "Ger\xC3\xA4t", serial);
    r->appVersion = app;
    r->bootloaderVersion = boot;
    return r;
}

class DeviceList : public ::testing::Test {
protected:
    void SetUp() override { app::CApp::instance().setTextIdOffset(app::kGermanOffset); }
    QString text(int row, int column) const { return list.item(row, column)->text(); }
    ui::CDeviceListCtrl list;
};

}  // namespace

TEST_F(DeviceList, SevenCentredColumnsWithTheirHeaders)
{
    ASSERT_EQ(list.columnCount(), 7);
    EXPECT_EQ(list.horizontalHeaderItem(0)->text(), "");
    EXPECT_EQ(list.horizontalHeaderItem(1)->text(), test::german(30031));
    EXPECT_EQ(list.horizontalHeaderItem(6)->text(), test::german(30036));
    EXPECT_EQ(list.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_TRUE(list.showGrid());
    list.addDevice(test::record(1));
    for (int column = 0; column < 7; ++column) {
        EXPECT_EQ(list.item(0, column)->textAlignment(), Qt::AlignCenter) << column;
    }
}

TEST_F(DeviceList, ColumnWidthsAreFractionsOfTheWidthWithoutScrollBar)
{
    list.resize(817, 300);
    list.show();
    const int available = list.contentsRect().width() - list.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    EXPECT_EQ(list.columnWidth(0), 0);
    EXPECT_EQ(list.columnWidth(1), static_cast<int>(available * 0.175));
    EXPECT_EQ(list.columnWidth(2), static_cast<int>(available * 0.2));
    EXPECT_EQ(list.columnWidth(3), static_cast<int>(available * 0.2));
    EXPECT_EQ(list.columnWidth(5), static_cast<int>(available * 0.125));
    list.resize(500, 300);
    EXPECT_EQ(list.columnWidth(4), static_cast<int>((list.contentsRect().width() -
                                                     list.style()->pixelMetric(QStyle::PM_ScrollBarExtent)) * 0.175));
}

TEST_F(DeviceList, RowsShowTheColumnTextsOfTheirRecords)
{
    list.addDevice(deviceOfKind(1, 0, 1.05f, 1.0512f, 42));
    list.addDevice(deviceOfKind(2, 1, 2.5f, 0.0f, 77));
    const QStringList kind0 = {"", "Ger\u00e4t", "192.168.0.101", "02:00:00:00:00:01", "00000042", "1.05", "1.05 B12"};
    const QStringList kind1 = {"", "Ger\u00e4t", "192.168.0.102", "02:00:00:00:00:02", "-", "2.50", "-"};
    for (int column = 0; column < 7; ++column) {
        EXPECT_EQ(text(0, column), kind0[column]) << column;
        EXPECT_EQ(text(1, column), kind1[column]) << column;
    }
}

TEST_F(DeviceList, DeviceNamesAreShownAsPlainText)
{
    auto r = test::record(1);
    r->name.assign("<b>x</b>&amp;");
    list.addDevice(std::move(r));
    EXPECT_EQ(text(0, 1), "<b>x</b>&amp;");
}

TEST_F(DeviceList, RowColoursComeFromTheRowStatus)
{
    for (int status = 0; status <= 4; ++status) {
        auto r = test::record(static_cast<uint8_t>(status + 1));
        r->rowStatus = status;
        list.addDevice(std::move(r));
    }
    EXPECT_EQ(list.item(1, 3)->background().color(), QColor(255, 255, 0));
    EXPECT_EQ(list.item(2, 3)->background().color(), QColor(0, 255, 0));
    EXPECT_EQ(list.item(3, 3)->background().color(), QColor(255, 0, 0));
    EXPECT_EQ(list.item(0, 3)->background().style(), Qt::NoBrush);
    EXPECT_EQ(list.item(4, 3)->background().style(), Qt::NoBrush);

    // A status change shows after the repaint request; back to 0 gives the default again.
    list.recordAt(1)->rowStatus = 3;
    list.recordAt(2)->rowStatus = 0;
    list.refreshRows();
    EXPECT_EQ(list.item(1, 1)->background().color(), QColor(255, 0, 0));
    EXPECT_EQ(list.item(2, 1)->background().style(), Qt::NoBrush);
}

TEST_F(DeviceList, OwnsOneRecordPerMacAddress)
{
    EXPECT_NE(list.addDevice(test::record(1, 0, "Erst")), nullptr);
    EXPECT_EQ(list.addDevice(test::record(1, 0, "Doppelt")), nullptr) << "a device answering twice is listed once";
    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_EQ(text(0, 1), "Erst");

    list.addDevice(test::record(2, 0, "Zwei"));
    list.setCurrent(list.recordAt(0));
    net::DeviceRecord* replaced = list.replaceDevice(test::record(1, 0, "Neu", 9));
    EXPECT_EQ(list.rowCount(), 2);
    EXPECT_EQ(text(0, 1), "Neu");
    EXPECT_EQ(text(0, 4), "00000009");
    EXPECT_EQ(list.current(), replaced) << "the current device moves to the new record";

    list.replaceDevice(test::record(3, 0, "Drei"));
    EXPECT_EQ(list.rowCount(), 3) << "an unknown device is appended";

    net::DeviceRecord probe;
    probe.mac = {0x02, 0, 0, 0, 0, 1};
    list.removeDevice(probe);
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(text(0, 1), "Zwei");
    EXPECT_EQ(list.current(), nullptr);

    list.removeAll();
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(list.recordAt(0), nullptr);
}

TEST_F(DeviceList, ProtectedDevicesCarryALockBesideUnchangedTexts)
{
    auto locked = test::record(1);
    locked->passwordRequired = true;
    list.addDevice(std::move(locked));
    list.addDevice(test::record(2));
    const QString name = text(0, 1);
    EXPECT_FALSE(list.item(0, 1)->icon().isNull());
    EXPECT_EQ(list.item(0, 1)->data(Qt::AccessibleDescriptionRole).toString(), test::german(37303));
    EXPECT_TRUE(list.item(1, 1)->icon().isNull());
    EXPECT_TRUE(list.item(1, 1)->data(Qt::AccessibleDescriptionRole).toString().isEmpty());
    for (int column = 2; column < 7; ++column) EXPECT_TRUE(list.item(0, column)->icon().isNull()) << column;

    // The description follows the language; a record that loses the flag loses the lock.
    app::CApp::instance().setTextIdOffset(app::kEnglishOffset);
    list.applyHeaderTexts();
    EXPECT_EQ(list.item(0, 1)->data(Qt::AccessibleDescriptionRole).toString(), "Password protected");
    app::CApp::instance().setTextIdOffset(app::kGermanOffset);
    auto open = test::record(1);
    list.replaceDevice(std::move(open));
    EXPECT_TRUE(list.item(0, 1)->icon().isNull());
    EXPECT_EQ(text(0, 1), name);
}
