// A Wayland client's connection in the Linux front ends' event loop: the
// compositor of WAYLAND_DISPLAY connected to, and each round's end, in the
// manner libwayland asks of a client with other sources: what came is read
// only after a read was prepared and the requests were flushed, and a round
// that finds events queued meanwhile dispatches them before it waits.
#pragma once

#include "linux/EventLoop.h"

struct wl_display;

// The compositor of WAYLAND_DISPLAY (or WAYLAND_SOCKET); null, with a line
// on stderr saying why, when there is none. libwayland's own messages (a
// protocol error) become lines of the program's.
wl_display* ConnectToCompositor();

class CWaylandLoop {
public:
    explicit CWaylandLoop(wl_display* display);
    CWaylandLoop(const CWaylandLoop&) = delete;
    CWaylandLoop& operator=(const CWaylandLoop&) = delete;

    // The loop, for other sources and the round's deadlines (WakeBy).
    CEventLoop& Loop() { return m_loop; }
    bool Running() const { return m_loop.Running(); }

    // Dispatches the events queued; false once the connection failed.
    bool Dispatch();
    // Flushes the requests and waits for the compositor, another source, a
    // deadline or a signal, then reads what the compositor sent. Returns at
    // once when events were queued meanwhile. False once the connection
    // failed (the compositor went away).
    bool Wait();

private:
    static void OnConnection(void* owner, short revents);

    wl_display* m_display;
    int m_fd;
    CEventLoop m_loop;
    bool m_bReading = false; // a read of the connection prepared, not done yet
    bool m_bLost = false;
};
