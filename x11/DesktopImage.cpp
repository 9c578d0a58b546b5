#include "x11/DesktopImage.h"

#include "x11/XErrors.h"

#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

constexpr int kHelperSeconds = 30;

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

// Runs the helper and waits for it; returns its exit status, or -1.
int RunHelper(Window window, Pixmap pixmap, int stopFd, std::string& reason)
{
    char windowArg[32], pixmapArg[32];
    std::snprintf(windowArg, sizeof windowArg, "0x%lx", window);
    std::snprintf(pixmapArg, sizeof pixmapArg, "0x%lx", pixmap);
    const pid_t child = fork();
    if (child < 0) {
        reason = "cannot start xscreensaver-getimage";
        return -1;
    }
    if (child == 0) {
        signal(SIGPIPE, SIG_DFL);
        // The daemon puts its hacks' folder on their PATH; a program started
        // by hand may not have it.
        const char* path = std::getenv("PATH");
        std::string wide = std::string(path && *path ? path : "/usr/bin:/bin") + ":/usr/libexec/xscreensaver";
        setenv("PATH", wide.c_str(), 1);
        execlp("xscreensaver-getimage", "xscreensaver-getimage", windowArg, pixmapArg, static_cast<char*>(nullptr));
        _exit(127);
    }
    const time_t deadline = std::time(nullptr) + kHelperSeconds;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
                reason = "xscreensaver-getimage was not found";
                return -1;
            }
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                reason = "xscreensaver-getimage failed";
                return -1;
            }
            return 0;
        }
        pollfd stop = {stopFd, POLLIN, 0};
        const bool stopped = stopFd > 0 && poll(&stop, 1, 50) > 0;
        if (stopFd <= 0)
            poll(nullptr, 0, 50);
        if (stopped || std::time(nullptr) > deadline) {
            kill(child, SIGTERM);
            waitpid(child, &status, 0);
            reason = stopped ? "stopped" : "xscreensaver-getimage took too long";
            return -1;
        }
    }
}

} // namespace

bool GrabDesktopImage(Display* display, Window window, Visual* visual, int depth, int width, int height,
                      int stopFd, std::vector<uint32_t>& pixels, std::string& reason)
{
    const Pixmap pixmap = XCreatePixmap(display, window, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                        static_cast<unsigned>(depth));
    // The helper is another client: the pixmap must exist before it looks.
    XSync(display, False);
    bool grabbed = RunHelper(window, pixmap, stopFd, reason) == 0;
    XImage* image = nullptr;
    if (grabbed) {
        CXErrorTrap trap(display);
        image = XGetImage(display, pixmap, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                          AllPlanes, ZPixmap);
        if (!image || trap.Failed()) {
            reason = "the image could not be read back";
            grabbed = false;
        }
    }
    if (grabbed) {
        int rs, rb, gs, gb, bs, bb;
        MaskShape(visual->red_mask, rs, rb);
        MaskShape(visual->green_mask, gs, gb);
        MaskShape(visual->blue_mask, bs, bb);
        pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                    (Channel(p, rs, rb) << 16) | (Channel(p, gs, gb) << 8) | Channel(p, bs, bb);
            }
        }
    }
    if (image)
        XDestroyImage(image);
    XFreePixmap(display, pixmap);
    return grabbed;
}
