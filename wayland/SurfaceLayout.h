// How an output's show fills its surface: a buffer at the output's physical
// pixels, shown over the surface's size in the compositor's coordinates by a
// whole buffer scale, or by a viewport where the output's scale is not a
// whole number: the surface's fractional scale where the compositor tells
// one, else the output's mode. Free of Wayland, so that it is tested
// natively.
#pragma once

// What the output says of itself.
struct OutputPixels {
    int modeWidth = 0; // the current mode, 0 until it is known
    int modeHeight = 0;
    int transform = 0; // wl_output's transform: odd values turn it a quarter
    int scale = 1;     // the whole scale it asks buffers to have
    int scale120 = 0;  // the surface's preferred fractional scale in 120ths; 0: none told
};

struct SurfaceLayout {
    int width = 0; // the buffer, and the show, in pixels
    int height = 0;
    int bufferScale = 1;
    int viewWidth = 0; // a viewport's destination; 0: no viewport
    int viewHeight = 0;

    bool SameSize(const SurfaceLayout& other) const { return width == other.width && height == other.height; }
    bool operator==(const SurfaceLayout& other) const
    {
        return SameSize(other) && bufferScale == other.bufferScale && viewWidth == other.viewWidth
               && viewHeight == other.viewHeight;
    }
    bool operator!=(const SurfaceLayout& other) const { return !(*this == other); }
};

// The layout for a surface the compositor configured to `width` x `height`
// (0 in either: the client chooses, the whole output). `viewporter`: the
// compositor offers viewports. False while the size cannot be known (no mode
// yet and nothing configured) or is out of range.
bool LayOutSurface(const OutputPixels& output, int width, int height, bool viewporter, SurfaceLayout& layout);
