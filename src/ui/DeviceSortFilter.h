#pragma once
// What the device list shows of its devices: the order of a sorted column and the rows a filter
// keeps. Both only change the view; the device list keeps the order in which devices were found.
#include <QCollator>
#include <QString>

#include <vector>

#include "net/DeviceRecord.h"
#include "ops/DeviceList.h"

namespace vst::ui {

// A column and its direction; column -1 is the found order.
struct SortOrder {
    int column = -1;
    bool descending = false;
};

class DeviceSortFilter {
public:
    // Names sort by the rules of the current language (case and accents second only).
    DeviceSortFilter();

    // Addresses by their four numbers; serial numbers and versions as numbers, rows without one
    // ("N/A", "-") last in either direction; names and MACs as text. Equal rows keep the found
    // order. True when `a` is drawn above `b`.
    bool before(const net::DeviceRecord& a, const net::DeviceRecord& b, const SortOrder& order) const;

    // The found-order rows of `devices` in the order drawn.
    std::vector<int> viewOrder(const ops::DeviceList& devices, const SortOrder& order) const;

    // True when one of the shown columns contains `filter` (case-insensitive); an empty filter
    // keeps every row.
    static bool matches(const net::DeviceRecord& record, const QString& filter);

private:
    QCollator collator_;
};

}  // namespace vst::ui
