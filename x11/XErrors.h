// X errors and a lost connection, handled by the program instead of Xlib's
// defaults (which end the process on the first error). Errors a caller
// expects (an attach the server refuses, a window that is gone) are caught in
// a trap; the rest get one line on stderr, up to a limit.
#pragma once

#include <X11/Xlib.h>

void InstallXErrorHandlers();

// A window that its owner may destroy at any time: the requests already on
// their way to it then fail with BadWindow or BadDrawable, which says nothing
// the DestroyNotify that follows does not, so they are not reported.
void ExpectWindowMayVanish(XID window);

// Catches the errors of the requests made while it lives. Failed() waits for
// the server to have answered them.
class CXErrorTrap {
public:
    explicit CXErrorTrap(Display* display);
    ~CXErrorTrap();
    CXErrorTrap(const CXErrorTrap&) = delete;
    CXErrorTrap& operator=(const CXErrorTrap&) = delete;

    bool Failed();
    int Code();

private:
    Display* m_display;
};
