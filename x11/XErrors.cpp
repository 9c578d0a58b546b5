#include "x11/XErrors.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Xlib's handlers take no context: what they record lives here.
struct ErrorRecord {
    int trapDepth = 0;
    int trappedCode = 0;
    int reported = 0;
    XID vanishing = 0;
};
ErrorRecord g_errors;

constexpr int kMaxReported = 20;

int OnXError(Display* display, XErrorEvent* event)
{
    if (g_errors.trapDepth > 0) {
        if (!g_errors.trappedCode)
            g_errors.trappedCode = event->error_code;
        return 0;
    }
    if (event->resourceid == g_errors.vanishing && g_errors.vanishing
        && (event->error_code == BadWindow || event->error_code == BadDrawable))
        return 0;
    if (g_errors.reported < kMaxReported) {
        ++g_errors.reported;
        char text[160] = "";
        XGetErrorText(display, event->error_code, text, sizeof text);
        std::fprintf(stderr, "velunor: X error: %s (request %d.%d)%s\n", text, event->request_code,
                     event->minor_code, g_errors.reported == kMaxReported ? "; no more are reported" : "");
    }
    return 0;
}

// The server went away: nothing is left to clean up on its side, and the
// daemon that ran the program is gone with it.
int OnXIOError(Display*)
{
    std::exit(1);
}

} // namespace

void InstallXErrorHandlers()
{
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
}

void ExpectWindowMayVanish(XID window)
{
    g_errors.vanishing = window;
}

CXErrorTrap::CXErrorTrap(Display* display) : m_display(display)
{
    XSync(m_display, False);
    if (g_errors.trapDepth++ == 0)
        g_errors.trappedCode = 0;
}

CXErrorTrap::~CXErrorTrap()
{
    XSync(m_display, False);
    --g_errors.trapDepth;
}

bool CXErrorTrap::Failed()
{
    return Code() != 0;
}

int CXErrorTrap::Code()
{
    XSync(m_display, False);
    return g_errors.trappedCode;
}
