// velunor: the show as a native Linux program. It reads its options, then
// runs the show on X11, or with --wayland on Wayland, until a signal (or on
// Wayland an input) ends it, and dies by that signal; with --idle it stays
// in the Wayland session and shows whenever the session falls idle.
#include "linux/Options.h"
#include "linux/SignalPipe.h"
#include "wayland/IdleWatcher.h"
#include "wayland/WaylandShow.h"
#include "x11/X11Show.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    VelunorOptions options;
    std::string error;
    int status = 1;
    if (!ParseVelunorOptions(argc, argv, options, error, status)) {
        std::fprintf(stderr, "velunor: %s; %s\n", error.c_str(), VelunorUsageLine());
        return status;
    }
    if (options.help) {
        std::fputs(VelunorUsage(), stdout);
        return 0;
    }
    if (!InstallSignalPipe()) {
        std::perror("velunor: signal handlers");
        return 1;
    }
    const int code = options.idleSeconds ? RunIdleWatcher(options)
                     : options.wayland   ? RunWaylandShow(options)
                                         : RunX11Show(options);
    // Dying by the signal tells the daemon the program ended as asked.
    if (const int sig = TakeSignal())
        DieBySignal(sig);
    return code;
}
