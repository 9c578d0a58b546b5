#include "wayland/OutputShow.h"

#include "ripple/RippleTarget.h"

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

// Two buffers: one the compositor shows while the next is drawn; a third
// when the compositor keeps both a while longer.
constexpr size_t kBuffers = 2;
constexpr size_t kMostBuffers = 3;
// Damage rectangles a frame: beyond this many, neighbours are merged.
constexpr int kMostRects = 32;
// Opaque in ARGB8888; in XRGB8888 the byte is unused, but some compositors
// pass it on into their screenshots as alpha.
constexpr uint32_t kOpaque = 0xFF000000u;
// A copy of an output's contents comes with its next frame; an output that
// is not drawn (switched off) sends none.
constexpr int64_t kCopyMs = 1000;
constexpr size_t kNoBuffer = static_cast<size_t>(-1);

COutputShow& Of(void* data)
{
    return *static_cast<COutputShow*>(data);
}

} // namespace

CPicture& CShowShared::Picture()
{
    if (!m_bLoaded) {
        LoadPictureOrShipped(m_picture, options.desktop ? std::string() : options.picture);
        m_bLoaded = true;
    }
    return m_picture;
}

const wl_output_listener COutputShow::kOutputListener = {
    .geometry = OnGeometry,
    .mode = OnMode,
    .done = OnOutputDone,
    .scale = OnScale,
    .name = OnName,
    .description = OnDescription,
};

const wl_surface_listener COutputShow::kSurfaceListener = {
    .enter = OnSurfaceEnter,
    .leave = OnSurfaceLeave,
};

const zwlr_layer_surface_v1_listener COutputShow::kLayerListener = {
    .configure = OnLayerConfigure,
    .closed = OnLayerClosed,
};

const xdg_surface_listener COutputShow::kXdgSurfaceListener = {
    .configure = OnXdgConfigure,
};

const xdg_toplevel_listener COutputShow::kToplevelListener = {
    .configure = OnToplevelConfigure,
    .close = OnToplevelClose,
    .configure_bounds = OnToplevelBounds,
    .wm_capabilities = OnToplevelCapabilities,
};

const wl_callback_listener COutputShow::kFrameListener = {
    .done = OnFrameDone,
};

const wp_fractional_scale_v1_listener COutputShow::kFractionalListener = {
    .preferred_scale = OnPreferredScale,
};

void COutputShow::OnGeometry(void* data, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                             const char*, int32_t transform)
{
    Of(data).m_pixels.transform = transform;
}

void COutputShow::OnMode(void* data, wl_output* output, uint32_t flags, int32_t width, int32_t height, int32_t)
{
    COutputShow& self = Of(data);
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        self.m_pixels.modeWidth = width;
        self.m_pixels.modeHeight = height;
    }
    // Before version 2 there is no "done": the mode is the last word.
    if (wl_output_get_version(output) < WL_OUTPUT_DONE_SINCE_VERSION)
        self.Announced();
}

void COutputShow::OnOutputDone(void* data, wl_output*)
{
    Of(data).Announced();
}

void COutputShow::OnScale(void* data, wl_output*, int32_t factor)
{
    Of(data).m_pixels.scale = factor;
}

void COutputShow::OnName(void* data, wl_output*, const char* name)
{
    Of(data).m_name = name;
}

void COutputShow::OnDescription(void*, wl_output*, const char*) {}

void COutputShow::OnSurfaceEnter(void* data, wl_surface*, wl_output*)
{
    COutputShow& self = Of(data);
    self.m_bEntered = true;
    self.TakeScale();
}

void COutputShow::OnSurfaceLeave(void*, wl_surface*, wl_output*) {}

void COutputShow::OnLayerConfigure(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width,
                                   uint32_t height)
{
    zwlr_layer_surface_v1_ack_configure(layer, serial);
    Of(data).Configured(static_cast<int>(width), static_cast<int>(height));
}

void COutputShow::OnLayerClosed(void* data, zwlr_layer_surface_v1*)
{
    COutputShow& self = Of(data);
    self.DropSurface();
    self.m_bClosed = true;
}

void COutputShow::OnXdgConfigure(void* data, xdg_surface* surface, uint32_t serial)
{
    xdg_surface_ack_configure(surface, serial);
    COutputShow& self = Of(data);
    self.Configured(self.m_nPendingWidth, self.m_nPendingHeight);
}

void COutputShow::OnToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*)
{
    COutputShow& self = Of(data);
    self.m_nPendingWidth = width;
    self.m_nPendingHeight = height;
}

// The window closed by the user or the desktop, as a key would.
void COutputShow::OnToplevelClose(void* data, xdg_toplevel*)
{
    Of(data).m_shared.ended = true;
}

