#include "wayland/WaylandShow.h"

#include "linux/EventLoop.h"
#include "linux/TickPace.h"
#include "wayland/GnomeSession.h"
#include "wayland/Seat.h"
#include "wayland/WaylandLoop.h"

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

// How long full-screen windows may be without the keyboard before the show
// ends: the keyboard moving from one of them to the next comes as a leave
// and an enter, which may arrive in two reads.
constexpr int64_t kFocusGraceMs = 100;

CWaylandShow& Of(void* data)
{
    return *static_cast<CWaylandShow*>(data);
}

template <typename T>
T* Bind(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t offered, uint32_t wanted)
{
    return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

} // namespace

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

CWaylandShow::CWaylandShow(const VelunorOptions& options, wl_display* display, CEventLoop& loop)
    : m_shared(options, loop), m_display(display)
{
}

CWaylandShow::~CWaylandShow()
{
    m_outputs.clear();
    m_seats.clear();
    if (m_shared.fractionalScale)
        wp_fractional_scale_manager_v1_destroy(m_shared.fractionalScale);
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
}

bool CWaylandShow::TakeGlobals(bool tell)
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
    if (!m_shared.layerShell && tell)
        std::fprintf(stderr, "velunor: the compositor has no layer-shell; showing a full-screen window on each "
                             "output instead\n");
    if (m_shared.options.desktop && !m_shared.screencopy && tell)
        std::fprintf(stderr, "velunor: the compositor offers no screencopy for --desktop; showing the shipped "
                             "picture\n");
    return true;
}

void CWaylandShow::Begin()
{
    // GNOME's overview would show the windows as small pictures of
    // themselves: it is closed before they come.
    if (!m_shared.layerShell)
        CloseGnomeOverview();
    // The picture file opened, or its line said, before the first surface;
    // it is decoded at the sizes the outputs ask, while they are covered.
    if (!m_shared.options.desktop || !m_shared.screencopy)
        m_shared.Picture();
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
    } else if (which == wp_fractional_scale_manager_v1_interface.name && !m_shared.fractionalScale) {
        m_shared.fractionalScale = Bind<wp_fractional_scale_manager_v1>(
            registry, name, &wp_fractional_scale_manager_v1_interface, version, 1);
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

void CWaylandShow::Round(int64_t now)
{
    for (const auto& output : m_outputs) {
        output->Update(now);
        output->TickIfDue(now);
        m_shared.loop.WakeBy(output->Deadline());
    }
    m_shared.Update(now);
    // A layer surface with the keyboard to itself keeps it.
    if (!m_shared.layerShell)
        WatchFocus(now);
}

void CWaylandShow::WatchFocus(int64_t now)
{
    const bool taken = std::any_of(m_seats.begin(), m_seats.end(), [](const auto& seat) { return seat->FocusTaken(); });
    if (!taken) {
        m_nFocusGone = 0;
        return;
    }
    if (!m_nFocusGone)
        m_nFocusGone = now;
    if (now - m_nFocusGone >= kFocusGraceMs)
        m_shared.ended = true;
    else
        m_shared.loop.WakeBy(m_nFocusGone + kFocusGraceMs);
}

int RunWaylandShow(const VelunorOptions& options)
{
    wl_display* display = ConnectToCompositor();
    if (!display)
        return 1;
    bool lost;
    {
        CWaylandLoop connection(display);
        CWaylandShow show(options, display, connection.Loop());
        lost = !show.TakeGlobals(true);
        if (!lost)
            show.Begin();
        while (!lost && connection.Running()) {
            if (!connection.Dispatch()) {
                lost = true;
                break;
            }
            if (show.Ended())
                break;
            show.Round(MonotonicMs());
            lost = !connection.Wait();
        }
    }
    wl_display_disconnect(display);
    return lost ? 1 : 0;
}
