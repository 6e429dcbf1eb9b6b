// Datagrams from the network and the ring buffer that takes the device's web answers.
#include <deque>
#include <memory>
#include <vector>

#include "FuzzHarnesses.h"
#include "net/ByteRing.h"
#include "net/UdpEndpoint.h"
#include "ops/UdpCommands.h"

namespace vst::fuzz {

// The input is one received datagram: it is taken as the endpoint takes it, then read as a
// search answer, a backup answer and a restore answer. The taken bytes sit in a buffer of their
// exact size, so a reader that looks past the datagram is caught.
int fuzzUdpAnswer(const uint8_t* data, size_t size)
{
    const size_t length = net::acceptedDatagramLength(data, size);
    if (length == 0) return 0;
    VST_FUZZ_CHECK(length >= net::kHeaderSize && length <= size && length <= net::kReceiveBufferSize);
    const std::vector<uint8_t> datagram(data, data + length);
    const uint8_t* d = datagram.data();

    for (bool kind0Only : {false, true}) {
        std::unique_ptr<net::DeviceRecord> record;
        const auto result = net::readSearchAnswerFrom(d, length, kind0Only, &record);
        VST_FUZZ_CHECK((result == net::SearchAnswerResult::RecordBuilt) == (record != nullptr));
        if (record) {
            VST_FUZZ_CHECK(record->productKind >= 0 && record->productKind <= 5);
            VST_FUZZ_CHECK(record->name.str().size() <= 16);
        }
    }

    const ops::BackupAnswer backup = ops::readBackupAnswer(d, length);
    VST_FUZZ_CHECK(backup.text.size() <= net::kBackupTextSize);
    if (!backup.text.empty()) {
        const auto* text = reinterpret_cast<const uint8_t*>(backup.text.data());
        VST_FUZZ_CHECK(text == d + 12 && text + backup.text.size() <= d + length);
    }
    (void)ops::restoreReply(d, length);
    return 0;
}

// The input is a script of ring operations (write, peek, take, drop, reset), each checked
// against a plain queue.
int fuzzByteRing(const uint8_t* data, size_t size)
{
    auto ring = std::make_unique<net::ByteRing>();
    std::deque<uint8_t> model;
    uint8_t counter = 0;
    size_t i = 0;
    while (i < size) {
        const uint8_t op = data[i++];
        size_t amount = op >> 3;
        if (i < size) amount = amount * 256 + data[i++];
        amount %= net::ByteRing::kSlots + 8;
        switch (op & 7) {
        case 0:
        case 1: {
            std::vector<uint8_t> bytes(amount);
            for (auto& b : bytes) b = counter++;
            const bool fits = amount <= net::ByteRing::kCapacity - model.size();
            VST_FUZZ_CHECK(ring->write(bytes.data(), bytes.size()) == fits);
            if (fits) model.insert(model.end(), bytes.begin(), bytes.end());
            break;
        }
        case 2: {
            std::vector<uint8_t> out(amount);
            const size_t n = ring->peek(out.data(), amount);
            VST_FUZZ_CHECK(n == std::min(amount, model.size()));
            for (size_t k = 0; k < n; ++k) VST_FUZZ_CHECK(out[k] == model[k]);
            break;
        }
        case 3:
        case 4: {
            std::vector<uint8_t> out(amount);
            const size_t n = ring->consume(out.data(), amount);
            VST_FUZZ_CHECK(n == std::min(amount, model.size()));
            for (size_t k = 0; k < n; ++k) VST_FUZZ_CHECK(out[k] == model[k]);
            model.erase(model.begin(), model.begin() + static_cast<long>(n));
            break;
        }
        case 5:
        case 6: {
            const size_t n = ring->consume(nullptr, amount);
            VST_FUZZ_CHECK(n == std::min(amount, model.size()));
            model.erase(model.begin(), model.begin() + static_cast<long>(n));
            break;
        }
        default:
            ring->reset();
            model.clear();
            break;
        }
        VST_FUZZ_CHECK(ring->used() == model.size());
        VST_FUZZ_CHECK(ring->freeSpace() == net::ByteRing::kCapacity - model.size());
        VST_FUZZ_CHECK(ring->empty() == model.empty());
    }
    return 0;
}

}  // namespace vst::fuzz
