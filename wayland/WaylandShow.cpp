#include "wayland/WaylandShow.h"

#include "linux/EventLoop.h"
#include "linux/SignalPipe.h"
#include "linux/TickPace.h"
#include "wayland/OutputShow.h"
#include "wayland/Seat.h"

#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

class CWaylandShow {
public:
    explicit CWaylandShow(const VelunorOptions& options) : m_shared(options, m_loop) {}
    ~CWaylandShow() { Close(); }
    CWaylandShow(const CWaylandShow&) = delete;
    CWaylandShow& operator=(const CWaylandShow&) = delete;

    // The exit code.
    int Run();

private:
    static const wl_registry_listener kRegistryListener;
    static const wl_shm_listener kShmListener;
    static const xdg_wm_base_listener kWmBaseListener;
    static void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
    static void OnGlobalRemove(void* data, wl_registry* registry, uint32_t name);
    static void OnFormat(void* data, wl_shm* shm, uint32_t format);
    static void OnPing(void* data, xdg_wm_base* base, uint32_t serial);
    static void OnConnection(void* owner, short revents);

    bool Connect();
    bool TakeGlobals();
    void AddGlobal(wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
    void RemoveGlobal(uint32_t name);
    // False when the compositor went away.
    bool Loop();
    void Close();

    // Made before the shared parts and gone after them: the picture's
    // decoder is watched in it.
    CEventLoop m_loop;
    CShowShared m_shared;
    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    bool m_bXrgb = false;
    bool m_bArgb = false;
    std::vector<std::unique_ptr<COutputShow>> m_outputs;
    std::vector<std::unique_ptr<CSeat>> m_seats;
    bool m_bReading = false; // a read of the connection prepared, not done yet
    bool m_bLost = false;    // the connection failed
};

CWaylandShow& Of(void* data)
{
    return *static_cast<CWaylandShow*>(data);
}

// libwayland's own messages (a protocol error) as lines of the program's.
void LogLine(const char* format, va_list arguments)
{
    std::fputs("velunor: ", stderr);
    std::vfprintf(stderr, format, arguments);
}

template <typename T>
T* Bind(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t offered, uint32_t wanted)
{
    return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

const wl_registry_listener CWaylandShow::kRegistryListener = {
    .global = OnGlobal,
    .global_remove = OnGlobalRemove,
};

const wl_shm_listener CWaylandShow::kShmListener = {
    .format = OnFormat,
};

const xdg_wm_base_listener CWaylandShow::kWmBaseListener = {
    .ping = OnPing,
};

void CWaylandShow::OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
                            uint32_t version)
{
    Of(data).AddGlobal(registry, name, interface, version);
}

void CWaylandShow::OnGlobalRemove(void* data, wl_registry*, uint32_t name)
{
    Of(data).RemoveGlobal(name);
}

void CWaylandShow::OnFormat(void* data, wl_shm*, uint32_t format)
{
    CWaylandShow& self = Of(data);
    if (format == WL_SHM_FORMAT_XRGB8888)
        self.m_bXrgb = true;
    else if (format == WL_SHM_FORMAT_ARGB8888)
        self.m_bArgb = true;
}

void CWaylandShow::OnPing(void*, xdg_wm_base* base, uint32_t serial)
{
    xdg_wm_base_pong(base, serial);
}

int CWaylandShow::Run()
{
    if (!Connect() || !TakeGlobals())
        return 1;
    if (TakeSignal())
        return 0;
    // The picture file opened, or its line said, before the first surface;
    // it is decoded at the sizes the outputs ask, while they are covered.
    if (!m_shared.options.desktop || !m_shared.screencopy)
        m_shared.Picture();
    return Loop() ? 0 : 1;
}

bool CWaylandShow::Connect()
{
    wl_log_set_handler_client(LogLine);
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const char* socket = std::getenv("WAYLAND_SOCKET");
    if ((!name || !*name) && (!socket || !*socket)) {
        std::fprintf(stderr, "velunor: no Wayland compositor: WAYLAND_DISPLAY is not set\n");
        return false;
    }
    // libwayland would name a missing runtime folder in a line of its own.
    if (name && *name && name[0] != '/' && (!socket || !*socket) && !std::getenv("XDG_RUNTIME_DIR")) {
        std::fprintf(stderr, "velunor: no Wayland compositor: XDG_RUNTIME_DIR is not set\n");
        return false;
    }
    m_display = wl_display_connect(nullptr);
    if (!m_display) {
        std::fprintf(stderr, "velunor: no Wayland compositor at %s: %s\n", name && *name ? name : "WAYLAND_SOCKET",
                     std::strerror(errno));
        return false;
    }
    return true;
}

bool CWaylandShow::TakeGlobals()
{
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &kRegistryListener, this);
    // The globals, then what they tell of themselves (formats, outputs).
    if (wl_display_roundtrip(m_display) < 0 || wl_display_roundtrip(m_display) < 0)
        return false;
    if (!m_shared.compositor || !m_shared.shm || (!m_shared.layerShell && !m_shared.wmBase)) {
        std::fprintf(stderr, "velunor: the compositor offers no %s\n",
                     !m_shared.compositor ? "wl_compositor"
                     : !m_shared.shm      ? "wl_shm"
                                          : "way to show a surface (neither layer-shell nor xdg-shell)");
        return false;
    }
    if (!m_bXrgb && !m_bArgb) {
        std::fprintf(stderr, "velunor: the compositor takes no 32-bit shared-memory buffers (XRGB8888, ARGB8888)\n");
        return false;
    }
    m_shared.shmFormat = m_bXrgb ? WL_SHM_FORMAT_XRGB8888 : WL_SHM_FORMAT_ARGB8888;
    if (!m_shared.layerShell)
        std::fprintf(stderr, "velunor: the compositor has no layer-shell; showing a full-screen window on each "
                             "output instead\n");
    if (m_shared.options.desktop && !m_shared.screencopy)
        std::fprintf(stderr, "velunor: the compositor offers no screencopy for --desktop; showing the shipped "
                             "picture\n");
    return true;
}

