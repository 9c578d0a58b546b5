#include "tools/midigen/Tune.h"

#include "tools/midigen/StandardMidiFile.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::uint32_t kBar = 1920;
constexpr std::uint32_t kEighth = 240;
constexpr int kBars = 12;

enum Channel { kPad = 0, kHarp = 1, kCelesta = 2, kBass = 3 };

// General MIDI programs, counted from 0.
constexpr int kWarmPad = 89;
constexpr int kOrchestralHarp = 46;
constexpr int kCelestaProgram = 8;
constexpr int kFretlessBass = 35;

struct Chord {
    int bass;
    std::vector<int> pad;
    int ripple[5]; // harp tones, low to high
};

// Names as sounded; pitches are MIDI note numbers (60 = middle C).
const Chord kDmaj9{38, {54, 57, 61, 64}, {50, 57, 64, 66, 73}};
const Chord kBm9{35, {57, 61, 62, 66}, {47, 54, 61, 62, 69}};
const Chord kGmaj7Sharp11{31, {59, 61, 62, 66}, {43, 50, 59, 61, 66}};
const Chord kEm9{40, {55, 59, 62, 66}, {52, 59, 66, 67, 74}};
const Chord kA7sus4{33, {55, 57, 62, 64}, {45, 52, 62, 64, 67}};
const Chord kFsharpm7{42, {57, 61, 64, 66}, {42, 49, 57, 64, 69}};
const Chord kBm7{35, {57, 59, 62, 66}, {47, 54, 62, 69, 71}};
const Chord kAsus4{33, {57, 62, 64}, {45, 52, 62, 64, 69}};
const Chord kGmaj7{43, {54, 59, 62, 67}, {43, 50, 59, 66, 71}};
const Chord kGm6{31, {55, 58, 62, 64}, {43, 50, 58, 64, 67}};

// One chord for the whole bar, or one for each half.
struct Bar {
    const Chord* first;
    const Chord* second;
};

const Bar kHarmony[kBars] = {
    {&kDmaj9, nullptr},       {&kBm9, nullptr},      {&kGmaj7Sharp11, nullptr},
    {&kEm9, &kA7sus4},        {&kDmaj9, nullptr},    {&kFsharpm7, &kBm7},
    {&kEm9, nullptr},         {&kAsus4, &kDmaj9},    {&kGmaj7, nullptr},
    {&kFsharpm7, nullptr},    {&kEm9, &kGm6},        {&kDmaj9, nullptr},
};

struct MelodyNote {
    int bar;
    int eighth;
    int eighths;
    int pitch;
};

const MelodyNote kMelody[] = {
    {0, 4, 2, 78}, {0, 6, 2, 81},
    {1, 0, 6, 76}, {1, 6, 2, 74},
    {2, 0, 4, 78}, {2, 4, 2, 73}, {2, 6, 2, 71},
    {3, 0, 6, 74}, {3, 6, 2, 76},
    {4, 0, 2, 78}, {4, 2, 2, 81}, {4, 4, 4, 85},
    {5, 0, 4, 81}, {5, 4, 4, 78},
    {6, 0, 2, 79}, {6, 2, 2, 78}, {6, 4, 4, 76},
    {7, 0, 4, 76}, {7, 4, 4, 74},
    {8, 0, 2, 83}, {8, 2, 2, 81}, {8, 4, 4, 78},
    {9, 0, 4, 76}, {9, 4, 2, 73}, {9, 6, 2, 76},
    {10, 0, 4, 78}, {10, 4, 2, 82}, {10, 6, 2, 81},
    {11, 0, 12, 78},
};

// The harp rises through the chord and falls back, one tone an eighth; the
// louder crest gives each bar the swell of a passing wave.
constexpr int kRippleUp[4] = {0, 1, 2, 3};
constexpr int kRippleDown[4] = {4, 3, 2, 1};
constexpr int kRippleVelocity[8] = {56, 50, 54, 60, 66, 58, 52, 48};

void SetUp(CMidiTrack& track, const char* name, int channel, int program, int volume, int pan,
           int reverb, int chorus)
{
    track.TrackName(name);
    track.Program(channel, program);
    track.Controller(channel, 7, volume);
    track.Controller(channel, 10, pan);
    track.Controller(channel, 91, reverb);
    track.Controller(channel, 93, chorus);
}

} // namespace

std::vector<std::uint8_t> ComposeDefaultTune()
{
    CMidiTrack conductor;
    conductor.TrackName("Still Water");
    conductor.TimeSignature(4, 2);
    conductor.Tempo(kTuneMicrosecondsPerQuarter);

    CMidiTrack pad, harp, celesta, bass;
    SetUp(pad, "Pad", kPad, kWarmPad, 72, 64, 110, 70);
    SetUp(harp, "Harp", kHarp, kOrchestralHarp, 96, 44, 100, 30);
    SetUp(celesta, "Celesta", kCelesta, kCelestaProgram, 88, 84, 100, 20);
    SetUp(bass, "Bass", kBass, kFretlessBass, 84, 64, 60, 0);

    struct Pluck {
        std::uint32_t tick;
        int pitch;
        int velocity;
    };
    std::vector<Pluck> ripples;
    for (int b = 0; b < kBars; ++b) {
        const std::uint32_t start = b * kBar;
        const bool last = b == kBars - 1;
        const Bar& bar = kHarmony[b];
        const Chord* halves[2] = {bar.first, bar.second ? bar.second : bar.first};

        const auto sustain = [&](const Chord& chord, std::uint32_t at, std::uint32_t length) {
            for (int pitch : chord.pad)
                pad.Note(kPad, at, length, pitch, 44);
            bass.Note(kBass, at, length, chord.bass, 58);
        };
        if (bar.second) {
            sustain(*bar.first, start, kBar / 2);
            sustain(*bar.second, start + kBar / 2, kBar / 2);
        } else {
            // The closing chord is held through the half bar that ends the tune.
            sustain(*bar.first, start, last ? kTuneLengthTicks - start : kBar);
        }

        for (int i = 0; i < 8; ++i) {
            const Chord& chord = *halves[i / 4];
            const int index = i < 4 ? kRippleUp[i] : kRippleDown[i - 4];
            ripples.push_back({start + i * kEighth, chord.ripple[index], kRippleVelocity[i]});
        }
    }
    // A last low tonic for the harp to ring out on.
    ripples.push_back({kBars * kBar, 50, 52});

    // Each harp tone rings for a quarter, or until the string is plucked again.
    for (std::size_t i = 0; i < ripples.size(); ++i) {
        std::uint32_t length = i + 1 == ripples.size() ? kTuneLengthTicks - ripples[i].tick
                                                       : 2 * kEighth;
        for (std::size_t j = i + 1; j < ripples.size() && j <= i + 2; ++j)
            if (ripples[j].pitch == ripples[i].pitch)
                length = std::min(length, ripples[j].tick - ripples[i].tick);
        harp.Note(kHarp, ripples[i].tick, length, ripples[i].pitch, ripples[i].velocity);
    }

    for (const MelodyNote& n : kMelody) {
        const int velocity = n.eighths >= 4 ? 70 : 64;
        celesta.Note(kCelesta, n.bar * kBar + n.eighth * kEighth, n.eighths * kEighth, n.pitch,
                     velocity);
    }

    return StandardMidiFile(kTuneTicksPerQuarter,
                            {conductor.Chunk(kTuneLengthTicks), pad.Chunk(kTuneLengthTicks),
                             harp.Chunk(kTuneLengthTicks), celesta.Chunk(kTuneLengthTicks),
                             bass.Chunk(kTuneLengthTicks)});
}
