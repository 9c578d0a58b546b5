// Shows the saver's preview the way the display settings do, but in a window
// of this same process: under Wine a preview child drawn by another process
// never reaches the screen, so screenshots of the preview come from here.
//   preview_host <width> <height> <milliseconds>
// Makes a borderless window at (0, 0) whose client area is width x height,
// fills it with the animation window as the preview child, keeps both for
// the given time, then destroys the host and ends with code 0.
#include "app/ShowApp.h"
#include "show/ShowWnd.h"
#include "tests/e2e/helper/host_window.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>


int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: preview_host <width> <height> <milliseconds>\n");
        return 2;
    }
    const int width = std::atoi(argv[1]);
    const int height = std::atoi(argv[2]);
    const DWORD milliseconds = static_cast<DWORD>(std::atoi(argv[3]));

    CShowApp app;
    app.m_strRunMode = "p";

    HWND host = MakeHostWindow("MorvaPreviewHost", "Preview host", WS_POPUP | WS_VISIBLE, 0, 0, width, height);
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
    PumpMessages(milliseconds);
    DestroyWindow(host);
    PumpMessages(0);
    return 0;
}
