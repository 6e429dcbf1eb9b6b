// Answers of the device's web server: the head, every endpoint's body, the documents and the
// lines of the function tests.
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "FuzzHarnesses.h"
#include "net/DeviceDocuments.h"
#include "net/DeviceWebSession.h"

namespace vst::fuzz {
namespace {

std::string_view asText(const uint8_t* data, size_t size) { return {reinterpret_cast<const char*>(data), size}; }

// The first byte gives the slices in which the answer arrives (1 to 256 bytes).
size_t sliceOf(uint8_t b) { return static_cast<size_t>(b) + 1; }

// Begins the exchange the selector names; lineMax is the longest line its answer can hand out.
void startExchange(net::DeviceWebSession& session, uint8_t selector, net::SysInfo& sysInfo, net::DevInfo& devInfo,
                   bool& i2c, std::string& line, size_t& lineMax)
{
    lineMax = 0;
    switch (selector % 11) {
    case 0: session.beginReadSysInfo(&sysInfo); break;
    case 1: session.beginReadDevInfo(&devInfo); break;
    case 2: session.beginDeleteMediaFile("LOG00001.CSV"); break;
    case 3: session.beginReadI2cRegister(&i2c); break;
    case 4:
        session.beginReadProcessTestLine(selector / 11 % 2, 1, &line);
        lineMax = 249;
        break;
    case 5:
        session.beginReadCalibrationInfoLine(1, &line);
        lineMax = 99;
        break;
    case 6: session.beginRunCalibrationStep("ENG", 1, "1;2;3"); break;
    case 7: session.beginSetSerialNumber(12345678); break;
    case 8: session.beginSetDateTime("date=01.02.2026&time=10:11:12"); break;
    case 9: session.beginLogout(); break;
    default: session.beginLogin("secret"); break;
    }
}

}  // namespace

// The input is a whole answer (status line, head, body) to a login or logout; the first byte
// chooses the exchange and the slice size.
int fuzzWebHead(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const net::DeviceRecord device;
    net::DeviceWebSession session(device);
    const bool login = (data[0] & 1) == 0;
    const std::string_view answer = asText(data + 1, size - 1);
    if (login) session.beginLogin("secret");
    else session.beginLogout();
    const int result = session.readAnswer(answer, sliceOf(data[0] >> 1));
    VST_FUZZ_CHECK(result >= 0 && result <= 4);
    VST_FUZZ_CHECK(session.cookie().size() <= net::kCookieMax);
    VST_FUZZ_CHECK(session.state() == net::ExchangeState::Idle);
    // However the bytes arrive, the answer means the same.
    net::DeviceWebSession whole(device);
    if (login) whole.beginLogin("secret");
    else whole.beginLogout();
    VST_FUZZ_CHECK(whole.readAnswer(answer, net::ByteRing::kCapacity) == result);
    VST_FUZZ_CHECK(whole.cookie() == session.cookie());
    // A second exchange of the same session starts clean.
    session.beginLogout();
    VST_FUZZ_CHECK(session.readAnswer("HTTP/1.1 302 Found\r\nLocation: /system/index.htm?state=2\r\n\r\n", 7) == 0);
    return 0;
}

// The input is a whole answer to one endpoint; the first byte chooses the endpoint, the second
// the slice size.
int fuzzWebBody(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const net::DeviceRecord device;
    struct Outcome {
        int result = -1;
        net::SysInfo sysInfo;
        net::DevInfo devInfo;
        bool i2c = true;
        std::string line;
    };
    const std::string_view answer = asText(data + 2, size - 2);
    size_t lineMax = 0;
    const auto read = [&](size_t slice) {
        Outcome o;
        net::DeviceWebSession session(device);
        startExchange(session, data[0], o.sysInfo, o.devInfo, o.i2c, o.line, lineMax);
        o.result = session.readAnswer(answer, slice);
        VST_FUZZ_CHECK(session.state() == net::ExchangeState::Idle);
        return o;
    };
    const Outcome sliced = read(sliceOf(data[1]));
    VST_FUZZ_CHECK(sliced.result >= 0 && sliced.result <= 5);  // 5: the date and time could not be sent
    VST_FUZZ_CHECK(sliced.line.size() <= lineMax);
    // However the bytes arrive, the answer means the same.
    const Outcome whole = read(net::ByteRing::kCapacity);
    VST_FUZZ_CHECK(whole.result == sliced.result);
    VST_FUZZ_CHECK(whole.line == sliced.line);
    const auto sys = [](const net::SysInfo& i) {
        return std::tuple(i.wlanAddress, i.ethernetAddress, i.thirdAddress, i.wlanMac, i.ethernetMac, i.sdCardReady,
                          i.usbStickReady);
    };
    const auto dev = [](const net::DevInfo& i) {
        return std::tuple(i.code, i.address, i.externalClockRunning, i.frameworkValue, i.applicationValue,
                          i.applicationNormalMode, i.sensorErrors, i.sdErrors, i.processing);
    };
    VST_FUZZ_CHECK(sys(whole.sysInfo) == sys(sliced.sysInfo));
    VST_FUZZ_CHECK(dev(whole.devInfo) == dev(sliced.devInfo));
    VST_FUZZ_CHECK(whole.i2c == sliced.i2c);
    return 0;
}

// The input is a document: every element the station reads is looked up in it.
int fuzzDocuments(const uint8_t* data, size_t size)
{
    const std::string_view document = asText(data, size);
    for (std::string_view name : {"response", "state", "ip", "mac", "sd", "status", "", "<", "</"}) {
        if (auto value = net::extractTag(document, name)) {
            VST_FUZZ_CHECK(value->data() >= document.data() &&
                           value->data() + value->size() <= document.data() + document.size());
        }
    }
    net::SysInfo sysInfo;
    net::readSysInfo(document, sysInfo);
    net::DevInfo devInfo;
    net::readDevInfo(document, devInfo);
    (void)net::readI2cState(document);
    (void)net::leadingUnsigned(document, 10);
    (void)net::leadingUnsigned(document, 16);
    return 0;
}

// The input is a stream of calibration or process-test lines.
int fuzzTestLines(const uint8_t* data, size_t size)
{
    std::string_view rest = asText(data, size);
    while (!rest.empty()) {
        const size_t lf = rest.find('\n');
        const std::string_view line = rest.substr(0, lf == std::string_view::npos ? rest.size() : lf + 1);
        rest.remove_prefix(line.size());
        const std::string_view text = line.substr(0, line.find_last_not_of("\r\n") + 1);
        const auto item = net::parseCalibrationLine(text);
        if (item) VST_FUZZ_CHECK(item->type.size() <= 9 && item->name.size() <= 19 && item->data.size() <= 49);
        // The line end does not change the item.
        const auto withEnd = net::parseCalibrationLine(line);
        VST_FUZZ_CHECK(item.has_value() == withEnd.has_value());
        if (item) {
            VST_FUZZ_CHECK(std::tie(item->type, item->name, item->index, item->data, item->secondaryIsCurrent) ==
                           std::tie(withEnd->type, withEnd->name, withEnd->index, withEnd->data,
                                    withEnd->secondaryIsCurrent));
        }
        const net::ProcessTestLine kind = net::classifyProcessTestLine(text);
        VST_FUZZ_CHECK(kind.neededMode >= -1);
    }
    return 0;
}

}  // namespace vst::fuzz
