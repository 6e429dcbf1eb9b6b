#include "devsim/Fleet.h"
#include "devsim/Web.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vst::devsim {
namespace {

bool isDue(uint32_t now, uint32_t at) { return static_cast<int32_t>(now - at) >= 0; }

Bytes malformed(Bytes bytes, const Faults& faults)
{
    const uint16_t word = getU16(bytes, kWordOffset);
    const bool isSearchAnswer =
        std::find(kSearchAnswerWords.begin(), kSearchAnswerWords.end(), word) != kSearchAnswerWords.end();
    if (word == kWordBackupAnswer && faults.has(Malformation::BackupWithoutNul)) {
        for (size_t i = kBackupTextOffset; i < kBackupAnswerSize; ++i) {
            if (bytes[i] == 0) bytes[i] = 'X';
        }
    }
    if (faults.has(Malformation::UnknownWord)) putU16(bytes, kWordOffset, kWordUnknown);
    if (isSearchAnswer && faults.has(Malformation::ShortSearchAnswer)) {
        bytes.resize(kShortSearchAnswerSize);
        putU16(bytes, kLengthOffset, static_cast<uint16_t>(bytes.size()));
    }
    if (faults.has(Malformation::LengthAbove268)) {
        bytes.resize(std::max(bytes.size(), kLengthAbove268Size), 0);
        putU16(bytes, kLengthOffset, static_cast<uint16_t>(bytes.size()));
    }
    if (faults.has(Malformation::Oversized)) {
        bytes.resize(std::max(bytes.size(), kOversizedSize), 0);  // the length field stays
    }
    if (faults.has(Malformation::LengthBeyondDatagram)) {
        putU16(bytes, kLengthOffset, static_cast<uint16_t>(bytes.size() + 1));
    }
    return bytes;
}

class Responder {
public:
    Responder(Device& device, size_t index, uint32_t now, Outcome& outcome)
        : device_(device), index_(index), now_(now), outcome_(outcome)
    {
    }

    void handle(Ipv4 destination, std::span<const uint8_t> datagram)
    {
        if (datagram.size() < kHeaderSize) return;
        if (std::memcmp(datagram.data(), kMagic.data(), kMagic.size()) != 0) return;
        // The length field decides where the datagram ends; a datagram shorter than its length
        // field is incomplete and dropped.
        const size_t length = getU16(datagram, kLengthOffset);
        if (length < kHeaderSize || length > datagram.size()) return;
        request_ = datagram.first(length);
        if (device_.wlan && destination == kDefaultWlanAddress) return wlanSearch();
        if (!reaches(device_, destination)) return;

        switch (getU16(request_, kWordOffset)) {
        case kWordSearch: search(); break;
        case kWordSetNetwork: setNetwork(); break;
        case kWordSetName: setName(); break;
        case kWordBackup: backup(); break;
        case kWordRestore: restore(); break;
        default: break;  // answers of other devices and unknown words are not ours
        }
    }

private:
    void search()
    {
        if (request_.size() != kSearchRequestSize) return;
        const Mac filter = getMac(request_, kMacOffset);
        const bool filtered = filter != kAllDevices;
        if (filtered && filter != device_.mac) return;
        if (device_.faults.searchStatusZero) {
            answer(newDatagram(kSearchAnswerWords[std::clamp(device_.kind, 0, 5)], kSearchAnswerSize));
            return;
        }
        answer(searchAnswer(device_, filtered));
    }

    // A search that came over the device's own wireless network: it answers with its WLAN MAC to
    // a search for every device or for that MAC.
    void wlanSearch()
    {
        if (getU16(request_, kWordOffset) != kWordSearch || request_.size() != kSearchRequestSize) return;
        const Mac filter = getMac(request_, kMacOffset);
        const Mac own = wlanMac(device_.mac);
        if (filter != kAllDevices && filter != own) return;
        Bytes bytes = searchAnswer(device_, false);
        putMac(bytes, 60, own);
        answer(bytes, kDefaultWlanAddress);  // from its WLAN address, as a real device would
    }

    // Common checks of a write command: exact size (or the restore range) and our MAC.
    bool isForUs(size_t minSize, size_t maxSize) const
    {
        if (request_.size() < minSize || request_.size() > maxSize) return false;
        return getMac(request_, kMacOffset) == device_.mac;
    }

