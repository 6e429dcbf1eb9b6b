#include <gtest/gtest.h>

#include "config/CalibrationRequest.h"

using namespace vst;
using config::CalibrationCheck;

TEST(Calibration, NumbersTakeADecimalCommaAndCountOtherTextAsZero)
{
    EXPECT_DOUBLE_EQ(config::parseDecimalNumber("100,5"), 100.5);
    EXPECT_DOUBLE_EQ(config::parseDecimalNumber(" 230.25 V"), 230.25);
    EXPECT_DOUBLE_EQ(config::parseDecimalNumber("+5"), 5.0);
    EXPECT_DOUBLE_EQ(config::parseDecimalNumber("-0,5"), -0.5);
    EXPECT_DOUBLE_EQ(config::parseDecimalNumber("abc"), 0.0);
    EXPECT_DOUBLE_EQ(config::parseDecimalNumber("nan"), 0.0);
    EXPECT_DOUBLE_EQ(config::parseDecimalNumber("1e999"), 0.0);
}


TEST(Calibration, TextThatIsNoNumberCountsAsZero)
{
    config::CalibrationValues v;
    EXPECT_EQ(config::checkCalibrationEntries({"x", "y", "230", "10"}, v), CalibrationCheck::SecondaryNotSmaller);
    EXPECT_EQ(config::checkCalibrationEntries({"100", "5", "230", "abc"}, v), CalibrationCheck::Accepted);
    EXPECT_DOUBLE_EQ(v.current, 0.0);
}
