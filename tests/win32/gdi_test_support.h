// Helpers shared by the Win32 tests of GDI code.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

// GDI objects the process holds. Wine's GetGuiResources is a stub that
// returns 0; there a handle's table index alone names a live object, so the
// table can be counted directly.
inline DWORD CountGdiObjects()
{
    const DWORD reported = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported)
        return reported;
    DWORD count = 0;
    for (ULONG_PTR index = 1; index < 0x10000; ++index)
        if (::GetObjectType(reinterpret_cast<HGDIOBJ>(index)))
            ++count;
    return count;
}

inline int ScreenBits()
{
    HDC screen = ::GetDC(nullptr);
    const int bits = ::GetDeviceCaps(screen, BITSPIXEL);
    ::ReleaseDC(nullptr, screen);
    return bits;
}

// A 32-bit DIB section holding `pixels` (0x00RRGGBB, rows from the top);
// `bits`, when given, receives the section's pixel memory.
inline HBITMAP MakeTopDownBitmap(int width, int height, const std::vector<std::uint32_t>& pixels,
                                 std::uint32_t** bits = nullptr)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* memory = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
    if (bitmap)
        std::memcpy(memory, pixels.data(), pixels.size() * 4);
    if (bits)
        *bits = static_cast<std::uint32_t*>(memory);
    return bitmap;
}

// What `dc` shows from (0, 0), width x height, as 0x00RRGGBB, rows from the
// top, or from the bottom as a DIB holds them.
inline std::vector<std::uint32_t> DcPixels(HDC dc, int width, int height, bool bottomUp = false)
{
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    ::SelectObject(memory, old);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, width, bottomUp ? height : -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<std::uint32_t> pixels(static_cast<size_t>(width) * height);
    ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    for (std::uint32_t& p : pixels)
        p &= 0x00FFFFFF;
    return pixels;
}
