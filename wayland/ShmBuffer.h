// A buffer of pixels shared with the compositor through wl_shm: memory of
// its own (a memfd) mapped here, and whether the compositor holds it, from
// the commit that attaches it until it releases it. A held buffer is never
// written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct wl_buffer;
struct wl_buffer_listener;
struct wl_shm;

class CShmBuffer {
public:
    CShmBuffer() = default;
    ~CShmBuffer();
    CShmBuffer(const CShmBuffer&) = delete;
    CShmBuffer& operator=(const CShmBuffer&) = delete;

    // `format` is a wl_shm format of 4 bytes a pixel; `stride` 0 means rows
    // of exactly `width` pixels. False, with the reason, when there is no
    // memory for it.
    bool Create(wl_shm* shm, int width, int height, uint32_t format, std::string& reason, int stride = 0);

    uint8_t* Data() const { return m_pData; }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    int Stride() const { return m_nStride; }
    wl_buffer* Buffer() const { return m_buffer; }

    bool Held() const { return m_bHeld; }
    // Call when a commit attaches it: held until the compositor releases it.
    void Attached() { m_bHeld = true; }

private:
    static void OnRelease(void* data, wl_buffer* buffer);
    static const wl_buffer_listener kListener;

    wl_buffer* m_buffer = nullptr;
    uint8_t* m_pData = nullptr;
    size_t m_size = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nStride = 0;
    bool m_bHeld = false;
};
