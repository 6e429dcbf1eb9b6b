#pragma once
// What the main window keeps for the next start: its position (on a screen that still exists),
// the widths of the list's columns and the list's sort order. It is the user's own state, kept in
// the user's store; a write that fails is not worth a message.
#include <QPoint>

#include <optional>
#include <vector>

#include "platform/SettingsStore.h"
#include "ui/DeviceSortFilter.h"

class QWidget;

namespace vst::ui {

class CDeviceListCtrl;

inline constexpr const char* kWindowStateKey = "SOFTWARE\\KW\\Vestrolan-Manager\\Window";

struct WindowState {
    std::optional<QPoint> position;
    std::vector<int> columnWidths;  // columns 1 to 6; empty when none were kept
    SortOrder sort;
};

WindowState readWindowState(platform::SettingsStore& store);
void writeWindowState(platform::SettingsStore& store, const WindowState& state);

// The state of the window and its list now, and the state put back on them.
WindowState currentWindowState(const QWidget& window, const CDeviceListCtrl& list);
void applyWindowState(QWidget& window, CDeviceListCtrl& list, const WindowState& state);

}  // namespace vst::ui
