// X errors and a lost connection, handled by the program instead of Xlib's
// defaults (which end the process on the first error). Errors a caller
// expects (an attach the server refuses, a window that is gone) are caught in
// a trap; the rest get one line on stderr, up to a limit.
#pragma once

#include <X11/Xlib.h>

void InstallXErrorHandlers();

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
