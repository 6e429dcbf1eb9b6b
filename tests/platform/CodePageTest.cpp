#include "platform/CodePage.h"

#include <gtest/gtest.h>

using namespace vst::platform;

TEST(CodePage, RoundTripOfEveryByte)
{
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(utf8ToCp1252(cp1252ToUtf8(all)), all);
}

TEST(CodePage, KnownCharacters)
{
    EXPECT_EQ(cp1252ToUtf8("RTC l\xE4uft"), "RTC läuft");
    EXPECT_EQ(cp1252ToUtf8("\x80"), "€");
    EXPECT_EQ(utf8ToCp1252("Gerät – €"), "Ger\xE4t \x96 \x80");
}

TEST(CodePage, UnmappableAndMalformedBecomeQuestionMarks)
{
    EXPECT_EQ(utf8ToCp1252("日本"), "??");
    EXPECT_EQ(utf8ToCp1252("a\xC3"), "a?");
    EXPECT_EQ(utf8ToCp1252("\xE2\x82"), "??");
    EXPECT_EQ(utf8ToCp1252("\xFF" "b"), "?b");
}
