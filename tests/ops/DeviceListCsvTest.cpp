// The device list export: the exact bytes a spreadsheet gets.
#include <gtest/gtest.h>

#include "app/CApp.h"
#include "app/NetworkCards.h"
#include "ops/DeviceListCsv.h"

using namespace vst;

namespace {

class DeviceListCsv : public ::testing::Test {
protected:
    void TearDown() override { app::CApp::instance().setTextIdOffset(app::kGermanOffset); }

    net::DeviceRecord* add(const char* cp1252Name, uint8_t id, int kind, uint32_t serial, float app, float boot,
                           const app::NetworkCard* card)
    {
        auto r = std::make_unique<net::DeviceRecord>();
        r->name.assign(cp1252Name);
        r->mac = {0x02, 0x00, 0x00, 0x00, 0x00, id};
        r->address = net::toNetworkOrder(0xC0A80000u + id);
        r->productKind = kind;
        r->serialNumber = serial;
        r->appVersion = app;
        r->bootloaderVersion = boot;
        r->card = card;
        return list.add(std::move(r));
    }

    ops::DeviceList list;
};

constexpr const char* kGermanHeader =
    "\xEF\xBB\xBFName;IP-Adresse;MAC-Adresse;Seriennummer;App-Ver.;Btl-Ver.;Karte;Produktart\r\n";
constexpr const char* kEnglishHeader =
    "\xEF\xBB\xBFname;IP address;MAC address;serial number;app ver.;btl ver.;Card;Product kind\r\n";

}  // namespace

TEST_F(DeviceListCsv, HeaderFollowsTheLanguage)
{
    const struct {
        int32_t offset;
        const char* header;
    } cases[] = {{app::kGermanOffset, kGermanHeader}, {app::kEnglishOffset, kEnglishHeader}};
    for (const auto& c : cases) {
        app::CApp::instance().setTextIdOffset(c.offset);
        EXPECT_EQ(ops::deviceListCsv(list), c.header) << c.offset;
    }
}

TEST_F(DeviceListCsv, RowsAreTheListTextsWithUmlautsQuotingAndNoFormulas)
{
    app::NetworkCard lan;
    lan.index = 0;
    app::NetworkCard wlan;
    wlan.index = 1;
    add("K\xE4lte S\xFC\x64", 1, 0, 12345678, 1.05f, 1.02f, &lan);  // Windows-1252 umlauts
    add("Halle;3", 2, 0, net::kNoSerialNumber, 1.0512f, 1.02f, &wlan);
    add("=SUM(A1)", 3, 1, net::kNoSerialNumber, 2.5f, 0.0f, &lan);
    add("Tor \"Nord\"", 4, 3, 20000001, 3.1f, 0.0f, &lan);
    add("+1;\"x\"", 5, 2, 7, 1.0f, 0.0f, &wlan);
    add("a-b", 6, 0, 1, 1.0f, 1.0f, nullptr);
    add("@x", 7, 0, 1, 1.0f, 1.0f, &lan);
    add("-", 8, 0, 1, 1.0f, 1.0f, &lan);
    add("Zeile\r\nzwei", 9, 0, 1, 1.0f, 1.0f, &lan);
    EXPECT_EQ(ops::deviceListCsv(list),
              std::string(kGermanHeader) +
                  "K\xC3\xA4lte S\xC3\xBC\x64;192.168.0.1;02:00:00:00:00:01;12345678;1.05;1.02;0;0\r\n"
                  "\"Halle;3\";192.168.0.2;02:00:00:00:00:02;N/A;1.05 B12;1.02;1;0\r\n"
                  "'=SUM(A1);192.168.0.3;02:00:00:00:00:03;-;2.50;-;0;1\r\n"
                  "\"Tor \"\"Nord\"\"\";192.168.0.4;02:00:00:00:00:04;20000001;3.10;-;0;3\r\n"
                  "\"'+1;\"\"x\"\"\";192.168.0.5;02:00:00:00:00:05;00000007;1.00;-;1;2\r\n"
                  "a-b;192.168.0.6;02:00:00:00:00:06;00000001;1.00;1.00;;0\r\n"
                  "'@x;192.168.0.7;02:00:00:00:00:07;00000001;1.00;1.00;0;0\r\n"
                  "'-;192.168.0.8;02:00:00:00:00:08;00000001;1.00;1.00;0;0\r\n"
                  "\"Zeile\r\nzwei\";192.168.0.9;02:00:00:00:00:09;00000001;1.00;1.00;0;0\r\n");
}