    bool passwordAccepted() const
    {
        if (device_.faults.wrongPassword) return false;
        if (!device_.isProtected()) return true;
        return fieldText(request_, kPasswordOffset, kPasswordFieldSize) == device_.password;
    }

    void refuse(uint16_t answerWord, size_t answerSize)
    {
        event(EventKind::PasswordRefused);
        answer(newDatagram(answerWord, answerSize));  // status 0, nothing else
    }

    void setNetwork()
    {
        if (!isForUs(kSetNetworkSize, kSetNetworkSize)) return;
        if (!passwordAccepted()) return refuse(kWordNetworkAnswer, kStatusAnswerSize);
        NetworkSettings settings;
        const uint8_t mode = request_[kCommandDataOffset];
        settings.dhcp = mode == 1 ? DhcpMode::Client : mode == 2 ? DhcpMode::Server : DhcpMode::Off;
        settings.address = getIpv4(request_, 67);
        settings.mask = getIpv4(request_, 71);
        settings.gateway = getIpv4(request_, 75);
        settings.dns1 = getIpv4(request_, 79);
        settings.dns2 = getIpv4(request_, 83);
        answer(statusAnswer(kWordNetworkAnswer, kStatusAnswerSize));
        beginRestart(settings);
    }

    void setName()
    {
        if (!isForUs(kSetNameSize, kSetNameSize)) return;
        if (!passwordAccepted()) return refuse(kWordNameAnswer, kStatusAnswerSize);
        std::string name = fieldText(request_, kCommandDataOffset, kNameFieldSize);
        if (name.size() > kMaxNameLength) name.resize(kMaxNameLength);
        device_.name = std::move(name);
        event(EventKind::NameChanged);
        answer(statusAnswer(kWordNameAnswer, kStatusAnswerSize));
    }

    void backup()
    {
        if (!isForUs(kBackupRequestSize, kBackupRequestSize)) return;
        if (!passwordAccepted()) return refuse(kWordBackupAnswer, kBackupAnswerSize);
        BackupSession& session = device_.backup;
        const uint8_t request = request_[kCommandDataOffset];
        if (request == 'R') {
            session = startBackup(device_.configuration);
            event(EventKind::BackupStarted);
        } else if (request != 'C' || !session.open) {
            event(EventKind::RequestIgnored);
            return;
        }
        BackupSession::Chunk chunk = session.chunks[session.next++];
        if (device_.faults.backupEndless) {
            // The final chunk never comes: the configuration is sent again and again.
            if (chunk.state == 'F') chunk.state = 'C';
            if (session.next == session.chunks.size()) session.next = 0;
        } else if (session.next == session.chunks.size()) {
            session = {};
            event(EventKind::BackupFinished);
        }
        Bytes bytes = statusAnswer(kWordBackupAnswer, kBackupAnswerSize);
        bytes[11] = static_cast<uint8_t>(chunk.state);
        std::memcpy(bytes.data() + kBackupTextOffset, chunk.text.data(),
                    std::min(chunk.text.size(), kBackupTextSize - 1));
        answer(std::move(bytes));
    }

    static BackupSession startBackup(const Configuration& configuration)
    {
        BackupSession session;
        session.open = true;
        auto add = [&session](const std::string& line) {
            session.chunks.push_back({line.substr(0, kMaxLineLength) + '\n', 'C'});
        };
        for (const auto& line : configuration.userLines) add(line);
        if (!configuration.processLines.empty()) {
            // The 'S' chunk ends the user configuration; with none, it is an empty chunk of its own.
            if (session.chunks.empty()) session.chunks.push_back({"", 'C'});
            session.chunks.back().state = 'S';
            for (const auto& line : configuration.processLines) add(line);
        }
        // Without a process list no 'S' is sent, so the backup file has no separator line and
        // restores to an empty process list; with nothing at all, one empty final chunk.
        if (session.chunks.empty()) session.chunks.push_back({"", 'C'});
        session.chunks.back().state = 'F';
        return session;
    }

