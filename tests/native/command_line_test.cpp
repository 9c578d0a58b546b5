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

TEST(ParsePreviewHandle, ReadsLikeAtol)
{
    EXPECT_EQ(ParsePreviewHandle("1234"), 1234);
    EXPECT_EQ(ParsePreviewHandle("  66034xyz"), 66034);
    EXPECT_EQ(ParsePreviewHandle("abc"), 0);
    EXPECT_EQ(ParsePreviewHandle(nullptr), 0);
    EXPECT_EQ(ParsePreviewHandle("-5"), -5);
}
