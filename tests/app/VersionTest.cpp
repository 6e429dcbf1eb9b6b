#include "app/Version.h"

#include <gtest/gtest.h>

using namespace vst::app;

TEST(AboutVersion, NumberFromParts)
{
    EXPECT_DOUBLE_EQ(productVersionNumber("1.5.0.0"), 1.05);
    EXPECT_DOUBLE_EQ(productVersionNumber("2.10.3.4"), 2.0 + 0.10 + 0.0003 + 0.000004);
    EXPECT_DOUBLE_EQ(productVersionNumber("3"), 3.0);
}

TEST(AboutVersion, LineUsesTwoOrFourDecimals)
{
    EXPECT_EQ(aboutVersionLine("Vestrolan-Manager", "Version", "1.5.0.0"), "Vestrolan-Manager, Version 1.05");
    EXPECT_EQ(aboutVersionLine("Vestrolan-Manager", "Version", "1.5.0.7"), "Vestrolan-Manager, Version 1.05");
    EXPECT_EQ(aboutVersionLine("Vestrolan-Manager", "Version", "1.5.3.0"), "Vestrolan-Manager, Version 1.0503");
    EXPECT_EQ(aboutVersionLine("P", "V", "1.5.3"), "P, V 1.0503");
}

TEST(AboutVersion, ProgramVersionComesFromTheBuild)
{
    EXPECT_STREQ(programProductName(), "Vestrolan-Manager");
    const std::string v = programProductVersion();
    EXPECT_EQ(std::count(v.begin(), v.end(), '.'), 3) << v;
}