    void restore()
    {
        if (!isForUs(kRestoreMinSize, kRestoreMaxSize)) return;
        // The chunk text ends with the datagram's last byte, its NUL.
        const size_t textEnd = request_.size() - 1;
        if (request_[textEnd] != 0) return;
        if (std::find(request_.begin() + kRestoreTextOffset, request_.begin() + textEnd, 0) !=
            request_.begin() + textEnd) {
            return;
        }
        if (!passwordAccepted()) return refuse(kWordRestoreAnswer, kRestoreAnswerSize);

        std::string line(request_.begin() + kRestoreTextOffset, request_.begin() + textEnd);
        if (device_.faults.restoreStrict &&
            (line.find('\r') != std::string::npos || (line.empty() && request_[kCommandDataOffset] == 'F'))) {
            event(EventKind::RequestIgnored);
            return;
        }
        if (!line.empty() && line.back() == '\n') line.pop_back();
        if (line.size() > kMaxLineLength) line.resize(kMaxLineLength);

        RestoreSession& session = device_.restore;
        const uint8_t mode = request_[kCommandDataOffset];
        switch (mode) {
        case 'R':
            // 'R' begins a restore, except right after an opening 'S' (a file that starts with
            // the empty separator line): then it is the first process-list line.
            if (!(session.open && session.inProcessList && session.received.userLines.empty() &&
                  session.received.processLines.empty())) {
                openRestore();
            }
            break;
        case 'S':
        case 'F':
            if (!session.open) openRestore();
            break;
        case 'C':
            if (session.open) break;
            [[fallthrough]];
        default:
            event(EventKind::RequestIgnored);
            return;
        }
        if (!line.empty()) {
            (session.inProcessList ? session.received.processLines : session.received.userLines)
                .push_back(std::move(line));
        }
        if (mode == 'S') session.inProcessList = true;

        Bytes bytes = statusAnswer(kWordRestoreAnswer, kRestoreAnswerSize);
        bytes[11] = mode;
        answer(std::move(bytes));
        if (mode == 'F') {
            device_.configuration = std::move(session.received);
            session = {};
            event(EventKind::ConfigurationReplaced);
            beginRestart(std::nullopt);
        }
    }

    void openRestore()
    {
        device_.restore = {};
        device_.restore.open = true;
        event(EventKind::RestoreStarted);
    }

    void beginRestart(std::optional<NetworkSettings> settings)
    {
        devsim::beginRestart(device_, now_, settings);
        event(EventKind::RestartBegun);
    }

    static Bytes statusAnswer(uint16_t word, size_t size)
    {
        Bytes bytes = newDatagram(word, size);
        bytes[kStatusOffset] = 1;
        return bytes;
    }

    void answer(Bytes bytes, Ipv4 from = 0)
    {
        outcome_.replies.push_back({index_, from ? from : device_.network.address,
                                    malformed(std::move(bytes), device_.faults), device_.faults.delayMs});
        if (device_.faults.duplicateAnswers) outcome_.replies.push_back(outcome_.replies.back());
    }

    void event(EventKind kind) { outcome_.events.push_back({index_, kind}); }

    Device& device_;
    size_t index_;
    uint32_t now_;
    Outcome& outcome_;
    std::span<const uint8_t> request_;
};

}  // namespace

bool reaches(const Device& device, Ipv4 destination)
{
    const Ipv4 address = device.network.address;
    return destination == address || destination == kLimitedBroadcast ||
           destination == directedBroadcast(address, device.network.mask);
}

void beginRestart(Device& device, uint32_t now, std::optional<NetworkSettings> settings)
{
    device.restarting = true;
    device.restartEndsAt = now + device.restartMs;
    device.pendingNetwork = settings;
    device.backup = {};
    device.restore = {};
    device.webState.sessions.clear();
}

bool finishRestart(Device& device, uint32_t now)
{
    if (!device.restarting || !isDue(now, device.restartEndsAt)) return false;
    device.restarting = false;
    if (device.pendingNetwork) device.network = *device.pendingNetwork;
    device.pendingNetwork.reset();
    if (device.pendingAppVersion) device.appVersion = *device.pendingAppVersion;
    device.pendingAppVersion.reset();
    return true;
}

