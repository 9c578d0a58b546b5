#include "linux/FrameCopy.h"

#include <cstring>

void CopyFrame32(const uint32_t* frame, int width, int height, int first, int count, uint8_t* target, int stride,
                 uint32_t fill)
{
    for (int y = first; y < first + count; ++y) {
        const uint32_t* from = frame + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width);
        uint32_t* to = reinterpret_cast<uint32_t*>(target + static_cast<size_t>(y) * static_cast<size_t>(stride));
        if (fill == 0) {
            std::memcpy(to, from, static_cast<size_t>(width) * 4);
        } else {
            for (int x = 0; x < width; ++x)
                to[x] = from[x] | fill;
        }
    }
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
