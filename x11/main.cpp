// velunor: the show as an X11 screen-saver program. It draws into the window
// a screen-saver daemon gives it (or the root window, or a window of its
// own), at one tick every 60 ms, until a signal ends it.
#include "x11/DesktopImage.h"
#include "x11/Options.h"
#include "x11/WaterShow.h"
#include "x11/XErrors.h"
#include "x11/XPainter.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int64_t kTickMs = 60;

// The signal handlers' only link to the event loop.
int g_signalPipe[2] = {-1, -1};

void OnSignal(int sig)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(sig);
    if (write(g_signalPipe[1], &byte, 1) < 0) {
        // A full pipe already holds a signal for the loop.
    }
    errno = saved;
}

int64_t MonotonicMs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

class CVelunorApp {
public:
    explicit CVelunorApp(const VelunorOptions& options) : m_options(options), m_show(options.mode) {}
    ~CVelunorApp() { Close(); }
    CVelunorApp(const CVelunorApp&) = delete;
    CVelunorApp& operator=(const CVelunorApp&) = delete;

    // The exit code; CaughtSignal() tells whether a signal ended the run.
    int Run();
    int CaughtSignal() const { return m_nSignal; }

private:
    bool OpenWindow();
    void LoadPicture();
    void Loop();
    // One tick, started at `now` (monotonic ms).
    void TickOnce(int64_t now);
    void ApplySize();
    void Close();

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
    Visual* m_visual = nullptr;
    int m_depth = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    Atom m_deleteWindow = 0;
    CXPainter m_painter;
    CWaterShow m_show;
    int m_nTicks = 0;
    int64_t m_nextTick = 0;
    bool m_bQuit = false;
    int m_nSignal = 0;
};

int CVelunorApp::Run()
{
    m_display = XOpenDisplay(nullptr);
    if (!m_display) {
        const char* name = std::getenv("DISPLAY");
        std::fprintf(stderr, "velunor: cannot open display %s\n", name ? name : "(DISPLAY is not set)");
        return 1;
    }
    InstallXErrorHandlers();
    if (!OpenWindow())
        return 1;
    LoadPicture();
    if (m_nSignal)
        return 0;
    ApplySize();
    Loop();
    return 0;
}

bool CVelunorApp::OpenWindow()
{
    unsigned long id = m_options.windowId;
    if (!id) {
        const char* given = std::getenv("XSCREENSAVER_WINDOW");
        if (given && *given && !ParseWindowId(given, id)) {
            std::fprintf(stderr, "velunor: XSCREENSAVER_WINDOW is not a window id: %s\n", given);
            return false;
        }
    }
    if (!id && m_options.root)
        id = DefaultRootWindow(m_display);
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
    std::string error;
    if (!m_painter.Open(m_display, m_window, m_visual, m_depth, error)) {
        std::fprintf(stderr, "velunor: %s\n", error.c_str());
        return false;
    }
    if (m_bOwnWindow)
        XMapWindow(m_display, m_window);
    return true;
}

void CVelunorApp::LoadPicture()
{
    CPicture& picture = m_show.Picture();
    std::string reason;
    if (m_options.desktop) {
        std::vector<uint32_t> pixels;
        if (GrabDesktopImage(m_display, m_window, m_visual, m_depth, m_nWidth, m_nHeight, g_signalPipe[0], pixels,
                             reason)
            && picture.FromPixels(pixels, m_nWidth, m_nHeight))
            return;
        pollfd stop = {g_signalPipe[0], POLLIN, 0};
        if (poll(&stop, 1, 0) > 0) {
            unsigned char sig = 0;
            if (read(g_signalPipe[0], &sig, 1) == 1)
                m_nSignal = sig;
            return;
        }
        std::fprintf(stderr, "velunor: no image from XScreenSaver's image choice: %s\n", reason.c_str());
    } else if (!m_options.picture.empty()) {
        if (picture.Load(m_options.picture, reason))
            return;
        std::fprintf(stderr, "velunor: cannot load picture %s: %s\n", m_options.picture.c_str(), reason.c_str());
    }
    std::string tried;
    for (const std::string& file : ShippedPictureFiles()) {
        if (picture.Load(file, reason))
            return;
        tried += tried.empty() ? file : ", " + file;
    }
    std::fprintf(stderr, "velunor: cannot load the shipped picture (%s): %s; showing a plain dark picture\n",
                 tried.c_str(), reason.c_str());
}

void CVelunorApp::ApplySize()
{
    if (!m_show.Resize(m_nWidth, m_nHeight))
        std::fprintf(stderr, "velunor: not enough memory for water of %dx%d; showing the still picture\n", m_nWidth,
                     m_nHeight);
    if (!m_painter.Resize(m_nWidth, m_nHeight)) {
        std::fprintf(stderr, "velunor: not enough memory for an image of %dx%d\n", m_nWidth, m_nHeight);
        return;
    }
    m_painter.Paint(m_show.Frame());
}

