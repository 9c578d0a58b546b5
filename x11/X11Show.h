// velunor on X11: the show drawn into the window a screen-saver daemon gives
// it (or the root window, or a window of its own) at one tick every 60 ms,
// until a signal, or the closing of a window of its own, ends it.
#pragma once

#include "linux/Options.h"

// The exit code. A signal that came (TakeSignal) has ended the run when it
// returns; the caller then dies by it.
int RunX11Show(const VelunorOptions& options);
