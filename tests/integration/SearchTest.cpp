// The device search over real sockets against simulated devices in the test network.
#include <gtest/gtest.h>

#include "app/Texts.h"
#include "ops/Search.h"
#include "support/RecordingChannel.h"
#include "Testbed.h"

using namespace vst;
using ops::StatusMessage;

namespace {

class Search : public test::Testbed {
protected:
    test::RecordingChannel window;
    std::shared_ptr<ops::SearchJobList> list = std::make_shared<ops::SearchJobList>();

    ops::SearchJob& job(const app::NetworkCard* card, uint32_t target = 0, bool directedOnly = false,
                        bool kind0Only = false)
    {
        ops::SearchJob& j = list->add();
        j.channel = &window;
        j.card = card;
        j.target = target;
        j.directedOnly = directedOnly;
        j.kind0Only = kind0Only;
        return j;
    }

    // Two devices in card 0's subnet: `first` at 192.168.0.101 and `second`, of `secondKind`, at .102.
    void startTwoDevices(const std::string& first, const std::string& second, int secondKind)
    {
        addDeviceAddress("192.168.0.101/24");
        addDeviceAddress("192.168.0.102/24");
        auto other = test::simulatedDevice("192.168.0.102", 2, second);
        other.kind = secondKind;
        startSimulator({test::simulatedDevice("192.168.0.101", 1, first), other});
    }

    void runAll()
    {
        std::vector<std::thread> workers;
        for (const auto& j : list->jobs()) workers.push_back(ops::startSearchWorker(list, *j));
        for (auto& w : workers) w.join();
    }

    std::vector<std::string> steps() const
    {
        std::vector<std::string> out;
        for (const auto& text : window.texts(StatusMessage::SetStep)) {
            if (!text.empty()) out.push_back(text);
        }
        return out;
    }

    static std::vector<std::string> texts(std::initializer_list<int> ids)
    {
        std::vector<std::string> out;
        for (int id : ids) out.push_back(app::textAt(static_cast<unsigned>(id)));
        return out;
    }

    std::vector<std::string> names()
    {
        std::vector<std::string> out;
        for (int i = 0; i < window.devices().count(); ++i) out.push_back(window.devices().at(i)->name.str());
        return out;
    }
};

}  // namespace

TEST_F(Search, DirectedOnlyWithoutAnswerEndsAfterItsScope)
{
    startSimulator({});
    const uint32_t start = platform::clock().tickCount();
    job(card0, 0xC0A8004D, true);
    runAll();
    EXPECT_EQ(steps(), texts({35100, 35101, 35104}));
    const uint32_t took = platform::clock().tickCount() - start;
    EXPECT_GE(took, 2000u);
    EXPECT_LT(took, 4000u);
    EXPECT_EQ(window.devices().count(), 0);
    EXPECT_EQ(window.count(StatusMessage::SearchEnded), 1);
    EXPECT_EQ(window.count(StatusMessage::OperationFinished), 1);
    // The second progress line is cleared at the end.
    const auto calls = window.calls();
    auto last = std::find_if(calls.rbegin(), calls.rend(), [](const auto& c) { return c.message == StatusMessage::SetStep; });
    ASSERT_NE(last, calls.rend());
    EXPECT_EQ(last->text, "");
    EXPECT_EQ(last->value, 0);
}

TEST_F(Search, WithoutTargetStartsInTheSubnetAndListsEachDeviceOnce)
{
    startTwoDevices("Erster", "Zweiter", 1);
    job(card0);
    runAll();
    EXPECT_EQ(steps(), texts({35100, 35102, 35103, 35104}));
    ASSERT_EQ(window.devices().count(), 2);
    // Both devices answered the subnet and the network scope; the list holds each once.
    EXPECT_EQ(window.count(StatusMessage::AddDevice), 4);
    const net::DeviceRecord* first = window.devices().at(0)->name.str() == "Erster" ? window.devices().at(0)
                                                                                     : window.devices().at(1);
    EXPECT_EQ(first->card, card0);
    EXPECT_EQ(net::addressText(first->address), "192.168.0.101");
    EXPECT_FLOAT_EQ(first->appVersion, 1.05f);
    EXPECT_EQ(first->serialNumber, 1001u);
}

