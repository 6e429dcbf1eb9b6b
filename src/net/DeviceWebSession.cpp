#include "net/DeviceWebSession.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "app/NetworkCards.h"
#include "platform/Clock.h"

namespace vst::net {
namespace {

uint32_t now() { return platform::clock().tickCount(); }

constexpr const char* kFormType = "application/x-www-form-urlencoded";
constexpr std::string_view kDocumentEnd = "</response>";
constexpr const char* kNoRights = "/system/index.htm?state=-3";

}  // namespace

DeviceWebSession::DeviceWebSession(const DeviceRecord& device) : device_(device) {}

DeviceWebSession::~DeviceWebSession() { close(); }

// Every path that ends a connection comes here: the socket is closed and no connect is under way.
bool DeviceWebSession::close()
{
    connecting_ = false;
    return socket_.close();
}

// ---- connection engine -------------------------------------------------------------------------

void DeviceWebSession::fail() { state_ = ExchangeState::Failed; }

void DeviceWebSession::abandonConnection()
{
    close();
    fail();
}

void DeviceWebSession::connectStep()
{
    if (!connecting_) {
        close();
        if (!socket_.open()) return fail();
        socket_.setBufferSizes(kWebSocketBuffer, kWebSocketBuffer);
        const uint32_t peer = toHostOrder(device_.address);
        const uint32_t local = device_.card ? app::cardAddressFor(*device_.card, peer) : 0;
        if (!device_.card || !socket_.bind(local, 0)) return abandonConnection();
        const auto started = socket_.startConnect(peer, port_);
        if (started == platform::TcpSocket::Connect::Failed) return abandonConnection();
        connecting_ = true;
        connectStart_ = now();
        if (started == platform::TcpSocket::Connect::InProgress) return;
    }
    switch (socket_.connectResult()) {
    case platform::TcpSocket::Connect::Done:
        connecting_ = false;
        receive_.reset();
        send_.reset();
        firstByteTimeSet_ = false;
        dataSeen_ = false;
        stalled_ = false;
        lastSendProgress_ = now();
        connectedAt_ = now();
        headerLines_ = 0;
        headBytes_ = 0;
        streamLines_ = 0;
        state_ = ExchangeState::SendHeader;
        break;
    case platform::TcpSocket::Connect::InProgress:
        if (now() - connectStart_ >= kConnectTimeoutMs) abandonConnection();
        break;
    case platform::TcpSocket::Connect::Failed:
        abandonConnection();
        break;
    }
}

void DeviceWebSession::receiveStep()
{
    const size_t room = receive_.freeSpace();
    if (room == 0) {
        // Nobody takes the bytes that are waiting: that cannot last longer than a drain.
        if (!stalled_) {
            stalled_ = true;
            stallStart_ = now();
        } else if (now() - stallStart_ >= kDrainTimeoutMs) {
            fail();
        }
        return;
    }
    stalled_ = false;
    uint8_t buffer[ByteRing::kCapacity];
    const long n = socket_.receive(buffer, room);
    if (n > 0) {
        receive_.write(buffer, static_cast<size_t>(n));
        if (!dataSeen_) {
            firstByteTimeSet_ = false;
            dataSeen_ = true;
            answerStart_ = now();
            lastLineAt_ = answerStart_;
        }
        lastData_ = now();
        return;
    }
    if (n == 0) {
        // The device closed the connection.
        if (receive_.empty()) {
            state_ = ExchangeState::Closed;
        } else if (firstByteTimeSet_ && dataSeen_) {
            if (now() - firstByteTime_ >= kDrainTimeoutMs) fail();
        } else {
            firstByteTimeSet_ = true;
            firstByteTime_ = now();
            dataSeen_ = true;
        }
        return;
    }
    if (n != platform::TcpSocket::kWouldBlock) return fail();
    if (dataSeen_) {
        if (now() - lastData_ >= kSilenceTimeoutMs) fail();
        return;
    }
    // Waiting for the first byte of the answer.
    if (!firstByteTimeSet_) {
        firstByteTimeSet_ = true;
        firstByteTime_ = now();
    } else if (now() - firstByteTime_ >= kFirstByteTimeoutMs) {
        fail();
    } else {
        platform::clock().sleep(1);
    }
}

void DeviceWebSession::sendQueued()
{
    uint8_t buffer[ByteRing::kCapacity];
    const size_t n = send_.peek(buffer, sizeof buffer);
    const long sent = socket_.send(buffer, n);
    if (sent > 0) {
        send_.consume(nullptr, static_cast<size_t>(sent));
        lastSendProgress_ = now();
    } else if (sent == platform::TcpSocket::kError) {
        fail();
    } else if (now() - lastSendProgress_ >= kSendStallTimeoutMs) {
        fail();
    } else if (sent == platform::TcpSocket::kWouldBlock) {
        // The socket takes nothing now: wait on it rather than come back at once, so that a
        // caller polling without pause (the upload) does not spin.
        socket_.waitWritable(kSocketWaitSliceMs);
    }
}

void DeviceWebSession::enforceLimits()
{
    if (state_ < ExchangeState::SendHeader || state_ > ExchangeState::ReadBody) return;
    const uint32_t t = now();
    if (kind_ == AnswerKind::Upload &&
        (state_ == ExchangeState::SendHeader || state_ == ExchangeState::SendBody || !send_.empty())) {
        const uint64_t limit = kUploadBaseTimeoutMs +
                               static_cast<uint64_t>(std::max<long>(fileSize_, 0)) * 1000 / kUploadBytesPerSecond;
        if (t - connectedAt_ >= limit) return fail();
    }
    if (!dataSeen_) return;  // the wait for the first byte is the receive step's
    if (kind_ == AnswerKind::LineStream) {
        if (t - lastLineAt_ >= kLineProgressTimeoutMs) fail();
    } else if (t - answerStart_ >= kWholeAnswerTimeoutMs) {
        fail();
    }
}

void DeviceWebSession::pump()
{
    const bool connected = state_ >= ExchangeState::SendHeader && state_ <= ExchangeState::ReadBody;
    if (!socket_.isOpen() && connected) return fail();
    if ((state_ == ExchangeState::SendHeader || state_ == ExchangeState::SendBody ||
         state_ == ExchangeState::ReadHeaders) &&
        !send_.empty()) {
        sendQueued();
        if (state_ == ExchangeState::Failed) return;
    }
    if (state_ == ExchangeState::Connect) return connectStep();
    if (state_ == ExchangeState::ReadHeaders || state_ == ExchangeState::ReadBody) receiveStep();
    enforceLimits();
}

std::string DeviceWebSession::requestHead(std::string_view path, const char* contentType, bool post,
                                          unsigned long contentLength) const
{
    char line[64];
    std::string head = post ? "POST " : "GET ";
    head += path;
    head += " HTTP/1.1\r\n";
    const uint32_t a = toHostOrder(device_.address);
    std::snprintf(line, sizeof line, "%s: %u.%u.%u.%u%s", "Host", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF,
                  a & 0xFF, "\r\n");
    head += line;
    head += "User-Agent: Vestrolan-Manager\r\n";
    head += "Connection: close\r\n";
    if (contentType) {
        head += "Content-Type";
        head += ": ";
        head += contentType;
        head += "\r\n";
    }
    if (post) {
        std::snprintf(line, sizeof line, "%s: %lu%s", "Content-Length", contentLength, "\r\n");
        head += line;
    }
    if (!cookie_.empty()) {
        head += "Cookie";
        head += ": ";
        head += cookie_;
        head += "\r\n";
    }
    head += "\r\n";
    return head;
}

bool DeviceWebSession::queueRequestHeader(std::string_view path, const char* contentType, bool post,
                                          unsigned long contentLength)
{
    const std::string head = requestHead(path, contentType, post, contentLength);
    if (head.size() >= 512) return false;  // the head buffer holds 511 characters
    return queueBytes(head.data(), head.size()) == head.size();
}

size_t DeviceWebSession::queueBytes(const void* data, size_t size)
{
    return send_.write(data, size) ? size : 0;
}

bool DeviceWebSession::readHeaderLine(std::optional<std::string>* location, bool& endOfHeaders)
{
    char window[kHeaderLineWindow];
    const size_t n = receive_.peek(window, sizeof window);
    size_t separator = std::string_view::npos;
    size_t valueStart = std::string_view::npos;
    size_t end = std::string_view::npos;
    for (size_t i = 0; i + 1 < n; ++i) {
        if (window[i] == '\r' && window[i + 1] == '\n') {
            end = i;
            break;
        }
        if (separator == std::string_view::npos && window[i] == ':') {
            separator = i;
        } else if (separator != std::string_view::npos && valueStart == std::string_view::npos && window[i] != ' ') {
            valueStart = i;
        }
    }
    if (end == std::string_view::npos) {
        // A header line that does not fit the window can never be read: give up at once rather
        // than wait for the device to close.
        if (n == sizeof window) fail();
        return false;
    }
    // A head with too many lines or bytes is hostile or broken: nothing after it is believed.
    if ((end > 0 && headerLines_ + 1 > kMaxHeaderLines) || headBytes_ + end + 2 > kMaxHeadBytes) {
        fail();
        return false;
    }
    if (end > 0) ++headerLines_;  // the empty line that ends the head is no header line
    headBytes_ += end + 2;
    lastLineAt_ = now();
    const std::string_view line(window, end);
    if (separator != std::string_view::npos && valueStart != std::string_view::npos && valueStart < end) {
        const std::string_view value = line.substr(valueStart);
        if (line.rfind("Set-Cookie", 0) == 0) {
            if (value.size() <= kCookieMax) {
                cookie_ = std::string(value);
            } else {
                cookieRejected_ = true;  // a cookie that does not fit is not sent back cut short
            }
        } else if (line.rfind("Location", 0) == 0 && location) {
            *location = std::string(value);
        }
    }
    receive_.consume(nullptr, end + 2);
    endOfHeaders = end == 0;
    return true;
}

// ---- exchanges -----------------------------------------------------------------------------------

void DeviceWebSession::prepare(Endpoint endpoint, int defaultResult, int failureCode, int invalidCode,
                               AnswerKind kind)
{
    kind_ = kind;
    streamLines_ = 0;
    close();
    state_ = ExchangeState::Connect;
    endpoint_ = endpoint;
    result_ = defaultResult;
    failureCode_ = failureCode;
    invalidCode_ = invalidCode;
    path_.clear();
    contentType_ = nullptr;
    post_ = false;
    body_.clear();
    locations_.clear();
    bodyMode_ = Body::Discard;
    documentSize_ = 0;
    document_.clear();
    document_.shrink_to_fit();
    documentComplete_ = false;
    line_ = nullptr;
    answerHead_.clear();
    cookieRejected_ = false;
    sysInfo_ = nullptr;
    devInfo_ = nullptr;
    i2cState_ = nullptr;
}

void DeviceWebSession::prepareDocument(Endpoint endpoint, std::string path, size_t maxSize)
{
    prepare(endpoint, 1, 2, 1);
    path_ = std::move(path);
    bodyMode_ = Body::Document;
    documentSize_ = maxSize;
}

PollResult DeviceWebSession::endExchange(int result)
{
    close();
    state_ = ExchangeState::Idle;
    document_.clear();
    document_.shrink_to_fit();
    return PollResult::ended(result);
}

void DeviceWebSession::finishDocument()
{
    if (documentComplete_) return;
    const size_t end = document_.find(kDocumentEnd);
    if (end == std::string::npos) return;
    documentComplete_ = true;
    // The document ends with its closing tag. Bytes after it that came in the same read are no
    // part of it: otherwise what the station reads would depend on how the bytes arrive.
    document_.resize(end + kDocumentEnd.size());
    if (sysInfo_) readSysInfo(document_, *sysInfo_);
    if (devInfo_) readDevInfo(document_, *devInfo_);
    if (i2cState_) *i2cState_ = readI2cState(document_);
    result_ = 0;
}

void DeviceWebSession::readBody()
{
    switch (bodyMode_) {
    case Body::Discard:
        receive_.consume(nullptr, ByteRing::kCapacity);
        break;
    case Body::Document: {
        if (documentComplete_) {
            // The answer is whole; what follows it does not change it.
            receive_.consume(nullptr, ByteRing::kCapacity);
            break;
        }
        const size_t room = documentSize_ - 1 - document_.size();
        char buffer[ByteRing::kCapacity];
        const size_t n = receive_.consume(buffer, std::min(room, sizeof buffer));
        document_.append(buffer, n);
        finishDocument();
        break;
    }
    case Body::Line: {
        if (line_) line_->clear();
        char window[256];
        const size_t n = receive_.peek(window, std::min(lineWindow_, sizeof window));
        if (n > 0 && endpoint_ == Endpoint::ProcessTestLine) result_ = 0;
        const void* lf = std::memchr(window, '\n', n);
        if (lf) {
            if (streamLines_ >= kMaxStreamLines) return fail();  // a stream that never ends
            const size_t take = static_cast<size_t>(static_cast<const char*>(lf) - window) + 1;
            receive_.consume(nullptr, take);
            if (line_) line_->assign(window, take);
            ++streamLines_;
            lastLineAt_ = now();
        } else if (n == lineWindow_) {
            receive_.consume(nullptr, n);  // an over-long line is dropped
        }
        break;
    }
    case Body::CalibrationPairs: {
        // The step succeeded exactly when the body begins with "OK", however its bytes arrive.
        if (answerHead_.size() < 2) {
            char head[2];
            const size_t n = receive_.consume(head, 2 - answerHead_.size());
            answerHead_.append(head, n);
            if (answerHead_.size() == 2) result_ = answerHead_ == "OK" ? 0 : 1;
        }
        receive_.consume(nullptr, ByteRing::kCapacity);
        break;
    }
    }
}

PollResult DeviceWebSession::poll()
{
    pump();
    switch (state_) {
    case ExchangeState::SendHeader:
        if (endpoint_ == Endpoint::Upload) return uploadHeaderStep();
        if (!queueRequestHeader(path_, contentType_, post_, body_.size())) return endExchange(failureCode_);
        state_ = post_ ? ExchangeState::SendBody : ExchangeState::ReadHeaders;
        return {};
    case ExchangeState::SendBody:
        if (endpoint_ == Endpoint::Upload) return uploadBodyStep();
        if (queueBytes(body_.data(), body_.size()) != body_.size()) return endExchange(failureCode_);
        state_ = ExchangeState::ReadHeaders;
        return {};
    default:
        return readStep();
    }
}

PollResult DeviceWebSession::readStep()
{
    switch (state_) {
    case ExchangeState::ReadHeaders: {
        std::optional<std::string> location;
        bool endOfHeaders = false;
        if (readHeaderLine(&location, endOfHeaders)) {
            if (location && !locations_.empty()) {
                result_ = invalidCode_;
                for (const auto& l : locations_) {
                    if (*location == l.location) result_ = l.result;
                }
            }
            if (endOfHeaders) {
                state_ = ExchangeState::ReadBody;
                if (endpoint_ == Endpoint::CalibrationInfoLine) result_ = 0;
                if (endpoint_ == Endpoint::CalibrationStep) result_ = 1;
            }
        }
        return {};
    }
    case ExchangeState::ReadBody:
        readBody();
        return {};
    case ExchangeState::Closed:
        if (endpoint_ == Endpoint::Login && cookieRejected_) result_ = invalidCode_;
        return endExchange(result_);
    case ExchangeState::Failed:
        // An upload broken off after file data was read for sending was interrupted, not refused.
        if (endpoint_ == Endpoint::Upload && file_ && std::ftell(file_) > 0) return endExchange(1);
        return endExchange(failureCode_);
    default:
        return {};
    }
}

int DeviceWebSession::readAnswer(std::string_view answer, size_t slice)
{
    close();
    receive_.reset();
    send_.reset();
    headerLines_ = 0;
    headBytes_ = 0;
    streamLines_ = 0;
    dataSeen_ = true;
    state_ = ExchangeState::ReadHeaders;
    slice = std::max<size_t>(slice, 1);
    size_t offset = 0;
    while (true) {
        if (offset < answer.size()) {
            const size_t n = std::min({slice, answer.size() - offset, receive_.freeSpace()});
            receive_.write(answer.data() + offset, n);
            offset += n;
        }
        const size_t before = receive_.used();
        const ExchangeState stateBefore = state_;
        const PollResult result = readStep();
        if (!result.pending()) return result.code();
        if (receive_.used() != before || state_ != stateBefore) continue;
        // Nothing moved: bytes that no reader takes once the buffer is full, or once the device
        // has closed, are never read - the connection would run into its drain limit.
        if (receive_.freeSpace() == 0) {
            state_ = ExchangeState::Failed;
        } else if (offset == answer.size()) {
            state_ = receive_.empty() ? ExchangeState::Closed : ExchangeState::Failed;
        }
    }
}

void DeviceWebSession::beginLogin(std::string_view password)
{
    prepare(Endpoint::Login, 3, 4, 3);
    path_ = "/login.htm";
    contentType_ = kFormType;
    post_ = true;
    body_ = "pass=" + std::string(password.substr(0, 54));  // the form field holds 59 characters
    locations_ = {{"/system/index.htm?state=1", 0}, {"/login.htm?state=-1", 1}, {"/login.htm?state=-2", 2}};
}
PollResult DeviceWebSession::pollLogin() { return poll(); }

void DeviceWebSession::beginLogout()
{
    prepare(Endpoint::Logout, 2, 3, 2);
    path_ = "/logout.htm?action=1";
    locations_ = {{"/system/index.htm?state=2", 0}, {"/system/index.htm?state=-1", 1}};
}
PollResult DeviceWebSession::pollLogout() { return poll(); }

void DeviceWebSession::beginReadSysInfo(SysInfo* out)
{
    prepareDocument(Endpoint::SysInfo, "/xml/system/sysinfo.xml", 4096);
    sysInfo_ = out;
    if (out) *out = SysInfo{};
}
PollResult DeviceWebSession::pollReadSysInfo() { return poll(); }

void DeviceWebSession::beginReadDevInfo(DevInfo* out)
{
    prepareDocument(Endpoint::DevInfo, "/xml/protect/devinfo.xml", 16384);
    devInfo_ = out;
}
PollResult DeviceWebSession::pollReadDevInfo() { return poll(); }

void DeviceWebSession::beginDeleteMediaFile(std::string_view fileName)
{
    char query[250];
    std::snprintf(query, sizeof query, "%s?%s=%c&%s=%s", "/xml/system/storage/media-file-delete.xml", "media", 'S',
                  "name", std::string(fileName).c_str());
    prepareDocument(Endpoint::DeleteMedia, query, 256);
}
PollResult DeviceWebSession::pollDeleteMediaFile() { return poll(); }

void DeviceWebSession::beginReadI2cRegister(bool* stateOk)
{
    char query[140];
    std::snprintf(query, sizeof query, "%s%s=%u&%s=0x%02X&%s=0x%08X&%s=%u&%s=%u&%s=%u",
                  "/xml/protect/i2c-access.xml?mode=read&", "module", 2u, "addr", 0x28u, "regaddr", 0u, "reglen", 0u,
                  "datalen", 4u, "btord", 1u);
    prepareDocument(Endpoint::I2c, query, 512);
    i2cState_ = stateOk;
    if (stateOk) *stateOk = false;
}
PollResult DeviceWebSession::pollReadI2cRegister() { return poll(); }

void DeviceWebSession::beginReadProcessTestLine(unsigned mode, int defaultResult, std::string* line)
{
    prepare(Endpoint::ProcessTestLine, defaultResult, 2, defaultResult, AnswerKind::LineStream);
    char query[50];
    std::snprintf(query, sizeof query, "%s?%s=%u", "/cgi/protect/process-test.cgi", "mode", mode);
    path_ = query;
    bodyMode_ = Body::Line;
    lineWindow_ = 249;
    line_ = line;
}
PollResult DeviceWebSession::pollReadProcessTestLine()
{
    if (line_) line_->clear();
    return poll();
}

void DeviceWebSession::beginReadCalibrationInfoLine(int defaultResult, std::string* line)
{
    prepare(Endpoint::CalibrationInfoLine, defaultResult, 2, defaultResult, AnswerKind::LineStream);
    path_ = "/cgi/protect/calibration-info.cgi";
    bodyMode_ = Body::Line;
    lineWindow_ = 99;
    line_ = line;
}
PollResult DeviceWebSession::pollReadCalibrationInfoLine()
{
    if (line_) line_->clear();
    return poll();
}

void DeviceWebSession::beginRunCalibrationStep(std::string_view type, uint8_t index, std::string_view data)
{
    prepare(Endpoint::CalibrationStep, 2, 3, 2);
    char query[150];
    const int needed = std::snprintf(query, sizeof query, "%s?%s=%s&%s=%u&%s=%s", "/cgi/protect/calibration.cgi",
                                     "type", std::string(type).c_str(), "index", static_cast<unsigned>(index), "data",
                                     std::string(data).c_str());
    if (needed < 0 || static_cast<size_t>(needed) >= sizeof query) {
        // A query cut to its field would calibrate with other values: it is not sent at all.
        state_ = ExchangeState::Closed;
        result_ = 1;
        return;
    }
    path_ = query;
    bodyMode_ = Body::CalibrationPairs;
}
PollResult DeviceWebSession::pollRunCalibrationStep() { return poll(); }

void DeviceWebSession::beginSetSerialNumber(int32_t serial)
{
    prepare(Endpoint::SerialNumber, 3, 4, 3);
    char body[20];
    std::snprintf(body, sizeof body, "%s=%d", "snum", serial);
    path_ = "/popup/protect/serialnumber.htm";
    contentType_ = kFormType;
    post_ = true;
    body_ = body;
    locations_ = {{"/popup/protect/serialnumber.htm?state=1", 0},
                  {"/popup/protect/serialnumber.htm?state=-1", 1},
                  {kNoRights, 2}};
}
PollResult DeviceWebSession::pollSetSerialNumber() { return poll(); }

void DeviceWebSession::beginSetDateTime(std::string_view formBody)
{
    prepare(Endpoint::DateTime, 4, 5, 4);
    path_ = "/system/datetime.htm";
    contentType_ = kFormType;
    post_ = true;
    body_ = std::string(formBody.substr(0, 49));
    locations_ = {{"/system/datetime.htm?state=1", 0},
                  {"/system/datetime.htm?state=-1", 1},
                  {"/system/datetime.htm?state=-2", 2},
                  {kNoRights, 3}};
}
PollResult DeviceWebSession::pollSetDateTime() { return poll(); }

// ---- firmware upload -----------------------------------------------------------------------------

std::string DeviceWebSession::multipartPartHead()
{
    char head[256];
    std::snprintf(head, sizeof head, "%s%s%s%s: %s%s%s: %s%s%s", "--", kMultipartBoundary, "\r\n",
                  "Content-Diposition", kFirmwareDisposition, "\r\n", "Content-Type", "application/octet-stream",
                  "\r\n", "\r\n");
    return head;
}

std::string DeviceWebSession::multipartClosing()
{
    char closing[64];
    std::snprintf(closing, sizeof closing, "%s%s%s%s%s", "\r\n", "--", kMultipartBoundary, "--", "\r\n");
    return closing;
}

void DeviceWebSession::beginUploadFirmware(std::FILE* file, double* progress)
{
    prepare(Endpoint::Upload, 8, 9, 8, AnswerKind::Upload);
    path_ = "/protect/update.htm";
    locations_ = {{"/protect/reboot.htm?state=1", 0},   {"/protect/update.htm?state=-1", 2},
                  {"/protect/update.htm?state=-2", 3},  {"/protect/update.htm?state=-3", 4},
                  {"/protect/update.htm?state=-4", 5},  {"/protect/update.htm?state=-5", 6},
                  {kNoRights, 7}};
    file_ = file;
    progress_ = progress;
    fileSize_ = 0;
    if (file_ && std::fseek(file_, 0, SEEK_END) == 0) {
        fileSize_ = std::ftell(file_);
        if (fileSize_ < 0) fileSize_ = 0;
        std::fseek(file_, 0, SEEK_SET);
    }
    queued_ = 0;
    partHeadQueued_ = false;
}

PollResult DeviceWebSession::uploadHeaderStep()
{
    char type[100];
    std::snprintf(type, sizeof type, "%s%s%s", "multipart/form-data", "; boundary=", kMultipartBoundary);
    const unsigned long length =
        static_cast<unsigned long>(fileSize_) + std::strlen(kFirmwareDisposition) + kMultipartFixedBytes;
    if (!queueRequestHeader(path_, type, true, length)) return endExchange(9);
    state_ = ExchangeState::SendBody;
    return {};
}

PollResult DeviceWebSession::uploadBodyStep()
{
    if (!partHeadQueued_) {
        const std::string head = multipartPartHead();
        if (queueBytes(head.data(), head.size()) != head.size()) return endExchange(1);
        partHeadQueued_ = true;
        return {};
    }
    if (queued_ < fileSize_) {
        // Chunks of at most kUploadChunk bytes, each no larger than the room the send ring has,
        // until the ring is full: every send then carries a full ring instead of one chunk, which
        // halves the system calls of an upload without changing a byte of it.
        while (queued_ < fileSize_ && send_.freeSpace() > 0) {
            uint8_t chunk[kUploadChunk];
            const size_t want = std::min({kUploadChunk, static_cast<size_t>(fileSize_ - queued_), send_.freeSpace()});
            const size_t got = file_ ? std::fread(chunk, 1, want, file_) : 0;
            if (got == 0) return endExchange(1);  // the file ended early or cannot be read
            queueBytes(chunk, got);
            queued_ += static_cast<long>(got);
            if (progress_) *progress_ = static_cast<double>(queued_) / static_cast<double>(fileSize_) * 100.0;
        }
        return {};
    }
    const std::string closing = multipartClosing();
    if (queueBytes(closing.data(), closing.size()) != closing.size()) return endExchange(1);
    if (progress_) *progress_ = 100.0;
    state_ = ExchangeState::ReadHeaders;
    return {};
}

PollResult DeviceWebSession::pollUploadFirmware() { return poll(); }

// ---- reboot ----------------------------------------------------------------------------------------

void DeviceWebSession::beginRequestReboot()
{
    prepare(Endpoint::Reboot, 1, 1, 1);
    path_ = "/cgi/protect/reboot.cgi";
}

PollResult DeviceWebSession::pollRequestReboot()
{
    pump();
    if (state_ == ExchangeState::Failed) return endExchange(1);
    if (state_ != ExchangeState::SendHeader) return {};
    if (!queueRequestHeader(path_, nullptr, false, 0)) return endExchange(1);
    // Send the request out; the answer is never read, the device restarts.
    const uint32_t start = now();
    while (!send_.empty() && state_ != ExchangeState::Failed) {
        pump();
        if (!send_.empty()) {
            if (now() - start >= kSendStallTimeoutMs) break;
            platform::clock().sleep(1);
        }
    }
    const bool sent = send_.empty();
    return endExchange(sent ? 0 : 1);
}

}  // namespace vst::net
