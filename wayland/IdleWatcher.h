// velunor --wayland --idle SECONDS: a watcher that stays in the session. The
// compositor tells it when a seat has had no input for SECONDS
// (ext-idle-notify, else KDE's idle protocol, else on GNOME, which has
// neither, Mutter's idle monitor on the session bus); it then runs the show
// on every output of its connection until an input ends it, releases all
// of it, and waits again. What keeps a screen saver away (an application's
// idle inhibitor, input) holds back the compositor's notice itself.
#pragma once

#include "linux/Options.h"

// The exit code: 1 without a compositor, without a way to learn the idle
// time, or once the compositor went away. A signal that came (TakeSignal)
// has ended the watcher and its show when it returns; the caller then dies
// by it.
int RunIdleWatcher(const VelunorOptions& options);
