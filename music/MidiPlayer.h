// Background music: one MCI sequencer device playing one standard MIDI file
// in the background. Playback reports nothing back; every operation says
// whether it succeeded and the caller is free to ignore it.
#pragma once

#include "music/MciSeam.h"

#include <cstdint>

class CMidiPlayer {
public:
    // The system's multimedia library (Win32 build only).
    CMidiPlayer() : CMidiPlayer(SystemMciSeam()) {}
    explicit CMidiPlayer(CMciSeam& seam) : m_pMci(&seam) {}
    ~CMidiPlayer() { Close(); }

    CMidiPlayer(const CMidiPlayer&) = delete;
    CMidiPlayer& operator=(const CMidiPlayer&) = delete;

    // Opens the sequencer on the file in milliseconds, at the start. False
    // when a device is already open (it goes on untouched), when the file is
    // missing (nothing is sent) or when the device refuses.
    bool Open(const char* path);
    // Stops the tune if it was started, closes the device. False when
    // nothing was open.
    bool Close();
    // Starts playback from the current position cut to whole seconds and
    // returns at once.
    bool Play();
    // Stops a started tune and keeps its position for Resume. False when
    // nothing was started or the tune is paused already.
    bool Pause();
    // Plays a paused tune on from the kept position. False when it is not
    // paused, or when the device refuses (the tune then stays silent until
    // the next Open).
    bool Resume();
    // Whole minutes of the position, and seconds within the minute; -1 when
    // nothing is open or the device cannot tell.
    int GetPositionMinutes();
    int GetPositionSeconds();

    bool IsOpen() const { return m_bOpen; }
    bool IsPlaying() const { return m_bPlaying; }
    bool IsPaused() const { return m_bPaused; }
    std::uint16_t DeviceId() const { return m_wDeviceID; }

private:
    bool QueryPosition(std::uint32_t& milliseconds);

    bool m_bOpen = false;
    // Set once a play command is accepted; stays set when the tune ends.
    bool m_bPlaying = false;
    bool m_bPaused = false;
    std::uint32_t m_nPausedAt = 0; // milliseconds
    std::uint16_t m_wDeviceID = 0;
    CMciSeam* m_pMci;
};
