#pragma once
// The window's list of found devices and its current device. It owns one record per row and
// identifies devices by MAC address. The window and the console front end both keep one; only
// their own thread touches it.
#include <memory>
#include <vector>

#include "net/DeviceRecord.h"

namespace vst::ops {

class DeviceList {
public:
    int count() const { return static_cast<int>(rows_.size()); }
    // The record of a row; nullptr outside 0..count-1.
    net::DeviceRecord* at(int row) const;
    // The row of the listed record with that MAC, or -1.
    int rowOf(const net::DeviceRecord& record) const;

    // Appends the record unless a device with the same MAC is listed; then the new one is dropped.
    // Returns the listed record, or nullptr when the new one was dropped.
    net::DeviceRecord* add(std::unique_ptr<net::DeviceRecord> record);
    // The row with the same MAC takes the new record (the old one is dropped; a current device
    // moves to the new record). A record whose device is not listed is appended.
    net::DeviceRecord* replace(std::unique_ptr<net::DeviceRecord> record);
    // Drops the row with the same MAC.
    void remove(const net::DeviceRecord& record);
    void clear();

    net::DeviceRecord* current() const { return current_; }
    // Only a listed record (or nullptr) can become current.
    void setCurrent(net::DeviceRecord* record);

private:
    std::vector<std::unique_ptr<net::DeviceRecord>> rows_;
    net::DeviceRecord* current_ = nullptr;
};

}  // namespace vst::ops
