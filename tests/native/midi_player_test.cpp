#include "music/MidiPlayer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace {

// What identifies a command: target, command, flags, and whether a block came.
struct Cmd {
    mci::DeviceId device;
    std::uint32_t command;
    std::uint32_t flags;
    bool hasParams;
    bool operator==(const Cmd& o) const
    {
        return device == o.device && command == o.command && flags == o.flags
            && hasParams == o.hasParams;
    }
};

void PrintTo(const Cmd& c, std::ostream* os)
{
    *os << "{device " << c.device << ", command 0x" << std::hex << c.command << ", flags 0x"
        << c.flags << std::dec << (c.hasParams ? ", block}" : ", no block}");
}

// One command as the player sent it, with the block fields that command uses.
struct Sent {
    Cmd cmd;
    std::uintptr_t deviceType = 0; // open
    std::string element;           // open
    std::uint32_t value = 0;       // set: time format; status: item; play: from; seek: to
    std::uintptr_t callback = 0;
};

// Stands in for the multimedia library: records every command and answers
// as told (an error per command, the device id, the position).
class RecordingMci final : public CMciSeam {
public:
    std::vector<Sent> sent;
    std::map<std::uint32_t, mci::Error> errors;
    std::vector<std::string> existing{"C:\\WINDOWS\\4.mid"};
    mci::DeviceId nextDevice = 7;
    std::uint32_t position = 0;

    mci::Error SendCommand(mci::DeviceId device, std::uint32_t command, std::uint32_t flags,
                           void* params) override
    {
        Sent s;
        s.cmd = {device, command, flags, params != nullptr};
        const auto error = errors.count(command) ? errors[command] : 0;
        if (command == mci::kOpen && params) {
            auto* p = static_cast<mci::OpenParms*>(params);
            s.deviceType = reinterpret_cast<std::uintptr_t>(p->lpstrDeviceType);
            s.element = p->lpstrElementName ? p->lpstrElementName : "";
            s.callback = p->dwCallback + reinterpret_cast<std::uintptr_t>(p->lpstrAlias);
            if (error == 0)
                p->wDeviceID = nextDevice;
        } else if (command == mci::kSet && params) {
            auto* p = static_cast<mci::SetParms*>(params);
            s.value = p->dwTimeFormat;
            s.callback = p->dwCallback;
        } else if (command == mci::kStatus && params) {
            auto* p = static_cast<mci::StatusParms*>(params);
            s.value = p->dwItem;
            s.callback = p->dwCallback;
            // A refused query leaves the block alone; the caller must not read it.
            p->dwReturn = error == 0 ? position : 0xFFFFFFFFu;
        } else if (command == mci::kPlay && params) {
            auto* p = static_cast<mci::PlayParms*>(params);
            s.value = p->dwFrom;
            s.callback = p->dwCallback;
        } else if (command == mci::kSeek && params) {
            auto* p = static_cast<mci::SeekParms*>(params);
            s.value = p->dwTo;
            s.callback = p->dwCallback;
        }
        sent.push_back(s);
        return error;
    }

    bool FileExists(const char* path) override
    {
        for (const auto& name : existing)
            if (name == path)
                return true;
        return false;
    }

    std::vector<std::uint32_t> Commands() const
    {
        std::vector<std::uint32_t> out;
        for (const auto& s : sent)
            out.push_back(s.cmd.command);
        return out;
    }
};

constexpr const char* kTune = "C:\\WINDOWS\\4.mid";
using Cmds = std::vector<std::uint32_t>;

TEST(MidiPlayerOpen, SendsOpenTimeFormatAndRewindWithTheirBlocks)
{
    RecordingMci mci;
    CMidiPlayer player(mci);
    ASSERT_TRUE(player.Open(kTune));
    EXPECT_TRUE(player.IsOpen());
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(player.DeviceId(), 7);

    ASSERT_EQ(mci.sent.size(), 3u);
    const Sent& open = mci.sent[0];
    EXPECT_EQ(open.cmd, (Cmd{0, 0x0803, 0x3202, true}));
    EXPECT_EQ(open.deviceType, 523u);
    EXPECT_EQ(open.element, kTune);
    EXPECT_EQ(open.callback, 0u); // callback and alias empty

    EXPECT_EQ(mci.sent[1].cmd, (Cmd{7, 0x080D, 0x0400, true}));
    EXPECT_EQ(mci.sent[1].value, 0u); // milliseconds

    // The rewind carries a zeroed block: the sequencer rejects a null one.
    EXPECT_EQ(mci.sent[2].cmd, (Cmd{7, 0x0807, 0x0100, true}));
    EXPECT_EQ(mci.sent[2].value, 0u);
    EXPECT_EQ(mci.sent[2].callback, 0u);
}

