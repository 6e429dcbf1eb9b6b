// The web side without sockets: reading requests as they arrive in pieces, the firmware rule and
// the multipart check of the upload.
#include "devsim/Http.h"

#include <gtest/gtest.h>

#include "WebClient.h"
#include "devsim/Upload.h"

using namespace vst::devsim;
using namespace vst::devsim::test;

namespace {

constexpr Ipv4 kHost = 0xC0A80065;  // 192.168.0.101

// ---------------------------------------------------------------------------------------------
// Requests

TEST(RequestReader, TakesTheStationsRequestInAnyPiecesAndIgnoresBytesAfterTheBody)
{
    const std::string request = formPost(kHost, "/login.htm", "pass=geheim", "SID=00000001");
    for (size_t piece : {request.size(), size_t{1}, size_t{3}, size_t{7}}) {
        RequestReader reader;
        RequestReader::Status status = RequestReader::Status::NeedMore;
        for (size_t at = 0; at < request.size(); at += piece) {
            ASSERT_EQ(status, RequestReader::Status::NeedMore) << "complete too early, piece " << piece;
            status = reader.feed(std::string_view(request).substr(at, piece));
        }
        ASSERT_EQ(status, RequestReader::Status::Complete) << "piece " << piece;
        const HttpRequest& r = reader.request();
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.path, "/login.htm");
        EXPECT_EQ(r.body, "pass=geheim");
        EXPECT_EQ(r.header("cookie"), "SID=00000001") << "header names are found in any case";
        EXPECT_EQ(r.head, request.substr(0, request.find("\r\n\r\n")));
    }

    RequestReader reader;
    EXPECT_EQ(reader.feed(getRequest(kHost, "/cgi/protect/process-test.cgi?mode=1") + "GARBAGE"),
              RequestReader::Status::Complete);
    EXPECT_EQ(reader.request().path, "/cgi/protect/process-test.cgi");
    EXPECT_EQ(reader.request().query, "mode=1");
    EXPECT_EQ(reader.request().body, "") << "a GET without Content-Length has no body";
}

