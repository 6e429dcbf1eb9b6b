#include "ops/UdpCommands.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "app/Texts.h"
#include "net/Limits.h"
#include "net/UdpEndpoint.h"
#include "ops/Refind.h"
#include "ops/Reporting.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace vst::ops {
namespace {

uint32_t now() { return platform::clock().tickCount(); }

// The frame all four commands share: the opening step, the socket, send retries, the one result,
// the closing step and the cleared progress line.
class UdpOperation {
public:
    explicit UdpOperation(UdpCommandParams& p) : p_(p), report_(*p.channel, p.log) {}
    virtual ~UdpOperation() = default;

    bool run()
    {
        if (begin()) {
            while (running_) {
                step();
                if (running_) platform::clock().sleep(1);
            }
        }
        report_.clearStep();
        return success_;
    }

protected:
    virtual bool prepare() { return true; }
    virtual void step() = 0;

    void finish(app::TextId result, int32_t style, bool ok)
    {
        report_.logSubMessage(app::loadText(result), style, false);
        report_.logStep(app::loadText(35106), 100);
        endpoint_.close();
        running_ = false;
        success_ = ok;
    }
    void fail(app::TextId result) { finish(result, kStyleExclamation, false); }

    // The first pass of a command: its step text and the endpoint bound for the command's target
    // on the device's card, in the order the command announces them. Later passes do nothing.
    // False (with the result reported) when the endpoint cannot be bound.
    enum class StepOrder { StepThenBind, BindThenStep };
    bool beginCommand(app::TextId step, bool broadcast, StepOrder order)
    {
        if (begun_) return true;
        begun_ = true;
        if (order == StepOrder::StepThenBind) report_.logStep(app::loadText(step), 20);
        if (!endpoint_.bind(p_.device->card, commandTarget(*p_.device, broadcast))) {
            fail(35201);
            return false;
        }
        // Sent to the device's own address, only the device itself answers.
        if (endpoint_.targetIsUnicast()) endpoint_.acceptOnlyFrom(endpoint_.target());
        if (order == StepOrder::BindThenStep) report_.logStep(app::loadText(step), 20);
        return true;
    }

    // Sends the datagram; true when sent. The third failure ends the operation.
    bool sendCommand(const std::vector<uint8_t>& datagram)
    {
        if (endpoint_.send(datagram)) {
            sentAt_ = now();
            return true;
        }
        if (++failures_ >= kMaxCommandSendFailures) fail(35201);
        return false;
    }

    // The next waiting datagram with the given word; others are read and ignored, at most
    // kMaxDatagramsPerPass of them per pass.
    const uint8_t* answer(uint16_t word)
    {
        for (int i = 0; i < net::kMaxDatagramsPerPass && endpoint_.receive(); ++i) {
            if (endpoint_.datagramWord() == word) return endpoint_.datagram();
        }
        return nullptr;
    }

    bool timedOut(uint32_t limit) const { return now() - sentAt_ > limit; }

    // A command the device confirms: announced (35107), sent, then 35108 at 40; true once sent.
    bool sendAnnounced(bool broadcast, const std::vector<uint8_t>& datagram)
    {
        if (!beginCommand(app::TextId{35107}, broadcast, StepOrder::StepThenBind)) return false;
        if (!sendCommand(datagram)) return false;
        report_.logStep(app::loadText(35108), 40);
        return true;
    }

    // The device's confirmation, its answer with `word`: true once it came. A refusal ends the
    // operation with 35208, no answer within the answer time with 35202.
    bool confirmed(uint16_t word)
    {
        if (const uint8_t* a = answer(word)) {
            if (a[10] == 0) {
                fail(35208);
                return false;
            }
            failures_ = 0;
            return true;
        }
        if (timedOut(kCommandAnswerTimeoutMs)) fail(35202);
        return false;
    }