TEST(MidiPlayerOpen, MissingFileSendsNothing)
{
    RecordingMci mci;
    mci.existing.clear();
    CMidiPlayer player(mci);
    EXPECT_FALSE(player.Open(kTune));
    EXPECT_FALSE(player.IsOpen());
    EXPECT_FALSE(player.Play());
    EXPECT_FALSE(player.Close());
    EXPECT_TRUE(mci.sent.empty());
}

TEST(MidiPlayerOpen, RefusedOpenLeavesThePlayerClosed)
{
    RecordingMci mci;
    mci.errors[mci::kOpen] = 275; // no such device
    CMidiPlayer player(mci);
    EXPECT_FALSE(player.Open(kTune));
    EXPECT_FALSE(player.IsOpen());
    EXPECT_EQ(player.DeviceId(), 0);
    EXPECT_FALSE(player.Play());
    EXPECT_FALSE(player.Close());
    EXPECT_EQ(player.GetPositionMinutes(), -1);
    EXPECT_EQ(mci.Commands(), (Cmds{mci::kOpen}));
}

TEST(MidiPlayerOpen, RefusedTimeFormatClosesTheDeviceAgain)
{
    RecordingMci mci;
    mci.errors[mci::kSet] = 274;
    CMidiPlayer player(mci);
    EXPECT_FALSE(player.Open(kTune));
    EXPECT_FALSE(player.IsOpen());
    EXPECT_EQ(player.DeviceId(), 0);
    ASSERT_EQ(mci.Commands(), (Cmds{mci::kOpen, mci::kSet, mci::kClose}));
    EXPECT_EQ(mci.sent[2].cmd, (Cmd{7, mci::kClose, 0, false}));
}

TEST(MidiPlayerOpen, RefusedRewindStillOpens)
{
    RecordingMci mci;
    mci.errors[mci::kSeek] = 297;
    CMidiPlayer player(mci);
    EXPECT_TRUE(player.Open(kTune));
    EXPECT_TRUE(player.IsOpen());
}

TEST(MidiPlayerOpen, OpenOnAnOpenPlayerLeavesTheTuneAlone)
{
    RecordingMci mci;
    CMidiPlayer player(mci);
    ASSERT_TRUE(player.Open(kTune));
    ASSERT_TRUE(player.Play());
    const auto before = mci.sent.size();
    EXPECT_FALSE(player.Open(kTune));
    EXPECT_EQ(mci.sent.size(), before);
    EXPECT_TRUE(player.IsOpen());
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_EQ(player.DeviceId(), 7);
}

TEST(MidiPlayerPlay, RightAfterOpenStartsAtZeroWithFromOnly)
{
    RecordingMci mci;
    CMidiPlayer player(mci);
    ASSERT_TRUE(player.Open(kTune));
    mci.sent.clear();
    ASSERT_TRUE(player.Play());
    EXPECT_TRUE(player.IsPlaying());
    ASSERT_EQ(mci.Commands(), (Cmds{mci::kStatus, mci::kPlay}));
    EXPECT_EQ(mci.sent[0].cmd, (Cmd{7, mci::kStatus, 0x0102, true}));
    EXPECT_EQ(mci.sent[0].value, 2u); // position
    // Neither wait nor notify: no completion is ever asked for.
    EXPECT_EQ(mci.sent[1].cmd, (Cmd{7, mci::kPlay, 0x0004, true}));
    EXPECT_EQ(mci.sent[1].value, 0u);
    EXPECT_EQ(mci.sent[1].callback, 0u);
}

TEST(MidiPlayerPlay, StartsFromThePositionCutToWholeSeconds)
{
    RecordingMci mci;
    CMidiPlayer player(mci);
    ASSERT_TRUE(player.Open(kTune));
    mci.position = 75600;
    ASSERT_TRUE(player.Play());
    EXPECT_EQ(mci.sent.back().cmd.command, mci::kPlay);
    EXPECT_EQ(mci.sent.back().value, 75000u);

    // A tune that ended by itself is still playing as far as the player
    // knows; playing again starts from the end position.
    mci.position = 3725999;
    ASSERT_TRUE(player.Play());
    EXPECT_EQ(mci.sent.back().value, 3725000u);
    EXPECT_TRUE(player.IsPlaying());
}

