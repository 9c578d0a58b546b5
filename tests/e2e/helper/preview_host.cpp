// Shows the saver's preview the way the display settings do, but in a window
// of this same process: under Wine a preview child drawn by another process
// never reaches the screen, so screenshots and scripts/run-show.sh /p show
// the preview from here.
//   preview_host <width> <height> <milliseconds>
//       a borderless window at (0, 0) whose client area is width x height,
//       kept for the given time, then destroyed; exit code 0.
//   preview_host --window <width> <height> [milliseconds]
//       the same in a captioned window titled "Preview", kept
//       until the user closes it or the time (when given) is over.
// Either way the animation window fills the client area as the preview child.
#include "app/ShowApp.h"
#include "show/ShowWnd.h"
#include "tests/e2e/helper/host_window.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kUsage[] = "usage: preview_host <width> <height> <milliseconds>\n"
                      "       preview_host --window <width> <height> [milliseconds]\n";

HWND MakeCaptionedHost(int width, int height)
{
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
    RECT outer = {0, 0, width, height};
    AdjustWindowRect(&outer, style, FALSE);
    return MakeHostWindow("MorvaPreviewWindow", "Preview", style, 40, 40, outer.right - outer.left,
                          outer.bottom - outer.top);
}

// Dispatches messages until the host window is gone: closing it destroys it,
// and the preview child with it.
void PumpWhileOpen(HWND host)
{
    MSG msg;
    while (IsWindow(host) && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const bool windowed = argc > 1 && std::strcmp(argv[1], "--window") == 0;
    const int first = windowed ? 2 : 1;
    const int count = argc - first;
    if (windowed ? (count != 2 && count != 3) : count != 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const int width = std::atoi(argv[first]);
    const int height = std::atoi(argv[first + 1]);
    const bool timed = count == 3;
    const DWORD milliseconds = timed ? static_cast<DWORD>(std::atoi(argv[first + 2])) : 0;

    CShowApp app;
    app.m_strRunMode = "p";

    HWND host = windowed ? MakeCaptionedHost(width, height)
                         : MakeHostWindow("MorvaPreviewHost", "Preview host", WS_POPUP | WS_VISIBLE, 0, 0, width, height);
    if (!host)
        return 3;
    RECT client;
    GetClientRect(host, &client);

    // Auto-deleting, like the preview the saver makes: it goes with its parent.
    CShowWnd* preview = new CShowWnd(TRUE);
    if (!preview->Create(0, WS_CHILD | WS_VISIBLE, client, CWnd::FromHandle(host))) {
        DestroyWindow(host);
        return 4;
    }
    if (!timed) {
        PumpWhileOpen(host);
        return 0;
    }
    PumpMessages(milliseconds);
    if (IsWindow(host))
        DestroyWindow(host);
    PumpMessages(0);
    return 0;
}
