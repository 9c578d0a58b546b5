// The MIDI player's seam to the system: mciSendCommandA for the commands
// and the file system for the existence check.
#include "music/MciSeam.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstddef>

#define MORVA_SAME_FIELD(ours, theirs, field)                                              \
    static_assert(offsetof(ours, field) == offsetof(theirs, field)                        \
                      && sizeof(ours::field) == sizeof(theirs::field),                     \
                  #ours "::" #field " differs from the system's block")

static_assert(sizeof(mci::OpenParms) == sizeof(MCI_OPEN_PARMSA));
MORVA_SAME_FIELD(mci::OpenParms, MCI_OPEN_PARMSA, dwCallback);
MORVA_SAME_FIELD(mci::OpenParms, MCI_OPEN_PARMSA, wDeviceID);
MORVA_SAME_FIELD(mci::OpenParms, MCI_OPEN_PARMSA, lpstrDeviceType);
MORVA_SAME_FIELD(mci::OpenParms, MCI_OPEN_PARMSA, lpstrElementName);
MORVA_SAME_FIELD(mci::OpenParms, MCI_OPEN_PARMSA, lpstrAlias);
static_assert(sizeof(mci::SetParms) == sizeof(MCI_SET_PARMS));
MORVA_SAME_FIELD(mci::SetParms, MCI_SET_PARMS, dwCallback);
MORVA_SAME_FIELD(mci::SetParms, MCI_SET_PARMS, dwTimeFormat);
MORVA_SAME_FIELD(mci::SetParms, MCI_SET_PARMS, dwAudio);
static_assert(sizeof(mci::StatusParms) == sizeof(MCI_STATUS_PARMS));
MORVA_SAME_FIELD(mci::StatusParms, MCI_STATUS_PARMS, dwCallback);
MORVA_SAME_FIELD(mci::StatusParms, MCI_STATUS_PARMS, dwReturn);
MORVA_SAME_FIELD(mci::StatusParms, MCI_STATUS_PARMS, dwItem);
MORVA_SAME_FIELD(mci::StatusParms, MCI_STATUS_PARMS, dwTrack);
static_assert(sizeof(mci::PlayParms) == sizeof(MCI_PLAY_PARMS));
MORVA_SAME_FIELD(mci::PlayParms, MCI_PLAY_PARMS, dwCallback);
MORVA_SAME_FIELD(mci::PlayParms, MCI_PLAY_PARMS, dwFrom);
MORVA_SAME_FIELD(mci::PlayParms, MCI_PLAY_PARMS, dwTo);
static_assert(sizeof(mci::SeekParms) == sizeof(MCI_SEEK_PARMS));
MORVA_SAME_FIELD(mci::SeekParms, MCI_SEEK_PARMS, dwCallback);
MORVA_SAME_FIELD(mci::SeekParms, MCI_SEEK_PARMS, dwTo);

static_assert(mci::kOpen == MCI_OPEN && mci::kClose == MCI_CLOSE && mci::kPlay == MCI_PLAY
              && mci::kSeek == MCI_SEEK && mci::kStop == MCI_STOP && mci::kSet == MCI_SET
              && mci::kStatus == MCI_STATUS);
static_assert(mci::kFrom == MCI_FROM && mci::kWait == MCI_WAIT
              && mci::kOpenElement == MCI_OPEN_ELEMENT && mci::kOpenTypeId == MCI_OPEN_TYPE_ID
              && mci::kOpenType == MCI_OPEN_TYPE && mci::kSeekToStart == MCI_SEEK_TO_START
              && mci::kSetTimeFormat == MCI_SET_TIME_FORMAT
              && mci::kStatusItem == MCI_STATUS_ITEM);
static_assert(mci::kDevTypeSequencer == MCI_DEVTYPE_SEQUENCER
              && mci::kFormatMilliseconds == MCI_FORMAT_MILLISECONDS
              && mci::kStatusPosition == MCI_STATUS_POSITION);

namespace {

class CWinMciSeam final : public CMciSeam {
public:
    mci::Error SendCommand(mci::DeviceId device, std::uint32_t command, std::uint32_t flags,
                           void* params) override
    {
        return mciSendCommandA(device, command, flags, reinterpret_cast<DWORD_PTR>(params));
    }

    bool FileExists(const char* path) override
    {
        const DWORD attributes = GetFileAttributesA(path);
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
};

// Stateless, so one object serves every player.
CWinMciSeam g_systemSeam;

} // namespace

CMciSeam& SystemMciSeam()
{
    return g_systemSeam;
}