Outcome respond(Device& device, size_t index, uint32_t now, Ipv4 destination,
                std::span<const uint8_t> datagram)
{
    Outcome outcome;
    if (device.faults.silent) return outcome;
    if (finishRestart(device, now)) outcome.events.push_back({index, EventKind::RestartEnded});
    if (device.restarting) return outcome;
    Responder(device, index, now, outcome).handle(destination, datagram);
    return outcome;
}

Bytes searchAnswer(const Device& device, bool filteredOnMac)
{
    const int kind = std::clamp(device.kind, 0, 5);
    Bytes bytes = newDatagram(kSearchAnswerWords[kind], kSearchAnswerSize);
    bytes[kStatusOffset] = 1;
    if (kind == 0) {
        putFloat(bytes, 11, static_cast<float>(device.appVersion));
        putFloat(bytes, 15, static_cast<float>(device.bootVersion));
    } else {
        const double scaled = std::round(device.appVersion * 10000.0);
        putU32(bytes, 11, scaled <= 0 ? 0u : scaled >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(scaled));
    }
    putU32(bytes, 19, device.serialNumber);
    std::memcpy(bytes.data() + 23, device.name.data(), std::min(device.name.size(), kMaxNameLength));
    bytes[39] = static_cast<uint8_t>(device.network.dhcp);
    putIpv4(bytes, 40, device.network.address);
    putIpv4(bytes, 44, device.network.mask);
    putIpv4(bytes, 48, device.network.gateway);
    putIpv4(bytes, 52, device.network.dns1);
    putIpv4(bytes, 56, device.network.dns2);
    putMac(bytes, 60, filteredOnMac && device.faults.foreignMac ? *device.faults.foreignMac : device.mac);
    bytes[66] = device.isProtected() ? 1 : 0;
    return bytes;
}

Outcome Fleet::handle(uint32_t now, Ipv4 destination, std::span<const uint8_t> datagram)
{
    Outcome outcome;
    outcome.events = advance(now);
    for (size_t i = 0; i < devices_.size(); ++i) {
        Outcome one = respond(devices_[i], i, now, destination, datagram);
        for (auto& reply : one.replies) outcome.replies.push_back(std::move(reply));
        for (auto& event : one.events) outcome.events.push_back(event);
    }
    return outcome;
}

std::vector<Event> Fleet::advance(uint32_t now)
{
    std::vector<Event> events;
    for (size_t i = 0; i < devices_.size(); ++i) {
        if (finishRestart(devices_[i], now)) events.push_back({i, EventKind::RestartEnded});
    }
    return events;
}

std::optional<uint32_t> Fleet::nextRestartEnd(uint32_t now) const
{
    std::optional<uint32_t> soonest;  // as a distance from now
    for (const auto& device : devices_) {
        if (!device.restarting) continue;
        const int32_t left = static_cast<int32_t>(device.restartEndsAt - now);
        const uint32_t distance = left < 0 ? 0u : static_cast<uint32_t>(left);
        if (!soonest || distance < *soonest) soonest = distance;
    }
    if (!soonest) return std::nullopt;
    return now + *soonest;
}

const char* eventName(EventKind kind)
{
    switch (kind) {
    case EventKind::PasswordRefused: return "password refused";
    case EventKind::NameChanged: return "name changed";
    case EventKind::RestartBegun: return "restart begun";
    case EventKind::RestartEnded: return "restart ended";
    case EventKind::BackupStarted: return "backup started";
    case EventKind::BackupFinished: return "backup finished";
    case EventKind::RestoreStarted: return "restore started";
    case EventKind::ConfigurationReplaced: return "configuration replaced";
    case EventKind::RequestIgnored: return "out-of-order request ignored";
    case EventKind::LoggedIn: return "web login";
    case EventKind::LoginRefused: return "web login refused";
    case EventKind::LoggedOut: return "web logout";
    case EventKind::SerialNumberChanged: return "serial number changed";
    case EventKind::ClockSet: return "clock set";
    case EventKind::FirmwareAccepted: return "firmware upload accepted";
    case EventKind::FirmwareRefused: return "firmware upload refused";
    case EventKind::FileDeleted: return "SD file deleted";
    case EventKind::CalibrationStep: return "calibration step";
    }
    return "?";
}

}  // namespace vst::devsim
