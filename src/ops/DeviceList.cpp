#include "ops/DeviceList.h"

namespace vst::ops {

net::DeviceRecord* DeviceList::at(int row) const
{
    if (row < 0 || row >= count()) return nullptr;
    return rows_[static_cast<size_t>(row)].get();
}

int DeviceList::rowOf(const net::DeviceRecord& record) const
{
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (net::sameDevice(*rows_[i], record)) return static_cast<int>(i);
    }
    return -1;
}

net::DeviceRecord* DeviceList::add(std::unique_ptr<net::DeviceRecord> record)
{
    if (!record || rowOf(*record) >= 0) return nullptr;
    rows_.push_back(std::move(record));
    return rows_.back().get();
}

net::DeviceRecord* DeviceList::replace(std::unique_ptr<net::DeviceRecord> record)
{
    if (!record) return nullptr;
    const int row = rowOf(*record);
    if (row < 0) {
        rows_.push_back(std::move(record));
        return rows_.back().get();
    }
    auto& slot = rows_[static_cast<size_t>(row)];
    const bool wasCurrent = current_ == slot.get();
    slot = std::move(record);
    if (wasCurrent) current_ = slot.get();
    return slot.get();
}

void DeviceList::remove(const net::DeviceRecord& record)
{
    const int row = rowOf(record);
    if (row < 0) return;
    if (current_ == rows_[static_cast<size_t>(row)].get()) current_ = nullptr;
    rows_.erase(rows_.begin() + row);
}

void DeviceList::clear()
{
    rows_.clear();
    current_ = nullptr;
}

void DeviceList::setCurrent(net::DeviceRecord* record)
{
    if (!record) {
        current_ = nullptr;
        return;
    }
    for (const auto& r : rows_) {
        if (r.get() == record) {
            current_ = record;
            return;
        }
    }
}

}  // namespace vst::ops
