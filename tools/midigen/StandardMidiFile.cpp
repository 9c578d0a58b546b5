#include "tools/midigen/StandardMidiFile.h"

#include <algorithm>
#include <stdexcept>

namespace {

void AppendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint8_t DataByte(int value)
{
    if (value < 0 || value > 127)
        throw std::out_of_range("MIDI data byte out of range");
    return static_cast<std::uint8_t>(value);
}

std::uint8_t Status(int kind, int channel)
{
    if (channel < 0 || channel > 15)
        throw std::out_of_range("MIDI channel out of range");
    return static_cast<std::uint8_t>(kind | channel);
}

} // namespace

void AppendVariableLength(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    if (value > 0x0FFFFFFF)
        throw std::out_of_range("delta time beyond 28 bits");
    std::uint8_t groups[4];
    int count = 0;
    do {
        groups[count++] = value & 0x7F;
        value >>= 7;
    } while (value != 0);
    while (count > 1)
        out.push_back(groups[--count] | 0x80);
    out.push_back(groups[0]);
}

void CMidiTrack::Add(std::uint32_t tick, int rank, std::vector<std::uint8_t> bytes)
{
    m_events.push_back({tick, rank, static_cast<std::uint32_t>(m_events.size()), std::move(bytes)});
}

void CMidiTrack::TrackName(const std::string& name)
{
    std::vector<std::uint8_t> bytes{0xFF, 0x03};
    AppendVariableLength(bytes, static_cast<std::uint32_t>(name.size()));
    bytes.insert(bytes.end(), name.begin(), name.end());
    Add(0, 0, std::move(bytes));
}

void CMidiTrack::Tempo(std::uint32_t microsecondsPerQuarter)
{
    std::vector<std::uint8_t> bytes{0xFF, 0x51, 0x03};
    AppendBigEndian(bytes, microsecondsPerQuarter, 3);
    Add(0, 0, std::move(bytes));
}

void CMidiTrack::TimeSignature(int numerator, int denominatorPower)
{
    // 24 clocks per metronome click, 8 thirty-seconds per quarter.
    Add(0, 0, {0xFF, 0x58, 0x04, DataByte(numerator), DataByte(denominatorPower), 24, 8});
}

void CMidiTrack::Program(int channel, int program)
{
    Add(0, 0, {Status(0xC0, channel), DataByte(program)});
}

void CMidiTrack::Controller(int channel, int controller, int value)
{
    Add(0, 0, {Status(0xB0, channel), DataByte(controller), DataByte(value)});
}

void CMidiTrack::Note(int channel, std::uint32_t tick, std::uint32_t length, int pitch,
                      int velocity)
{
    if (length == 0 || velocity == 0)
        throw std::invalid_argument("a note needs a length and a velocity");
    Add(tick, 2, {Status(0x90, channel), DataByte(pitch), DataByte(velocity)});
    // Note-on with velocity 0 is the release every reader understands.
    Add(tick + length, 1, {Status(0x90, channel), DataByte(pitch), 0});
}

std::vector<std::uint8_t> CMidiTrack::Chunk(std::uint32_t endTick) const
{
    std::vector<const Event*> order;
    for (const auto& e : m_events)
        order.push_back(&e);
    std::sort(order.begin(), order.end(), [](const Event* a, const Event* b) {
        if (a->tick != b->tick)
            return a->tick < b->tick;
        if (a->rank != b->rank)
            return a->rank < b->rank;
        return a->serial < b->serial;
    });

    std::vector<std::uint8_t> body;
    std::uint32_t now = 0;
    for (const Event* e : order) {
        if (e->tick > endTick)
            throw std::out_of_range("event after the end of the track");
        AppendVariableLength(body, e->tick - now);
        body.insert(body.end(), e->bytes.begin(), e->bytes.end());
        now = e->tick;
    }
    AppendVariableLength(body, endTick - now);
    body.insert(body.end(), {0xFF, 0x2F, 0x00});

    std::vector<std::uint8_t> chunk{'M', 'T', 'r', 'k'};
    AppendBigEndian(chunk, static_cast<std::uint32_t>(body.size()), 4);
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
}

std::vector<std::uint8_t> StandardMidiFile(int ticksPerQuarter,
                                           const std::vector<std::vector<std::uint8_t>>& chunks)
{
    std::vector<std::uint8_t> file{'M', 'T', 'h', 'd', 0, 0, 0, 6};
    AppendBigEndian(file, 1, 2);
    AppendBigEndian(file, static_cast<std::uint32_t>(chunks.size()), 2);
    AppendBigEndian(file, static_cast<std::uint32_t>(ticksPerQuarter), 2);
    for (const auto& chunk : chunks)
        file.insert(file.end(), chunk.begin(), chunk.end());
    return file;
}
