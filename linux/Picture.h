// The picture under the water: a file, decoded at the size shown by the
// picture decoder in a process of its own (linux/DecoderProcess.h) under
// hard limits, or pixels given. The file is opened once, whatever it is (a
// FIFO is read once); the frame decoded last is kept, and a size asked
// later is decoded again from a file that can be read again, or stretched
// from the one kept. Front ends with several outputs of different sizes
// share one picture. The decoder is a source of the front end's event loop:
// its descriptor is watched there and its deadline kept there, so that the
// front end goes on (covering its outputs, taking input, seeing its server
// go) while the picture comes.
#pragma once

#include "linux/DecoderProcess.h"
#include "linux/EventLoop.h"

#include <cstdint>
#include <string>
#include <vector>

class CPicture {
public:
    // Its decoders are waited for in `loop`: each one's descriptor is
    // watched there while it runs. `decoder`: the decoder program.
    explicit CPicture(CEventLoop& loop, std::string decoder = DecoderProgram())
        : m_loop(loop), m_process(std::move(decoder))
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

    // Whether Stretch has the picture over `width` x `height` now.
    bool Ready(int width, int height) const;
    // The picture over `width` x `height` is wanted: the decode it needs
    // starts now, at that size (or larger, to cover the sizes decoded
    // before), unless another runs; ask again, each round, until Ready.
    void Ask(int width, int height);
    // Once a round of the loop, before it waits: a decode past its deadline
    // is given up, and the loop is to wake by the deadline of the one that
    // runs.
    void Update(int64_t now);

    // The picture over `width` x `height` in the engine's layout: rows
    // bottom-up, 0x00RRGGBB, transparent parts over black. A file whose
    // decode fails gives one line on stderr and the shipped picture; one
    // whose data ends early, one line and the part that was decoded. False,
    // with the dark colour, while it is not Ready.
    bool Stretch(int width, int height, std::vector<uint32_t>& frame);

    static constexpr uint32_t kDarkColor = 0x00102030;

private:
    static void OnDecoder(void* owner, short revents);

    // The kept frame serves `width` x `height`.
    bool Covers(int width, int height) const;
    // The decoder ended, or its deadline passed: its frame kept, or why not.
    void Finished();
    // The file cannot be decoded for `width` x `height` because of
    // `reason`: one line, and what is shown instead.
    void Failed(int width, int height, const std::string& reason);
    // A running decoder killed at once, its folder removed.
    void Stop();
    void Clear();

    CEventLoop& m_loop;
    CDecoderProcess m_process;
    int m_nDecodingWidth = 0; // the size the running decoder makes
    int m_nDecodingHeight = 0;
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
void LoadPictureOrShipped(CPicture& picture, const std::string& file);