    // Reopens the endpoint bound for the re-find target and starts the re-find.
    void startRefind(uint32_t target)
    {
        endpoint_.close();
        if (endpoint_.open(true, p_.device->card, target)) endpoint_.setDevicePort(p_.devicePort);
        refind_.emplace(endpoint_, *p_.device, *p_.channel);
    }
    // Polls the re-find; reports its outcome with the given success text.
    void pollRefind(int32_t sentPosition, app::TextId successText)
    {
        const RefindStep s = pollRefindStep(*refind_, report_, sentPosition);
        if (s.outcome == RefindStep::Outcome::Found) finish(successText, kStyleInformation, true);
        if (s.outcome == RefindStep::Outcome::Failed) fail(s.failure);
    }

    UdpCommandParams& p_;
    Reporter report_;
    net::UdpEndpoint endpoint_;
    int failures_ = 0;
    uint32_t sentAt_ = 0;
    std::optional<Refind> refind_;

private:
    bool begin()
    {
        report_.logStep(app::loadText(35105), 10);
        if (!prepare()) return false;
        if (p_.device->passwordRequired) endpoint_.password() = p_.password;
        if (!endpoint_.open(false, p_.device->card, 0)) {
            finish(35200, kStyleError, false);
            return false;
        }
        endpoint_.setDevicePort(p_.devicePort);
        return true;
    }

    bool running_ = true;
    bool success_ = false;
    bool begun_ = false;
};

// A command after which the device restarts: once the device confirmed it, the fixed restart wait,
// then the device is found again (with `successText` once found).
class RestartingOperation : public UdpOperation {
public:
    using UdpOperation::UdpOperation;

protected:
    enum class State { Send, Answer, RestartWait, Refind };
    State state_ = State::Send;

    // The device confirmed: the restart wait begins.
    void awaitRestart()
    {
        sentAt_ = now();
        report_.logStep(app::loadText(35111), 60);
        report_.announceWait(app::loadText(35111), kRestartWaitMs);
        state_ = State::RestartWait;
    }

    // The restart wait and the re-find at `target`; nothing in the other states.
    void restartStep(uint32_t target, app::TextId successText)
    {
        if (state_ == State::RestartWait && platform::fixedWaitOver(sentAt_, kRestartWaitMs)) {
            platform::notePrescribedWait(kRestartWaitMs);
            report_.logStep(app::loadText(35114), 80);
            startRefind(target);
            state_ = State::Refind;
        } else if (state_ == State::Refind) {
            pollRefind(90, successText);
        }
    }
};

class NetworkConfiguration : public RestartingOperation {
public:
    using RestartingOperation::RestartingOperation;

private:
    void step() override
    {
        switch (state_) {
        case State::Send:
            if (sendAnnounced(p_.broadcast, net::buildSetNetwork(*p_.device, endpoint_.password()))) {
                state_ = State::Answer;
            }
            break;
        case State::Answer:
            if (confirmed(net::kWordSetNetworkAnswer)) awaitRestart();
            break;
        case State::RestartWait:
        case State::Refind:
            restartStep(newAddressTarget(*p_.device, p_.broadcast), 35222);
            break;
        }
    }
};

class DeviceName : public UdpOperation {
public:
    using UdpOperation::UdpOperation;

private:
    enum class State { Send, Answer, Refind };
    State state_ = State::Send;

    void step() override
    {
        switch (state_) {
        case State::Send:
            if (sendAnnounced(false, net::buildSetName(*p_.device, endpoint_.password()))) state_ = State::Answer;
            break;
        case State::Answer:
            if (confirmed(net::kWordSetNameAnswer)) {
                report_.logStep(app::loadText(35114), 70);
                // The device does not restart: the re-find goes to the same target on the same socket.
                refind_.emplace(endpoint_, *p_.device, *p_.channel);
                state_ = State::Refind;
            }
            break;
        case State::Refind:
            pollRefind(80, 35223);
            break;
        }
    }
};

// A byte of configuration text: anything but the line ends.
bool isConfigurationByte(char c) { return c != '\n' && c != '\r'; }

class Backup : public UdpOperation {
public:
    // emptyIsFailure: a backup without one configuration byte is refused (the service operation).
    Backup(UdpCommandParams& p, bool emptyIsFailure) : UdpOperation(p), emptyIsFailure_(emptyIsFailure) {}

private:
    enum class State { Request, Answer };
    State state_ = State::Request;
    bool first_ = true;
    uint32_t chunks_ = 0;
    size_t bytes_ = 0;
    bool emptyIsFailure_;
    bool configuration_ = false;  // a configuration byte came from the device
    platform::ReplacingFileWriter file_;

