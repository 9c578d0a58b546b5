// The engine's frame into a display server's image memory (an X image, a
// Wayland shared-memory buffer): the engine keeps its rows bottom-up as
// 0x00RRGGBB words, those images run top-down with a stride of their own.
// Free of any display server: only the memory layouts meet here.
#pragma once

#include <cstdint>

// A 0x00RRGGBB word as a 5-6-5 pixel, each channel cut to its top bits.
inline uint16_t To565(uint32_t rgb)
{
    return static_cast<uint16_t>(((rgb >> 8) & 0xF800) | ((rgb >> 5) & 0x07E0) | ((rgb >> 3) & 0x001F));
}

// Rows [first, first + count) of the picture as seen from the top, copied
// from the bottom-up `frame` of `width` columns and `height` rows into
// `target`, whose row 0 is the top row and whose rows are `stride` bytes
// apart. The 32-bit copy ORs `fill` into each word (an opaque alpha byte on a
// 32-bit visual); the 16-bit copy converts to 5-6-5.
void CopyFrame32(const uint32_t* frame, int width, int height, int first, int count, uint8_t* target, int stride,
                 uint32_t fill);
void CopyFrame565(const uint32_t* frame, int width, int height, int first, int count, uint8_t* target, int stride);
