#include "ops/Refind.h"

#include <memory>

#include "app/NetworkCards.h"
#include "net/Limits.h"
#include "ops/Reporting.h"
#include "platform/Clock.h"

namespace vst::ops {
namespace {

uint32_t targetFor(const net::DeviceRecord& device, uint32_t addressNet, uint32_t maskNet, bool broadcast)
{
    const uint32_t address = net::toHostOrder(addressNet);
    const uint32_t mask = net::toHostOrder(maskNet);
    if (device.card) {
        for (const auto& a : device.card->addresses) {
            if ((a.address & a.mask) == (address & a.mask)) return broadcast ? (address | ~mask) : address;
        }
    }
    return 0xFFFFFFFFu;
}

}  // namespace

uint32_t commandTarget(const net::DeviceRecord& device, bool broadcast)
{
    return targetFor(device, device.previousAddress, device.previousMask, broadcast);
}

uint32_t newAddressTarget(const net::DeviceRecord& device, bool broadcast)
{
    return targetFor(device, device.address, device.mask, broadcast);
}

Refind::Refind(net::UdpEndpoint& endpoint, const net::DeviceRecord& device, WorkerChannel& channel)
    : endpoint_(endpoint), mac_(device.mac), channel_(channel)
{
    // Asked at one device's address, only that address may answer.
    if (endpoint_.targetIsUnicast()) endpoint_.acceptOnlyFrom(endpoint_.target());
}

Refind::Event Refind::poll()
{
    if (found_) return Event::Found;
    if (!sent_) {
        if (endpoint_.sendSearch(&mac_)) {
            sent_ = true;
            sentAt_ = platform::clock().tickCount();
            return Event::Sent;
        }
        return ++failures_ >= kMaxSendFailures ? Event::SendFailed : Event::Pending;
    }
    // The waiting answers are looked at, a bounded number per pass; those of other devices are dropped.
    for (int i = 0; i < net::kMaxDatagramsPerPass; ++i) {
        std::unique_ptr<net::DeviceRecord> record;
        const auto result = endpoint_.readSearchAnswer(true, &record);
        if (result == net::SearchAnswerResult::NothingWaiting) break;
        if (result != net::SearchAnswerResult::RecordBuilt || !record || record->mac != mac_) continue;
        found_ = channel_.replaceDevice(std::move(record));
        channel_.selectDevice(found_);
        return Event::Found;
    }
    if (platform::clock().tickCount() - sentAt_ > kAnswerTimeoutMs) return Event::NoAnswer;
    return Event::Pending;
}

net::DeviceRecord* listedDevice(WorkerChannel& channel, const net::Mac& mac, int row)
{
    if (row >= 0) {
        if (net::DeviceRecord* r = channel.deviceAt(row); r && r->mac == mac) return r;
    }
    const int count = channel.deviceCount();
    for (int i = 0; i < count; ++i) {
        if (net::DeviceRecord* r = channel.deviceAt(i); r && r->mac == mac) return r;
    }
    return nullptr;
}

RefindStep pollRefindStep(Refind& refind, Reporter& report, int32_t sentPosition)
{
    switch (refind.poll()) {
    case Refind::Event::Sent: report.setPosition(sentPosition); break;
    case Refind::Event::Found: return {RefindStep::Outcome::Found, 0};
    case Refind::Event::NoAnswer: return {RefindStep::Outcome::Failed, 35204};
    case Refind::Event::SendFailed: return {RefindStep::Outcome::Failed, 35203};
    case Refind::Event::Pending: break;
    }
    return {};
}

}  // namespace vst::ops