    // The file is written beside its final name and put in place only when the backup is whole,
    // so a failed backup never destroys an earlier one.
    bool prepare() override
    {
        if (!file_.open(platform::osPath(p_.filePath.str()))) {
            finish(35224, kStyleError, false);
            return false;
        }
        return true;
    }

    void step() override
    {
        switch (state_) {
        case State::Request:
            if (!beginCommand(app::TextId{35117}, p_.broadcast, StepOrder::BindThenStep)) return;
            if (sendCommand(net::buildBackupRequest(p_.device->mac, endpoint_.password(), first_ ? 'R' : 'C'))) {
                state_ = State::Answer;
            }
            break;
        case State::Answer:
            if (const uint8_t* a = answer(net::kWordBackupAnswer)) {
                const BackupAnswer chunk = readBackupAnswer(a, endpoint_.datagramSize());
                if (chunk.refused) return fail(35208);
                const char chunkState = chunk.chunkState;
                // A device that never sends its final chunk must not fill the disk.
                if (++chunks_ > net::kMaxBackupChunks || (bytes_ += chunk.text.size()) > net::kMaxBackupBytes) {
                    return fail(35202);
                }
                file_.write(chunk.text);
                if (!configuration_) {
                    configuration_ = std::any_of(chunk.text.begin(), chunk.text.end(), isConfigurationByte);
                }
                if (chunkState == 'S') {
                    file_.write("\n");
                    report_.logStep(app::loadText(35118), 60);
                }
                failures_ = 0;
                first_ = false;
                if (chunkState == 'F') {
                    if (emptyIsFailure_ && !configuration_) {
                        // Nothing a restore could load: no file is written, an earlier one stays.
                        file_.abandon();
                        return fail(kEmptyConfigurationText);
                    }
                    if (file_.commit()) {
                        finish(35225, kStyleInformation, true);
                    } else {
                        finish(35224, kStyleError, false);
                    }
                    return;
                }
                state_ = State::Request;
            } else if (timedOut(kChunkAnswerTimeoutMs)) {
                fail(35202);
            }
            break;
        }
    }
};

class Restore : public RestartingOperation {
public:
    using RestartingOperation::RestartingOperation;

private:
    std::vector<RestoreChunk> chunks_;
    size_t next_ = 0;
    bool prepared_ = false;

    bool prepare() override
    {
        // The whole file is read and checked before anything is sent: a read error, an empty
        // file or a NUL byte would otherwise wipe or cut the device's configuration.
        auto bytes = platform::readFileBytes(platform::osPath(p_.filePath.str()));
        if (!bytes || !splitRestoreFile(*bytes, chunks_)) {
            finish(35226, kStyleError, false);
            return false;
        }
        return true;
    }

