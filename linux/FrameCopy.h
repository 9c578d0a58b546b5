// Frames into a display server's image memory (an X image, a Wayland
// shared-memory buffer). The engine keeps its rows bottom-up as 0x00RRGGBB
// words, those images run top-down with a stride of their own; what a tick
// changed comes as a span of columns per row, seen from the top. Free of any
// display server: only the memory layouts meet here.
#pragma once

#include "ripple/RippleTarget.h"

#include <cstdint>

// A 0x00RRGGBB word as a 5-6-5 pixel, each channel cut to its top bits.
inline uint16_t To565(uint32_t rgb)
{
    return static_cast<uint16_t>(((rgb >> 8) & 0xF800) | ((rgb >> 5) & 0x07E0) | ((rgb >> 3) & 0x001F));
}

// The span of each row in `rows` (`height` of them, from the top) of the
// bottom-up `frame` of `width` columns and `height` rows, converted to 5-6-5
// into `target`, whose row 0 is the top row and whose rows are `stride`
// bytes apart.
void CopySpans565(const uint32_t* frame, int width, int height, const ripple::Span* rows, uint8_t* target,
                  int stride);
