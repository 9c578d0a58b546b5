#include "app/CommandLine.h"

#include <gtest/gtest.h>

TEST(ChooseRunMode, NoArgumentOpensTheSettings)
{
    EXPECT_EQ(ChooseRunMode(1, nullptr), RunMode::Settings);
}

TEST(ChooseRunMode, AnyArgumentHoldingLowerCaseCOpensTheSettings)
{
    for (const char* arg : {"/c:1234", "/c", "-c", "config", "/pc", "/cp"})
        EXPECT_EQ(ChooseRunMode(2, arg), RunMode::Settings) << arg;
}

TEST(ChooseRunMode, LowerCasePWithoutCIsThePreview)
{
    for (const char* arg : {"/p", "-p", "p", "/preview"})
        EXPECT_EQ(ChooseRunMode(3, arg), RunMode::Preview) << arg;
}

TEST(ChooseRunMode, EverythingElseIsTheFullScreenShow)
{
    // The switches are case-sensitive: upper-case ones match neither test.
    for (const char* arg : {"/s", "/S", "/P", "/C", "/a", "", "x"})
        EXPECT_EQ(ChooseRunMode(2, arg), RunMode::FullScreen) << arg;
}

TEST(ParsePreviewHandle, ReadsLeadingDecimalDigits)
{
    EXPECT_EQ(ParsePreviewHandle("1234"), 1234u);
    EXPECT_EQ(ParsePreviewHandle("  66034xyz"), 66034u);
    EXPECT_EQ(ParsePreviewHandle("\t\n+77"), 77u);
    EXPECT_EQ(ParsePreviewHandle("abc"), 0u);
    EXPECT_EQ(ParsePreviewHandle(""), 0u);
    EXPECT_EQ(ParsePreviewHandle("- 5"), 0u);
    EXPECT_EQ(ParsePreviewHandle(nullptr), 0u);
}

TEST(ParsePreviewHandle, HandlesWithTheTopBitSetAreKeptAndLargerValuesWrap)
{
    EXPECT_EQ(ParsePreviewHandle("2147483647"), 0x7FFFFFFFu);
    EXPECT_EQ(ParsePreviewHandle("2147483648"), 0x80000000u);
    EXPECT_EQ(ParsePreviewHandle("4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(ParsePreviewHandle("4294967296"), 0u);
    EXPECT_EQ(ParsePreviewHandle("4294968530"), 1234u);
    EXPECT_EQ(ParsePreviewHandle("99999999999999999999"), 0x630FFFFFu);
    // A handle printed as a signed number reads back as the same handle.
    EXPECT_EQ(ParsePreviewHandle("-5"), 0xFFFFFFFBu);
    EXPECT_EQ(ParsePreviewHandle("-2147483648"), 0x80000000u);
}
