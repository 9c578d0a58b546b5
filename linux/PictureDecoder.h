// One pass of gdk-pixbuf's loader over a picture file: its header (format,
// size, EXIF orientation) or its pixels decoded at about the size they will
// be shown at. The file is read in chunks on a thread of its own, so that the
// caller's wait ends at once when a stop descriptor (the signal pipe) becomes
// readable, however slow the file or its decoder is.
#pragma once

#include <cstdint>
#include <string>

typedef struct _GdkPixbuf GdkPixbuf;

// Pictures whose header claims more pixels are not decoded: 16384x16384,
// the largest screen X and the program take.
constexpr uint64_t kMaxPicturePixels = uint64_t(1) << 28;

enum class PassResult {
    Done,
    Failed,  // with a reason
    Stopped, // the stop descriptor became readable first; the pass is abandoned
};

struct PictureHeader {
    std::string format; // gdk-pixbuf's name of it, e.g. "jpeg", "png"
    int storedWidth = 0;
    int storedHeight = 0;
    int orientation = 1; // EXIF 1 to 8, known before decoding for JPEG only
    // The size as shown, turned upright.
    int Width() const { return SwapsSides() ? storedHeight : storedWidth; }
    int Height() const { return SwapsSides() ? storedWidth : storedHeight; }
    bool SwapsSides() const { return orientation >= 5 && orientation <= 8; }
};

struct DecodedPicture {
    GdkPixbuf* pixbuf = nullptr; // upright; owned by whoever holds it
    bool whole = false;          // at the picture's own size, not scaled down
    bool incomplete = false;     // the data ended early: the rest is grey
    int width = 0;               // the picture's own size, upright
    int height = 0;
};

// Reads the header of `path`: its format and size, and for JPEG the EXIF
// orientation. Failed, with the reason, for a file that cannot be read, is
// not a picture or claims more than kMaxPicturePixels.
PassResult ReadPictureHeader(const std::string& path, int stopFd, PictureHeader& header, std::string& reason);

// Decodes `path`, upright, at no less than `width` x `height` where the
// picture has that many pixels, and at not much more: JPEG is scaled by its
// decoder (by 1/2, 1/4 or 1/8), other formats are decoded whole and scaled
// down after. `header` is what ReadPictureHeader found.
PassResult DecodePicture(const std::string& path, const PictureHeader& header, int width, int height, int stopFd,
                         DecodedPicture& picture, std::string& reason);
