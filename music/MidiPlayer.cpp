// The MIDI player's command sequences. The device is the only resource it
// owns; it keeps no copy of the file name.
#include "music/MidiPlayer.h"

bool CMidiPlayer::Open(const char* path)
{
    if (m_bOpen)
        return false;
    m_bPlaying = false;
    m_wDeviceID = 0;
    if (!m_pMci->FileExists(path))
        return false;

    mci::OpenParms open{};
    // The device type travels as a number in the string pointer.
    open.lpstrDeviceType = reinterpret_cast<const char*>(
        static_cast<std::uintptr_t>(mci::kDevTypeSequencer));
    open.lpstrElementName = path;
    if (m_pMci->SendCommand(0, mci::kOpen,
                            mci::kWait | mci::kOpenElement | mci::kOpenType | mci::kOpenTypeId,
                            &open) != 0)
        return false;
    m_wDeviceID = static_cast<std::uint16_t>(open.wDeviceID);
    m_bOpen = true;

    mci::SetParms set{};
    set.dwTimeFormat = mci::kFormatMilliseconds;
    if (m_pMci->SendCommand(m_wDeviceID, mci::kSet, mci::kSetTimeFormat, &set) != 0) {
        Close();
        return false;
    }

    // The sequencer refuses a seek without a parameter block, even one the
    // seek-to-start flag does not read.
    mci::SeekParms seek{};
    m_pMci->SendCommand(m_wDeviceID, mci::kSeek, mci::kSeekToStart, &seek);
    return true;
}

bool CMidiPlayer::Close()
{
    if (!m_bOpen)
        return false;
    if (m_bPlaying)
        m_pMci->SendCommand(m_wDeviceID, mci::kStop, 0, nullptr);
    m_pMci->SendCommand(m_wDeviceID, mci::kClose, 0, nullptr);
    m_bOpen = false;
    m_bPlaying = false;
    m_bPaused = false;
    m_wDeviceID = 0;
    return true;
}

bool CMidiPlayer::Play()
{
    if (!m_bOpen)
        return false;
    // One query, so that minutes and seconds come from the same moment; a
    // device that cannot tell its position plays from the start.
    std::uint32_t position = 0;
    if (!QueryPosition(position))
        position = 0;

    mci::PlayParms play{};
    play.dwFrom = position / 1000 * 1000;
    // Neither wait nor notify: the command returns while the device plays.
    if (m_pMci->SendCommand(m_wDeviceID, mci::kPlay, mci::kFrom, &play) != 0)
        return false;
    m_bPlaying = true;
    m_bPaused = false;
    return true;
}

// The sequencer has a pause command but no resume: Windows' sequencer does
// not support MCI_RESUME, and Wine's player thread spins on a processor for
// as long as its device is paused. So a pause is a stop, with the position
// read before it for the play that resumes.
bool CMidiPlayer::Pause()
{
    if (!m_bOpen || !m_bPlaying)
        return false;
    std::uint32_t position = 0;
    if (!QueryPosition(position))
        position = 0;
    m_pMci->SendCommand(m_wDeviceID, mci::kStop, 0, nullptr);
    m_nPausedAt = position;
    m_bPlaying = false;
    m_bPaused = true;
    return true;
}

bool CMidiPlayer::Resume()
{
    if (!m_bPaused)
        return false;
    m_bPaused = false;
    mci::PlayParms play{};
    play.dwFrom = m_nPausedAt;
    if (m_pMci->SendCommand(m_wDeviceID, mci::kPlay, mci::kFrom, &play) != 0)
        return false;
    m_bPlaying = true;
    return true;
}

int CMidiPlayer::GetPositionMinutes()
{
    std::uint32_t position = 0;
    if (!QueryPosition(position))
        return -1;
    return static_cast<int>(position / 60000);
}

int CMidiPlayer::GetPositionSeconds()
{
    std::uint32_t position = 0;
    if (!QueryPosition(position))
        return -1;
    return static_cast<int>(position / 1000 % 60);
}

bool CMidiPlayer::QueryPosition(std::uint32_t& milliseconds)
{
    if (!m_bOpen)
        return false;
    mci::StatusParms status{};
    status.dwItem = mci::kStatusPosition;
    if (m_pMci->SendCommand(m_wDeviceID, mci::kStatus, mci::kStatusItem | mci::kWait,
                            &status) != 0)
        return false;
    // The position is a 32-bit count however wide the field.
    milliseconds = static_cast<std::uint32_t>(status.dwReturn);
    return true;
}
