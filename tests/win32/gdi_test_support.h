// Helpers shared by the Win32 tests of GDI code.
#pragma once

#include <windows.h>

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
