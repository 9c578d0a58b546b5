#include "linux/DesktopGrab.h"

#include "linux/TickClock.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

namespace {

// Ends the helper and reaps it.
void EndHelper(pid_t child)
{
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
}

} // namespace

GrabResult RunGrabHelper(const std::vector<std::string>& argv, int stopFd, int seconds, std::string& reason)
{
    const std::string name = argv.empty() ? std::string() : argv[0];
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    // The program ignores SIGPIPE, and exec keeps what is ignored.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t child = 0;
    const int failed = name.empty() ? ENOENT : posix_spawnp(&child, name.c_str(), nullptr, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (failed) {
        reason = name + (failed == ENOENT ? " was not found" : std::string(" cannot be started: ") + std::strerror(failed));
        return GrabResult::Failed;
    }

    const int64_t deadline = MonotonicMs() + static_cast<int64_t>(seconds) * 1000;
    for (;;) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
                return GrabResult::Grabbed;
            // The shell's code for a program it could not find.
            reason = name + (WIFEXITED(status) && WEXITSTATUS(status) == 127 ? " was not found" : " failed");
            return GrabResult::Failed;
        }
        pollfd stop = {stopFd, POLLIN, 0};
        if (poll(&stop, stopFd >= 0 ? 1 : 0, 50) > 0) {
            EndHelper(child);
            return GrabResult::Stopped;
        }
        if (MonotonicMs() > deadline) {
            EndHelper(child);
            reason = name + " took too long";
            return GrabResult::Failed;
        }
    }
}
