// The show's default background tune, "Still Water": twelve bars in D major
// at 72 beats a minute for warm pad, harp ripples, celesta and fretless
// bass, about 42 seconds. The first phrase closes on the tonic after eight
// bars (26.7 s), just before a mode-1 cycle restarts the tune; the whole
// tune fits a mode-2 cycle. It begins and ends on the same chord.
#pragma once

#include <cstdint>
#include <vector>

constexpr int kTuneTicksPerQuarter = 480;
constexpr std::uint32_t kTuneMicrosecondsPerQuarter = 833333; // 72 per minute
constexpr std::uint32_t kTuneLengthTicks = 12 * 1920 + 960;   // twelve bars and a half

// The standard MIDI file (format 1) of the tune; the same bytes every time.
std::vector<std::uint8_t> ComposeDefaultTune();
