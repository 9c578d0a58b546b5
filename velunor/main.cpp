// velunor: the show as a native Linux program. It reads its options, then
// runs the show on X11 until a signal ends it, and dies by that signal.
#include "linux/Options.h"
#include "linux/SignalPipe.h"
#include "x11/X11Show.h"

#include <cstdio>
#include <string>

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
    if (!InstallSignalPipe()) {
        std::perror("velunor: signal handlers");
        return 1;
    }
    const int code = RunX11Show(options);
    // Dying by the signal tells the daemon the program ended as asked.
    if (const int sig = TakeSignal())
        DieBySignal(sig);
    return code;
}
