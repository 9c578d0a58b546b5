#include "wayland/DesktopCopy.h"

#include "wlr-screencopy-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <cstdio>

namespace {

// DRM's codes for the byte orders named "ABGR" and "XBGR" (little-endian
// words 0xAABBGGRR); wl_shm gives only ARGB and XRGB names of their own.
constexpr uint32_t kAbgr8888 = 0x34324241;
constexpr uint32_t kXbgr8888 = 0x34324258;

bool RedFirst(uint32_t format)
{
    return format == WL_SHM_FORMAT_ARGB8888 || format == WL_SHM_FORMAT_XRGB8888;
}

bool Known(uint32_t format)
{
    return RedFirst(format) || format == kAbgr8888 || format == kXbgr8888;
}

std::string FormatName(uint32_t format)
{
    char name[16];
    std::snprintf(name, sizeof name, "0x%08x", format);
    return name;
}

} // namespace

bool CopiedPixels(uint32_t format, int width, int height, int stride, bool yInverted, const uint8_t* bytes,
                  std::vector<uint32_t>& pixels)
{
    const bool rgb = RedFirst(format);
    if (!Known(format) || width <= 0 || height <= 0 || stride / 4 < width)
        return false;
    pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const int from = yInverted ? height - 1 - y : y;
        const uint8_t* row = bytes + static_cast<size_t>(from) * static_cast<size_t>(stride);
        uint32_t* to = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = row + 4 * x;
            // Little-endian words: blue, green, red (or red, green, blue) and alpha bytes.
            const uint32_t r = rgb ? p[2] : p[0];
            const uint32_t b = rgb ? p[0] : p[2];
            to[x] = (r << 16) | (static_cast<uint32_t>(p[1]) << 8) | b;
        }
    }
    return true;
}

const zwlr_screencopy_frame_v1_listener CDesktopCopy::kListener = {
    .buffer = OnBuffer,
    .flags = OnFlags,
    .ready = OnReady,
    .failed = OnFailed,
    .damage = OnDamage,
    .linux_dmabuf = OnDmabuf,
    .buffer_done = OnBufferDone,
};

void CDesktopCopy::Start(zwlr_screencopy_manager_v1* manager, wl_output* output, wl_shm* shm)
{
    Stop();
    m_shm = shm;
    m_state = State::Copying;
    m_bOffered = false;
    m_bInverted = false;
    m_frame = zwlr_screencopy_manager_v1_capture_output(manager, 0, output);
    zwlr_screencopy_frame_v1_add_listener(m_frame, &kListener, this);
}

void CDesktopCopy::OnBuffer(void* data, zwlr_screencopy_frame_v1* frame, uint32_t format, uint32_t width,
                            uint32_t height, uint32_t stride)
{
    CDesktopCopy* self = static_cast<CDesktopCopy*>(data);
    if (self->m_bOffered)
        return;
    self->m_bOffered = true;
    self->m_format = format;
    self->m_nWidth = static_cast<int>(width);
    self->m_nHeight = static_cast<int>(height);
    self->m_nStride = static_cast<int>(stride);
    // Before version 3 the buffer event is the last word on buffers.
    if (zwlr_screencopy_frame_v1_get_version(frame) < 3)
        self->Copy();
}

void CDesktopCopy::OnFlags(void* data, zwlr_screencopy_frame_v1*, uint32_t flags)
{
    static_cast<CDesktopCopy*>(data)->m_bInverted = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
}

void CDesktopCopy::OnReady(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t)
{
    CDesktopCopy* self = static_cast<CDesktopCopy*>(data);
    if (!self->m_buffer || !CopiedPixels(self->m_format, self->m_nWidth, self->m_nHeight, self->m_nStride,
                                         self->m_bInverted, self->m_buffer->Data(), self->m_pixels)) {
        self->Fail("no copy came");
        return;
    }
    self->m_state = State::Copied;
    self->Stop();
}

void CDesktopCopy::OnFailed(void* data, zwlr_screencopy_frame_v1*)
{
    static_cast<CDesktopCopy*>(data)->Fail("the compositor could not copy it");
}

void CDesktopCopy::OnDamage(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {}

void CDesktopCopy::OnDmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}

void CDesktopCopy::OnBufferDone(void* data, zwlr_screencopy_frame_v1*)
{
    CDesktopCopy* self = static_cast<CDesktopCopy*>(data);
    if (!self->m_bOffered) {
        self->Fail("the compositor offers no shared-memory copy");
        return;
    }
    self->Copy();
}

void CDesktopCopy::Copy()
{
    if (!Known(m_format)) {
        Fail("the compositor copies in format " + FormatName(m_format) + " only");
        return;
    }
    m_buffer = std::make_unique<CShmBuffer>();
    std::string reason;
    if (!m_buffer->Create(m_shm, m_nWidth, m_nHeight, m_format, reason, m_nStride)) {
        Fail(reason);
        return;
    }
    zwlr_screencopy_frame_v1_copy(m_frame, m_buffer->Buffer());
}

void CDesktopCopy::Fail(const std::string& reason)
{
    m_reason = reason;
    m_state = State::Failed;
    Stop();
}

void CDesktopCopy::Stop()
{
    if (m_frame) {
        zwlr_screencopy_frame_v1_destroy(m_frame);
        m_frame = nullptr;
    }
    m_buffer.reset();
}
