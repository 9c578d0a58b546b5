#include "linux/FrameCopy.h"

void CopySpans565(const ripple::Target& frame, const ripple::Target& image, const ripple::Span* rows)
{
    for (int r = 0; r < image.height; ++r) {
        const uint32_t* from = frame.Row(r);
        uint16_t* to = reinterpret_cast<uint16_t*>(image.Row(r));
        for (int x = rows[r].first; x < rows[r].end; ++x)
            to[x] = To565(from[x]);
    }
}
