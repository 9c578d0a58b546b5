#include "x11/DesktopImage.h"

#include "x11/XErrors.h"

#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kHelperMs = 30000;

// A mask's lowest set bit and its width, to widen a channel to 8 bits.
void MaskShape(unsigned long mask, int& shift, int& bits)
{
    shift = 0;
    bits = 0;
    if (!mask)
        return;
    while (!(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    while (mask & 1) {
        mask >>= 1;
        ++bits;
    }
}

uint32_t Channel(unsigned long pixel, int shift, int bits)
{
    if (bits == 0)
        return 0;
    const unsigned long top = (1ul << bits) - 1;
    return static_cast<uint32_t>(((pixel >> shift) & top) * 255 / top);
}

// Rows read back per request: a large screen's image comes in parts, with
// a look for a signal between them.
constexpr int kBandRows = 64;

bool StopCame(int stopFd)
{
    pollfd stop = {stopFd, POLLIN, 0};
    return stopFd >= 0 && poll(&stop, 1, 0) > 0;
}

// The pixmap's pixels as top-down 0x00RRGGBB.
GrabResult ReadBack(Display* display, Pixmap pixmap, Visual* visual, int width, int height, int stopFd,
                    std::vector<uint32_t>& pixels, std::string& reason)
{
    int rs, rb, gs, gb, bs, bb;
    MaskShape(visual->red_mask, rs, rb);
    MaskShape(visual->green_mask, gs, gb);
    MaskShape(visual->blue_mask, bs, bb);
    pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int top = 0; top < height; top += kBandRows) {
        if (StopCame(stopFd))
            return GrabResult::Stopped;
        const int rows = std::min(kBandRows, height - top);
        XImage* image = nullptr;
        {
            CXErrorTrap trap(display);
            image = XGetImage(display, pixmap, 0, top, static_cast<unsigned>(width), static_cast<unsigned>(rows),
                              AllPlanes, ZPixmap);
            if (trap.Failed() && image) {
                XDestroyImage(image);
                image = nullptr;
            }
        }
        if (!image) {
            reason = "the image could not be read back";
            return GrabResult::Failed;
        }
        for (int y = 0; y < rows; ++y) {
            uint32_t* to = pixels.data() + static_cast<size_t>(top + y) * static_cast<size_t>(width);
            for (int x = 0; x < width; ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                to[x] = (Channel(p, rs, rb) << 16) | (Channel(p, gs, gb) << 8) | Channel(p, bs, bb);
            }
        }
        XDestroyImage(image);
    }
    return GrabResult::Grabbed;
}

// The daemon puts its hacks' folder on their PATH; a program started by
// hand may not have it.
void AddHacksFolderToPath()
{
    static const char kHacks[] = "/usr/libexec/xscreensaver";
    const char* path = std::getenv("PATH");
    const std::string now = path && *path ? path : "/usr/bin:/bin";
    if ((":" + now + ":").find(std::string(":") + kHacks + ":") == std::string::npos)
        setenv("PATH", (now + ":" + kHacks).c_str(), 1);
}

} // namespace

GrabResult GrabDesktopImage(Display* display, Window window, Visual* visual, int depth, int width, int height,
                            int stopFd, std::vector<uint32_t>& pixels, std::string& reason)
{
    const Pixmap pixmap = XCreatePixmap(display, window, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                        static_cast<unsigned>(depth));
    // The helper is another client: the pixmap must exist before it looks.
    XSync(display, False);
    char windowArg[32], pixmapArg[32];
    std::snprintf(windowArg, sizeof windowArg, "0x%lx", window);
    std::snprintf(pixmapArg, sizeof pixmapArg, "0x%lx", pixmap);
    AddHacksFolderToPath();
    // The picture decoder's limits for a frame of this size, and time to
    // load a picture of the user's folder.
    DecoderLimits limits = DecoderLimitsFor(width, height);
    limits.deadlineMs = kHelperMs;
    GrabResult result = RunGrabHelper({"xscreensaver-getimage", windowArg, pixmapArg}, limits, stopFd, reason);
    if (result == GrabResult::Grabbed)
        result = ReadBack(display, pixmap, visual, width, height, stopFd, pixels, reason);
    XFreePixmap(display, pixmap);
    return result;
}
