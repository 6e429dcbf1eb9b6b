#include "devsim/Web.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

#include "devsim/Upload.h"

namespace vst::devsim {
namespace {

constexpr std::string_view kNoRightsPath = "/system/index.htm";
constexpr std::string_view kTextType = "text/plain; charset=windows-1252";
constexpr std::string_view kXmlType = "text/xml; charset=windows-1252";

std::string upperMac(const Mac& mac)
{
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4],
                  mac[5]);
    return text;
}

template <typename T>
void remember(std::vector<T>& list, T value)
{
    if (list.size() >= kWebHistoryLimit) list.erase(list.begin());
    list.push_back(std::move(value));
}

template <typename T>
std::optional<T> wholeNumber(std::string_view text)
{
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool isUpload(const HttpRequest& request) { return request.method == "POST" && request.path == "/protect/update.htm"; }

bool isProtectedPath(std::string_view path)
{
    return std::any_of(std::begin(kProtectedPrefixes), std::end(kProtectedPrefixes),
                       [&](std::string_view prefix) { return path.rfind(prefix, 0) == 0; });
}

uint64_t mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

HttpAnswer textAnswer(int status, std::string_view contentType, std::string body)
{
    HttpAnswer answer;
    answer.status = status;
    answer.contentType = contentType;
    answer.body = std::move(body);
    return answer;
}

HttpAnswer page(std::string_view path)
{
    return textAnswer(200, "text/html; charset=windows-1252",
                      "<html><head><title>Vestrolan</title></head><body>" + std::string(path) + "</body></html>\r\n");
}

std::string joinLines(const std::vector<std::string>& lines)
{
    std::string body;
    for (const auto& line : lines) body += line + "\r\n";
    return body;
}

std::vector<std::string_view> splitFields(std::string_view text, char separator)
{
    std::vector<std::string_view> fields;
    while (true) {
        const size_t at = text.find(separator);
        fields.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return fields;
        text.remove_prefix(at + 1);
    }
}

class WebResponder {
public:
    WebResponder(Device& device, size_t index, uint32_t now, const HttpRequest& request)
        : device_(device), index_(index), now_(now), request_(request)
    {
    }

    HttpAnswer answer()
    {
        const std::string& path = request_.path;
        session_ = findSession();
        if (isProtectedPath(path) && !session_) return redirect(kNoRightsPath, -3);

        if (path == "/login.htm") return isPost() ? login() : pageOrRefuse();
        if (path == "/logout.htm") {
            if (!isGet()) return methodNotAllowed();
            return formField(request_.query, "action") == "1" ? logout() : page(path);
        }
        if (path == "/" || path == "/index.htm" || path == "/system/index.htm" || path == "/protect/reboot.htm") {
            return pageOrRefuse();
        }
        if (path == "/system/datetime.htm") {
            if (!isPost()) return pageOrRefuse();
            // Setting the clock changes the device: it takes a login like the protected forms.
            if (!session_) return redirect(kNoRightsPath, -3);
            return dateTime();
        }
        if (path == "/popup/protect/serialnumber.htm") return isPost() ? serialNumber() : pageOrRefuse();
        if (path == "/protect/update.htm") return isPost() ? upload() : pageOrRefuse();
        if (!isGet()) {
            return knownGetPath(path) ? methodNotAllowed() : textAnswer(404, kTextType, "not found\r\n");
        }
        if (path == "/xml/system/sysinfo.xml") return document(sysInfoElements(device_));
        if (path == "/xml/protect/devinfo.xml") return document(devInfoElements(device_));
        if (path == "/xml/protect/i2c-access.xml") return i2cAccess();
        if (path == "/xml/system/storage/media-file-delete.xml") return deleteMediaFile();
        if (path == "/cgi/protect/process-test.cgi") return processTest();
        if (path == "/cgi/protect/calibration-info.cgi") {
            return textAnswer(200, kTextType, joinLines(device_.web.calibrationItems));
        }
        if (path == "/cgi/protect/calibration.cgi") return calibrationStep();
        if (path == "/cgi/protect/reboot.cgi") return reboot();
        return textAnswer(404, kTextType, "not found\r\n");
    }

    std::vector<Event>& events() { return events_; }

private:
    bool isGet() const { return request_.method == "GET"; }
    bool isPost() const { return request_.method == "POST"; }

    static bool knownGetPath(std::string_view path)
    {
        for (std::string_view known :
             {"/xml/system/sysinfo.xml", "/xml/protect/devinfo.xml", "/xml/protect/i2c-access.xml",
              "/xml/system/storage/media-file-delete.xml", "/cgi/protect/process-test.cgi",
              "/cgi/protect/calibration-info.cgi", "/cgi/protect/calibration.cgi", "/cgi/protect/reboot.cgi"}) {
            if (path == known) return true;
        }
        return false;
    }

    HttpAnswer methodNotAllowed() const { return textAnswer(405, kTextType, "method not allowed\r\n"); }
    HttpAnswer pageOrRefuse() const { return isGet() ? page(request_.path) : methodNotAllowed(); }

    void event(EventKind kind) { events_.push_back({index_, kind}); }

    // The session whose cookie the request carries; sessions unused for too long end first.
    WebSession* findSession()
    {
        auto& sessions = device_.webState.sessions;
        const uint32_t timeout = device_.web.sessionTimeoutMs;
        if (timeout > 0) {
            std::erase_if(sessions, [&](const WebSession& s) { return now_ - s.lastUse >= timeout; });
        }
        const auto cookie = request_.header("Cookie");
        if (!cookie) return nullptr;
        for (std::string_view item : splitFields(*cookie, ';')) {
            while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
            while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
            for (auto& session : sessions) {
                if (session.cookie == item) {
                    session.lastUse = now_;
                    return &session;
                }
            }
        }
        return nullptr;
    }

    std::string newCookie()
    {
        const size_t length = device_.faults.webLongCookie ? device_.faults.webLongCookie : 12;
        std::string cookie = "SID=";
        uint64_t seed = 0;
        for (uint8_t b : device_.mac) seed = seed << 8 | b;
        seed = mix(seed ^ (uint64_t{now_} << 20) ^ device_.webState.sessionsCreated++);
        static constexpr char kHex[] = "0123456789ABCDEF";
        while (cookie.size() < length) {
            seed = mix(seed);
            cookie += kHex[seed & 0xF];
        }
        return cookie;
    }

    HttpAnswer login()
    {
        auto& state = device_.webState;
        const auto password = formField(request_.body, "pass");
        if (!password || (device_.isProtected() && *password != device_.password)) {
            ++state.refusedLogins;
            event(EventKind::LoginRefused);
            return redirect("/login.htm", -1);
        }
        // A login that carries the cookie of a session it already has keeps that session.
        if (!session_) {
            if (state.sessions.size() >= device_.web.maxLogins) {
                ++state.refusedLogins;
                event(EventKind::LoginRefused);
                return redirect("/login.htm", -2);
            }
            std::string cookie;
            do {
                cookie = newCookie();
            } while (std::any_of(state.sessions.begin(), state.sessions.end(),
                                 [&](const WebSession& s) { return s.cookie == cookie; }));
            state.sessions.push_back({cookie, now_});
            session_ = &state.sessions.back();
        }
        ++state.logins;
        event(EventKind::LoggedIn);
        HttpAnswer answer = redirect("/system/index.htm", 1);
        answer.setCookie = session_->cookie;
        return answer;
    }

    HttpAnswer logout()
    {
        if (!session_) return redirect("/system/index.htm", -1);
        auto& sessions = device_.webState.sessions;
        const std::string cookie = session_->cookie;
        std::erase_if(sessions, [&](const WebSession& s) { return s.cookie == cookie; });
        session_ = nullptr;
        ++device_.webState.logouts;
        event(EventKind::LoggedOut);
        return redirect("/system/index.htm", 2);
    }

    HttpAnswer serialNumber()
    {
        constexpr std::string_view kPath = "/popup/protect/serialnumber.htm";
        if (device_.web.serialState != kStateNormal) return redirect(kPath, device_.web.serialState);
        const auto text = formField(request_.body, "snum");
        const auto number = text ? wholeNumber<int64_t>(*text) : std::nullopt;
        if (!number || *number < 1 || *number > 99999999) return redirect(kPath, -1);
        // A device that claims to have taken the number but keeps its own.
        if (device_.web.serialKept) return redirect(kPath, 1);
        device_.serialNumber = static_cast<uint32_t>(*number);
        event(EventKind::SerialNumberChanged);
        return redirect(kPath, 1);
    }

    HttpAnswer dateTime()
    {
        constexpr std::string_view kPath = "/system/datetime.htm";
        const std::string_view body = request_.body;
        DateTimeForm form;
        form.body = body;
        const auto enabled = formField(body, "mdte");
        const auto time = formField(body, "mdt");
        const auto zone = formField(body, "dttz");
        const auto daylight = formField(body, "dtsw");
        const auto localTime = wholeNumber<uint32_t>(time.value_or(""));
        const auto zoneMinutes = wholeNumber<int32_t>(zone.value_or(""));
        const auto daylightSaving = wholeNumber<uint32_t>(daylight.value_or(""));
        form.localTime = localTime.value_or(0);
        form.zoneMinutes = zoneMinutes.value_or(0);
        form.daylightSaving = daylightSaving.value_or(0);
        // Zones run from UTC-12:00 to UTC+14:00.
        const bool valid = enabled == "1" && localTime.has_value() && zoneMinutes.has_value() &&
                           form.zoneMinutes >= -720 && form.zoneMinutes <= 840 && daylightSaving.has_value() &&
                           form.daylightSaving <= 1;
        int state = valid ? 1 : -1;
        if (device_.web.dateTimeState != kStateNormal) state = device_.web.dateTimeState;
        form.accepted = state == 1;
        device_.webState.dateTime = form;
        if (form.accepted) {
            device_.webState.clockSetTo = form.localTime;
            event(EventKind::ClockSet);
        }
        return redirect(kPath, state);
    }

    HttpAnswer upload()
    {
        auto& state = device_.webState;
        ++state.uploads;
        UploadCheck check;
        if (request_.complete) {
            check = checkFirmwareUpload(request_.header("Content-Type").value_or(""), request_.body);
        } else {
            check.problem = "the body ended after " + std::to_string(request_.body.size()) + " of " +
                            std::string(request_.header("Content-Length").value_or("?")) + " bytes";
        }
        if (check.wellFormed) state.uploadBytes = check.payloadBytes;
        int result = check.ok ? 1 : -1;
        if (check.ok && device_.web.updateState != kStateNormal) {
            result = device_.web.updateState;
            check.problem = "refused by the setting update_state";
        }
        if (result != 1) {
            state.uploadProblem = check.problem;
            event(EventKind::FirmwareRefused);
            return redirect("/protect/update.htm", result);
        }
        state.uploadProblem.clear();
        device_.pendingAppVersion = check.version;
        if (std::find(device_.sdFiles.begin(), device_.sdFiles.end(), "firmware.hex") == device_.sdFiles.end()) {
            device_.sdFiles.push_back("firmware.hex");
        }
        event(EventKind::FirmwareAccepted);
        return redirect("/protect/reboot.htm", 1);
    }

    HttpAnswer reboot()
    {
        ++device_.webState.reboots;
        beginRestart(device_, now_, std::nullopt);
        event(EventKind::RestartBegun);
        return textAnswer(200, kTextType, "OK\r\n");
    }

    HttpAnswer document(const std::vector<DocumentElement>& elements) const
    {
        return textAnswer(200, kXmlType, xmlDocument(elements, !device_.faults.webNoResponseEnd));
    }

    HttpAnswer i2cAccess() const
    {
        const std::string_view query = request_.query;
        const bool wellFormed = formField(query, "mode") == "read" && formField(query, "module") &&
                                formField(query, "addr") && formField(query, "datalen");
        const std::string state = wellFormed ? device_.web.i2cState : "ERROR";
        return document({{"state", state}, {"data", wellFormed ? "0x00000000" : ""}});
    }

    HttpAnswer deleteMediaFile()
    {
        const auto media = formField(request_.query, "media");
        const std::string name(formField(request_.query, "name").value_or(""));
        remember(device_.webState.deleteRequests, name);
        std::string state = "ERROR";
        if (media == "S" && !name.empty()) {
            auto& files = device_.sdFiles;
            const auto found = std::find(files.begin(), files.end(), name);
            if (found != files.end()) {
                files.erase(found);
                event(EventKind::FileDeleted);
                state = "OK";
            } else {
                state = "NOT FOUND";
            }
        }
        return document({{"state", state}});
    }

    HttpAnswer processTest()
    {
        const auto mode = wholeNumber<uint32_t>(formField(request_.query, "mode").value_or(""));
        if (!mode) return textAnswer(200, kTextType, "ERROR => Unbekannter Modus\r\n");
        remember(device_.webState.processTestModes, *mode);
        const auto& lines = device_.web.processTestLines;
        const auto configured = lines.find(*mode);
        if (configured == lines.end()) return textAnswer(200, kTextType, std::string(kDefaultProcessTestLine) + "\r\n");
        return textAnswer(200, kTextType, joinLines(configured->second));
    }

    HttpAnswer calibrationStep()
    {
        const std::string_view query = request_.query;
        CalibrationRequest step{std::string(formField(query, "type").value_or("")),
                                std::string(formField(query, "index").value_or("")),
                                std::string(formField(query, "data").value_or(""))};
        remember(device_.webState.calibrationSteps, step);
        event(EventKind::CalibrationStep);
        // The data: four decimal numbers separated by ';'.
        const auto values = splitFields(step.data, ';');
        bool wellFormed = values.size() == 4;
        for (std::string_view v : values) {
            if (!wholeNumber<double>(v)) wellFormed = false;
        }
        const auto index = wholeNumber<uint32_t>(step.index);
        bool known = false;
        for (const auto& item : device_.web.calibrationItems) {
            const auto fields = splitFields(item, ';');
            if (fields.size() >= 4 && fields[0] == step.type && index && wholeNumber<uint32_t>(fields[2]) == index) {
                known = true;
            }
        }
        return textAnswer(200, kTextType, wellFormed && known ? device_.web.calibrationAnswer : "ERROR");
    }

    Device& device_;
    size_t index_;
    uint32_t now_;
    const HttpRequest& request_;
    WebSession* session_ = nullptr;
    std::vector<Event> events_;
};

void setElement(std::vector<DocumentElement>& elements, const DocumentElement& element)
{
    for (auto& e : elements) {
        if (e.name == element.name) {
            e.text = element.text;
            return;
        }
    }
    elements.push_back(element);
}

AnswerShape shapeOf(const Device& device)
{
    AnswerShape shape;
    shape.longHeader = device.faults.webLongHeader;
    shape.absoluteLocation = device.faults.webAbsoluteLocation;
    shape.lowercaseLocation = device.faults.webLowercaseLocation;
    shape.host = formatIpv4(device.network.address);
    return shape;
}

// The web faults that take the request without handling it; null when the device handles it.
std::optional<WebOutcome> unhandled(const Device& device)
{
    WebOutcome outcome;
    if (device.faults.silent || device.restarting) {
        outcome.action = WebOutcome::Action::Reset;
        outcome.summary = "reset";
    } else if (device.faults.webNoAnswer) {
        outcome.action = WebOutcome::Action::Hold;
        outcome.summary = "held without an answer";
    } else if (device.faults.webCloseAfterRequest) {
        outcome.action = WebOutcome::Action::Close;
        outcome.summary = "closed without an answer";
    } else {
        return std::nullopt;
    }
    return outcome;
}

WebOutcome answered(const Device& device, const HttpAnswer& answer)
{
    WebOutcome outcome;
    outcome.bytes = answerText(answer, shapeOf(device));
    outcome.delayMs = device.faults.webDelayMs;
    outcome.summary = std::to_string(answer.status);
    if (!answer.location.empty()) outcome.summary += " " + answer.location;
    if (!answer.body.empty()) outcome.summary += ", " + std::to_string(answer.body.size()) + " bytes";
    return outcome;
}

}  // namespace

