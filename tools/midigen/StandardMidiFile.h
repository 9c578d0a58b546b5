// A small writer of standard MIDI files: tracks of timed channel and meta
// events, serialised with variable-length delta times.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CMidiTrack {
public:
    void TrackName(const std::string& name);
    void Tempo(std::uint32_t microsecondsPerQuarter);
    void TimeSignature(int numerator, int denominatorPower);
    void Program(int channel, int program);
    void Controller(int channel, int controller, int value);
    // A note from `tick` for `length` ticks.
    void Note(int channel, std::uint32_t tick, std::uint32_t length, int pitch, int velocity);
    // The track's events in time order, closed by an end-of-track at `endTick`.
    std::vector<std::uint8_t> Chunk(std::uint32_t endTick) const;

private:
    struct Event {
        std::uint32_t tick;
        int rank; // at one tick: set-up, then releases, then new notes
        std::uint32_t serial;
        std::vector<std::uint8_t> bytes;
    };
    void Add(std::uint32_t tick, int rank, std::vector<std::uint8_t> bytes);

    std::vector<Event> m_events;
};

// Format 1 file with `ticksPerQuarter` resolution; the first track is the
// conductor track.
std::vector<std::uint8_t> StandardMidiFile(int ticksPerQuarter,
                                           const std::vector<std::vector<std::uint8_t>>& chunks);

void AppendVariableLength(std::vector<std::uint8_t>& out, std::uint32_t value);
