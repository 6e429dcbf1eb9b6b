#include "ui/DeviceSortFilter.h"

#include <QLocale>

#include <algorithm>
#include <numeric>
#include <optional>

#include "app/CApp.h"
#include "app/Texts.h"
#include "ops/DeviceColumns.h"
#include "ui/UiText.h"

namespace vst::ui {
namespace {

// The number a row shows in a numeric column, or none ("N/A", "-").
std::optional<double> shownNumber(const net::DeviceRecord& r, int column)
{
    const std::string text = ops::deviceColumnText(r, column);
    if (text.empty() || text == "N/A" || text == "-") return std::nullopt;
    switch (column) {
    case ops::kColumnSerial: return static_cast<double>(r.serialNumber);
    case ops::kColumnAppVersion: return static_cast<double>(r.appVersion);
    case ops::kColumnBootloaderVersion: return static_cast<double>(r.bootloaderVersion);
    default: return std::nullopt;
    }
}

// The address as one number, first octet highest (the record keeps the first octet lowest).
uint32_t addressKey(uint32_t stored)
{
    return ((stored & 0xFFu) << 24) | ((stored & 0xFF00u) << 8) | ((stored >> 8) & 0xFF00u) | (stored >> 24);
}

}  // namespace

DeviceSortFilter::DeviceSortFilter()
    : collator_(QLocale(app::CApp::instance().textIdOffset() == app::kGermanOffset ? QLocale::German : QLocale::English))
{
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
    collator_.setNumericMode(true);
}

bool DeviceSortFilter::before(const net::DeviceRecord& a, const net::DeviceRecord& b, const SortOrder& order) const
{
    int compared = 0;
    switch (order.column) {
    case ops::kColumnName:
        compared = collator_.compare(fromCp1252(a.name.str()), fromCp1252(b.name.str()));
        break;
    case ops::kColumnAddress: {
        const uint32_t ka = addressKey(a.address);
        const uint32_t kb = addressKey(b.address);
        compared = ka < kb ? -1 : ka > kb ? 1 : 0;
        break;
    }
    case ops::kColumnMac: compared = a.mac < b.mac ? -1 : b.mac < a.mac ? 1 : 0; break;
    case ops::kColumnSerial:
    case ops::kColumnAppVersion:
    case ops::kColumnBootloaderVersion: {
        const auto na = shownNumber(a, order.column);
        const auto nb = shownNumber(b, order.column);
        // A row without a number goes last whichever way the column sorts.
        if (!na || !nb) return na.has_value() && !nb.has_value();
        compared = *na < *nb ? -1 : *na > *nb ? 1 : 0;
        break;
    }
    default: return false;
    }
    return order.descending ? compared > 0 : compared < 0;
}

std::vector<int> DeviceSortFilter::viewOrder(const ops::DeviceList& devices, const SortOrder& order) const
{
    std::vector<int> rows(static_cast<size_t>(devices.count()));
    std::iota(rows.begin(), rows.end(), 0);
    if (order.column < 0) return rows;
    std::stable_sort(rows.begin(), rows.end(),
                     [&](int a, int b) { return before(*devices.at(a), *devices.at(b), order); });
    return rows;
}

bool DeviceSortFilter::matches(const net::DeviceRecord& record, const QString& filter)
{
    if (filter.isEmpty()) return true;
    for (int column = ops::kColumnName; column <= ops::kColumnBootloaderVersion; ++column) {
        if (fromCp1252(ops::deviceColumnText(record, column)).contains(filter, Qt::CaseInsensitive)) return true;
    }
    return false;
}

}  // namespace vst::ui
