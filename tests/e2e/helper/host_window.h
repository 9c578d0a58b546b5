// Plain top-level windows and a message pump for the test programs that
// stand in for the system around the saver.
#pragma once

#include <windows.h>

// A white window of its own class at (x, y) with the given outer size.
inline HWND MakeHostWindow(const char* className, const char* title, DWORD style, int x, int y, int width,
                           int height)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = className;
    RegisterClassA(&wc);
    return CreateWindowExA(0, className, title, style, x, y, width, height, nullptr, nullptr, wc.hInstance,
                           nullptr);
}

// Dispatches this thread's messages for the given time.
inline void PumpMessages(DWORD milliseconds)
{
    const DWORD end = GetTickCount() + milliseconds;
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (static_cast<LONG>(end - GetTickCount()) > 0);
}