void COutputShow::OnToplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}

void COutputShow::OnToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}

void COutputShow::OnFrameDone(void* data, wl_callback* callback, uint32_t)
{
    wl_callback_destroy(callback);
    Of(data).m_frame = nullptr;
}

void COutputShow::OnPreferredScale(void* data, wp_fractional_scale_v1*, uint32_t scale)
{
    COutputShow& self = Of(data);
    self.m_nPreferred120 = static_cast<int>(scale);
    self.TakeScale();
}

COutputShow::COutputShow(CShowShared& shared, wl_output* output, uint32_t globalName)
    : m_shared(shared), m_output(output), m_nGlobal(globalName), m_name("output-" + std::to_string(globalName)),
      m_contents(shared.loop), m_show(shared.options.mode),
      m_pace(shared.options.holdAfter, shared.options.logTicks ? stderr : nullptr)
{
    m_show.SetThreads(shared.options.threads);
    wl_output_add_listener(m_output, &kOutputListener, this);
}

COutputShow::~COutputShow()
{
    DropSurface();
    if (wl_output_get_version(m_output) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
        wl_output_release(m_output);
    else
        wl_output_destroy(m_output);
}

void COutputShow::TakeScale()
{
    const int scale120 = m_bEntered ? m_nPreferred120 : 0;
    if (scale120 != m_pixels.scale120) {
        m_pixels.scale120 = scale120;
        m_bChanged = true;
    }
}

void COutputShow::Announced()
{
    m_bAnnounced = true;
    m_bChanged = true;
}

void COutputShow::Configured(int width, int height)
{
    m_bConfigured = true;
    m_nConfiguredWidth = width;
    m_nConfiguredHeight = height;
    m_bChanged = true;
}

void COutputShow::Update(int64_t now)
{
    if (!m_bAnnounced || m_bClosed)
        return;
    if (!m_surface) {
        if (TakeCopy(now))
            MakeSurface();
        return;
    }
    if (m_bChanged && m_bConfigured) {
        m_bChanged = false;
        Apply(now);
    } else if (!m_bShowing && !m_buffers.empty() && StartShow(now)) {
        Present(true);
    }
}

bool COutputShow::TakeCopy(int64_t now)
{
    if (!m_shared.options.desktop || !m_shared.screencopy)
        return true;
    if (m_copy.GetState() == CDesktopCopy::State::Copying && now - m_nCopyStarted >= kCopyMs)
        m_copy.Fail("none came within a second");
    switch (m_copy.GetState()) {
    case CDesktopCopy::State::Idle:
        m_copy.Start(m_shared.screencopy, m_output, m_shared.shm);
        m_nCopyStarted = now;
        return false;
    case CDesktopCopy::State::Copying:
        return false;
    case CDesktopCopy::State::Copied:
        m_bOwnContents = m_contents.FromPixels(m_copy.TakePixels(), m_copy.Width(), m_copy.Height());
        if (!m_bOwnContents)
            std::fprintf(stderr, "velunor: not enough memory for the contents of %s; showing the shipped picture\n",
                         Name());
        return true;
    case CDesktopCopy::State::Failed:
        std::fprintf(stderr, "velunor: no copy of the contents of %s: %s; showing the shipped picture\n", Name(),
                     m_copy.Reason().c_str());
        return true;
    }
    return true;
}

void COutputShow::MakeSurface()
{
    m_surface = wl_compositor_create_surface(m_shared.compositor);
    wl_surface_add_listener(m_surface, &kSurfaceListener, this);
    if (m_shared.viewporter)
        m_viewport = wp_viewporter_get_viewport(m_shared.viewporter, m_surface);
    // A fractional scale is shown through the viewport.
    if (m_viewport && m_shared.fractionalScale) {
        m_fractional = wp_fractional_scale_manager_v1_get_fractional_scale(m_shared.fractionalScale, m_surface);
        wp_fractional_scale_v1_add_listener(m_fractional, &kFractionalListener, this);
    }
    if (m_shared.layerShell) {
        m_layer = zwlr_layer_shell_v1_get_layer_surface(m_shared.layerShell, m_surface, m_output,
                                                        ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "velunor");
        zwlr_layer_surface_v1_add_listener(m_layer, &kLayerListener, this);
        zwlr_layer_surface_v1_set_size(m_layer, 0, 0);
        zwlr_layer_surface_v1_set_anchor(m_layer,
                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM
                                             | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT
                                             | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        // -1: over the panels and bars too, not beside them.
        zwlr_layer_surface_v1_set_exclusive_zone(m_layer, -1);
        zwlr_layer_surface_v1_set_keyboard_interactivity(m_layer,
                                                         ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
    } else {
        m_xdgSurface = xdg_wm_base_get_xdg_surface(m_shared.wmBase, m_surface);
        xdg_surface_add_listener(m_xdgSurface, &kXdgSurfaceListener, this);
        m_toplevel = xdg_surface_get_toplevel(m_xdgSurface);
        xdg_toplevel_add_listener(m_toplevel, &kToplevelListener, this);
        xdg_toplevel_set_title(m_toplevel, "Velunor ScreenSaver");
        xdg_toplevel_set_app_id(m_toplevel, "velunor");
        xdg_toplevel_set_fullscreen(m_toplevel, m_output);
    }
    // No buffer before the first configure, as both roles ask.
    wl_surface_commit(m_surface);
}

void COutputShow::DropSurface()
{
    if (m_frame) {
        wl_callback_destroy(m_frame);
        m_frame = nullptr;
    }
    m_buffers.clear();
    if (m_fractional) {
        wp_fractional_scale_v1_destroy(m_fractional);
        m_fractional = nullptr;
    }
    m_bEntered = false;
    m_nPreferred120 = 0;
    m_pixels.scale120 = 0;
    if (m_viewport) {
        wp_viewport_destroy(m_viewport);
        m_viewport = nullptr;
    }
    if (m_layer) {
        zwlr_layer_surface_v1_destroy(m_layer);
        m_layer = nullptr;
    }
    if (m_toplevel) {
        xdg_toplevel_destroy(m_toplevel);
        m_toplevel = nullptr;
    }
    if (m_xdgSurface) {
        xdg_surface_destroy(m_xdgSurface);
        m_xdgSurface = nullptr;
    }
    if (m_surface) {
        wl_surface_destroy(m_surface);
        m_surface = nullptr;
    }
    m_bConfigured = false;
    m_bShowing = false;
}

void COutputShow::Apply(int64_t now)
{
    SurfaceLayout layout;
    if (!LayOutSurface(m_pixels, m_nConfiguredWidth, m_nConfiguredHeight, m_viewport != nullptr, layout))
        return;
    const bool resized = m_buffers.empty() || !layout.SameSize(m_layout);
    if (!resized && layout == m_layout)
        return;
    if (resized && !Resize(layout.width, layout.height))
        return;
    m_layout = layout;
    wl_surface_set_buffer_scale(m_surface, layout.bufferScale);
    if (m_viewport) {
        if (layout.viewWidth > 0)
            wp_viewport_set_destination(m_viewport, layout.viewWidth, layout.viewHeight);
        else
            wp_viewport_set_destination(m_viewport, -1, -1);
    }
    if (resized && !StartShow(now))
        Cover();
    Present(true);
}

bool COutputShow::Resize(int width, int height)
{
    m_buffers.clear();
    m_bShowing = false;
    for (size_t i = 0; i < kBuffers; ++i) {
        auto slot = std::make_unique<Slot>();
        std::string reason;
        if (!slot->buffer.Create(m_shared.shm, width, height, m_shared.shmFormat, reason)) {
            std::fprintf(stderr, "velunor: %s cannot be shown: %s\n", Name(), reason.c_str());
            DropSurface();
            m_bClosed = true;
            return false;
        }
        m_buffers.push_back(std::move(slot));
    }
    m_nLatest = 0;
    return true;
}

bool COutputShow::StartShow(int64_t now)
{
    CPicture& picture = m_bOwnContents ? m_contents : m_shared.Picture();
    const int width = m_buffers[0]->buffer.Width();
    const int height = m_buffers[0]->buffer.Height();
    if (!picture.Ready(width, height)) {
        picture.Ask(width, height);
        return false;
    }
    // None free until the compositor releases one, which wakes the loop.
    const size_t pick = FreeBuffer();
    if (pick == kNoBuffer)
        return false;
    std::vector<uint32_t> source;
    picture.Stretch(width, height, source);
    for (size_t i = 0; i < m_buffers.size(); ++i)
        m_buffers[i]->missing.Reset(height, width, i != pick);
    m_nLatest = pick;
    const CShmBuffer& into = m_buffers[pick]->buffer;
    const ripple::Target target = ripple::Target::TopDown(into.Data(), height, into.Stride(), kOpaque);
    if (!m_show.Start(std::move(source), width, height, &target))
        std::fprintf(stderr, "velunor: not enough memory for water of %dx%d on %s; showing the still picture\n",
                     width, height, Name());
    m_bShowing = true;
    m_pace.Start(now);
    return true;
}

void COutputShow::Cover()
{
    // The memory the show draws into once it starts: covering costs none.
    const CShmBuffer& buffer = m_buffers[m_nLatest]->buffer;
    uint32_t* pixels = reinterpret_cast<uint32_t*>(buffer.Data());
    std::fill(pixels, pixels + static_cast<size_t>(buffer.Stride() / 4) * static_cast<size_t>(buffer.Height()),
              kOpaque);
}

bool COutputShow::CanDraw() const
{
    if (m_frame)
        return false;
    if (m_buffers.size() < kMostBuffers)
        return true;
    for (const auto& slot : m_buffers) {
        if (!slot->buffer.Held())
            return true;
    }
    return false;
}

size_t COutputShow::FreeBuffer()
{
    if (!m_buffers[m_nLatest]->buffer.Held())
        return m_nLatest;
    size_t pick = 0;
    while (pick < m_buffers.size() && m_buffers[pick]->buffer.Held())
        ++pick;
    if (pick < m_buffers.size())
        return pick;
    if (m_buffers.size() >= kMostBuffers)
        return kNoBuffer;
    const CShmBuffer& latest = m_buffers[m_nLatest]->buffer;
    auto slot = std::make_unique<Slot>();
    std::string reason;
    if (!slot->buffer.Create(m_shared.shm, latest.Width(), latest.Height(), m_shared.shmFormat, reason))
        return kNoBuffer;
    slot->missing.Reset(latest.Height(), latest.Width(), true);
    m_buffers.push_back(std::move(slot));
    return pick;
}

CShmBuffer* COutputShow::DrawingBuffer()
{
    if (m_buffers.empty())
        return nullptr;
    const size_t pick = FreeBuffer();
    if (pick == kNoBuffer)
        return nullptr;
    if (pick == m_nLatest)
        return &m_buffers[pick]->buffer;
    // Reading a buffer the compositor holds is allowed; writing it is not.
    // What this one missed of the last frame is brought over by the next
    // tick as it draws, reading the last buffer only where it draws nothing.
    const CShmBuffer& latest = m_buffers[m_nLatest]->buffer;
    Slot& slot = *m_buffers[pick];
    const ripple::Target target =
        ripple::Target::TopDown(slot.buffer.Data(), slot.buffer.Height(), slot.buffer.Stride(), kOpaque);
    if (slot.missing.Empty())
        m_show.MoveTarget(target);
    else
        m_show.MoveTarget(target, ripple::Target::TopDown(latest.Data(), latest.Height(), latest.Stride(), kOpaque),
                          slot.missing.Rows());
    slot.missing.Clear();
    m_nLatest = pick;
    return &slot.buffer;
}

void COutputShow::TickIfDue(int64_t now)
{
    if (!m_bShowing || !CanDraw() || !m_pace.Due(now))
        return;
    // Without a buffer to draw into the tick is let go.
    if (DrawingBuffer() && m_show.Tick())
        Present(false);
    m_pace.Took(now, Name());
}

int64_t COutputShow::Deadline() const
{
    if (m_copy.GetState() == CDesktopCopy::State::Copying)
        return m_nCopyStarted + kCopyMs;
    return m_bShowing && CanDraw() ? m_pace.Next() : kNever;
}

void COutputShow::Present(bool whole)
{
    if (m_buffers.empty())
        return;
    if (m_bShowing) {
        if (!DrawingBuffer())
            return;
        // Without a tick since it was taken, it may still miss some of the
        // last.
        m_show.BringOver();
        for (size_t i = 0; i < m_buffers.size(); ++i) {
            if (i != m_nLatest)
                m_buffers[i]->missing.Add(m_show.Changed());
        }
    }
    // The black cover is never written again: shown again as it is.
    CShmBuffer& buffer = m_buffers[m_nLatest]->buffer;
    wl_surface_attach(m_surface, buffer.Buffer(), 0, 0);
    // The buffer's own size at most: a larger rectangle overflows in some
    // compositors' sums and damages nothing. Surface coordinates are never
    // larger than the buffer's, so without buffer damage the whole surface
    // is damaged.
    if (!whole && wl_surface_get_version(m_surface) >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION) {
        DamageRects(m_show.Changed(), m_show.Into(), kMostRects, m_rects);
        for (const DamageRect& r : m_rects)
            wl_surface_damage_buffer(m_surface, r.x, r.y, r.width, r.height);
    } else if (wl_surface_get_version(m_surface) >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION) {
        wl_surface_damage_buffer(m_surface, 0, 0, buffer.Width(), buffer.Height());
    } else {
        wl_surface_damage(m_surface, 0, 0, buffer.Width(), buffer.Height());
    }
    if (m_frame)
        wl_callback_destroy(m_frame);
    m_frame = wl_surface_frame(m_surface);
    wl_callback_add_listener(m_frame, &kFrameListener, this);
    wl_surface_commit(m_surface);
    buffer.Attached();
}
