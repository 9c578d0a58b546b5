#include "x11/X11Show.h"

#include "linux/EventLoop.h"
#include "linux/Picture.h"
#include "linux/SignalPipe.h"
#include "linux/TickPace.h"
#include "show/WaterShow.h"
#include "x11/DesktopImage.h"
#include "x11/WindowChoice.h"
#include "x11/XErrors.h"
#include "x11/XPainter.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

// How long a program whose given window is gone waits for the signal that
// ends it before it ends on its own.
constexpr int64_t kOrphanMs = 1000;

class CX11Show {
public:
    explicit CX11Show(const VelunorOptions& options)
        : m_options(options), m_show(options.mode), m_pace(options.holdAfter, options.logTicks ? stderr : nullptr)
    {
        m_show.SetThreads(options.threads);
    }
    ~CX11Show() { Close(); }
    CX11Show(const CX11Show&) = delete;
    CX11Show& operator=(const CX11Show&) = delete;

    // The exit code.
    int Run();

private:
    bool OpenWindow();
    void LoadPicture();
    void Loop();
    // The show started at the window's size, once the picture is there at
    // that size (until then it is asked for).
    void ApplySize();
    // The frame's changes of the last tick (all of it after a start) put.
    void Show();
    void Close();

    static void OnConnection(void* owner, short revents);
    // Every event queued, those read from the connection and any that Xlib
    // read while it waited for a reply.
    void TakeEvents();
    void HandleEvent(XEvent& event);
    void OnConfigure(const XConfigureEvent& event);
    void OnExpose(const XExposeEvent& event);
    void OnKeyPress(XKeyEvent& event);
    void OnClientMessage(const XClientMessageEvent& event);
    void OnDestroy(const XDestroyWindowEvent& event);

    const VelunorOptions& m_options;
    Display* m_display = nullptr;
    Window m_window = 0;
    bool m_bOwnWindow = false;
    bool m_bWindowGone = false;
    int64_t m_nGoneAt = 0;
    Visual* m_visual = nullptr;
    int m_depth = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nShownWidth = 0; // the size the show was started at
    int m_nShownHeight = 0;
    Atom m_deleteWindow = 0;
    CXPainter m_painter;
    bool m_bDirect = false; // the show draws into the painter's image
    // Made before the picture and gone after it: the picture's decoder is
    // watched in it.
    CEventLoop m_loop;
    CPicture m_picture{m_loop};
    CWaterShow m_show;
    bool m_bShowing = false;
    CTickPace m_pace;
    bool m_bQuit = false;
};

int CX11Show::Run()
{
    m_display = XOpenDisplay(nullptr);
    if (!m_display) {
        const char* name = std::getenv("DISPLAY");
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        if ((!name || !*name) && wayland && *wayland)
            std::fprintf(stderr, "velunor: DISPLAY is not set, but WAYLAND_DISPLAY is: on Wayland, run velunor --wayland\n");
        else
            std::fprintf(stderr, "velunor: cannot open display %s\n", name && *name ? name : "(DISPLAY is not set)");
        return 1;
    }
    InstallXErrorHandlers();
    if (!OpenWindow())
        return 1;
    LoadPicture();
    if (TakeSignal())
        return 0;
    Loop();
    return 0;
}

