#pragma once
// One HTTP/1.1 conversation with a device's web server: one request per TCP connection, driven by
// polling. Each endpoint has a begin step that prepares an exchange and a poll step that tells
// whether the exchange still runs and, once it ended, its result code. The device's meaning is read from the
// Location header of its redirects or from a small body. The session cookie from the login is sent
// with every later request of the same session.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/ByteRing.h"
#include "net/DeviceDocuments.h"
#include "net/DeviceRecord.h"
#include "net/Limits.h"
#include "net/PollResult.h"
#include "platform/TcpSocket.h"

namespace vst::net {

enum class ExchangeState : int {
    Idle = 0,
    Connect = 1,
    SendHeader = 2,
    SendBody = 3,
    ReadHeaders = 4,
    ReadBody = 5,
    Closed = 6,
    Failed = 7,
};

inline constexpr uint16_t kWebPort = 80;
inline constexpr int kWebSocketBuffer = 996;
inline constexpr size_t kCookieMax = 14;
inline constexpr size_t kLocationMax = 249;
inline constexpr size_t kHeaderLineWindow = 512;
inline constexpr size_t kUploadChunk = 512;

inline constexpr const char* kMultipartBoundary = "----------VtL-Manager";
inline constexpr const char* kFirmwareDisposition = "form-data; name=\"hexfile\"; filename=\"VestrolanVxyy.hex\"";
inline constexpr size_t kMultipartFixedBytes = 118;

// What kind of answer the exchange waits for decides its time and size limits (net/Limits.h):
// a Document (documents, forms, login and logout, calibration steps) must be whole within
// kWholeAnswerTimeoutMs of its first byte; a LineStream has no overall limit but must bring a
// complete line every kLineProgressTimeoutMs and at most kMaxStreamLines lines; an Upload gets
// kUploadBaseTimeoutMs plus 1 s per kUploadBytesPerSecond to send its request, then its answer
// is held to the Document limit. Every kind waits kFirstByteTimeoutMs for the first byte and
// reads at most kMaxHeaderLines header lines and kMaxHeadBytes of head.
enum class AnswerKind { Document, LineStream, Upload };

class DeviceWebSession {
public:
    explicit DeviceWebSession(const DeviceRecord& device);
    ~DeviceWebSession();
    DeviceWebSession(const DeviceWebSession&) = delete;
    DeviceWebSession& operator=(const DeviceWebSession&) = delete;

    // The device's web port (80; tests use others).
    void setPort(uint16_t port) { port_ = port; }

    // The connection engine.
    void pump();
    bool queueRequestHeader(std::string_view path, const char* contentType, bool post, unsigned long contentLength);
    size_t queueBytes(const void* data, size_t size);
    // Takes one complete header line; a Location value goes to `location` when given.
    bool readHeaderLine(std::optional<std::string>* location, bool& endOfHeaders);
    size_t peekBytes(void* destination, size_t max) const { return receive_.peek(destination, max); }
    size_t consumeBytes(void* destination, size_t max) { return receive_.consume(destination, max); }
    // Ends the connection, if there is one (the one place the socket is closed).
    bool close();

    ExchangeState state() const { return state_; }
    // The kind of the exchange in flight; every begin sets it, a caller may change it right after.
    AnswerKind answerKind() const { return kind_; }
    void setAnswerKind(AnswerKind kind) { kind_ = kind; }
    // The complete lines a line stream has handed out so far.
    uint32_t streamLines() const { return streamLines_; }
    const std::string& cookie() const { return cookie_; }

    // Endpoints. Result codes as the device web interface defines them (see the .cpp).
    void beginLogin(std::string_view password);
    PollResult pollLogin();
    void beginLogout();
    PollResult pollLogout();
    void beginReadSysInfo(SysInfo* out);
    PollResult pollReadSysInfo();
    void beginReadDevInfo(DevInfo* out);
    PollResult pollReadDevInfo();
    void beginDeleteMediaFile(std::string_view fileName);
    PollResult pollDeleteMediaFile();
    void beginReadI2cRegister(bool* stateOk);
    PollResult pollReadI2cRegister();
    // The line of each poll goes to `line` (emptied by every poll first).
    void beginReadProcessTestLine(unsigned mode, int defaultResult, std::string* line);
    PollResult pollReadProcessTestLine();
    void beginReadCalibrationInfoLine(int defaultResult, std::string* line);
    PollResult pollReadCalibrationInfoLine();
    void beginRunCalibrationStep(std::string_view type, uint8_t index, std::string_view data);
    PollResult pollRunCalibrationStep();
    void beginSetSerialNumber(int32_t serial);
    PollResult pollSetSerialNumber();
    void beginSetDateTime(std::string_view formBody);
    PollResult pollSetDateTime();
    // The file stays the caller's; `progress` (optional) receives the percentage queued so far.
    void beginUploadFirmware(std::FILE* file, double* progress);
    PollResult pollUploadFirmware();
    void beginRequestReboot();
    PollResult pollRequestReboot();

