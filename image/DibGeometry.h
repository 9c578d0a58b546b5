// Geometry and colours of device-independent bitmaps, without the platform:
// colour-table sizes, padded row lengths, the default 256-colour palette and
// the 54-byte header of the screen capture file.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

// Colour-table entries a bit depth implies: 2, 16, 256, or 0 for the rest.
int ColorTableSize(int bitCount);

// Colour-table entries a header actually carries: `clrUsed` when it is
// non-zero and no more than the depth allows, the full table otherwise.
int DeclaredColorCount(int bitCount, std::uint32_t clrUsed);

// Bytes per row padded to a multiple of 4: (width * bitCount + 31) & ~31, / 8.
// Negative for sizes whose rows would not fit in 31 bits.
int RowBytes(int width, int bitCount);

struct PaletteColor {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    std::uint8_t flags;
};

// The default palette: 16 fixed colours, a 6 x 6 x 6 cube, a 24-step grey
// ramp, cut to `count` entries; a count of 0 or less, or above 256, is 256.
std::vector<PaletteColor> DefaultPaletteColors(int count);

// The capture file: a 14-byte file header and a 40-byte info header, then the
// pixel rows bottom row first. Row size is RowBytes of the screen width at
// the capture's bit depth.
constexpr std::uint32_t kCaptureHeaderBytes = 54;

struct CaptureLayout {
    std::uint32_t rowBytes = 0;
    std::uint32_t imageBytes = 0;
    std::uint32_t fileBytes = 0;
};

// False when the size cannot be described in a BMP file (non-positive sizes,
// a bit depth other than 16, 24 or 32, or more than 4 GiB of pixels).
bool ComputeCaptureLayout(int width, int height, int bitCount, CaptureLayout& layout);

std::array<std::uint8_t, kCaptureHeaderBytes> MakeCaptureHeader(int width, int height, int bitCount,
                                                                const CaptureLayout& layout);

// Screens of 8 or fewer bits per pixel need a colour table, which the file
// has no room for; they are captured at 32 bits instead.
int CaptureBitCount(int screenBitCount);
