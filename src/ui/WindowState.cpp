#include "ui/WindowState.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <string>

#include "ui/CDeviceListCtrl.h"

namespace vst::ui {
namespace {

// Numbers are stored as 32-bit values; positions left of or above the first screen are negative.
std::optional<int> readInt(platform::SettingsStore& store, const std::string& name)
{
    const auto value = store.readNumber(kWindowStateKey, name);
    if (!value) return std::nullopt;
    return static_cast<int>(static_cast<int32_t>(*value));
}

void writeInt(platform::SettingsStore& store, const std::string& name, int value)
{
    // A failed write costs only the place at the next start.
    (void)store.writeNumber(kWindowStateKey, name, static_cast<uint32_t>(static_cast<int32_t>(value)));
}

std::string columnName(int column) { return "Column" + std::to_string(column); }

}  // namespace

WindowState readWindowState(platform::SettingsStore& store)
{
    WindowState state;
    const auto x = readInt(store, "Left");
    const auto y = readInt(store, "Top");
    if (x && y) state.position = QPoint(*x, *y);
    for (int column = 1; column < CDeviceListCtrl::kColumns; ++column) {
        const auto width = readInt(store, columnName(column));
        if (!width || *width < 0 || *width > 10000) {
            state.columnWidths.clear();
            break;
        }
        state.columnWidths.push_back(*width);
    }
    const auto sortColumn = readInt(store, "SortColumn");
    if (sortColumn && *sortColumn >= 1 && *sortColumn < CDeviceListCtrl::kColumns) {
        state.sort.column = *sortColumn;
        state.sort.descending = readInt(store, "SortDescending").value_or(0) != 0;
    }
    return state;
}

void writeWindowState(platform::SettingsStore& store, const WindowState& state)
{
    if (state.position) {
        writeInt(store, "Left", state.position->x());
        writeInt(store, "Top", state.position->y());
    }
    for (size_t i = 0; i < state.columnWidths.size(); ++i) {
        writeInt(store, columnName(static_cast<int>(i) + 1), state.columnWidths[i]);
    }
    writeInt(store, "SortColumn", state.sort.column);
    writeInt(store, "SortDescending", state.sort.descending ? 1 : 0);
}

WindowState currentWindowState(const QWidget& window, const CDeviceListCtrl& list)
{
    WindowState state;
    state.position = window.pos();
    for (int column = 1; column < CDeviceListCtrl::kColumns; ++column) state.columnWidths.push_back(list.columnWidth(column));
    state.sort = list.sortOrder();
    return state;
}

void applyWindowState(QWidget& window, CDeviceListCtrl& list, const WindowState& state)
{
    // A place on a screen that is gone (a second monitor unplugged) is forgotten: the window
    // opens where the system puts it.
    if (state.position) {
        const QRect place(*state.position, window.frameGeometry().size());
        if (QGuiApplication::screenAt(place.center())) window.move(*state.position);
    }
    if (!state.columnWidths.empty()) list.setColumnWidths(state.columnWidths);
    list.sortBy(state.sort);
}

}  // namespace vst::ui
