#include "tools/midigen/StandardMidiFile.h"
#include "tools/midigen/Tune.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// What a strict reader makes of a standard MIDI file.
struct Reading {
    int format = -1;
    int tracks = 0;
    int division = 0;
    std::uint32_t tempo = 500000;
    std::uint32_t lastEnd = 0;  // the latest end-of-track tick
    int notes = 0;
    std::set<int> channels;
    std::set<int> programs;
};

std::uint32_t BigEndian(const Bytes& b, std::size_t at, int n)
{
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = v << 8 | b.at(at + i);
    return v;
}

std::uint32_t VariableLength(const Bytes& b, std::size_t& at)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t byte = b.at(at++);
        v = v << 7 | (byte & 0x7F);
        if (!(byte & 0x80))
            return v;
    }
    ADD_FAILURE() << "variable-length number longer than 4 bytes";
    return v;
}

// Walks every chunk and event; notes must be released, once, in order.
Reading Read(const Bytes& file)
{
    Reading r;
    EXPECT_EQ(BigEndian(file, 0, 4), 0x4D546864u); // MThd
    EXPECT_EQ(BigEndian(file, 4, 4), 6u);
    r.format = static_cast<int>(BigEndian(file, 8, 2));
    r.tracks = static_cast<int>(BigEndian(file, 10, 2));
    r.division = static_cast<int>(BigEndian(file, 12, 2));
    std::size_t at = 14;
    for (int t = 0; t < r.tracks; ++t) {
        EXPECT_EQ(BigEndian(file, at, 4), 0x4D54726Bu) << "track " << t; // MTrk
        const std::uint32_t length = BigEndian(file, at + 4, 4);
        at += 8;
        const std::size_t end = at + length;
        std::uint32_t tick = 0;
        bool ended = false;
        std::map<std::pair<int, int>, std::uint32_t> sounding;
        while (at < end) {
            EXPECT_FALSE(ended) << "event after the end of track " << t;
            tick += VariableLength(file, at);
            const std::uint8_t status = file.at(at++);
            EXPECT_TRUE(status & 0x80) << "running status is not used";
            if (status == 0xFF) {
                const std::uint8_t type = file.at(at++);
                const std::uint32_t n = VariableLength(file, at);
                if (type == 0x51)
                    r.tempo = BigEndian(file, at, 3);
                if (type == 0x2F) {
                    ended = true;
                    r.lastEnd = std::max(r.lastEnd, tick);
                }
                at += n;
                continue;
            }
            const int kind = status & 0xF0;
            const int channel = status & 0x0F;
            r.channels.insert(channel);
            const int data = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
            for (int i = 0; i < data; ++i)
                EXPECT_LT(file.at(at + i), 0x80);
            if (kind == 0xC0)
                r.programs.insert(file.at(at));
            const std::pair<int, int> key{channel, file.at(at)};
            if (kind == 0x90 && file.at(at + 1) > 0) {
                EXPECT_EQ(sounding.count(key), 0u) << "pitch struck twice at tick " << tick;
                sounding[key] = tick;
                ++r.notes;
            } else if (kind == 0x80 || kind == 0x90) {
                EXPECT_EQ(sounding.count(key), 1u) << "release of a silent note at " << tick;
                sounding.erase(key);
            }
            at += data;
        }
        EXPECT_EQ(at, end) << "track " << t << " overruns its length";
        EXPECT_TRUE(ended) << "track " << t << " has no end";
        EXPECT_TRUE(sounding.empty()) << "track " << t << " leaves notes sounding";
    }
    EXPECT_EQ(at, file.size());
    return r;
}

TEST(StandardMidiFile, VariableLengthNumbers)
{
    const std::pair<std::uint32_t, Bytes> cases[] = {
        {0, {0x00}},
        {0x7F, {0x7F}},
        {0x80, {0x81, 0x00}},
        {0x3FFF, {0xFF, 0x7F}},
        {0x200000, {0x81, 0x80, 0x80, 0x00}},
        {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& [value, bytes] : cases) {
        Bytes out;
        AppendVariableLength(out, value);
        EXPECT_EQ(out, bytes) << value;
    }
    Bytes out;
    EXPECT_THROW(AppendVariableLength(out, 0x10000000), std::out_of_range);
}

TEST(StandardMidiFile, TrackOrdersEventsAndReleasesBeforeRestriking)
{
    CMidiTrack track;
    track.Note(0, 480, 480, 60, 100);
    track.Note(0, 0, 480, 60, 90); // added later, sounds first
    track.Program(0, 5);
    const Bytes chunk = track.Chunk(960);
    const Bytes expected{'M', 'T', 'r', 'k', 0, 0, 0, 25,
                         0x00, 0xC0, 5,
                         0x00, 0x90, 60, 90,
                         0x83, 0x60, 0x90, 60, 0,
                         0x00, 0x90, 60, 100,
                         0x83, 0x60, 0x90, 60, 0,
                         0x00, 0xFF, 0x2F, 0x00};
    EXPECT_EQ(chunk, expected);
    EXPECT_THROW(track.Chunk(959), std::out_of_range);
    EXPECT_THROW(track.Note(16, 0, 1, 60, 1), std::out_of_range);
    EXPECT_THROW(track.Note(0, 0, 1, 128, 1), std::out_of_range);
}

TEST(DefaultTune, IsAWellFormedFormat1FileOfAboutFortySeconds)
{
    const Reading r = Read(ComposeDefaultTune());
    EXPECT_EQ(r.format, 1);
    EXPECT_EQ(r.tracks, 5);
    EXPECT_EQ(r.division, kTuneTicksPerQuarter);
    EXPECT_EQ(r.tempo, kTuneMicrosecondsPerQuarter);
    EXPECT_EQ(r.lastEnd, kTuneLengthTicks);
    const double seconds = double(r.lastEnd) / r.division * r.tempo / 1e6;
    // Shorter than a mode-2 cycle of 701 ticks of 60 ms.
    EXPECT_GT(seconds, 30.0);
    EXPECT_LT(seconds, 701 * 0.060);
    EXPECT_EQ(r.channels, (std::set<int>{0, 1, 2, 3}));
    EXPECT_EQ(r.programs.size(), 4u);
    EXPECT_GT(r.notes, 100);
}

TEST(DefaultTune, CommittedFileIsWhatTheGeneratorWrites)
{
    std::ifstream in(MORVA_DEFAULT_TUNE, std::ios::binary);
    ASSERT_TRUE(in) << MORVA_DEFAULT_TUNE;
    const Bytes committed{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_TRUE(committed == ComposeDefaultTune())
        << "regenerate with: cmake --build <build dir> --target default_tune";
}

} // namespace
