#include <gtest/gtest.h>

#include "MemoryFiles.h"
#include "config/ConfigurationAssistant.h"

using namespace vst;
using config::AssistantResult;
using config::Placement;

namespace {

struct Slot {
    int module;
    int address;
    bool operator==(const Slot&) const = default;
};

std::vector<Slot> slots(const config::SensorList& list)
{
    std::vector<Slot> out;
    for (const auto& r : list.rows()) out.push_back({r.module, r.address});
    return out;
}

class PlacementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        files = test::smallCatalogueFiles();
        catalogue = config::loadCatalogue(files);
        ASSERT_TRUE(catalogue.usable());
    }
    const config::CatalogueSensor& a() const { return catalogue.sensors[0]; }
    const config::CatalogueSensor& b() const { return catalogue.sensors[1]; }

    test::MemoryFiles files;
    config::ConfigurationCatalogue catalogue;
    config::SensorList list;
};

}  // namespace

TEST_F(PlacementTest, StartsAtTheDefaultModuleAndWrapsAround)
{
    for (int i = 0; i < 3; ++i) EXPECT_EQ(list.place(catalogue, a()), Placement::Placed);
    EXPECT_EQ(slots(list), (std::vector<Slot>{{1, 0x40}, {1, 0x41}, {0, 0x40}}));
    EXPECT_EQ(list.at(2).name, "A");
    EXPECT_EQ(list.at(2).auxAddress, 0);
    // the type's maximum (3) is reached although module 0 has a free address
    EXPECT_EQ(list.place(catalogue, a()), Placement::TypeFull);
}

TEST_F(PlacementTest, SlotsUsedByAnotherTypeAreSkipped)
{
    // B (type 3) at module 1 address 0x40 takes A's first slot on its default module
    ASSERT_EQ(list.addWithSettings(catalogue, 3, 0, 1, 0x40, 0x60), Placement::Placed);
    EXPECT_EQ(list.place(catalogue, a()), Placement::Placed);
    EXPECT_EQ(slots(list), (std::vector<Slot>{{1, 0x40}, {1, 0x41}}));
}

TEST_F(PlacementTest, RefusesWhenNoSlotOrTheListIsFull)
{
    catalogue.moduleCount = 1;
    catalogue.sensors[0].defaultModule = 0;
    EXPECT_EQ(list.place(catalogue, a()), Placement::Placed);
    EXPECT_EQ(list.place(catalogue, a()), Placement::Placed);
    EXPECT_EQ(list.place(catalogue, a()), Placement::NoFreeSlot);

    catalogue.maximumSensors = 4;
    EXPECT_EQ(list.place(catalogue, b()), Placement::Placed);
    EXPECT_EQ(list.place(catalogue, b()), Placement::Placed);
    EXPECT_EQ(list.at(2).auxAddress, 0x62);  // the aux address follows the address offset
    EXPECT_EQ(list.place(catalogue, b()), Placement::ListFull);
    EXPECT_FALSE(list.append({"dup", 9, 0, 0, 0x41, 0}));
    EXPECT_EQ(list.size(), 4u);
}

TEST_F(PlacementTest, AddingWithSettingsChecksRangesAndLimits)
{
    EXPECT_EQ(list.addWithSettings(catalogue, 2, 0, 2, 0x40, 0), Placement::OutOfRange);
    EXPECT_EQ(list.addWithSettings(catalogue, 3, 0, 0, 0x40, 0x64), Placement::OutOfRange);
    // a sensor without aux address keeps the aux address it was given
    EXPECT_EQ(list.addWithSettings(catalogue, 2, 0, 0, 0x40, 0x12), Placement::Placed);
    EXPECT_EQ(list.at(0).auxAddress, 0x12);
    EXPECT_EQ(list.addWithSettings(catalogue, 2, 0, 1, 0x40, 0), Placement::Placed);
    EXPECT_EQ(list.addWithSettings(catalogue, 2, 0, 1, 0x41, 0), Placement::Placed);
    EXPECT_EQ(list.addWithSettings(catalogue, 2, 0, 0, 0x41, 0), Placement::TypeFull);
    catalogue.maximumSensors = 3;
    EXPECT_EQ(list.addWithSettings(catalogue, 3, 0, 0, 0x41, 0x61), Placement::ListFull);
}

TEST_F(PlacementTest, ModuleFullWhenTheTypeUsesEveryAddressOfTheModule)
{
    catalogue.sensors[0].maximumOfType = 9;
    list.append({"A", 2, 0, 0, 0x40, 0});
    list.append({"A", 2, 0, 0, 0x07, 0});  // a foreign address still counts on its module
    EXPECT_EQ(list.addWithSettings(catalogue, 2, 0, 0, 0x41, 0), Placement::ModuleFull);
}

TEST_F(PlacementTest, RefusedExtensionLeavesTheListAsItWas)
{
    ASSERT_EQ(list.place(catalogue, b()), Placement::Placed);
    const auto before = list.rows();
    EXPECT_EQ(list.addExtension(catalogue, catalogue.extensions[1]), Placement::TypeFull);
    EXPECT_EQ(list.rows(), before);
    EXPECT_EQ(list.addExtension(catalogue, catalogue.extensions[0]), Placement::Placed);
    EXPECT_EQ(list.size(), 3u);
}

TEST(Assistant, RefusedBaseDeviceLeavesTheListEmpty)
{
    auto files = test::smallCatalogueFiles();
    files.files["setup.ini"] += "Device=Zuviel;AB,AAA\n";
    config::ConfigurationAssistant assistant("", true);
    ASSERT_EQ(assistant.loadCatalogue(files), AssistantResult::Ok);
    EXPECT_EQ(assistant.selectBaseDevice(0), AssistantResult::Ok);
    EXPECT_EQ(assistant.sensors().size(), 2u);
    EXPECT_EQ(assistant.selectBaseDevice(1), AssistantResult::BaseDeviceRefused);
    EXPECT_TRUE(assistant.sensors().empty());
}

TEST(SensorEntries, AuxRangeWrapsAndAnEmptyAddressIsZero)
{
    config::CatalogueSensor s;
    s.baseAddress = 0x40;
    s.baseAuxAddress = 0xFE;
    s.addressCount = 4;
    const auto range = config::addressRangeOf(s);
    const auto aux = config::auxAddressRangeOf(s);
    EXPECT_EQ(range.highest, 0x43);
    EXPECT_EQ(aux.highest, 0x01);  // wraps at 256: no aux address fits
    config::SensorEntries e;
    EXPECT_EQ(config::checkSensorEntries("41", "fe", range, aux, e), AssistantResult::AuxAddressInvalid);
    s.baseAuxAddress = 0;  // without aux address: 0 .. address count - 1
    EXPECT_EQ(config::checkSensorEntries("42", "", range, config::auxAddressRangeOf(s), e), AssistantResult::Ok);
    EXPECT_EQ(e.auxAddress, 0);
}
