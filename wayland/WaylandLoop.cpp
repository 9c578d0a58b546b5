#include "wayland/WaylandLoop.h"

#include "linux/TickPace.h"

#include <wayland-client.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void LogLine(const char* format, va_list arguments)
{
    std::fputs("velunor: ", stderr);
    std::vfprintf(stderr, format, arguments);
}

} // namespace

wl_display* ConnectToCompositor()
{
    wl_log_set_handler_client(LogLine);
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const char* socket = std::getenv("WAYLAND_SOCKET");
    if ((!name || !*name) && (!socket || !*socket)) {
        std::fprintf(stderr, "velunor: no Wayland compositor: WAYLAND_DISPLAY is not set\n");
        return nullptr;
    }
    // libwayland would name a missing runtime folder in a line of its own.
    if (name && *name && name[0] != '/' && (!socket || !*socket) && !std::getenv("XDG_RUNTIME_DIR")) {
        std::fprintf(stderr, "velunor: no Wayland compositor: XDG_RUNTIME_DIR is not set\n");
        return nullptr;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        std::fprintf(stderr, "velunor: no Wayland compositor at %s: %s\n", name && *name ? name : "WAYLAND_SOCKET",
                     std::strerror(errno));
    return display;
}

CWaylandLoop::CWaylandLoop(wl_display* display) : m_display(display), m_fd(wl_display_get_fd(display))
{
    m_loop.Watch(m_fd, POLLIN, OnConnection, this);
}

bool CWaylandLoop::Dispatch()
{
    return wl_display_dispatch_pending(m_display) >= 0;
}

bool CWaylandLoop::Wait()
{
    // Events queued meanwhile are dispatched first.
    if (wl_display_prepare_read(m_display) != 0)
        return true;
    bool blocked = false;
    if (wl_display_flush(m_display) < 0) {
        if (errno != EAGAIN) {
            wl_display_cancel_read(m_display);
            return false;
        }
        blocked = true;
    }
    // A full socket: the rest goes once it takes more.
    m_loop.SetEvents(m_fd, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)));
    m_bReading = true;
    m_loop.Wait(MonotonicMs());
    if (m_bReading)
        wl_display_cancel_read(m_display);
    m_bReading = false;
    return !m_bLost;
}

void CWaylandLoop::OnConnection(void* owner, short revents)
{
    CWaylandLoop& self = *static_cast<CWaylandLoop*>(owner);
    // Writable only: the flush goes on at the next round, nothing is read.
    if (!(revents & (POLLIN | POLLERR | POLLHUP)))
        return;
    self.m_bReading = false;
    if (wl_display_read_events(self.m_display) < 0)
        self.m_bLost = true;
}
