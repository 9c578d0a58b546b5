// The MIDI player against the system's multimedia library. Under Wine with
// no sound card the sequencer still opens files and accepts every command,
// but the position does not advance; the test prints what it saw.
#include "music/MidiPlayer.h"

#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Passes every command on to the system and keeps its result.
class TapSeam final : public CMciSeam {
public:
    struct Call {
        std::uint32_t command;
        mci::Error result;
    };
    std::vector<Call> calls;

    mci::Error SendCommand(mci::DeviceId device, std::uint32_t command, std::uint32_t flags,
                           void* params) override
    {
        const mci::Error result = SystemMciSeam().SendCommand(device, command, flags, params);
        calls.push_back({command, result});
        std::printf("  command 0x%04X flags 0x%04X -> %u\n", static_cast<unsigned>(command),
                    static_cast<unsigned>(flags), static_cast<unsigned>(result));
        return result;
    }
    bool FileExists(const char* path) override { return SystemMciSeam().FileExists(path); }
};

std::string TempPath(const char* name)
{
    char dir[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, dir);
    EXPECT_GT(n, 0u);
    return std::string(dir, n) + name;
}

// Format 0, 96 ticks a quarter at 120 a minute: C, E and G on a piano, half a
// second each.
void WriteSmallTune(const std::string& path)
{
    static const unsigned char kFile[] = {
        'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
        'M', 'T', 'r', 'k', 0, 0, 0, 36,
        0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,
        0x00, 0xC0, 0x00,
        0x00, 0x90, 60, 80, 0x60, 0x80, 60, 0,
        0x00, 0x90, 64, 80, 0x60, 0x80, 64, 0,
        0x00, 0x90, 67, 80, 0x60, 0x80, 67, 0,
        0x00, 0xFF, 0x2F, 0x00,
    };
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    ASSERT_EQ(std::fwrite(kFile, 1, sizeof kFile, f), sizeof kFile);
    ASSERT_EQ(std::fclose(f), 0);
}

class MidiPlayerUnderWine : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_path = TempPath("morva_midi_player_test.mid");
        WriteSmallTune(m_path);
    }
    void TearDown() override { DeleteFileA(m_path.c_str()); }

    std::string m_path;
};

TEST_F(MidiPlayerUnderWine, OpensPlaysReportsPositionAndCloses)
{
    TapSeam tap;
    {
        CMidiPlayer player(tap);
        ASSERT_TRUE(player.Open(m_path.c_str()));
        EXPECT_NE(player.DeviceId(), 0);
        EXPECT_EQ(player.GetPositionMinutes(), 0);
        EXPECT_EQ(player.GetPositionSeconds(), 0);

        ASSERT_TRUE(player.Play());
        EXPECT_TRUE(player.IsPlaying());
        // A playing sequencer tells its position, near the start.
        const int minutes = player.GetPositionMinutes();
        const int seconds = player.GetPositionSeconds();
        std::printf("  position after play: %d min %d s\n", minutes, seconds);
        EXPECT_EQ(minutes, 0);
        EXPECT_GE(seconds, 0);

        // A second open leaves the device alone.
        const auto sent = tap.calls.size();
        EXPECT_FALSE(player.Open(m_path.c_str()));
        EXPECT_EQ(tap.calls.size(), sent);
        EXPECT_TRUE(player.IsOpen());

        // The sequencer takes the stop and the play from a position that
        // pause and resume send.
        EXPECT_TRUE(player.Pause());
        EXPECT_TRUE(player.Resume());
        EXPECT_TRUE(player.IsPlaying());

        EXPECT_TRUE(player.Close());
        EXPECT_FALSE(player.Close());
    }
    const std::vector<std::uint32_t> expected{mci::kOpen,   mci::kSet,    mci::kSeek,
                                              mci::kStatus, mci::kStatus, mci::kStatus,
                                              mci::kPlay,   mci::kStatus, mci::kStatus,
                                              mci::kStatus, mci::kStop,   mci::kPlay,
                                              mci::kStop,   mci::kClose};
    ASSERT_EQ(tap.calls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(tap.calls[i].command, expected[i]) << i;
        EXPECT_EQ(tap.calls[i].result, 0u) << "command 0x" << std::hex << tap.calls[i].command;
    }
}

TEST_F(MidiPlayerUnderWine, CycleRestartReopensTheFileAndTheDestructorCloses)
{
    CMidiPlayer player; // the system's library
    for (int cycle = 0; cycle < 3; ++cycle) {
        player.Close();
        ASSERT_TRUE(player.Open(m_path.c_str())) << cycle;
        ASSERT_TRUE(player.Play()) << cycle;
    }
    // The file is still held by the open device.
    const UINT device = player.DeviceId();
    MCI_STATUS_PARMS status{};
    status.dwItem = MCI_STATUS_MODE;
    ASSERT_EQ(mciSendCommandA(device, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT,
                              reinterpret_cast<DWORD_PTR>(&status)),
              0u);
    std::printf("  mode while playing: %lu (playing is %u)\n",
                static_cast<unsigned long>(status.dwReturn), MCI_MODE_PLAY);
}

TEST(MidiPlayerUnderWineFiles, MissingFileOrDirectorySendsNothing)
{
    TapSeam tap;
    CMidiPlayer player(tap);
    EXPECT_FALSE(player.Open(TempPath("morva_no_such_tune.mid").c_str()));
    EXPECT_FALSE(player.Open(TempPath("").c_str()));
    EXPECT_FALSE(player.Play());
    EXPECT_FALSE(player.Close());
    EXPECT_TRUE(tap.calls.empty());
}

TEST(MidiPlayerUnderWineFiles, SequencerReadsTheDefaultTune)
{
    std::string path = std::string("Z:") + MORVA_DEFAULT_TUNE;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    CMidiPlayer player;
    ASSERT_TRUE(player.Open(path.c_str())) << path;

    MCI_STATUS_PARMS length{};
    length.dwItem = MCI_STATUS_LENGTH;
    ASSERT_EQ(mciSendCommandA(player.DeviceId(), MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT,
                              reinterpret_cast<DWORD_PTR>(&length)),
              0u);
    std::printf("  default tune: %lu ms\n", static_cast<unsigned long>(length.dwReturn));
    // Twelve and a half bars of four quarters at 72 a minute. Wine's
    // sequencer reckons the length at the default 120 a minute whatever
    // tempo the file sets, which still shows it read every track to its end.
    const double ms = static_cast<double>(length.dwReturn);
    EXPECT_TRUE(std::abs(ms - 41667.0) < 100.0 || ms == 50 * 500.0) << ms;
    EXPECT_TRUE(player.Play());

    // Why the rewind carries a block: the sequencer refuses a null one.
    const MCIERROR nullBlock = mciSendCommandA(player.DeviceId(), MCI_SEEK, MCI_SEEK_TO_START, 0);
    std::printf("  seek to start with no block: %u\n", static_cast<unsigned>(nullBlock));
}

} // namespace
