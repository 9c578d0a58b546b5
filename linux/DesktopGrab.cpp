#include "linux/DesktopGrab.h"

#include "linux/TickPace.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

namespace {

// How long a helper asked to end may take before it is killed.
constexpr int64_t kEndGraceMs = 200;

// Ends the helper and whatever it started (its process group) and reaps it:
// asked first, then killed, so that a helper that ignores the request or
// hangs cannot hold the program. The helper is reaped last: until then its
// id, and so its group's, cannot pass to another process.
void EndHelper(pid_t child)
{
    kill(-child, SIGTERM);
    const int64_t deadline = MonotonicMs() + kEndGraceMs;
    for (;;) {
        siginfo_t info = {};
        if (waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == child)
            break;
        if (MonotonicMs() > deadline)
            break;
        usleep(5000);
    }
    kill(-child, SIGKILL);
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
    // A process group of its own, to be ended with everything it starts.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
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
