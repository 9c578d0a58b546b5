// Puts the show's frames into an X window: through a shared-memory image
// where the server offers MIT-SHM on this machine, else through plain
// XPutImage. TrueColor visuals of depth 24 and 32 take the frame's words as
// they are; 16-bit 5-6-5 ones get converted pixels.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <string>

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
    // The bottom-up frame of the image's size, copied in and put.
    void Paint(const uint32_t* frame);
    // The last frame again (an exposed window).
    void Repaint();
    void Close();

    bool UsesSharedMemory() const { return m_shm.shmaddr != nullptr; }

private:
    bool CreateSharedImage(int width, int height);
    bool CreatePlainImage(int width, int height);
    void DestroyImage();

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
};
