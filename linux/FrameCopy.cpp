#include "linux/FrameCopy.h"

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
