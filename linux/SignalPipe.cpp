#include "linux/SignalPipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <initializer_list>

namespace {

int g_pipe[2] = {-1, -1};
int g_caught = 0;

void OnSignal(int sig)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(sig);
    if (write(g_pipe[1], &byte, 1) < 0) {
        // A full pipe already holds a signal for the loop.
    }
    errno = saved;
}

} // namespace

bool InstallSignalPipe()
{
    if (pipe(g_pipe) != 0)
        return false;
    for (int fd : g_pipe) {
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
    signal(SIGPIPE, SIG_IGN);
    return true;
}

int SignalPipeFd()
{
    return g_pipe[0];
}

int TakeSignal()
{
    unsigned char byte = 0;
    while (g_pipe[0] >= 0 && read(g_pipe[0], &byte, 1) == 1) {
        if (!g_caught)
            g_caught = byte;
    }
    return g_caught;
}

void DieBySignal(int sig)
{
    signal(sig, SIG_DFL);
    raise(sig);
    // Only reached when the signal is blocked.
    std::_Exit(128 + sig);
}