WebOutcome::Action admitConnection(const Device& device)
{
    if (device.faults.silent || device.restarting) return WebOutcome::Action::Reset;
    if (device.faults.webCloseOnAccept) return WebOutcome::Action::Close;
    return WebOutcome::Action::Answer;
}

WebOutcome respondWeb(Device& device, size_t index, uint32_t now, const HttpRequest& request)
{
    if (auto outcome = unhandled(device)) return *outcome;
    if (!request.complete && !isUpload(request)) {
        WebOutcome outcome;
        outcome.action = WebOutcome::Action::Close;
        outcome.summary = "incomplete request closed";
        return outcome;
    }
    auto& state = device.webState;
    ++state.requests;
    state.lastRequest = request.head;
    const bool deleteBreaks = !device.web.sdDeleteBreakOff.empty() &&
                              request.path == "/xml/system/storage/media-file-delete.xml" &&
                              formField(request.query, "name") == device.web.sdDeleteBreakOff;
    const auto& paths = device.web.breakOffPaths;
    if (deleteBreaks || std::find(paths.begin(), paths.end(), request.path) != paths.end()) {
        if (deleteBreaks) remember(state.deleteRequests, device.web.sdDeleteBreakOff);
        WebOutcome outcome;
        outcome.action = WebOutcome::Action::Close;
        outcome.summary = "broken off";
        return outcome;
    }
    WebResponder responder(device, index, now, request);
    const HttpAnswer answer = responder.answer();
    WebOutcome outcome = answered(device, answer);
    outcome.events = std::move(responder.events());
    return outcome;
}

