// The endurance-run dialog's rules and the addresses a run may give its devices.
#include <gtest/gtest.h>

#include "app/NetworkCards.h"
#include "ops/Endurance.h"

using namespace vst;
using Rows = std::vector<std::string>;

TEST(EnduranceForm, CountAppendsAndDeletesRows)
{
    ops::EnduranceForm form;
    EXPECT_EQ(form.rows(), Rows{"00000100"});
    form.setCountText("3");
    EXPECT_EQ(form.rows(), (Rows{"00000100", "00000200", "00000300"}));
    form.setCountText("1");
    EXPECT_EQ(form.rows(), Rows{"00000100"});
    form.setCountText("");
    EXPECT_TRUE(form.rows().empty());
    form.setCountText("2");  // an empty list starts at 100 again
    EXPECT_EQ(form.rows(), (Rows{"00000100", "00000200"}));
    form.setCountText("99999");  // the edit takes three digits; the model never makes more rows
    EXPECT_EQ(form.rows().size(), 999u);
}

TEST(EnduranceForm, EditingRows)
{
    ops::EnduranceForm form;
    form.setCountText("3");
    EXPECT_FALSE(form.editRow(0, "5000"));  // the first row renumbers every following one
    EXPECT_EQ(form.rows(), (Rows{"00005000", "00005100", "00005200"}));
    EXPECT_FALSE(form.editRow(1, "42"));
    EXPECT_EQ(form.rows(), (Rows{"00005000", "00000042", "00005200"}));
    form.setCountText("4");  // new rows follow the last one
    EXPECT_EQ(form.rows().back(), "00005300");
    for (const char* bad : {"0", "100000000", "99999999999999999999"}) {
        EXPECT_EQ(form.editRow(2, bad), app::TextId{31213}) << bad;
        EXPECT_EQ(form.rows()[2], "00005200") << "a refused edit keeps the old text";
    }
    EXPECT_FALSE(form.editRow(2, ""));
    EXPECT_FALSE(form.editRow(7, "1"));  // no such row
}

TEST(EnduranceForm, TypeSwitchAndOk)
{
    ops::EnduranceForm form;
    form.setCountText("3");
    form.setRepair(true);
    EXPECT_TRUE(form.rows().empty());
    EXPECT_EQ(form.count(), 1u);
    form.setRepair(false);
    EXPECT_EQ(form.rows(), Rows{"00000100"});

    std::vector<uint32_t> serials;
    struct Case {
        std::string number, count;
        std::optional<app::TextId> refusal;
    } cases[] = {
        {"", "1", app::TextId{31211}},      {"CH/1", "1", app::TextId{37050}}, {"CH1 ", "1", app::TextId{37050}},
        {"CH1", "0", app::TextId{31212}},   {"CH1", "2", std::nullopt},
    };
    for (const auto& c : cases) {
        form.number = c.number;
        form.setCountText(c.count);
        EXPECT_EQ(form.accept(serials), c.refusal) << c.number << "/" << c.count;
    }
    EXPECT_EQ(serials, (std::vector<uint32_t>{100, 200}));
    form.editRow(0, "99999950");  // the following row would leave the serial range
    EXPECT_EQ(form.accept(serials), app::TextId{31213});
    form.setRepair(true);
    EXPECT_FALSE(form.accept(serials));
    EXPECT_EQ(serials, std::vector<uint32_t>{net::kNoSerialNumber});
}

TEST(EnduranceRunAddresses, UsableAddresses)
{
    app::NetworkCard card;
    card.addresses = {{0xC0A80001, 0xFFFFFF00}, {0x0A000001, 0xFFFF0000}};  // 192.168.0.1/24, 10.0.0.1/16
    struct Case {
        uint32_t target, index, mask;
        bool usable;
    } cases[] = {
        {0xC0A800C9, 0, 0xFFFFFF00, true},   // 192.168.0.201
        {0xC0A800FE, 1, 0xFFFFFF00, false},  // 192.168.0.255: the subnet's broadcast
        {0xC0A80000, 0, 0xFFFFFF00, false},  // the network itself
        {0xC0A80001, 0, 0xFFFFFF00, false},  // the card's own address
        {0x0A000001, 0, 0xFFFF0000, false},  // the card's second address
        {0x0A0000FF, 0, 0xFFFF0000, true},   // .255 is a host under /16
        {0xAC100005, 0, 0xFFFFFF00, true},   // outside every subnet: the first address's mask
        {0xFFFFFFFF, 1, 0, false},           // past 255.255.255.255
    };
    for (const auto& c : cases) {
        const auto a = ops::runAddress(card, c.target, c.index);
        EXPECT_EQ(a.usable, c.usable) << std::hex << c.target << "+" << c.index;
        if (c.usable) {
            EXPECT_EQ(a.mask, c.mask) << std::hex << c.target;
        }
    }
    EXPECT_EQ(ops::firstUnusableRunAddress(card, 0xC0A800FC, 3), 0u);
    EXPECT_EQ(ops::firstUnusableRunAddress(card, 0xC0A800FC, 4), 4u);
}
