// One output and its show: what the output says of itself (mode, scale,
// transform, name), its copied contents with --desktop, the surface that
// covers it (on the overlay layer, or a full-screen window where the
// compositor has no layer shell), the show at its physical pixels, the
// buffers the show draws into (never one the compositor holds) and the pace
// of its ticks, which the compositor's frame callbacks hold back: a tick is
// drawn only once the last frame was shown.
#pragma once

#include "linux/EventLoop.h"
#include "linux/FrameDamage.h"
#include "linux/Options.h"
#include "linux/Picture.h"
#include "linux/TickPace.h"
#include "show/WaterShow.h"
#include "wayland/DesktopCopy.h"
#include "wayland/ShmBuffer.h"
#include "wayland/SurfaceLayout.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct wl_array;
struct wl_callback;
struct wl_callback_listener;
struct wl_compositor;
struct wl_output;
struct wl_output_listener;
struct wl_shm;
struct wl_surface;
struct wl_surface_listener;
struct wp_fractional_scale_manager_v1;
struct wp_fractional_scale_v1;
struct wp_fractional_scale_v1_listener;
struct wp_viewport;
struct wp_viewporter;
struct xdg_surface;
struct xdg_surface_listener;
struct xdg_toplevel;
struct xdg_toplevel_listener;
struct xdg_wm_base;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;
struct zwlr_layer_surface_v1_listener;
struct zwlr_screencopy_manager_v1;

// What every output's show shares: the options, the event loop, the
// compositor's globals, the picture, and whether the show is over.
class CShowShared {
public:
    CShowShared(const VelunorOptions& options, CEventLoop& loop) : options(options), loop(loop), m_picture(loop) {}

    const VelunorOptions& options;
    CEventLoop& loop;
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    uint32_t shmFormat = 0;
    zwlr_layer_shell_v1* layerShell = nullptr;
    xdg_wm_base* wmBase = nullptr;
    wp_viewporter* viewporter = nullptr;
    wp_fractional_scale_manager_v1* fractionalScale = nullptr;
    zwlr_screencopy_manager_v1* screencopy = nullptr;
    // Set by an input that ends the show, or a window closed.
    bool ended = false;

    // The picture file, else the shipped picture (with --desktop: the
    // shipped one, for an output whose contents could not be copied);
    // loaded at the first use.
    CPicture& Picture();
    // Once a round, before the loop waits: the picture's decode given up at
    // its deadline, and the loop woken by it.
    void Update(int64_t now)
    {
        if (m_bLoaded)
            m_picture.Update(now);
    }

private:
    CPicture m_picture;
    bool m_bLoaded = false;
};

class COutputShow {
public:
    COutputShow(CShowShared& shared, wl_output* output, uint32_t globalName);
    ~COutputShow();
    COutputShow(const COutputShow&) = delete;
    COutputShow& operator=(const COutputShow&) = delete;

    uint32_t GlobalName() const { return m_nGlobal; }

    // After the events of a dispatch: the output's copy taken, its surface
    // made, a new size applied (the output covered in black, the show
    // restarted at it once the picture is there) and shown.
    void Update(int64_t now);
    // The tick that is due at `now`, if the compositor has shown the last
    // frame; its frame shown.
    void TickIfDue(int64_t now);
    // When a tick is due, or a copy of its contents is given up; kNever
    // while the output waits for an event (a frame callback, a buffer's
    // release, a size) or is held.
    int64_t Deadline() const;

private:
    static const wl_output_listener kOutputListener;
    static const wl_surface_listener kSurfaceListener;
    static const zwlr_layer_surface_v1_listener kLayerListener;
    static const xdg_surface_listener kXdgSurfaceListener;
    static const xdg_toplevel_listener kToplevelListener;
    static const wl_callback_listener kFrameListener;
    static const wp_fractional_scale_v1_listener kFractionalListener;
    static void OnGeometry(void* data, wl_output* output, int32_t x, int32_t y, int32_t physicalWidth,
                           int32_t physicalHeight, int32_t subpixel, const char* make, const char* model,
                           int32_t transform);
    static void OnMode(void* data, wl_output* output, uint32_t flags, int32_t width, int32_t height,
                       int32_t refresh);
    static void OnOutputDone(void* data, wl_output* output);
    static void OnScale(void* data, wl_output* output, int32_t factor);
    static void OnName(void* data, wl_output* output, const char* name);
    static void OnDescription(void* data, wl_output* output, const char* description);
    static void OnSurfaceEnter(void* data, wl_surface* surface, wl_output* output);
    static void OnSurfaceLeave(void* data, wl_surface* surface, wl_output* output);
    static void OnLayerConfigure(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width,
                                 uint32_t height);
    static void OnLayerClosed(void* data, zwlr_layer_surface_v1* layer);
    static void OnXdgConfigure(void* data, xdg_surface* surface, uint32_t serial);
    static void OnToplevelConfigure(void* data, xdg_toplevel* toplevel, int32_t width, int32_t height,
                                    wl_array* states);
    static void OnToplevelClose(void* data, xdg_toplevel* toplevel);
    static void OnToplevelBounds(void* data, xdg_toplevel* toplevel, int32_t width, int32_t height);
    static void OnToplevelCapabilities(void* data, xdg_toplevel* toplevel, wl_array* capabilities);
    static void OnFrameDone(void* data, wl_callback* callback, uint32_t time);
    static void OnPreferredScale(void* data, wp_fractional_scale_v1* fractional, uint32_t scale);

