#include "wayland/SurfaceLayout.h"

#include <cstdint>

namespace {

// Larger than any screen; keeps the buffer's byte count far from overflow.
constexpr int kMaxSide = 32768;

bool InRange(int width, int height)
{
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide;
}

} // namespace

bool LayOutSurface(const OutputPixels& output, int width, int height, bool viewporter, SurfaceLayout& layout)
{
    const int scale = output.scale >= 1 && output.scale <= 16 ? output.scale : 1;
    const bool quarter = (output.transform & 1) != 0;
    const int pixelsWide = quarter ? output.modeHeight : output.modeWidth;
    const int pixelsHigh = quarter ? output.modeWidth : output.modeHeight;
    const bool modeKnown = InRange(pixelsWide, pixelsHigh);
    if (width <= 0 || height <= 0) {
        if (!modeKnown)
            return false;
        width = pixelsWide / scale;
        height = pixelsHigh / scale;
    }
    if (!InRange(width, height))
        return false;
    SurfaceLayout result;
    result.bufferScale = scale;
    result.width = width * scale;
    result.height = height * scale;
    if (output.scale120 > 0 && viewporter) {
        // The protocol's rounding: half away from zero.
        result.width = static_cast<int>((int64_t(width) * output.scale120 + 60) / 120);
        result.height = static_cast<int>((int64_t(height) * output.scale120 + 60) / 120);
        result.bufferScale = 1;
        result.viewWidth = width;
        result.viewHeight = height;
    } else if (modeKnown && (result.width != pixelsWide || result.height != pixelsHigh) && viewporter) {
        // A scale of 1.5 is told as 2: the buffer at the output's pixels,
        // shown over the surface by the compositor.
        result.width = pixelsWide;
        result.height = pixelsHigh;
        result.bufferScale = 1;
        result.viewWidth = width;
        result.viewHeight = height;
    }
    if (!InRange(result.width, result.height))
        return false;
    layout = result;
    return true;
}
