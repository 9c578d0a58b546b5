// The picture under the water: a file, decoded at the size shown by the
// picture decoder in a process of its own (linux/DecoderProcess.h) under
// hard limits, or pixels given. The file is opened once, whatever it is (a
// FIFO is read once); the frame decoded last is kept, and a size asked
// later is decoded again from a file that can be read again, or stretched
// from the one kept. Front ends with several outputs of different sizes
// share one picture.
#pragma once

#include "linux/DecoderProcess.h"
#include "linux/SignalPipe.h"

#include <cstdint>
#include <string>
#include <vector>

class CPicture {
public:
    // Every wait for the decoder ends when `stopFd` becomes readable: by
    // default the program's signal pipe. `decoder`: the decoder program.
    explicit CPicture(int stopFd = SignalPipeFd(), std::string decoder = DecoderProgram())
        : m_stopFd(stopFd), m_decoder(std::move(decoder))
    {
    }
    ~CPicture();
    CPicture(const CPicture&) = delete;
    CPicture& operator=(const CPicture&) = delete;

    // Shows the file `path` from now on: it is opened here, without waiting
    // for a writer, and read when a size is asked. False, with the reason,
    // when it cannot be opened or is a folder.
    bool Load(const std::string& path, std::string& reason);
    // Shows top-down 0x00RRGGBB pixels (the daemon's image choice).
    bool FromPixels(const std::vector<uint32_t>& pixels, int width, int height);
    // Nothing to show: Stretch gives the plain dark colour.
    bool Empty() const { return m_fd < 0 && m_kept.empty(); }
    // The picture's own size, upright, once decoded.
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    // A signal came while it waited: the program is to end, and every call
    // returns at once from now on.
    bool Stopped() const { return m_bStopped; }

    // The picture over `width` x `height` in the engine's layout: rows
    // bottom-up, 0x00RRGGBB, transparent parts over black. A file whose
    // decode fails gives one line on stderr and the shipped picture; one
    // whose data ends early, one line and the part that was decoded. False,
    // with the dark colour, when a signal came first.
    bool Stretch(int width, int height, std::vector<uint32_t>& frame);

    static constexpr uint32_t kDarkColor = 0x00102030;

private:
    // The kept frame serves `width` x `height`.
    bool Covers(int width, int height) const;
    // Decodes the file for `width` x `height`; false when stopped.
    bool Decode(int width, int height);
    void Clear();

    int m_stopFd;
    std::string m_decoder;
    bool m_bStopped = false;
    std::string m_path; // the file open, or none
    int m_fd = -1;
    bool m_bRereads = false; // a regular file, read again from its start
    bool m_bRead = false;    // a decoder read it
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::vector<uint32_t> m_kept; // engine layout
    int m_nKeptWidth = 0;
    int m_nKeptHeight = 0;
    bool m_bToldIncomplete = false;
};

// Where the shipped picture is: beside the program, else in the data folder.
std::vector<std::string> ShippedPictureFiles();

// The picture file `file` (none when empty), else the shipped picture, else
// none (the plain dark colour), with a line on stderr for each that fails.
bool LoadPictureOrShipped(CPicture& picture, const std::string& file);