    // The fractional scale the compositor prefers counts once the surface
    // is on its output: before, it is a guess (1), and the output's mode
    // tells better.
    void TakeScale();
    // Its mode and scale told (a "done", or a mode before version 2).
    void Announced();
    void Configured(int width, int height);

    bool TakeCopy(int64_t now);
    void MakeSurface();
    void DropSurface();
    void Apply(int64_t now);
    // Buffers of a new size, the show stopped.
    bool Resize(int width, int height);
    // The show started over the picture, in a buffer the compositor does not
    // hold; false while the picture is not there (it is asked for).
    bool StartShow(int64_t now);
    // The latest buffer black: it covers the output until the show starts.
    void Cover();
    bool CanDraw() const;
    // A buffer the compositor does not hold: the latest if it can be, else
    // another, else a new one while there may be more; kNoBuffer when none
    // can be had.
    size_t FreeBuffer();
    // The buffer the next frame goes into, holding the last one: the one
    // that does if the compositor has let it go, else another one brought up
    // to date, which the show then draws into. Null when none can be had.
    CShmBuffer* DrawingBuffer();
    // The latest buffer attached: the frame the show drew into it, with the
    // changes of its last tick as the damage (all of it with `whole`), or
    // the black that covers the output before the show.
    void Present(bool whole);
    const char* Name() const { return m_name.c_str(); }

    CShowShared& m_shared;
    wl_output* m_output;
    uint32_t m_nGlobal;
    std::string m_name;
    OutputPixels m_pixels;
    bool m_bAnnounced = false; // its first "done" came: its mode and scale are known
    bool m_bClosed = false;    // its surface was closed or could not be shown

    CDesktopCopy m_copy;
    int64_t m_nCopyStarted = 0;
    CPicture m_contents; // its own contents, copied
    bool m_bOwnContents = false;

    wl_surface* m_surface = nullptr;
    wp_viewport* m_viewport = nullptr;
    wp_fractional_scale_v1* m_fractional = nullptr;
    int m_nPreferred120 = 0; // the last fractional scale told, in 120ths
    bool m_bEntered = false; // the surface is on its output
    zwlr_layer_surface_v1* m_layer = nullptr;
    xdg_surface* m_xdgSurface = nullptr;
    xdg_toplevel* m_toplevel = nullptr;
    int m_nPendingWidth = 0; // the full-screen window's size until its configure ends
    int m_nPendingHeight = 0;
    bool m_bConfigured = false;
    int m_nConfiguredWidth = 0;
    int m_nConfiguredHeight = 0;
    bool m_bChanged = false; // a size or scale not applied yet

    SurfaceLayout m_layout;
    bool m_bShowing = false;
    CWaterShow m_show;
    // A buffer and what it lacks of the last frame.
    struct Slot {
        CShmBuffer buffer;
        CRowDamage missing;
    };
    std::vector<std::unique_ptr<Slot>> m_buffers;
    size_t m_nLatest = 0; // the buffer the show draws into, which holds the last frame once brought over
    std::vector<DamageRect> m_rects;
    wl_callback* m_frame = nullptr; // the last frame's callback, until it comes
    CTickPace m_pace;
};
