// Frames into a display server's image memory (an X image, a Wayland
// shared-memory buffer): 0x00RRGGBB words converted to the image's pixels.
// Both memories are described as ripple targets, so that each row lands on
// its own line whichever way each one runs. Free of any display server:
// only the memory layouts meet here.
#pragma once

#include "ripple/RippleTarget.h"

#include <cstdint>

// A 0x00RRGGBB word as a 5-6-5 pixel, each channel cut to its top bits.
inline uint16_t To565(uint32_t rgb)
{
    return static_cast<uint16_t>(((rgb >> 8) & 0xF800) | ((rgb >> 5) & 0x07E0) | ((rgb >> 3) & 0x001F));
}

// The span rows[r] of each engine row r of `frame`, converted to 5-6-5 into
// the same row of `image` (16-bit pixels, of the frame's height).
void CopySpans565(const ripple::Target& frame, const ripple::Target& image, const ripple::Span* rows);
