// The stored effect mode through the real settings file in the Windows
// directory. Whatever file was there before the tests is put back afterwards.
#include "settings/Settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Where the user finds the settings: Morvalst.txt in the Windows directory
// the environment names.
std::string SettingsPath()
{
    char dir[MAX_PATH] = "";
    ::GetEnvironmentVariableA("windir", dir, MAX_PATH);
    return std::string(dir) + "\\Morvalst.txt";
}

bool Exists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadBytes(const std::string& path)
{
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<unreadable>";
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    ::CloseHandle(file);
    return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    ASSERT_TRUE(::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr));
    ::CloseHandle(file);
}

void RemoveSettings(const std::string& path)
{
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(path.c_str());
    ::RemoveDirectoryA(path.c_str());
}

class SettingsFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_bHadFile = Exists(SettingsPath());
        if (s_bHadFile)
            s_original = ReadBytes(SettingsPath());
    }
    static void TearDownTestSuite()
    {
        RemoveSettings(SettingsPath());
        if (s_bHadFile)
            WriteBytes(SettingsPath(), s_original);
    }
    void SetUp() override { RemoveSettings(m_path); }
    void TearDown() override { RemoveSettings(m_path); }

    const std::string m_path = SettingsPath();
    static bool s_bHadFile;
    static std::string s_original;
};

bool SettingsFileTest::s_bHadFile = false;
std::string SettingsFileTest::s_original;

TEST_F(SettingsFileTest, MissingFileLoadsZeroAndIsNeverCreated)
{
    EXPECT_EQ(LoadEffectMode(), 0);
    SaveEffectMode(2);
    EXPECT_FALSE(Exists(m_path));
}

TEST_F(SettingsFileTest, LoadsWhatFollowsTheFirstLineBreak)
{
    const struct {
        std::string content;
        int mode;
    } cases[] = {
        {"", 0},
        {"\r\n1", 1},
        {"abc\r\n2", 2},
        {"\r\n-1", -1},
        {"12", 2},
        {std::string("ab\0\r\n2", 6), 0},
    };
    for (const auto& c : cases) {
        WriteBytes(m_path, c.content);
        EXPECT_EQ(LoadEffectMode(), c.mode) << "content of " << c.content.size() << " bytes";
    }
}

TEST_F(SettingsFileTest, SaveKeepsTheCarriedText)
{
    WriteBytes(m_path, "");
    SaveEffectMode(2);
    EXPECT_EQ(ReadBytes(m_path), "\r\n2");

    WriteBytes(m_path, "abc\r\n2");
    SaveEffectMode(1);
    EXPECT_EQ(ReadBytes(m_path), "abc\r\n1");
    EXPECT_EQ(LoadEffectMode(), 1);

    WriteBytes(m_path, "abc\r\n3");
    SaveEffectMode(-1);
    EXPECT_EQ(ReadBytes(m_path), "abc\r\n-1");

    WriteBytes(m_path, "7");
    SaveEffectMode(0);
    EXPECT_EQ(ReadBytes(m_path), "\r\n0");
}

TEST_F(SettingsFileTest, ReadOnlyFileKeepsItsContent)
{
    WriteBytes(m_path, "abc\r\n2");
    ASSERT_TRUE(::SetFileAttributesA(m_path.c_str(), FILE_ATTRIBUTE_READONLY));
    // Wine keeps the attribute as Unix permissions, which do not bind root.
    const HANDLE probe = ::CreateFileA(m_path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        ::CloseHandle(probe);
        GTEST_SKIP() << "this system lets a read-only file be opened for writing";
    }
    EXPECT_EQ(LoadEffectMode(), 2);
    SaveEffectMode(1);
    EXPECT_EQ(ReadBytes(m_path), "abc\r\n2");
}

TEST_F(SettingsFileTest, FileThatCannotBeOpenedForWritingKeepsItsContent)
{
    WriteBytes(m_path, "abc\r\n2");
    const HANDLE reader = ::CreateFileA(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(LoadEffectMode(), 2);
    SaveEffectMode(1);
    ::CloseHandle(reader);
    EXPECT_EQ(ReadBytes(m_path), "abc\r\n2");
}

TEST_F(SettingsFileTest, FileHeldExclusivelyElsewhereLoadsZeroAndKeepsItsContent)
{
    WriteBytes(m_path, "abc\r\n2");
    const HANDLE held = ::CreateFileA(m_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(LoadEffectMode(), 0);
    SaveEffectMode(1);
    ::CloseHandle(held);
    EXPECT_EQ(ReadBytes(m_path), "abc\r\n2");
}

TEST_F(SettingsFileTest, LongFileIsReadWhole)
{
    const std::string carried(100 * 1024, 'x');
    WriteBytes(m_path, carried + "\r\n2");
    EXPECT_EQ(LoadEffectMode(), 2);
    SaveEffectMode(1);
    EXPECT_EQ(ReadBytes(m_path), carried + "\r\n1");
}

TEST_F(SettingsFileTest, DirectoryInItsPlaceLoadsZeroAndStaysADirectory)
{
    ASSERT_TRUE(::CreateDirectoryA(m_path.c_str(), nullptr));
    EXPECT_EQ(LoadEffectMode(), 0);
    SaveEffectMode(1);
    EXPECT_NE(::GetFileAttributesA(m_path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

} // namespace
