#include "settings/SettingsText.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using namespace std::string_literals;

TEST(ParseEffectMode, ReadsTheNumberAfterTheFirstLineBreak)
{
    EXPECT_EQ(ParseEffectMode(""), 0);
    EXPECT_EQ(ParseEffectMode("\r\n1"), 1);
    EXPECT_EQ(ParseEffectMode("abc\r\n2"), 2);
    EXPECT_EQ(ParseEffectMode("\r\n 2xyz"), 2);
    EXPECT_EQ(ParseEffectMode("\r\n-1"), -1);
    EXPECT_EQ(ParseEffectMode("\r\n"), 0);
    EXPECT_EQ(ParseEffectMode("\r\n3"), 3);
    EXPECT_EQ(ParseEffectMode("a\r\nb\r\n7"), 0);
}

TEST(ParseEffectMode, WithoutLineBreakStartsAtTheSecondCharacter)
{
    EXPECT_EQ(ParseEffectMode("12"), 2);
    EXPECT_EQ(ParseEffectMode("7"), 0);
    EXPECT_EQ(ParseEffectMode("x-42"), -42);
}

TEST(ParseEffectMode, TheTextEndsAtTheFirstNul)
{
    EXPECT_EQ(ParseEffectMode("ab\0\r\n2"s), 0);
    EXPECT_EQ(ParseEffectMode("\r\n2\0"s "5"), 2);
}

TEST(ParseEffectMode, OutOfRangeNumbersSaturate)
{
    EXPECT_EQ(ParseEffectMode("\r\n99999999999"), INT_MAX);
    EXPECT_EQ(ParseEffectMode("\r\n-99999999999"), INT_MIN);
    EXPECT_EQ(ParseEffectMode("\r\n2147483647"), INT_MAX);
    EXPECT_EQ(ParseEffectMode("\r\n-2147483648"), INT_MIN);
    EXPECT_EQ(ParseEffectMode("\r\n" + std::string(5000, '9')), INT_MAX);
}

TEST(ComposeSettings, KeepsTheCarriedTextAndWritesTheMode)
{
    EXPECT_EQ(ComposeSettings("", 2), "\r\n2");
    EXPECT_EQ(ComposeSettings("abc\r\n2", 1), "abc\r\n1");
    EXPECT_EQ(ComposeSettings("abc\r\n2\r\nmore", 0), "abc\r\n0");
    EXPECT_EQ(ComposeSettings("\r\n3", -1), "\r\n-1");
    EXPECT_EQ(ComposeSettings("12", 0), "\r\n0");
    EXPECT_EQ(ComposeSettings("x\0\r\n5"s, 1), "\r\n1");
    EXPECT_EQ(ComposeSettings("", INT_MIN), "\r\n-2147483648");
}

TEST(ComposeSettings, ReadsBackWhatItStored)
{
    for (int mode : {0, 1, 2, -1, 5, INT_MAX, INT_MIN}) {
        const std::string stored = ComposeSettings("carried text\r\nold", mode);
        EXPECT_EQ(ParseEffectMode(stored), mode);
        EXPECT_EQ(stored.substr(0, 12), "carried text");
    }
}
