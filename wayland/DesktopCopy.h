// One output's own contents, copied with the screencopy protocol before the
// show's surface covers it (--desktop, the desktop under water): the
// compositor names a buffer's format and size, copies into a shared-memory
// buffer of ours, and the bytes become the picture's top-down pixels.
#pragma once

#include "wayland/ShmBuffer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct wl_output;
struct wl_shm;
struct zwlr_screencopy_frame_v1;
struct zwlr_screencopy_frame_v1_listener;
struct zwlr_screencopy_manager_v1;

// The bytes of a copy as top-down 0x00RRGGBB pixels. `format` is a wl_shm
// format: ARGB8888 and XRGB8888 (words 0xAARRGGBB), ABGR8888 and XBGR8888
// (0xAABBGGRR); `yInverted`: the rows run bottom-up. False for any other
// format or a stride shorter than a row.
bool CopiedPixels(uint32_t format, int width, int height, int stride, bool yInverted, const uint8_t* bytes,
                  std::vector<uint32_t>& pixels);

class CDesktopCopy {
public:
    enum class State { Idle, Copying, Copied, Failed };

    CDesktopCopy() = default;
    ~CDesktopCopy() { Stop(); }
    CDesktopCopy(const CDesktopCopy&) = delete;
    CDesktopCopy& operator=(const CDesktopCopy&) = delete;

    void Start(zwlr_screencopy_manager_v1* manager, wl_output* output, wl_shm* shm);
    // Stops a copy that takes too long (an output that is not drawn gets
    // none): Failed, for `reason`.
    void Fail(const std::string& reason);
    State GetState() const { return m_state; }
    // Copied: the pixels (handed over, once) and their size. Failed: why.
    std::vector<uint32_t> TakePixels() { return std::move(m_pixels); }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    const std::string& Reason() const { return m_reason; }

private:
    static const zwlr_screencopy_frame_v1_listener kListener;
    static void OnBuffer(void* data, zwlr_screencopy_frame_v1* frame, uint32_t format, uint32_t width,
                         uint32_t height, uint32_t stride);
    static void OnFlags(void* data, zwlr_screencopy_frame_v1* frame, uint32_t flags);
    static void OnReady(void* data, zwlr_screencopy_frame_v1* frame, uint32_t secondsHigh, uint32_t secondsLow,
                        uint32_t nanoseconds);
    static void OnFailed(void* data, zwlr_screencopy_frame_v1* frame);
    static void OnDamage(void* data, zwlr_screencopy_frame_v1* frame, uint32_t x, uint32_t y, uint32_t width,
                         uint32_t height);
    static void OnDmabuf(void* data, zwlr_screencopy_frame_v1* frame, uint32_t format, uint32_t width,
                         uint32_t height);
    static void OnBufferDone(void* data, zwlr_screencopy_frame_v1* frame);

    void Copy();
    void Stop();

    zwlr_screencopy_frame_v1* m_frame = nullptr;
    wl_shm* m_shm = nullptr;
    std::unique_ptr<CShmBuffer> m_buffer;
    State m_state = State::Idle;
    bool m_bOffered = false;
    uint32_t m_format = 0;
    int m_nStride = 0;
    bool m_bInverted = false;
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::vector<uint32_t> m_pixels;
    std::string m_reason;
};
