#include "linux/FrameCopy.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

void Convert565(const uint32_t* from, uint16_t* to, int first, int end)
{
    for (int x = first; x < end; ++x)
        to[x] = To565(from[x]);
}

const uint32_t* FrameRow(const uint32_t* frame, int width, int height, int y)
{
    return frame + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width);
}

} // namespace

void CopySpans565(const uint32_t* frame, int width, int height, const ripple::Span* rows, uint8_t* target,
                  int stride)
{
    for (int y = 0; y < height; ++y) {
        if (rows[y].Empty())
            continue;
        uint16_t* to = reinterpret_cast<uint16_t*>(target + static_cast<size_t>(y) * static_cast<size_t>(stride));
        Convert565(FrameRow(frame, width, height, y), to, rows[y].first, rows[y].end);
    }
}

void CopySpans32(const uint8_t* from, uint8_t* to, int stride, const ripple::Span* rows, int height)
{
    for (int y = 0; y < height; ++y) {
        if (rows[y].Empty())
            continue;
        const size_t at = static_cast<size_t>(y) * static_cast<size_t>(stride) + static_cast<size_t>(rows[y].first) * 4;
        const uint32_t* source = reinterpret_cast<const uint32_t*>(from + at);
        uint32_t* target = reinterpret_cast<uint32_t*>(to + at);
        int n = rows[y].end - rows[y].first, x = 0;
#if defined(__SSE2__)
        // The copy lands in a buffer whose lines the next frame rewrites
        // long after they would have left the cache: streamed stores spare
        // reading them in first.
        for (; x < n && (reinterpret_cast<uintptr_t>(target + x) & 15) != 0; ++x)
            target[x] = source[x];
        for (; x + 4 <= n; x += 4)
            _mm_stream_si128(reinterpret_cast<__m128i*>(target + x),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x)));
#endif
        for (; x < n; ++x)
            target[x] = source[x];
    }
#if defined(__SSE2__)
    // Streamed stores reach memory before the frame drawn next is handed on.
    _mm_sfence();
#endif
}
