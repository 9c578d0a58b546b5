// velunor on Wayland: the show on every output of the compositor of
// WAYLAND_DISPLAY, on the overlay layer (or in full-screen windows where the
// compositor has no layer shell), following outputs that come, go or change,
// until an input or a signal ends it.
#pragma once

#include "linux/Options.h"

// The exit code: 0 when an input ended the show, 1 without a compositor or
// when it went away. A signal that came (TakeSignal) has ended the run when
// it returns; the caller then dies by it.
int RunWaylandShow(const VelunorOptions& options);
