#include "linux/FrameCopy.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// A row with `fill` ORed into every word. The target is memory another
// process reads (the X server, the compositor), never this one: streaming
// stores skip reading it into the cache first and keep the engine's own
// pages there.
void CopyRowFilled(const uint32_t* from, uint32_t* to, int width, uint32_t fill)
{
    int x = 0;
#if defined(__SSE2__)
    while (x < width && (reinterpret_cast<uintptr_t>(to + x) & 15) != 0) {
        to[x] = from[x] | fill;
        ++x;
    }
    const __m128i mask = _mm_set1_epi32(static_cast<int>(fill));
    for (; x + 4 <= width; x += 4) {
        const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + x));
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + x), _mm_or_si128(words, mask));
    }
#endif
    for (; x < width; ++x)
        to[x] = from[x] | fill;
}

} // namespace

void CopyFrame32(const uint32_t* frame, int width, int height, int first, int count, uint8_t* target, int stride,
                 uint32_t fill)
{
    for (int y = first; y < first + count; ++y) {
        const uint32_t* from = frame + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width);
        uint32_t* to = reinterpret_cast<uint32_t*>(target + static_cast<size_t>(y) * static_cast<size_t>(stride));
        if (fill == 0)
            std::memcpy(to, from, static_cast<size_t>(width) * 4);
        else
            CopyRowFilled(from, to, width, fill);
    }
#if defined(__SSE2__)
    // Streamed words reach memory before whoever is told of the frame next
    // reads it.
    if (fill != 0)
        _mm_sfence();
#endif
}

void CopyFrame565(const uint32_t* frame, int width, int height, int first, int count, uint8_t* target, int stride)
{
    for (int y = first; y < first + count; ++y) {
        const uint32_t* from = frame + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width);
        uint16_t* to = reinterpret_cast<uint16_t*>(target + static_cast<size_t>(y) * static_cast<size_t>(stride));
        for (int x = 0; x < width; ++x)
            to[x] = To565(from[x]);
    }
}
