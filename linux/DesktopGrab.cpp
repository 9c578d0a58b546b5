#include "linux/DesktopGrab.h"

#include "linux/TickPace.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
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

// `name` as execvp would find it on PATH, found here: after a fork only
// calls that are safe there are made. Empty when there is none.
std::string FindProgram(const std::string& name)
{
    if (name.empty() || name.find('/') != std::string::npos)
        return name;
    const char* path = std::getenv("PATH");
    const std::string folders = path && *path ? path : "/usr/bin:/bin";
    for (size_t at = 0; at <= folders.size();) {
        const size_t end = std::min(folders.find(':', at), folders.size());
        const std::string candidate = (end > at ? folders.substr(at, end - at) : ".") + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        at = end + 1;
    }
    return std::string();
}

// What the child does between fork and exec, with every signal blocked:
// only calls that are safe there.
[[noreturn]] void BecomeHelper(const char* program, char* const* argv, const rlimit& memory, const rlimit& cpu,
                               const sigset_t& mask)
{
    // A process group of its own, to be ended with everything it starts.
    setpgid(0, 0);
    // The program's handlers would write into its signal pipe; it ignores
    // SIGPIPE, and exec keeps what is ignored.
    struct sigaction defaults = {};
    defaults.sa_handler = SIG_DFL;
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGPIPE})
        sigaction(sig, &defaults, nullptr);
    sigprocmask(SIG_SETMASK, &mask, nullptr);
    if (setrlimit(RLIMIT_AS, &memory) != 0 || setrlimit(RLIMIT_CPU, &cpu) != 0)
        _exit(126);
    execve(program, argv, environ);
    _exit(127);
}

} // namespace

GrabResult RunGrabHelper(const std::vector<std::string>& argv, const DecoderLimits& limits, int stopFd,
                         std::string& reason)
{
    const std::string name = argv.empty() ? std::string() : argv[0];
    const std::string program = FindProgram(name);
    if (program.empty()) {
        reason = name + " was not found";
        return GrabResult::Failed;
    }
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // The decoder's limits of memory and processor time: the helper reads
    // the user's pictures too. It needs the display, so no more sandbox.
    const rlimit memory = {limits.memoryBytes, limits.memoryBytes};
    const rlimit cpu = {static_cast<rlim_t>(limits.cpuSeconds), static_cast<rlim_t>(limits.cpuSeconds) + 1};
    sigset_t all, mask;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &mask);
    const pid_t child = fork();
    if (child == 0)
        BecomeHelper(program.c_str(), args.data(), memory, cpu, mask);
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &mask, nullptr);
    // Here too, so that the group is there before it may be ended.
    if (child > 0)
        setpgid(child, child);
    if (child < 0) {
        reason = name + " cannot be started: " + std::strerror(forkError);
        return GrabResult::Failed;
    }

    const int64_t deadline = MonotonicMs() + limits.deadlineMs;
    for (;;) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
                return GrabResult::Grabbed;
            if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU)
                reason = name + " took more than " + std::to_string(limits.cpuSeconds) + " s of processor time";
            else // 127: the shell's code for a program it could not find.
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
