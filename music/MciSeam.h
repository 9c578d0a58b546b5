// The narrow path between the MIDI player and the multimedia command
// interface: the command and flag values and parameter blocks of the MCI
// sequencer commands the player sends, and the seam through which it sends
// them. Platform-free; on 32-bit Windows the blocks have the layout of the
// system's own, so the Win32 seam hands them to mciSendCommandA unchanged.
#pragma once

#include <cstdint>

namespace mci {

using DeviceId = std::uint32_t;
using Error = std::uint32_t; // 0 is success

// Commands.
constexpr std::uint32_t kOpen = 0x0803;
constexpr std::uint32_t kClose = 0x0804;
constexpr std::uint32_t kPlay = 0x0806;
constexpr std::uint32_t kSeek = 0x0807;
constexpr std::uint32_t kStop = 0x0808;
constexpr std::uint32_t kSet = 0x080D;
constexpr std::uint32_t kStatus = 0x0814;

// Flags.
constexpr std::uint32_t kFrom = 0x00000004;
constexpr std::uint32_t kWait = 0x00000002;
constexpr std::uint32_t kOpenElement = 0x00000200;
constexpr std::uint32_t kOpenTypeId = 0x00001000;
constexpr std::uint32_t kOpenType = 0x00002000;
constexpr std::uint32_t kSeekToStart = 0x00000100;
constexpr std::uint32_t kSetTimeFormat = 0x00000400;
constexpr std::uint32_t kStatusItem = 0x00000100;

// Values carried in the blocks.
constexpr std::uint32_t kDevTypeSequencer = 523;
constexpr std::uint32_t kFormatMilliseconds = 0;
constexpr std::uint32_t kStatusPosition = 2;

// Parameter blocks. Pointer-sized fields are DWORD_PTR or string pointers
// in the system's declarations.
struct OpenParms {
    std::uintptr_t dwCallback;
    DeviceId wDeviceID;
    // With kOpenTypeId this "string" is the device type number itself.
    const char* lpstrDeviceType;
    const char* lpstrElementName;
    const char* lpstrAlias;
};

struct SetParms {
    std::uintptr_t dwCallback;
    std::uint32_t dwTimeFormat;
    std::uint32_t dwAudio;
};

struct StatusParms {
    std::uintptr_t dwCallback;
    std::uintptr_t dwReturn;
    std::uint32_t dwItem;
    std::uint32_t dwTrack;
};

struct PlayParms {
    std::uintptr_t dwCallback;
    std::uint32_t dwFrom;
    std::uint32_t dwTo;
};

struct SeekParms {
    std::uintptr_t dwCallback;
    std::uint32_t dwTo;
};

} // namespace mci

// Everything the player asks of the operating system.
class CMciSeam {
public:
    // One MCI command to `device` (0 for the open command) with its flags
    // and parameter block (null for commands that take none).
    virtual mci::Error SendCommand(mci::DeviceId device, std::uint32_t command,
                                   std::uint32_t flags, void* params) = 0;
    // Whether `path` names an existing file.
    virtual bool FileExists(const char* path) = 0;

protected:
    ~CMciSeam() = default;
};

// The seam to the system's multimedia library; defined only in the Win32
// build.
CMciSeam& SystemMciSeam();