    void step() override
    {
        switch (state_) {
        case State::Send: {
            if (!beginCommand(app::TextId{35119}, p_.broadcast, StepOrder::BindThenStep)) return;
            const RestoreChunk& chunk = chunks_[next_];
            if (!prepared_) {
                prepared_ = true;
                if (chunk.mode == 'S') report_.logStepText(app::loadText(35120));
                if (chunk.position >= 0) report_.setPosition(chunk.position);
            }
            if (sendCommand(net::buildRestoreChunk(p_.device->mac, endpoint_.password(), chunk.mode, chunk.text))) {
                state_ = State::Answer;
            }
            break;
        }
        case State::Answer:
            if (const uint8_t* a = answer(net::kWordRestoreAnswer)) {
                if (a[10] == 0) return fail(35208);
                failures_ = 0;
                const char reply = restoreReply(a, endpoint_.datagramSize());
                if (reply == 'F') {
                    awaitRestart();
                } else if (next_ + 1 < chunks_.size()) {
                    ++next_;
                    prepared_ = false;
                    state_ = State::Send;
                } else {
                    // Every chunk went out and the device did not take the last as final.
                    fail(35202);
                }
            } else if (timedOut(kChunkAnswerTimeoutMs)) {
                fail(35202);
            }
            break;
        case State::RestartWait:
        case State::Refind:
            restartStep(0xFFFFFFFFu, 35227);
            break;
        }
    }
};

}  // namespace

BackupAnswer readBackupAnswer(const uint8_t* datagram, size_t size)
{
    BackupAnswer answer;
    answer.refused = size <= 10 || datagram[10] == 0;
    answer.chunkState = size > 11 ? static_cast<char>(datagram[11]) : '\0';
    const size_t room = size > 12 ? std::min(size - 12, net::kBackupTextSize) : 0;
    if (room > 0) {
        const auto* text = reinterpret_cast<const char*>(datagram + 12);
        answer.text = std::string_view(text, strnlen(text, room));
    }
    return answer;
}

char restoreReply(const uint8_t* datagram, size_t size) { return size > 11 ? static_cast<char>(datagram[11]) : '\0'; }

namespace {

bool validParams(const UdpCommandParams& p) { return p.channel && p.device; }

}  // namespace

bool splitRestoreFile(const std::string& bytes, std::vector<RestoreChunk>& chunks)
{
    chunks.clear();
    if (bytes.find('\0') != std::string::npos) return false;
    const size_t size = bytes.size();
    // Empty lines at the end carry nothing: the last line with text is the final chunk, so the
    // device never gets an empty final chunk.
    size_t end = size;
    while (end > 0 && (bytes[end - 1] == '\n' || bytes[end - 1] == '\r')) {
        if (bytes[end - 1] == '\r' && (end == size || bytes[end] != '\n')) break;  // a lone CR is text
        --end;
    }
    if (end == 0) return false;  // nothing to restore
    size_t pos = 0;
    bool first = true;
    while (pos < end) {
        size_t lf = bytes.find('\n', pos);
        if (lf == std::string::npos || lf > end) lf = end;
        const size_t next = lf == end ? size : lf + 1;
        size_t lineEnd = lf;
        if (lf < size && bytes[lf] == '\n' && lineEnd > pos && bytes[lineEnd - 1] == '\r') --lineEnd;  // CR LF
        const std::string line = bytes.substr(pos, lineEnd - pos);
        if (line.size() > kRestoreLineMax) return false;
        RestoreChunk chunk;
        chunk.text = line;
        chunk.position = -1;
        if (line.empty()) {
            chunk.mode = 'S';
        } else {
            chunk.mode = next == size ? 'F' : (first ? 'R' : 'C');
            chunk.position = static_cast<int32_t>(20 + (40ull * next) / size);
        }
        first = false;
        chunks.push_back(std::move(chunk));
        pos = next;
    }
    return true;
}

bool sendNetworkConfiguration(UdpCommandParams& params)
{
    return validParams(params) && NetworkConfiguration(params).run();
}

bool sendDeviceName(UdpCommandParams& params) { return validParams(params) && DeviceName(params).run(); }

bool backupConfiguration(UdpCommandParams& params) { return validParams(params) && Backup(params, false).run(); }

bool serviceBackup(UdpCommandParams& params) { return validParams(params) && Backup(params, true).run(); }

bool restoreConfiguration(UdpCommandParams& params) { return validParams(params) && Restore(params).run(); }

}  // namespace vst::ops
