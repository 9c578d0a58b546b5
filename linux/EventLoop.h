// The Linux front ends' event loop, in the manner of small Wayland clients:
// one poll over the descriptors a front end watches, each with its handler,
// that ends by the earliest deadline asked for since the last wait, and a
// stop descriptor (the signal pipe) that ends the loop once readable.
// Between waits the front end does a round of its own: what its connection
// queued, the ticks that are due, the deadlines of the next wait.
#pragma once

#include "linux/SignalPipe.h"
#include "linux/TickPace.h"

#include <poll.h>

#include <cstdint>
#include <vector>

class CEventLoop {
public:
    // What a watched descriptor's owner does when a wait finds it ready;
    // `revents` as poll gives them.
    using Handler = void (*)(void* owner, short revents);
    // poll(2), or a test's stand-in.
    using PollFunction = int (*)(pollfd* fds, nfds_t count, int timeout);

    explicit CEventLoop(int stopFd = SignalPipeFd(), PollFunction poll = ::poll) : m_stopFd(stopFd), m_poll(poll) {}

    // `fd` is waited on for `events` until it is unwatched; `onReady` runs
    // after a wait that finds any of them, or an error or hang-up, on it.
    void Watch(int fd, short events, Handler onReady, void* owner);
    void SetEvents(int fd, short events);
    void Unwatch(int fd);

    // The next wait ends by `at` (MonotonicMs) at the latest; of several
    // deadlines the earliest counts. A wait forgets them: every round asks
    // for its own.
    void WakeBy(int64_t at);

    // Waits from `now` for a watched descriptor, the deadline or the stop
    // descriptor, then runs the handlers of the descriptors found ready. A
    // readable stop descriptor ends the loop instead, and no handler runs.
    void Wait(int64_t now);
    bool Running() const { return m_bRunning; }

private:
    struct Watched {
        int fd;
        short events;
        Handler onReady;
        void* owner;
    };

    int m_stopFd;
    PollFunction m_poll;
    std::vector<Watched> m_watched;
    std::vector<pollfd> m_fds; // the stop descriptor, then the watched ones
    int64_t m_deadline = kNever;
    bool m_bRunning = true;
};