    // Reads `answer` as the exchange that the last begin step prepared would read it from the
    // device, without a connection: the bytes arrive `slice` at a time as the reader takes them,
    // then the device closes. Returns the exchange's result code. Time limits do not apply. For
    // replaying recorded or generated answers through the readers.
    int readAnswer(std::string_view answer, size_t slice);

    // The request head exactly as queueRequestHeader would queue it.
    std::string requestHead(std::string_view path, const char* contentType, bool post,
                            unsigned long contentLength) const;
    // The multipart part head and closing delimiter of the firmware upload.
    static std::string multipartPartHead();
    static std::string multipartClosing();

private:
    enum class Endpoint {
        Login, Logout, SysInfo, DevInfo, DeleteMedia, I2c, ProcessTestLine, CalibrationInfoLine,
        CalibrationStep, SerialNumber, DateTime, Upload, Reboot,
    };
    enum class Body { Discard, Document, Line, CalibrationPairs };
    struct LocationResult {
        const char* location;
        int result;
    };

    void prepare(Endpoint endpoint, int defaultResult, int failureCode, int invalidCode,
                 AnswerKind kind = AnswerKind::Document);
    // An exchange that reads the document at `path`, of at most `maxSize` bytes, as a whole (result
    // 1 until it is read, 2 when the exchange fails).
    void prepareDocument(Endpoint endpoint, std::string path, size_t maxSize);
    void enforceLimits();
    void sendQueued();
    PollResult poll();
    // The reading side of poll: headers, body, and the end of the exchange.
    PollResult readStep();
    void readBody();
    void finishDocument();
    void connectStep();
    void receiveStep();
    void fail();
    // Closes the socket and fails the exchange: a connection that could not be made.
    void abandonConnection();
    PollResult endExchange(int result);
    PollResult uploadHeaderStep();
    PollResult uploadBodyStep();

    const DeviceRecord& device_;
    uint16_t port_ = kWebPort;
    platform::TcpSocket socket_;
    ByteRing receive_;
    ByteRing send_;
    ExchangeState state_ = ExchangeState::Idle;
    std::string cookie_;
    bool cookieRejected_ = false;

    // Timing of the current connection.
    bool connecting_ = false;
    uint32_t connectStart_ = 0;
    bool firstByteTimeSet_ = false;
    uint32_t firstByteTime_ = 0;
    bool dataSeen_ = false;
    uint32_t lastData_ = 0;
    uint32_t lastSendProgress_ = 0;
    bool stalled_ = false;
    uint32_t stallStart_ = 0;

    // Limits of the exchange in flight.
    AnswerKind kind_ = AnswerKind::Document;
    uint32_t connectedAt_ = 0;
    uint32_t answerStart_ = 0;   // the first byte of the answer
    uint32_t lastLineAt_ = 0;    // the last complete line (header or body) of a line stream
    uint32_t headerLines_ = 0;
    size_t headBytes_ = 0;
    uint32_t streamLines_ = 0;

    // The exchange in flight.
    Endpoint endpoint_ = Endpoint::Login;
    std::string path_;
    const char* contentType_ = nullptr;
    bool post_ = false;
    std::string body_;
    int result_ = 0;
    int failureCode_ = 0;
    int invalidCode_ = 0;
    std::vector<LocationResult> locations_;
    Body bodyMode_ = Body::Discard;
    size_t documentSize_ = 0;
    std::string document_;
    bool documentComplete_ = false;
    size_t lineWindow_ = 0;
    std::string* line_ = nullptr;
    std::string answerHead_;  // the first body bytes of a calibration step's answer
    SysInfo* sysInfo_ = nullptr;
    DevInfo* devInfo_ = nullptr;
    bool* i2cState_ = nullptr;

    // The firmware upload.
    std::FILE* file_ = nullptr;
    long fileSize_ = 0;
    long queued_ = 0;
    bool partHeadQueued_ = false;
    double* progress_ = nullptr;
};

}  // namespace vst::net
