// Puts the show's frames into an X window: through a shared-memory image
// where the server offers MIT-SHM on this machine, else through plain
// XPutImage, only the rectangles a tick changed. On TrueColor visuals of
// depth 24 and 32 the show draws straight into the image; 16-bit 5-6-5 ones
// get pixels converted from the show's own frame.
#pragma once

#include "linux/FrameDamage.h"
#include "ripple/RippleTarget.h"

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <string>
#include <vector>

class CXPainter {
public:
    CXPainter() = default;
    ~CXPainter() { Close(); }
    CXPainter(const CXPainter&) = delete;
    CXPainter& operator=(const CXPainter&) = delete;

    // False, with a line naming the visual, for a visual it cannot paint on.
    bool Open(Display* display, Window window, Visual* visual, int depth, std::string& error);
    // An image of the window's new size; false when there is no memory.
    bool Resize(int width, int height);
    // Where the show may draw its frames: true, with the image as the
    // target, for 32-bit pixels (the server reads none of it between puts);
    // false for 5-6-5 ones, which Paint converts.
    bool DirectTarget(ripple::Target& target) const;
    // The image's pixels in `rows` (a span per engine row), changed by the
    // show, put into the window.
    void Put(const ripple::Span* rows);
    // The same, first converted from `frame`, of the image's size.
    void Paint(const ripple::Target& frame, const ripple::Span* rows);
    // The last frame again (an exposed window).
    void Repaint();
    void Close();

    bool UsesSharedMemory() const { return m_shm.shmaddr != nullptr; }

private:
    bool CreateSharedImage(int width, int height);
    bool CreatePlainImage(int width, int height);
    void DestroyImage();
    void PutRects(const std::vector<DamageRect>& rects);
    // The image as the show's rows see it.
    ripple::Target Lines() const;

    Display* m_display = nullptr;
    Window m_window = 0;
    Visual* m_visual = nullptr;
    int m_depth = 0;
    GC m_gc = nullptr;
    bool m_bShmUsable = false;
    XImage* m_image = nullptr;
    XShmSegmentInfo m_shm = {};
    uint32_t m_fill = 0; // ORed into 32-bit pixels: an opaque alpha byte
    bool m_bPainted = false;
    std::vector<DamageRect> m_rects;
};