TEST(MidiPlayerPlay, FailedPositionQueryPlaysFromTheStart)
{
    RecordingMci mci;
    CMidiPlayer player(mci);
    ASSERT_TRUE(player.Open(kTune));
    mci.position = 75600;
    mci.errors[mci::kStatus] = 263;
    ASSERT_TRUE(player.Play());
    EXPECT_EQ(mci.sent.back().cmd.command, mci::kPlay);
    EXPECT_EQ(mci.sent.back().value, 0u);
}

TEST(MidiPlayerPlay, RefusedPlayLeavesTheFieldsAsTheyWere)
{
    RecordingMci mci;
    CMidiPlayer player(mci);
    ASSERT_TRUE(player.Open(kTune));
    mci.errors[mci::kPlay] = 276;
    EXPECT_FALSE(player.Play());
    EXPECT_TRUE(player.IsOpen());
    EXPECT_FALSE(player.IsPlaying());
    // Not playing, so closing sends no stop.
    mci.sent.clear();
    EXPECT_TRUE(player.Close());
    EXPECT_EQ(mci.Commands(), (Cmds{mci::kClose}));
}

TEST(MidiPlayerPosition, SplitsMillisecondsIntoMinutesAndSeconds)
{
    RecordingMci mci;
    CMidiPlayer player(mci);
    EXPECT_EQ(player.GetPositionMinutes(), -1);
    EXPECT_EQ(player.GetPositionSeconds(), -1);
    EXPECT_TRUE(mci.sent.empty());

    ASSERT_TRUE(player.Open(kTune));
    mci.position = 3725000;
    EXPECT_EQ(player.GetPositionMinutes(), 62);
    EXPECT_EQ(player.GetPositionSeconds(), 5);
    mci.position = 59999;
    EXPECT_EQ(player.GetPositionMinutes(), 0);
    EXPECT_EQ(player.GetPositionSeconds(), 59);
    // The position is unsigned: the largest one still gives sane numbers.
    mci.position = 0xFFFFFFFFu;
    EXPECT_EQ(player.GetPositionMinutes(), 71582);
    EXPECT_EQ(player.GetPositionSeconds(), 47);

    mci.errors[mci::kStatus] = 263;
    EXPECT_EQ(player.GetPositionMinutes(), -1);
    EXPECT_EQ(player.GetPositionSeconds(), -1);
}

TEST(MidiPlayerClose, StopsBeforeClosingOnceStartedEvenAfterTheTuneEnded)
{
    RecordingMci mci;
    CMidiPlayer player(mci);
    ASSERT_TRUE(player.Open(kTune));
    ASSERT_TRUE(player.Play());
    mci.position = 40000; // the tune is over; the device is silent
    mci.sent.clear();
    EXPECT_TRUE(player.Close());
    ASSERT_EQ(mci.sent.size(), 2u);
    EXPECT_EQ(mci.sent[0].cmd, (Cmd{7, mci::kStop, 0, false}));
    EXPECT_EQ(mci.sent[1].cmd, (Cmd{7, mci::kClose, 0, false}));
    EXPECT_FALSE(player.IsOpen());
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(player.DeviceId(), 0);

    EXPECT_FALSE(player.Close());
    EXPECT_EQ(mci.sent.size(), 2u);
}

TEST(MidiPlayerClose, ResultsOfStopAndCloseAreIgnored)
{
    RecordingMci mci;
    CMidiPlayer player(mci);
    ASSERT_TRUE(player.Open(kTune));
    ASSERT_TRUE(player.Play());
    mci.errors[mci::kStop] = 263;
    mci.errors[mci::kClose] = 263;
    EXPECT_TRUE(player.Close());
    EXPECT_FALSE(player.IsOpen());
}