WebOutcome refuseRequest(const Device& device, int status, std::string_view reason)
{
    if (auto outcome = unhandled(device)) return *outcome;
    return answered(device, textAnswer(status, kTextType, std::string(reason) + "\r\n"));
}

std::vector<DocumentElement> sysInfoElements(const Device& device)
{
    std::vector<DocumentElement> elements = {
        {"netwfipw", formatIpv4(kDefaultWlanAddress)},
        {"netwfipe", formatIpv4(device.network.address)},
        {"netwfipl", "0.0.0.0"},
        {"netwfmacw", upperMac(wlanMac(device.mac))},
        {"netwfmace", upperMac(device.mac)},
        {"sdstatus", "SD-Karte ist bereit"},
        {"usbfdstatus", "Kein USB-Stick erkannt"},
    };
    for (const auto& e : device.web.sysInfo) setElement(elements, e);
    return elements;
}

std::vector<DocumentElement> devInfoElements(const Device& device)
{
    std::vector<DocumentElement> elements = {
        {"gehcode", "1"},
        {"gehaddr", "0"},
        {"extrtc", "RTC l\xE4uft"},  // Windows-1252
        {"rtframework", "100"},
        {"rtapp", "100"},
        {"appstate", "Normal-Modus"},
        {"apperrors", "Keine Fehler"},
        {"spstate", "verarbeite Prozessliste"},
    };
    for (const auto& e : device.web.devInfo) setElement(elements, e);
    return elements;
}

std::string xmlDocument(const std::vector<DocumentElement>& elements, bool withEnd)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<response>\r\n";
    for (const auto& e : elements) text += "<" + e.name + ">" + e.text + "</" + e.name + ">\r\n";
    if (withEnd) text += "</response>\r\n";
    return text;
}

}  // namespace vst::devsim