void CWaylandShow::AddGlobal(wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    const std::string which = interface;
    if (which == wl_compositor_interface.name && !m_shared.compositor) {
        m_shared.compositor = Bind<wl_compositor>(registry, name, &wl_compositor_interface, version, 4);
    } else if (which == wl_shm_interface.name && !m_shared.shm) {
        m_shared.shm = Bind<wl_shm>(registry, name, &wl_shm_interface, version, 1);
        wl_shm_add_listener(m_shared.shm, &kShmListener, this);
    } else if (which == zwlr_layer_shell_v1_interface.name && !m_shared.layerShell) {
        m_shared.layerShell = Bind<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface, version, 4);
    } else if (which == xdg_wm_base_interface.name && !m_shared.wmBase) {
        m_shared.wmBase = Bind<xdg_wm_base>(registry, name, &xdg_wm_base_interface, version, 2);
        xdg_wm_base_add_listener(m_shared.wmBase, &kWmBaseListener, this);
    } else if (which == wp_viewporter_interface.name && !m_shared.viewporter) {
        m_shared.viewporter = Bind<wp_viewporter>(registry, name, &wp_viewporter_interface, version, 1);
    } else if (which == zwlr_screencopy_manager_v1_interface.name && !m_shared.screencopy) {
        m_shared.screencopy =
            Bind<zwlr_screencopy_manager_v1>(registry, name, &zwlr_screencopy_manager_v1_interface, version, 3);
    } else if (which == wl_output_interface.name) {
        auto* output = Bind<wl_output>(registry, name, &wl_output_interface, version, 4);
        m_outputs.push_back(std::make_unique<COutputShow>(m_shared, output, name));
    } else if (which == wl_seat_interface.name) {
        auto* seat = Bind<wl_seat>(registry, name, &wl_seat_interface, version, 5);
        m_seats.push_back(std::make_unique<CSeat>(seat, name, m_shared.ended));
    }
}

void CWaylandShow::RemoveGlobal(uint32_t name)
{
    m_outputs.erase(std::remove_if(m_outputs.begin(), m_outputs.end(),
                                   [name](const auto& output) { return output->GlobalName() == name; }),
                    m_outputs.end());
    m_seats.erase(std::remove_if(m_seats.begin(), m_seats.end(),
                                 [name](const auto& seat) { return seat->GlobalName() == name; }),
                  m_seats.end());
}

bool CWaylandShow::Loop()
{
    const int fd = wl_display_get_fd(m_display);
    m_loop.Watch(fd, POLLIN, OnConnection, this);
    while (m_loop.Running()) {
        if (wl_display_dispatch_pending(m_display) < 0)
            return false;
        if (m_shared.ended)
            return true;
        const int64_t now = MonotonicMs();
        for (const auto& output : m_outputs) {
            output->Update(now);
            output->TickIfDue(now);
        }
        m_shared.Update(now);
        // Events queued meanwhile are dispatched first.
        if (wl_display_prepare_read(m_display) != 0)
            continue;
        bool blocked = false;
        if (wl_display_flush(m_display) < 0) {
            if (errno != EAGAIN) {
                wl_display_cancel_read(m_display);
                return false;
            }
            blocked = true;
        }
        // A full socket: the rest goes once it takes more.
        m_loop.SetEvents(fd, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)));
        for (const auto& output : m_outputs)
            m_loop.WakeBy(output->Deadline());
        m_bReading = true;
        m_loop.Wait(MonotonicMs());
        if (m_bReading)
            wl_display_cancel_read(m_display);
        m_bReading = false;
        if (m_bLost)
            return false;
    }
    return true;
}

void CWaylandShow::OnConnection(void* owner, short revents)
{
    CWaylandShow& self = Of(owner);
    // Writable only: the flush goes on at the next round, nothing is read.
    if (!(revents & (POLLIN | POLLERR | POLLHUP)))
        return;
    self.m_bReading = false;
    if (wl_display_read_events(self.m_display) < 0)
        self.m_bLost = true;
}

void CWaylandShow::Close()
{
    if (!m_display)
        return;
    m_outputs.clear();
    m_seats.clear();
    if (m_shared.screencopy)
        zwlr_screencopy_manager_v1_destroy(m_shared.screencopy);
    if (m_shared.viewporter)
        wp_viewporter_destroy(m_shared.viewporter);
    if (m_shared.wmBase)
        xdg_wm_base_destroy(m_shared.wmBase);
    if (m_shared.layerShell) {
        if (zwlr_layer_shell_v1_get_version(m_shared.layerShell) >= ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION)
            zwlr_layer_shell_v1_destroy(m_shared.layerShell);
        else
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(m_shared.layerShell));
    }
    if (m_shared.shm)
        wl_shm_destroy(m_shared.shm);
    if (m_shared.compositor)
        wl_compositor_destroy(m_shared.compositor);
    if (m_registry)
        wl_registry_destroy(m_registry);
    // Whatever the compositor still has to learn of the releases.
    wl_display_flush(m_display);
    wl_display_disconnect(m_display);
    m_display = nullptr;
}

} // namespace

int RunWaylandShow(const VelunorOptions& options)
{
    CWaylandShow show(options);
    return show.Run();
}