TEST(RequestReader, RefusesWhatItCannotRead)
{
    struct Case {
        std::string request;
        int status;
    };
    const Case cases[] = {
        {"POST /login.htm HTTP/1.1\r\nHost: x\r\n\r\npass=1", 411},
        {"POST /a HTTP/1.1\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nab", 400},
        {"POST /a HTTP/1.1\r\nContent-Length: 2x\r\n\r\nab", 400},
        {"POST /a HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 501},
        {"POST /a HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n", 413},
        {"GET /a HTTP/2.0\r\n\r\n", 505},
        {"GET  /a HTTP/1.1\r\n\r\n", 400},
        {"GET a HTTP/1.1\r\n\r\n", 400},
        {"HELLO\r\n\r\n", 400},
        {"GET /a HTTP/1.1\r\nNo colon here\r\n\r\n", 400},
        {"GET /a HTTP/1.1\r\nBad Name: 1\r\n\r\n", 400},
        {"GET /a HTTP/1.1\nHost: x\r\n\r\n", 400},
    };
    for (const auto& c : cases) {
        RequestReader reader;
        EXPECT_EQ(reader.feed(c.request), RequestReader::Status::Bad) << c.request;
        EXPECT_EQ(reader.errorStatus(), c.status) << c.request;
    }

    RequestReader endless;
    EXPECT_EQ(endless.feed("GET /" + std::string(kMaxRequestHead, 'a')), RequestReader::Status::Bad);
    EXPECT_EQ(endless.errorStatus(), 431);
}

TEST(FormField, TakesTheFirstFieldAsSent)
{
    EXPECT_EQ(formField("mdte=1&mdt=17&dttz=-60", "dttz"), "-60");
    EXPECT_EQ(formField("a=1&a=2", "a"), "1");
    EXPECT_EQ(formField("a=&b", "a"), "");
    EXPECT_EQ(formField("a=&b", "b"), "");
    EXPECT_EQ(formField("pass=a%20b+c", "pass"), "a%20b+c") << "no decoding: the station sends texts unescaped";
    EXPECT_EQ(formField("data=1.000;2.000", "data"), "1.000;2.000");
    EXPECT_FALSE(formField("ab=1", "a"));
    EXPECT_FALSE(formField("", "a"));
}

// ---------------------------------------------------------------------------------------------
// Firmware images

TEST(FirmwareRule, AcceptsHexRecordsWithAVersionComment)
{
    EXPECT_DOUBLE_EQ(firmwareVersion(firmwareImage("1.06")).value_or(-1), 1.06);
    EXPECT_DOUBLE_EQ(firmwareVersion(firmwareImage("2")).value_or(-1), 2.0);
    EXPECT_DOUBLE_EQ(firmwareVersion(firmwareImage("12.5")).value_or(-1), 12.5);
    // LF-only lines, empty lines, other comments, the version after the records: all fine.
    EXPECT_DOUBLE_EQ(firmwareVersion(";built 2021\n\n" + hexRecord(0, 4, {0, 0}) + "\n" + hexRecord(0, 1, {}) +
                                     "\n;VERSION=0.99\n")
                         .value_or(-1),
                     0.99);
    // Only the first version comment counts.
    EXPECT_DOUBLE_EQ(firmwareVersion(";VERSION=1.01\n;VERSION=9.99\n:00000001FF\n").value_or(-1), 1.01);
}

TEST(FirmwareRule, RefusesAnythingElseWithTheReason)
{
    const std::string end = hexRecord(0, 1, {});
    struct Case {
        std::string image;
        std::string reason;
    };
    const Case cases[] = {
        {"", "no end-of-file record"},
        {";VERSION=1.00\n", "no end-of-file record"},
        {end + "\n", "no ;VERSION= line"},
        {";VERSION=1.x\n" + end, "bad version"},
        {";VERSION=1.234\n" + end, "bad version"},
        {";VERSION=1234\n" + end, "bad version"},
        {";VERSION=\n" + end, "bad version"},
        {";VERSION=1.00\nhello\n" + end, "line 2: neither a record nor a comment"},
        {";VERSION=1.00\n:00000001FE\n", "wrong checksum"},
        {";VERSION=1.00\n:0000001FF\n", "odd number"},
        {";VERSION=1.00\n:00000001GF\n", "not a hexadecimal digit"},
        {";VERSION=1.00\n:01000000FF\n", "byte count"},
        {";VERSION=1.00\n:000001\n", "fewer than five bytes"},
        {";VERSION=1.00\n" + hexRecord(0, 6, {}) + "\n" + end, "record type 6"},
        {";VERSION=1.00\n" + end + "\n" + hexRecord(0, 0, {1}), "after the end-of-file record"},
        {std::string("\x7F" "ELF binary\n"), "neither a record nor a comment"},
    };
    for (const auto& c : cases) {
        std::string reason;
        EXPECT_FALSE(firmwareVersion(c.image, &reason)) << c.image;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.image << ": " << reason;
    }
}

// ---------------------------------------------------------------------------------------------
// The multipart frame

constexpr std::string_view kType = "multipart/form-data; boundary=----------VtL-Manager";

TEST(UploadCheck, TakesTheStationsBodyAndMeasuresThePayload)
{
    Upload upload;
    upload.payload = firmwareImage("1.06");
    const std::string body = uploadBody(upload);
    ASSERT_EQ(body.size(), upload.payload.size() + 173) << "the station's Content-Length formula";
    const UploadCheck check = checkFirmwareUpload(kType, body);
    EXPECT_TRUE(check.ok) << check.problem;
    EXPECT_TRUE(check.wellFormed);
    EXPECT_EQ(check.payloadBytes, upload.payload.size());
    EXPECT_DOUBLE_EQ(check.version, 1.06);

    // A quoted boundary, other parameters and a differently cased type are the same thing.
    EXPECT_TRUE(checkFirmwareUpload("Multipart/Form-Data; charset=x; boundary=\"----------VtL-Manager\"", body).ok);
    // Another boundary works as long as both sides use it.
    upload.declaredBoundary = upload.bodyBoundary = "xyz";
    EXPECT_TRUE(checkFirmwareUpload("multipart/form-data; boundary=xyz", uploadBody(upload)).ok);
}

TEST(UploadCheck, RefusesEveryDeviationOfTheFrame)
{
    Upload good;
    good.payload = firmwareImage("1.06");
    const std::string body = uploadBody(good);
    auto problem = [](std::string_view type, std::string_view b) {
        const UploadCheck check = checkFirmwareUpload(type, b);
        EXPECT_FALSE(check.ok);
        return check.problem;
    };
    EXPECT_EQ(problem("application/octet-stream", body), "Content-Type is not multipart/form-data");
    EXPECT_EQ(problem("multipart/form-data", body), "Content-Type has no boundary");
    EXPECT_EQ(problem("multipart/form-data; boundary=----------VtL-Managex", body),
              "the body does not begin with the boundary");

    Upload spelt = good;
    spelt.dispositionName = "Content-Disposition";
    EXPECT_EQ(problem(kType, uploadBody(spelt)), "the part head differs");
    std::string otherName = body;
    otherName.replace(otherName.find("VestrolanVxyy"), 13, "VestrolanV106");
    EXPECT_EQ(problem(kType, otherName), "the part head differs");
    std::string noCrLf = body;
    noCrLf.erase(noCrLf.find("\r\n\r\n"), 2);
    EXPECT_EQ(problem(kType, noCrLf), "the part head differs");

    // A body cut short or running on, as a wrong Content-Length makes it.
    EXPECT_EQ(problem(kType, body.substr(0, body.size() - 1)), "the body does not end with the closing delimiter");
    EXPECT_EQ(problem(kType, body + "\r\n"), "the body does not end with the closing delimiter");
    EXPECT_EQ(problem(kType, body.substr(0, 60)), "the part head differs");
    std::string unclosed = body;
    unclosed.replace(unclosed.size() - 4, 2, "  ");
    EXPECT_EQ(problem(kType, unclosed), "the body does not end with the closing delimiter");

    Upload twoParts = good;
    twoParts.payload += "\r\n------------VtL-Manager\r\nContent-Type: text/plain\r\n\r\nx";
    EXPECT_EQ(problem(kType, uploadBody(twoParts)), "the body has more than one part");

    // A sound frame around an empty or foreign payload: measured, but no firmware.
    Upload empty = good;
    empty.payload.clear();
    const UploadCheck check = checkFirmwareUpload(kType, uploadBody(empty));
    EXPECT_FALSE(check.ok);
    EXPECT_TRUE(check.wellFormed);
    EXPECT_EQ(check.payloadBytes, 0u);
    EXPECT_EQ(check.problem, "not a firmware image: no end-of-file record");
}

}  // namespace
