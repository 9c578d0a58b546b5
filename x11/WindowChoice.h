// Which window velunor draws into on X11, decided from its options and the
// environment a screen-saver daemon gives it; free of X, tested natively.
#pragma once

#include "linux/Options.h"

#include <string>

enum class WindowKind {
    Given, // a window another client made: --window-id, else $XSCREENSAVER_WINDOW
    Root,  // --root with no window given
    Own,   // none of these: a window of its own
};

struct WindowChoice {
    WindowKind kind = WindowKind::Own;
    unsigned long id = 0; // the given window's id
};

// `screensaverWindow` is $XSCREENSAVER_WINDOW (null when unset). False, with
// a one-line reason, when that is set but is not a window id.
bool ChooseWindow(const VelunorOptions& options, const char* screensaverWindow, WindowChoice& choice,
                  std::string& error);
