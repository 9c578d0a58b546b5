// velunor on Wayland: the show on every output of the compositor of
// WAYLAND_DISPLAY, on the overlay layer (or in full-screen windows where the
// compositor has no layer shell), following outputs that come, go or change,
// until an input or a signal ends it. The idle watcher runs it on its own
// connection each time the session falls idle.
#pragma once

#include "linux/Options.h"
#include "wayland/OutputShow.h"

#include <cstdint>
#include <memory>
#include <vector>

class CEventLoop;
class CSeat;
struct wl_display;
struct wl_registry;
struct wl_registry_listener;
struct wl_shm_listener;
struct xdg_wm_base_listener;

// The show on a connection: every object it makes on it (a registry of its
// own, the globals it binds, the outputs' surfaces and buffers, the seats)
// and every byte of the picture and the water are released when it is
// destroyed, and a decoder of its picture killed; the connection stays.
class CWaylandShow {
public:
    // `loop` is the connection's, and outlives the show: the picture's
    // decoder is watched in it.
    CWaylandShow(const VelunorOptions& options, wl_display* display, CEventLoop& loop);
    ~CWaylandShow();
    CWaylandShow(const CWaylandShow&) = delete;
    CWaylandShow& operator=(const CWaylandShow&) = delete;

    // Takes the compositor's globals (two round trips). False, with a line,
    // when the compositor lacks what the show needs, or went away. `tell`:
    // a line too for what it does without (layer-shell, screencopy).
    bool TakeGlobals(bool tell);
    // Readies the show: GNOME's overview closed, the picture file opened
    // (decoded at the sizes the outputs ask, while they are covered black).
    void Begin();
    // An input ended it, or its windows were closed or lost the keyboard.
    bool Ended() const { return m_shared.ended; }
    // After a dispatch: the outputs' surfaces made and sized, their due
    // ticks drawn, the picture's decode given up at its deadline, and the
    // deadlines of the next wait asked of the loop.
    void Round(int64_t now);

private:
    static const wl_registry_listener kRegistryListener;
    static const wl_shm_listener kShmListener;
    static const xdg_wm_base_listener kWmBaseListener;
    static void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
    static void OnGlobalRemove(void* data, wl_registry* registry, uint32_t name);
    static void OnFormat(void* data, wl_shm* shm, uint32_t format);
    static void OnPing(void* data, xdg_wm_base* base, uint32_t serial);

    void AddGlobal(wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
    void RemoveGlobal(uint32_t name);
    // Full-screen windows that lost the keyboard to something else (the
    // overview, another window) may no longer cover their outputs: the show
    // ends once the keyboard has stayed away a moment.
    void WatchFocus(int64_t now);

    CShowShared m_shared;
    wl_display* m_display;
    wl_registry* m_registry = nullptr;
    bool m_bXrgb = false;
    bool m_bArgb = false;
    std::vector<std::unique_ptr<COutputShow>> m_outputs;
    std::vector<std::unique_ptr<CSeat>> m_seats;
    int64_t m_nFocusGone = 0; // when the windows lost the keyboard; 0 while they have it
};

// The show on its own connection. The exit code: 0 when an input ended the
// show, 1 without a compositor or when it went away. A signal that came
// (TakeSignal) has ended the run when it returns; the caller then dies by
// it.
int RunWaylandShow(const VelunorOptions& options);
