#include "net/UdpProtocol.h"

#include <cstring>

namespace vst::net {
namespace {

constexpr char kMagic[6] = {'K', 'W', '_', 'V', 't', 'L'};

void putLe16(std::vector<uint8_t>& out, size_t at, uint16_t v)
{
    out[at] = static_cast<uint8_t>(v & 0xFF);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

std::vector<uint8_t> header(uint16_t word, size_t length, const Mac& mac)
{
    std::vector<uint8_t> out(length, 0);
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    putLe16(out, 6, word);
    putLe16(out, 8, static_cast<uint16_t>(length));
    std::memcpy(out.data() + 10, mac.data(), mac.size());
    return out;
}


}  // namespace

int productKindForWord(uint16_t word)
{
    for (int kind = 0; kind < 6; ++kind) {
        if (kSearchAnswerWords[kind] == word) return kind;
    }
    return -1;
}

uint16_t readLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t readLe32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

float readLeFloat(const uint8_t* p)
{
    const uint32_t bits = readLe32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

std::vector<uint8_t> buildSearchRequest(const Mac& filter)
{
    return header(kWordSearch, kSearchRequestSize, filter);
}

std::vector<uint8_t> buildWriteCommand(uint16_t word, const Mac& mac, const Password& password,
                                       const std::vector<uint8_t>& data)
{
    auto out = header(word, kCommandDataOffset + data.size(), mac);
    std::memcpy(out.data() + 16, password.bytes().data(), kPasswordSize);
    if (!data.empty()) std::memcpy(out.data() + kCommandDataOffset, data.data(), data.size());
    return out;
}

std::vector<uint8_t> buildSetNetwork(const DeviceRecord& r, const Password& password)
{
    std::vector<uint8_t> data(21, 0);
    data[0] = r.dhcpClient ? 1 : (r.dhcpServer ? 2 : 0);
    auto put = [&](size_t at, uint32_t a) { std::memcpy(data.data() + at, &a, 4); };
    put(1, r.address);
    put(5, r.mask);
    put(9, r.gateway);
    put(13, r.dns1);
    put(17, r.dns2);
    return buildWriteCommand(kWordSetNetwork, r.mac, password, data);
}

std::vector<uint8_t> buildSetName(const DeviceRecord& r, const Password& password)
{
    std::vector<uint8_t> data(r.name.bytes().begin(), r.name.bytes().end());
    return buildWriteCommand(kWordSetName, r.mac, password, data);
}

std::vector<uint8_t> buildBackupRequest(const Mac& mac, const Password& password, char request)
{
    return buildWriteCommand(kWordBackupRequest, mac, password, {static_cast<uint8_t>(request)});
}

std::vector<uint8_t> buildRestoreChunk(const Mac& mac, const Password& password, char mode, std::string_view text)
{
    if (text.size() > kRestoreTextMax) text = text.substr(0, kRestoreTextMax);
    std::vector<uint8_t> data;
    data.reserve(text.size() + 2);
    data.push_back(static_cast<uint8_t>(mode));
    data.insert(data.end(), text.begin(), text.end());
    data.push_back(0);
    return buildWriteCommand(kWordRestoreChunk, mac, password, data);
}

void fillRecordFromAnswer(const uint8_t* a, int productKind, DeviceRecord& r)
{
    r = DeviceRecord{};
    r.productKind = productKind;
    if (productKind == 0) {
        r.appVersion = readLeFloat(a + 11);
        r.bootloaderVersion = readLeFloat(a + 15);
    } else {
        r.appVersion = static_cast<float>(readLe32(a + 11) / 10000.0);
        r.bootloaderVersion = 0.0f;
    }
    r.serialNumber = readLe32(a + 19);
    r.name.assignField(a + 23, 16);
    r.dhcpClient = a[39] == 1;
    r.dhcpServer = a[39] == 2;
    auto address = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, a + at, 4);
        return v;
    };
    r.address = r.previousAddress = address(40);
    r.mask = r.previousMask = address(44);
    r.gateway = address(48);
    r.dns1 = address(52);
    r.dns2 = address(56);
    std::memcpy(r.mac.data(), a + 60, 6);
    r.passwordRequired = a[66] == 1;
}

}  // namespace vst::net
