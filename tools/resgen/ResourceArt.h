// The binary resources of Morva.scr, drawn by code so that they can be made
// again byte for byte: the program icon, the invisible pointer and the
// preview tile. Each function returns the complete file (.ico, .cur, .bmp).
#pragma once

#include <cstdint>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// Icon 128: a falling water drop over ripple rings, 32 x 32 and 16 x 16,
// each at 32 bits per pixel with alpha and at 256 colours for older
// systems, all with an AND mask.
Bytes MakeMainIcon();

// Cursor 129: one 32 x 32 monochrome cursor, hot spot (0, 0), AND mask all
// ones and XOR mask all zeros, so nothing of the pointer is drawn.
Bytes MakeBlankCursor();

// Bitmap 135: 157 x 113 pixels, 8 bits per pixel with 256 colours; ripple
// rings and a drop on black, so that tiles meet seamlessly on black.
Bytes MakeTileBitmap();

constexpr int kTileWidth = 157;
constexpr int kTileHeight = 113;
