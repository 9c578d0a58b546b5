#include "x11/XPainter.h"

#include "linux/FrameCopy.h"
#include "x11/XErrors.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A request each: beyond this many, neighbouring rectangles are merged.
constexpr int kMostRects = 48;

const char* VisualClassName(int c)
{
    switch (c) {
    case StaticGray: return "StaticGray";
    case GrayScale: return "GrayScale";
    case StaticColor: return "StaticColor";
    case PseudoColor: return "PseudoColor";
    case TrueColor: return "TrueColor";
    case DirectColor: return "DirectColor";
    default: return "unknown";
    }
}

// Shared memory only helps, and only works, with a server on this machine.
bool DisplayIsLocal(Display* display)
{
    const char* name = DisplayString(display);
    return name && (name[0] == ':' || name[0] == '/' || std::strncmp(name, "unix:", 5) == 0);
}

// Bits a pixel of `depth` takes in the server's images, 0 if it has none.
int PixelBits(Display* display, int depth)
{
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
    int bits = 0;
    for (int i = 0; i < count; ++i) {
        if (formats[i].depth == depth)
            bits = formats[i].bits_per_pixel;
    }
    if (formats)
        XFree(formats);
    return bits;
}

} // namespace

bool CXPainter::Open(Display* display, Window window, Visual* visual, int depth, std::string& error)
{
    const int bits = PixelBits(display, depth);
    const bool wide = (depth == 24 || depth == 32) && bits == 32 && visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00
                      && visual->blue_mask == 0xFF;
    const bool narrow = depth == 16 && bits == 16 && visual->red_mask == 0xF800 && visual->green_mask == 0x07E0
                        && visual->blue_mask == 0x001F;
    if (visual->c_class != TrueColor || (!wide && !narrow)) {
        char line[200];
        std::snprintf(line, sizeof line,
                      "visual 0x%lx is %s of depth %d (masks %06lx %06lx %06lx); only TrueColor of depth 24 or 32 "
                      "(8 bits a channel) or 16 (5-6-5) is supported",
                      XVisualIDFromVisual(visual), VisualClassName(visual->c_class), depth, visual->red_mask,
                      visual->green_mask, visual->blue_mask);
        error = line;
        return false;
    }
    m_display = display;
    m_window = window;
    m_visual = visual;
    m_depth = depth;
    m_fill = depth == 32 ? 0xFF000000u : 0;
    m_gc = XCreateGC(display, window, 0, nullptr);
    m_bShmUsable = DisplayIsLocal(display) && XShmQueryExtension(display);
    return true;
}

bool CXPainter::Resize(int width, int height)
{
    DestroyImage();
    if (m_bShmUsable && CreateSharedImage(width, height))
        return true;
    return CreatePlainImage(width, height);
}

bool CXPainter::CreateSharedImage(int width, int height)
{
    m_image = XShmCreateImage(m_display, m_visual, static_cast<unsigned>(m_depth), ZPixmap, nullptr, &m_shm,
                              static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (!m_image)
        return false;
    const size_t bytes = static_cast<size_t>(m_image->bytes_per_line) * static_cast<size_t>(height);
    m_shm.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (m_shm.shmid < 0) {
        XDestroyImage(m_image);
        m_image = nullptr;
        return false;
    }
    void* address = shmat(m_shm.shmid, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(m_shm.shmid, IPC_RMID, nullptr);
        XDestroyImage(m_image);
        m_image = nullptr;
        return false;
    }
    m_shm.shmaddr = m_image->data = static_cast<char*>(address);
    m_shm.readOnly = True;
    bool attached = false;
    {
        CXErrorTrap trap(m_display);
        attached = XShmAttach(m_display, &m_shm) && !trap.Failed();
    }
    // Once the server holds it, the segment goes when both sides let go,
    // however this process ends.
    shmctl(m_shm.shmid, IPC_RMID, nullptr);
    if (!attached) {
        // A server that cannot reach this machine's memory: plain images
        // from now on.
        m_bShmUsable = false;
        shmdt(m_shm.shmaddr);
        m_shm.shmaddr = nullptr;
        m_image->data = nullptr;
        XDestroyImage(m_image);
        m_image = nullptr;
        return false;
    }
    return true;
}

bool CXPainter::CreatePlainImage(int width, int height)
{
    m_image = XCreateImage(m_display, m_visual, static_cast<unsigned>(m_depth), ZPixmap, 0, nullptr,
                           static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (!m_image)
        return false;
    // The pixels are written in this machine's order; Xlib swaps them for a
    // server of the other order.
    const uint16_t probe = 1;
    m_image->byte_order = *reinterpret_cast<const uint8_t*>(&probe) ? LSBFirst : MSBFirst;
    m_image->data = static_cast<char*>(std::malloc(static_cast<size_t>(m_image->bytes_per_line) * height));
    if (!m_image->data) {
        XDestroyImage(m_image);
        m_image = nullptr;
        return false;
    }
    return true;
}

bool CXPainter::DirectTarget(ripple::Target& target) const
{
    if (!m_image || m_image->bits_per_pixel != 32)
        return false;
    target = Lines();
    return true;
}

ripple::Target CXPainter::Lines() const
{
    return ripple::Target::TopDown(m_image->data, m_image->height, m_image->bytes_per_line, m_fill);
}

void CXPainter::Paint(const ripple::Target& frame, const ripple::Span* rows)
{
    if (!m_image || m_image->bits_per_pixel != 16)
        return;
    CopySpans565(frame, Lines(), rows);
    Put(rows);
}

void CXPainter::Put(const ripple::Span* rows)
{
    if (!m_image)
        return;
    DamageRects(rows, Lines(), kMostRects, m_rects);
    m_bPainted = true;
    PutRects(m_rects);
}

void CXPainter::Repaint()
{
    if (!m_image || !m_bPainted)
        return;
    DamageRect all;
    all.width = m_image->width;
    all.height = m_image->height;
    PutRects(std::vector<DamageRect>(1, all));
}

void CXPainter::PutRects(const std::vector<DamageRect>& rects)
{
    if (rects.empty())
        return;
    for (const DamageRect& r : rects) {
        const unsigned w = static_cast<unsigned>(r.width), h = static_cast<unsigned>(r.height);
        if (m_shm.shmaddr)
            XShmPutImage(m_display, m_window, m_gc, m_image, r.x, r.y, r.x, r.y, w, h, False);
        else
            XPutImage(m_display, m_window, m_gc, m_image, r.x, r.y, r.x, r.y, w, h);
    }
    if (m_shm.shmaddr) {
        // The server reads the segment while it handles the requests: the
        // next frame may only be drawn into it once it has.
        XSync(m_display, False);
    } else {
        XFlush(m_display);
    }
}

void CXPainter::DestroyImage()
{
    if (!m_image)
        return;
    if (m_shm.shmaddr) {
        XShmDetach(m_display, &m_shm);
        XSync(m_display, False);
        shmdt(m_shm.shmaddr);
        m_shm.shmaddr = nullptr;
        m_image->data = nullptr;
    }
    XDestroyImage(m_image);
    m_image = nullptr;
    m_bPainted = false;
}

void CXPainter::Close()
{
    if (!m_display)
        return;
    DestroyImage();
    if (m_gc)
        XFreeGC(m_display, m_gc);
    m_gc = nullptr;
    m_display = nullptr;
}
