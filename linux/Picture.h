// The picture under the water: a file decoded with gdk-pixbuf (the loader the
// screen-saver daemon's own image tools use: JPEG, PNG and many more, EXIF
// orientation), or pixels given. A file's header is read and checked first;
// its pixels are decoded at about the size they are shown at, and only that
// is kept; a larger size asked later is decoded again from the file. Front
// ends with several outputs of different sizes share one picture.
#pragma once

#include "linux/PictureDecoder.h"
#include "linux/SignalPipe.h"

#include <cstdint>
#include <string>
#include <vector>

class CPicture {
public:
    // Every wait for the file or its decoder ends when `stopFd` becomes
    // readable: by default the program's signal pipe.
    explicit CPicture(int stopFd = SignalPipeFd()) : m_stopFd(stopFd) {}
    ~CPicture();
    CPicture(const CPicture&) = delete;
    CPicture& operator=(const CPicture&) = delete;

    // Shows the file `path` from now on; its header is read and checked at
    // once. False, with the reason and nothing to show, when it cannot be
    // read, is not a picture or claims more than kMaxPicturePixels; false
    // with no reason when a signal came first (Stopped).
    bool Load(const std::string& path, std::string& reason);
    // Shows top-down 0x00RRGGBB pixels (the daemon's image choice).
    bool FromPixels(const std::vector<uint32_t>& pixels, int width, int height);
    // Nothing to show: Stretch gives the plain dark colour.
    bool Empty() const { return m_path.empty() && !m_kept; }
    // The picture's own size, upright.
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    // A signal came while it waited: the program is to end, and every call
    // returns at once from now on.
    bool Stopped() const { return m_bStopped; }

    // The picture over `width` x `height` in the engine's layout: rows
    // bottom-up, 0x00RRGGBB, transparent parts over black. A picture of that
    // size is taken as it is; any other is scaled bilinearly. A file whose
    // decode fails gives one line on stderr and the shipped picture; one
    // whose data ends early, one line and the part that was decoded. False,
    // with the dark colour, when a signal came first.
    bool Stretch(int width, int height, std::vector<uint32_t>& frame);

    static constexpr uint32_t kDarkColor = 0x00102030;

private:
    // The kept decode has enough pixels for `width` x `height`.
    bool Covers(int width, int height) const;
    // Decodes the file for at least `width` x `height`; false when stopped.
    bool Decode(int width, int height);
    void Keep(GdkPixbuf* pixbuf, bool whole);
    void Clear();

    int m_stopFd;
    bool m_bStopped = false;
    std::string m_path; // empty: no file (pixels given, or nothing)
    PictureHeader m_header;
    int m_nWidth = 0;
    int m_nHeight = 0;
    GdkPixbuf* m_kept = nullptr;
    bool m_bKeptWhole = false;
    int m_nDecodedForWidth = 0; // the largest size a decode was asked for
    int m_nDecodedForHeight = 0;
    bool m_bToldIncomplete = false;
};

// Where the shipped picture is: beside the program, else in the data folder.
std::vector<std::string> ShippedPictureFiles();

// The picture file `file` (none when empty), else the shipped picture, else
// none (the plain dark colour), with a line on stderr for each that fails.
// False when a signal came first.
bool LoadPictureOrShipped(CPicture& picture, const std::string& file);