void CVelunorApp::Loop()
{
    const int xfd = ConnectionNumber(m_display);
    m_nextTick = MonotonicMs() + kTickMs;
    while (!m_bQuit) {
        const int width = m_nWidth, height = m_nHeight;
        while (XPending(m_display) && !m_bQuit) {
            XEvent event;
            XNextEvent(m_display, &event);
            HandleEvent(event);
        }
        if (m_bQuit)
            break;
        // Sizes are taken once the queue is empty: a window dragged larger
        // sends many.
        if ((width != m_nWidth || height != m_nHeight) && !m_bWindowGone)
            ApplySize();

        const bool ticking = !m_bWindowGone && (m_options.holdAfter < 0 || m_nTicks < m_options.holdAfter);
        int64_t now = MonotonicMs();
        if (ticking && now >= m_nextTick) {
            // After a stop (SIGSTOP, a busy machine) the show goes on from
            // now instead of running the missed ticks in a burst.
            if (now - m_nextTick > kTickMs / 2)
                m_nextTick = now;
            TickOnce(now);
            m_nextTick += kTickMs;
            now = MonotonicMs();
        }
        XFlush(m_display);
        int timeout = ticking ? static_cast<int>(m_nextTick > now ? m_nextTick - now : 0) : -1;
        // Waiting for a reply (the painter's sync) may have queued events
        // that the connection will not signal again.
        if (XEventsQueued(m_display, QueuedAlready) > 0)
            timeout = 0;
        pollfd fds[2] = {{xfd, POLLIN, 0}, {g_signalPipe[0], POLLIN, 0}};
        if (poll(fds, 2, timeout) > 0 && (fds[1].revents & POLLIN)) {
            unsigned char sig = 0;
            if (read(g_signalPipe[0], &sig, 1) == 1) {
                m_nSignal = sig;
                m_bQuit = true;
            }
        }
    }
}

void CVelunorApp::TickOnce(int64_t now)
{
    ++m_nTicks;
    if (m_show.Tick())
        m_painter.Paint(m_show.Frame());
    if (m_options.logTicks)
        std::fprintf(stderr, "velunor: tick %d %" PRId64 "\n", m_nTicks, now);
}

void CVelunorApp::HandleEvent(XEvent& event)
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

void CVelunorApp::OnConfigure(const XConfigureEvent& event)
{
    if (event.window == m_window && event.width > 0 && event.height > 0) {
        m_nWidth = event.width;
        m_nHeight = event.height;
    }
}

void CVelunorApp::OnExpose(const XExposeEvent& event)
{
    if (event.count == 0 && !m_bWindowGone)
        m_painter.Repaint();
}

void CVelunorApp::OnKeyPress(XKeyEvent& event)
{
    const KeySym key = XLookupKeysym(&event, 0);
    if (m_bOwnWindow && (key == XK_Escape || key == XK_q))
        m_bQuit = true;
}

void CVelunorApp::OnClientMessage(const XClientMessageEvent& event)
{
    if (m_bOwnWindow && event.format == 32 && static_cast<Atom>(event.data.l[0]) == m_deleteWindow)
        m_bQuit = true;
}

void CVelunorApp::OnDestroy(const XDestroyWindowEvent& event)
{
    if (event.window != m_window)
        return;
    // A window of its own ends the program; a given one leaves it waiting for
    // the signal its owner sends.
    if (m_bOwnWindow)
        m_bQuit = true;
    m_bOwnWindow = false;
    m_bWindowGone = true;
    m_painter.Close();
}

void CVelunorApp::Close()
{
    if (!m_display)
        return;
    m_painter.Close();
    if (m_bOwnWindow)
        XDestroyWindow(m_display, m_window);
    XCloseDisplay(m_display);
    m_display = nullptr;
}

bool InstallSignalHandlers()
{
    if (pipe(g_signalPipe) != 0)
        return false;
    for (int fd : g_signalPipe) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        if (sigaction(sig, &action, nullptr) != 0)
            return false;
    }
    // A server that goes away mid-write must reach the I/O error handler,
    // not end the process by SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    VelunorOptions options;
    std::string error;
    if (!ParseVelunorOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "velunor: %s; %s\n", error.c_str(), VelunorUsageLine());
        return 1;
    }
    if (options.help) {
        std::fputs(VelunorUsage(), stdout);
        return 0;
    }
    if (!InstallSignalHandlers()) {
        std::perror("velunor: signal handlers");
        return 1;
    }
    int code = 0;
    int sig = 0;
    {
        CVelunorApp app(options);
        code = app.Run();
        sig = app.CaughtSignal();
    }
    if (sig) {
        // Dying by the signal tells the daemon the program ended as asked.
        signal(sig, SIG_DFL);
        raise(sig);
    }
    return code;
}
