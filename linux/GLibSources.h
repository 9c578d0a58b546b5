// GLib's main context as sources of the Linux front ends' event loop, for
// GIO's D-Bus: its connections read and write on a thread of GLib's own and
// hand replies and signals to the main context, which wakes by a descriptor
// of its own. Each round the context's descriptors are watched and its
// earliest timeout is a deadline; after the wait what they made ready is
// dispatched, on the loop's thread.
#pragma once

#include "linux/EventLoop.h"

#include <cstdint>
#include <vector>

struct _GMainContext;
struct _GPollFD;

class CGLibSources {
public:
    // The default main context, taken for this thread until destroyed.
    explicit CGLibSources(CEventLoop& loop);
    ~CGLibSources();
    CGLibSources(const CGLibSources&) = delete;
    CGLibSources& operator=(const CGLibSources&) = delete;

    // Before the loop's wait: the context's descriptors watched, its
    // timeout asked for.
    void Prepare(int64_t now);
    // After the wait: what is ready dispatched (replies, signals, timeouts).
    void Dispatch();

private:
    static void OnReady(void* owner, short revents);
    void Unwatch();

    CEventLoop& m_loop;
    _GMainContext* m_context;
    int m_nPriority = 0;
    std::vector<_GPollFD> m_fds;
    bool m_bPrepared = false;
};
