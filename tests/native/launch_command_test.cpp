// The browser command line of the home-page button, built from the registry
// value's bytes as the launcher reads them.
#include "settings/LaunchCommand.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kAddress = "http://www.velunor.example/";

// The value as RegEnumValueA hands it over: the text and its NUL.
std::vector<unsigned char> Value(const std::string& text)
{
    std::vector<unsigned char> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

bool Build(const std::vector<unsigned char>& value, std::string& line, bool isText = true,
           const std::string& address = kAddress)
{
    return BuildLaunchCommand(isText, value.data(), value.size(), address, line);
}

} // namespace

TEST(BuildLaunchCommand, AppendsTheAddressWithNothingBetween)
{
    std::string line;
    ASSERT_TRUE(Build(Value("C:\\web\\browse.exe "), line));
    EXPECT_EQ(line, "C:\\web\\browse.exe http://www.velunor.example/");

    ASSERT_TRUE(Build(Value("\"C:\\Program Files\\web\\browse.exe\""), line));
    EXPECT_EQ(line, "\"C:\\Program Files\\web\\browse.exe\"http://www.velunor.example/");

    ASSERT_TRUE(Build(Value("browse.exe -nohome"), line));
    EXPECT_EQ(line, "browse.exe -nohomehttp://www.velunor.example/");
}

TEST(BuildLaunchCommand, KeepsPlaceholdersAndVariablesAsTheyAre)
{
    std::string line;
    ASSERT_TRUE(Build(Value("browse.exe \"%1\" "), line));
    EXPECT_EQ(line, "browse.exe \"%1\" http://www.velunor.example/");

    ASSERT_TRUE(Build(Value("%ProgramFiles%\\browse.exe "), line));
    EXPECT_EQ(line, "%ProgramFiles%\\browse.exe http://www.velunor.example/");
}

TEST(BuildLaunchCommand, TheTextEndsAtTheFirstNulOrTheEndOfTheData)
{
    std::string line;
    std::vector<unsigned char> value = Value("browse.exe ");
    value.insert(value.end(), {'x', 'y', 0});
    ASSERT_TRUE(Build(value, line));
    EXPECT_EQ(line, "browse.exe http://www.velunor.example/");

    // A value stored without its terminating NUL.
    const std::string text = "browse.exe ";
    ASSERT_TRUE(Build(std::vector<unsigned char>(text.begin(), text.end()), line));
    EXPECT_EQ(line, "browse.exe http://www.velunor.example/");

    // Only the bytes the value has count, not what lies beyond them.
    const unsigned char buffer[] = {'a', 'b', 'c', 'd'};
    ASSERT_TRUE(BuildLaunchCommand(true, buffer, 2, "/x", line));
    EXPECT_EQ(line, "ab/x");
}

TEST(BuildLaunchCommand, StartsNothingForAnEmptyCommandOrAValueThatIsNotText)
{
    std::string line = "untouched";
    EXPECT_FALSE(Build(Value(""), line));
    EXPECT_FALSE(Build({}, line));
    EXPECT_FALSE(Build({0, 'b', 'r', 0}, line));
    EXPECT_FALSE(Build(Value("browse.exe "), line, false));
    EXPECT_EQ(line, "untouched");
}

TEST(BuildLaunchCommand, CommandAndAddressFitIn255Characters)
{
    std::string line;
    const std::string fits(255 - kAddress.size(), 'b');
    ASSERT_TRUE(Build(Value(fits), line));
    EXPECT_EQ(line.size(), 255u);
    EXPECT_EQ(line, fits + kAddress);

    line = "untouched";
    EXPECT_FALSE(Build(Value(fits + "b"), line));
    EXPECT_EQ(line, "untouched");

    // A full buffer of text with no room left for its NUL.
    EXPECT_FALSE(Build(std::vector<unsigned char>(256, 'b'), line, true, ""));
    ASSERT_TRUE(Build(std::vector<unsigned char>(255, 'b'), line, true, ""));
    EXPECT_EQ(line, std::string(255, 'b'));
    // More data than the buffer could have held.
    std::vector<unsigned char> tooLong = Value("browse.exe ");
    tooLong.resize(257, 'b');
    EXPECT_FALSE(Build(tooLong, line));
}
