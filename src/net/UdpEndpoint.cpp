#include "net/UdpEndpoint.h"

#include "app/NetworkCards.h"
#include "net/Limits.h"

namespace vst::net {

bool UdpEndpoint::open(bool bindNow, const app::NetworkCard* card, uint32_t target)
{
    if (socket_.isOpen()) return false;
    if (!socket_.open()) return false;
    socket_.setReceiveBuffer(kSocketReceiveBuffer);
    if (bindNow) {
        if (!bind(card, target)) {
            socket_.close();
            return false;
        }
    } else {
        card_ = card;
        target_ = target;
    }
    return true;
}

bool UdpEndpoint::bind(const app::NetworkCard* card, uint32_t target)
{
    if (!card || !socket_.isOpen()) return false;
    card_ = card;
    target_ = target;
    onlyFrom_.reset();
    return socket_.bind(app::cardAddressFor(*card, target), 0);
}

void UdpEndpoint::close() { socket_.close(); }

bool UdpEndpoint::send(const std::vector<uint8_t>& datagram)
{
    if (datagram.size() < kHeaderSize) return false;
    const size_t length = readLe16(datagram.data() + 8);
    if (length > datagram.size()) return false;
    drain();
    return socket_.sendTo(target_, devicePort_, datagram.data(), length);
}

void UdpEndpoint::drain()
{
    for (int i = 0; i < kMaxStaleDatagramsDrained; ++i) {
        if (!socket_.peek(buffer_.data(), 0)) return;
        socket_.discard();
    }
}

bool UdpEndpoint::targetIsUnicast() const
{
    if (target_ == 0 || target_ == 0xFFFFFFFFu) return false;
    if (card_) {
        for (const auto& a : card_->addresses) {
            if ((a.address & a.mask) == (target_ & a.mask) && (target_ | a.mask) == 0xFFFFFFFFu) return false;
        }
    }
    return true;
}

// A datagram is taken when it holds at least the header, its length field is no smaller than the
// header, no larger than the datagram itself and no larger than the receive buffer. Anything else
// can never become a whole datagram (UDP delivers datagrams whole), so it is dropped instead of
// being left to block every later answer. A datagram longer than its length field is read up to
// that length.
bool UdpEndpoint::receive()
{
    received_ = 0;
    for (int dropped = 0; dropped <= kMaxDiscardsPerReceive; ++dropped) {
        const auto peeked = socket_.peek(buffer_.data(), kHeaderSize);
        if (!peeked) return false;
        const size_t length = acceptedDatagramLength(buffer_.data(), peeked->size);
        if (length == 0) {
            socket_.discard();
            continue;
        }
        const auto got = socket_.receive(buffer_.data(), length);
        if (!got) return false;
        if (onlyFrom_ && got->source != *onlyFrom_) continue;  // another sender: not our answer
        if (got->copied != length) return false;
        received_ = length;
        lastSource_ = got->source;
        return true;
    }
    return false;
}

size_t acceptedDatagramLength(const uint8_t* datagram, size_t size)
{
    if (size < kHeaderSize) return 0;
    const size_t length = readLe16(datagram + 8);
    if (length < kHeaderSize || length > size || length > kReceiveBufferSize) return 0;
    return length;
}

SearchAnswerResult readSearchAnswerFrom(const uint8_t* datagram, size_t size, bool kind0Only,
                                        std::unique_ptr<DeviceRecord>* out)
{
    if (!out) return SearchAnswerResult::NoPlace;
    if (size < kHeaderSize) return SearchAnswerResult::NotAnAnswer;
    const int kind = productKindForWord(readLe16(datagram + 6));
    if (kind < 0 || (kind0Only && kind != 0)) return SearchAnswerResult::NotAnAnswer;
    if (size < kSearchAnswerMinSize) return SearchAnswerResult::NotAnAnswer;
    if (datagram[10] == 0) return SearchAnswerResult::StatusZero;
    auto record = std::make_unique<DeviceRecord>();
    fillRecordFromAnswer(datagram, kind, *record);
    *out = std::move(record);
    return SearchAnswerResult::RecordBuilt;
}

bool UdpEndpoint::sendSearch(const Mac* filter)
{
    return send(buildSearchRequest(filter ? *filter : kAllDevices));
}

SearchAnswerResult UdpEndpoint::readSearchAnswer(bool kind0Only, std::unique_ptr<DeviceRecord>* out)
{
    if (!out) return SearchAnswerResult::NoPlace;
    if (!receive()) return SearchAnswerResult::NothingWaiting;
    const SearchAnswerResult result = readSearchAnswerFrom(buffer_.data(), received_, kind0Only, out);
    if (result == SearchAnswerResult::RecordBuilt) (*out)->card = card_;
    return result;
}

}  // namespace vst::net
