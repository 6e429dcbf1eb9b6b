// The NetworkManager WLAN client against a stand-in `nmcli` on the PATH that records every command
// line and plays back what NetworkManager would print.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/NmcliWlan.h"
#include "support/TempDir.h"

using namespace vst;

namespace {

class NmcliWlan : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";

    // The stand-in: answers by its first words; the device state comes from the file "state".
    void SetUp() override
    {
        const std::string script = R"(#!/bin/sh
here=$(dirname "$0")
echo "$*" >> "$here/calls"
case "$*" in
  "-t -f RUNNING general") cat "$here/general" ;;
  "-t -f DEVICE,TYPE device") cat "$here/devices" ;;
  "-t -f GENERAL.STATE,GENERAL.CONNECTION device show "*) cat "$here/state" ;;
  "connection delete id "*) exit 10 ;;
  *) [ -f "$here/refuse" ] && exit 4; exit 0 ;;
esac
)";
        dir.write("nmcli", script);
        ::chmod(dir.file("nmcli").c_str(), 0755);
        dir.write("general", "running\n");
        dir.write("devices", "lo:loopback\neth0:ethernet\nwlp2s0:wifi\nwlp3s0:wifi\n");
        dir.write("state", "GENERAL.STATE:30 (disconnected)\nGENERAL.CONNECTION:\n");
        ::setenv("PATH", (dir.str() + ":" + oldPath).c_str(), 1);
    }
    void TearDown() override { ::setenv("PATH", oldPath.c_str(), 1); }

    std::vector<std::string> calls() const
    {
        std::vector<std::string> out;
        std::ifstream in(dir.file("calls"));
        for (std::string line; std::getline(in, line);) {
            if (line.find("GENERAL.STATE") == std::string::npos) out.push_back(line);
        }
        return out;
    }
};

}  // namespace

TEST_F(NmcliWlan, JoinsWithAnOpenProfileAndReportsTheDeviceState)
{
    platform::NmcliWlanClient client;
    ASSERT_TRUE(client.open());
    const auto interface = client.firstInterface();
    ASSERT_TRUE(interface);
    EXPECT_EQ(interface->description, "wlp2s0");
    std::atomic<int> connected{0}, disconnected{0};
    client.setEventHandler([&](platform::WlanEvent e) {
        ++(e == platform::WlanEvent::Connected ? connected : disconnected);
    });
    ASSERT_TRUE(client.setOpenProfile("Vestrolan WiFi"));
    ASSERT_TRUE(client.connect("Vestrolan WiFi"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(connected, 0);
    // Connected with another profile does not count; with ours it does.
    dir.write("state", "GENERAL.STATE:100 (connected)\nGENERAL.CONNECTION:Nachbar\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(connected, 0);
    dir.write("state", "GENERAL.STATE:100 (connected)\nGENERAL.CONNECTION:Vestrolan WiFi\n");
    for (int i = 0; i < 200 && connected == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(connected, 1);
    dir.write("state", "GENERAL.STATE:30 (disconnected)\nGENERAL.CONNECTION:\n");
    for (int i = 0; i < 200 && disconnected == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(disconnected, 1);
    client.disconnect();
    client.close();
    EXPECT_EQ(calls(), (std::vector<std::string>{
                           "-t -f RUNNING general",
                           "-t -f DEVICE,TYPE device",
                           "connection delete id Vestrolan WiFi",
                           "connection add type wifi ifname wlp2s0 con-name Vestrolan WiFi ssid Vestrolan WiFi "
                           "connection.autoconnect no",
                           "--wait 0 connection up id Vestrolan WiFi ifname wlp2s0",
                           "--wait 0 device disconnect wlp2s0",
                       }));
}

TEST_F(NmcliWlan, NoServiceNoInterfaceOrARefusalFail)
{
    dir.write("general", "stopped\n");
    EXPECT_FALSE(platform::NmcliWlanClient().open());
    ::setenv("PATH", "/nonexistent", 1);
    EXPECT_FALSE(platform::NmcliWlanClient().open()) << "no nmcli at all";
    ::setenv("PATH", (dir.str() + ":" + oldPath).c_str(), 1);

    dir.write("general", "running\n");
    dir.write("devices", "lo:loopback\neth0:ethernet\n");
    platform::NmcliWlanClient none;
    ASSERT_TRUE(none.open());
    EXPECT_FALSE(none.firstInterface());
    EXPECT_FALSE(none.connect("x")) << "no interface chosen";

    dir.write("devices", "wlan0:wifi\n");
    dir.write("refuse", "");
    platform::NmcliWlanClient refused;
    ASSERT_TRUE(refused.open());
    ASSERT_TRUE(refused.firstInterface());
    EXPECT_FALSE(refused.setOpenProfile("Vestrolan WiFi"));
    EXPECT_FALSE(refused.connect("Vestrolan WiFi"));
}

TEST(NmcliTerse, FieldsKeepEscapedSeparators)
{
    EXPECT_EQ(platform::NmcliWlanClient::splitTerse("GENERAL.CONNECTION:Halle\\: 3\\\\x\n"),
              (std::vector<std::string>{"GENERAL.CONNECTION", "Halle: 3\\x"}));
    EXPECT_EQ(platform::NmcliWlanClient::splitTerse("a::b"), (std::vector<std::string>{"a", "", "b"}));
}