TEST(MidiPlayerPause, StopsKeepingThePositionAndResumesFromItExactly)
{
    RecordingMci mci;
    CMidiPlayer player(mci);
    ASSERT_TRUE(player.Open(kTune));
    ASSERT_TRUE(player.Play());
    mci.position = 75600;
    mci.sent.clear();

    ASSERT_TRUE(player.Pause());
    EXPECT_TRUE(player.IsPaused());
    EXPECT_FALSE(player.IsPlaying());
    ASSERT_EQ(mci.Commands(), (Cmds{mci::kStatus, mci::kStop}));
    EXPECT_EQ(mci.sent[0].value, 2u); // position, asked before the stop
    EXPECT_EQ(mci.sent[1].cmd, (Cmd{7, mci::kStop, 0, false}));

    // The stop may rewind the device; the kept position counts.
    mci.position = 0;
    mci.sent.clear();
    ASSERT_TRUE(player.Resume());
    EXPECT_FALSE(player.IsPaused());
    EXPECT_TRUE(player.IsPlaying());
    ASSERT_EQ(mci.sent.size(), 1u);
    EXPECT_EQ(mci.sent[0].cmd, (Cmd{7, mci::kPlay, mci::kFrom, true}));
    EXPECT_EQ(mci.sent[0].value, 75600u);
    EXPECT_EQ(mci.sent[0].callback, 0u);
}

TEST(MidiPlayerPause, RepeatedOrUnmatchedCallsSendNothing)
{
    RecordingMci mci;
    CMidiPlayer player(mci);
    EXPECT_FALSE(player.Pause());
    EXPECT_FALSE(player.Resume());
    ASSERT_TRUE(player.Open(kTune));
    mci.sent.clear();
    EXPECT_FALSE(player.Pause()) << "opened but never started";
    EXPECT_FALSE(player.Resume());
    EXPECT_TRUE(mci.sent.empty());

    ASSERT_TRUE(player.Play());
    ASSERT_TRUE(player.Pause());
    mci.sent.clear();
    EXPECT_FALSE(player.Pause());
    EXPECT_TRUE(mci.sent.empty());
    ASSERT_TRUE(player.Resume());
    mci.sent.clear();
    EXPECT_FALSE(player.Resume());
    EXPECT_TRUE(mci.sent.empty());

    // Closing a paused player sends no second stop, and forgets the pause.
    ASSERT_TRUE(player.Pause());
    mci.sent.clear();
    EXPECT_TRUE(player.Close());
    EXPECT_EQ(mci.Commands(), (Cmds{mci::kClose}));
    EXPECT_FALSE(player.IsPaused());
    ASSERT_TRUE(player.Open(kTune));
    mci.sent.clear();
    EXPECT_FALSE(player.Resume());
    EXPECT_TRUE(mci.sent.empty());
}

TEST(MidiPlayerPause, UnknownPositionResumesFromTheStartAndARefusedResumeStaysSilent)
{
    RecordingMci mci;
    CMidiPlayer player(mci);
    ASSERT_TRUE(player.Open(kTune));
    ASSERT_TRUE(player.Play());
    mci.position = 75600;
    mci.errors[mci::kStatus] = 263;
    ASSERT_TRUE(player.Pause());
    mci.errors.clear();
    ASSERT_TRUE(player.Resume());
    EXPECT_EQ(mci.sent.back().cmd.command, mci::kPlay);
    EXPECT_EQ(mci.sent.back().value, 0u);

    ASSERT_TRUE(player.Pause());
    mci.errors[mci::kPlay] = 276;
    EXPECT_FALSE(player.Resume());
    EXPECT_FALSE(player.IsPaused());
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_TRUE(player.IsOpen());
    mci.sent.clear();
    EXPECT_FALSE(player.Resume());
    EXPECT_TRUE(mci.sent.empty());
}

TEST(MidiPlayerLifecycle, CycleRestartReopensAndPlaysFromTheBeginning)
{
    RecordingMci mci;
    {
        CMidiPlayer player(mci);
        ASSERT_TRUE(player.Open(kTune));
        ASSERT_TRUE(player.Play());
        mci.position = 28300;
        mci.nextDevice = 9;
        mci.sent.clear();

        player.Close();
        ASSERT_TRUE(player.Open(kTune));
        mci.position = 0;
        ASSERT_TRUE(player.Play());
        EXPECT_EQ(mci.Commands(), (Cmds{mci::kStop, mci::kClose, mci::kOpen, mci::kSet,
                                        mci::kSeek, mci::kStatus, mci::kPlay}));
        EXPECT_EQ(mci.sent[0].cmd.device, 7u);
        EXPECT_EQ(mci.sent.back().cmd.device, 9u);
        EXPECT_EQ(mci.sent.back().value, 0u);
        mci.sent.clear();
    }
    // Destruction closes the device it still holds.
    ASSERT_EQ(mci.sent.size(), 2u);
    EXPECT_EQ(mci.sent[0].cmd, (Cmd{9, mci::kStop, 0, false}));
    EXPECT_EQ(mci.sent[1].cmd, (Cmd{9, mci::kClose, 0, false}));
}

} // namespace