bool CX11Show::OpenWindow()
{
    WindowChoice choice;
    std::string error;
    if (!ChooseWindow(m_options, std::getenv("XSCREENSAVER_WINDOW"), choice, error)) {
        std::fprintf(stderr, "velunor: %s\n", error.c_str());
        return false;
    }
    const unsigned long id = choice.kind == WindowKind::Root ? DefaultRootWindow(m_display) : choice.id;
    if (id) {
        XWindowAttributes attributes;
        bool found = false;
        {
            CXErrorTrap trap(m_display);
            found = XGetWindowAttributes(m_display, id, &attributes) && !trap.Failed();
        }
        if (!found) {
            std::fprintf(stderr, "velunor: no window 0x%lx; %s\n", id, VelunorUsageLine());
            return false;
        }
        m_window = id;
        m_visual = attributes.visual;
        m_depth = attributes.depth;
        m_nWidth = attributes.width;
        m_nHeight = attributes.height;
        // Only what the program needs: the daemon holds the input events of
        // its window, and selecting them there is refused.
        XSelectInput(m_display, m_window, StructureNotifyMask | ExposureMask);
        ExpectWindowMayVanish(m_window);
    } else {
        const int screen = DefaultScreen(m_display);
        m_visual = DefaultVisual(m_display, screen);
        m_depth = DefaultDepth(m_display, screen);
        m_nWidth = m_options.width;
        m_nHeight = m_options.height;
        XSetWindowAttributes attributes = {};
        attributes.background_pixel = BlackPixel(m_display, screen);
        attributes.event_mask = StructureNotifyMask | ExposureMask | KeyPressMask;
        m_window = XCreateWindow(m_display, RootWindow(m_display, screen), 0, 0, static_cast<unsigned>(m_nWidth),
                                 static_cast<unsigned>(m_nHeight), 0, m_depth, InputOutput, m_visual,
                                 CWBackPixel | CWEventMask, &attributes);
        m_bOwnWindow = true;
        XStoreName(m_display, m_window, "Velunor ScreenSaver");
        XClassHint hint = {const_cast<char*>("velunor"), const_cast<char*>("Velunor")};
        XSetClassHint(m_display, m_window, &hint);
        m_deleteWindow = XInternAtom(m_display, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(m_display, m_window, &m_deleteWindow, 1);
    }
    if (!m_painter.Open(m_display, m_window, m_visual, m_depth, error)) {
        std::fprintf(stderr, "velunor: %s\n", error.c_str());
        return false;
    }
    if (m_bOwnWindow)
        XMapWindow(m_display, m_window);
    return true;
}

void CX11Show::LoadPicture()
{
    if (m_options.desktop) {
        std::vector<uint32_t> pixels;
        std::string reason;
        switch (GrabDesktopImage(m_display, m_window, m_visual, m_depth, m_nWidth, m_nHeight, SignalPipeFd(), pixels,
                                 reason)) {
        case GrabResult::Grabbed:
            if (m_picture.FromPixels(pixels, m_nWidth, m_nHeight))
                return;
            reason = "not enough memory for the image";
            break;
        case GrabResult::Stopped:
            return;
        case GrabResult::Failed:
            break;
        }
        std::fprintf(stderr, "velunor: no image from XScreenSaver's image choice: %s\n", reason.c_str());
    }
    LoadPictureOrShipped(m_picture, m_options.desktop ? std::string() : m_options.picture);
}

void CX11Show::ApplySize()
{
    if (!m_picture.Ready(m_nWidth, m_nHeight)) {
        m_picture.Ask(m_nWidth, m_nHeight);
        return;
    }
    m_nShownWidth = m_nWidth;
    m_nShownHeight = m_nHeight;
    std::vector<uint32_t> source;
    m_picture.Stretch(m_nWidth, m_nHeight, source);
    if (!m_bShowing)
        m_pace.Start(MonotonicMs());
    m_bShowing = true;
    const bool image = m_painter.Resize(m_nWidth, m_nHeight);
    ripple::Target target;
    m_bDirect = image && m_painter.DirectTarget(target);
    if (!m_show.Start(std::move(source), m_nWidth, m_nHeight, m_bDirect ? &target : nullptr))
        std::fprintf(stderr, "velunor: not enough memory for water of %dx%d; showing the still picture\n", m_nWidth,
                     m_nHeight);
    if (!image) {
        std::fprintf(stderr, "velunor: not enough memory for an image of %dx%d\n", m_nWidth, m_nHeight);
        return;
    }
    Show();
}

void CX11Show::Show()
{
    if (m_bDirect)
        m_painter.Put(m_show.Changed());
    else
        m_painter.Paint(m_show.Into(), m_show.Changed());
}

void CX11Show::Loop()
{
    m_loop.Watch(ConnectionNumber(m_display), POLLIN, OnConnection, this);
    while (m_loop.Running() && !m_bQuit) {
        // Sizes are taken once the queue is empty: a window dragged larger
        // sends many.
        if ((m_nWidth != m_nShownWidth || m_nHeight != m_nShownHeight) && !m_bWindowGone)
            ApplySize();
        int64_t now = MonotonicMs();
        if (m_bShowing && !m_bWindowGone && m_pace.Due(now)) {
            if (m_show.Tick())
                Show();
            m_pace.Took(now);
            now = MonotonicMs();
        }
        // A given window gone and no signal within a second: its owner is
        // gone too (a settings app killed with its preview), and nobody is
        // left to end the program.
        if (m_bWindowGone && now - m_nGoneAt >= kOrphanMs)
            break;
        m_picture.Update(now);
        XFlush(m_display);
        // Waiting for a reply (the painter's sync) may have queued events
        // that the connection will not signal again.
        if (XEventsQueued(m_display, QueuedAlready) > 0) {
            TakeEvents();
            continue;
        }
        m_loop.WakeBy(m_bWindowGone ? m_nGoneAt + kOrphanMs : m_bShowing ? m_pace.Next() : kNever);
        m_loop.Wait(now);
    }
}

void CX11Show::OnConnection(void* owner, short)
{
    static_cast<CX11Show*>(owner)->TakeEvents();
}

void CX11Show::TakeEvents()
{
    while (!m_bQuit && XPending(m_display)) {
        XEvent event;
        XNextEvent(m_display, &event);
        HandleEvent(event);
    }
}

void CX11Show::HandleEvent(XEvent& event)
{
    switch (event.type) {
    case ConfigureNotify:
        OnConfigure(event.xconfigure);
        break;
    case Expose:
        OnExpose(event.xexpose);
        break;
    case KeyPress:
        OnKeyPress(event.xkey);
        break;
    case ClientMessage:
        OnClientMessage(event.xclient);
        break;
    case DestroyNotify:
        OnDestroy(event.xdestroywindow);
        break;
    default:
        break;
    }
}

void CX11Show::OnConfigure(const XConfigureEvent& event)
{
    if (event.window == m_window && event.width > 0 && event.height > 0) {
        m_nWidth = event.width;
        m_nHeight = event.height;
    }
}

void CX11Show::OnExpose(const XExposeEvent& event)
{
    if (event.count == 0 && !m_bWindowGone)
        m_painter.Repaint();
}

void CX11Show::OnKeyPress(XKeyEvent& event)
{
    const KeySym key = XLookupKeysym(&event, 0);
    if (m_bOwnWindow && (key == XK_Escape || key == XK_q))
        m_bQuit = true;
}

void CX11Show::OnClientMessage(const XClientMessageEvent& event)
{
    if (m_bOwnWindow && event.format == 32 && static_cast<Atom>(event.data.l[0]) == m_deleteWindow)
        m_bQuit = true;
}

void CX11Show::OnDestroy(const XDestroyWindowEvent& event)
{
    if (event.window != m_window)
        return;
    // A window of its own ends the program; a given one leaves it waiting a
    // while for the signal its owner sends.
    if (m_bOwnWindow)
        m_bQuit = true;
    m_bOwnWindow = false;
    m_bWindowGone = true;
    m_nGoneAt = MonotonicMs();
    m_painter.Close();
}

void CX11Show::Close()
{
    if (!m_display)
        return;
    m_painter.Close();
    if (m_bOwnWindow)
        XDestroyWindow(m_display, m_window);
    XCloseDisplay(m_display);
    m_display = nullptr;
}

} // namespace

int RunX11Show(const VelunorOptions& options)
{
    CX11Show show(options);
    return show.Run();
}