TEST_F(Search, DirectedOnlyWithoutTargetEndsAtOnce)
{
    startSimulator({});
    const uint32_t start = platform::clock().tickCount();
    job(card0, 0, true);
    runAll();
    EXPECT_EQ(steps(), texts({35100, 35104}));
    EXPECT_LT(platform::clock().tickCount() - start, 500u);
}

TEST_F(Search, KindFilterAndDirectedScope)
{
    startTwoDevices("Eigen", "Fremd", 3);
    job(card0, 0xC0A80066, true, true);  // only 192.168.0.102, only kind 0
    runAll();
    EXPECT_EQ(window.devices().count(), 0);
    list = std::make_shared<ops::SearchJobList>();
    job(card0, 0xC0A80065, true, true);
    runAll();
    EXPECT_EQ(names(), std::vector<std::string>{"Eigen"});
}

TEST_F(Search, TwoCardsMoveThroughTheScopesTogether)
{
    addDeviceAddress("192.168.0.101/24");
    startSimulator({test::simulatedDevice("192.168.0.101", 1, "Karte0")});
    // Card 1 searches an entered address first; card 0 has none and would start with its subnet
    // at once, but must wait until card 1's directed scope is over.
    const uint32_t start = platform::clock().tickCount();
    job(card0);
    job(card1, 0x0A140001);
    runAll();
    const auto calls = window.calls();
    auto found = std::find_if(calls.begin(), calls.end(), [](const auto& c) { return c.message == StatusMessage::AddDevice; });
    ASSERT_NE(found, calls.end());
    EXPECT_GE(found->tick - start, 2000u) << "card 0 searched its subnet during card 1's directed scope";
    EXPECT_EQ(window.count(StatusMessage::SearchEnded), 2);
    EXPECT_EQ(window.count(StatusMessage::OperationFinished), 2);
    EXPECT_EQ(window.devices().count(), 1);
}

TEST_F(Search, CancelEndsEveryJobAndStillReportsTheEnd)
{
    startSimulator({});
    std::atomic<int> passes{0};
    window.onPass = [&] {
        if (++passes == 50) window.busy = false;
    };
    const uint32_t start = platform::clock().tickCount();
    job(card0);
    job(card1);
    runAll();
    EXPECT_LT(platform::clock().tickCount() - start, 2000u);
    EXPECT_EQ(window.count(StatusMessage::SearchEnded), 2);
    EXPECT_EQ(window.count(StatusMessage::OperationFinished), 2);
    const auto shown = steps();
    EXPECT_EQ(std::count(shown.begin(), shown.end(), app::textAt(35104)), 0);
}

TEST_F(Search, HostileAnswersAreIgnoredAndGoodDevicesStillListed)
{
    std::vector<devsim::Device> fleet;
    const devsim::Malformation kinds[] = {
        devsim::Malformation::LengthBeyondDatagram, devsim::Malformation::LengthAbove268,
        devsim::Malformation::ShortSearchAnswer, devsim::Malformation::UnknownWord,
    };
    uint8_t id = 1;
    for (auto m : kinds) {
        const std::string address = "192.168.0." + std::to_string(100 + id);
        addDeviceAddress(address + "/24");
        auto d = test::simulatedDevice(address, id, "Bad" + std::to_string(id));
        d.faults.set(m);
        fleet.push_back(d);
        ++id;
    }
    addDeviceAddress("192.168.0.120/24");
    auto oversized = test::simulatedDevice("192.168.0.120", 20, "Gross");
    oversized.faults.set(devsim::Malformation::Oversized);  // a whole answer, padded: still usable
    fleet.push_back(oversized);
    addDeviceAddress("192.168.0.121/24");
    auto statusZero = test::simulatedDevice("192.168.0.121", 21, "Null");
    statusZero.faults.searchStatusZero = true;
    fleet.push_back(statusZero);
    addDeviceAddress("192.168.0.122/24");
    fleet.push_back(test::simulatedDevice("192.168.0.122", 22, "Gut"));
    startSimulator(fleet);
    job(card0);
    runAll();
    auto listed = names();
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"Gross", "Gut"}));
}
