// A plain X window for the velunor tests to draw into, as a screen-saver
// daemon's window or a settings preview would be: filled with one colour so
// that any part the program leaves unpainted shows.
//   velunor_test_window WxH[+X+Y] RRGGBB
// Prints the window id (0x hex) once the window is mapped, then keeps it
// until the process is ended.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    unsigned width = 0, height = 0;
    int x = 0, y = 0;
    if (argc != 3 || std::sscanf(argv[1], "%ux%u+%d+%d", &width, &height, &x, &y) < 2 || !width || !height) {
        std::fprintf(stderr, "usage: velunor_test_window WxH[+X+Y] RRGGBB\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "velunor_test_window: no display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes = {};
    attributes.background_pixel = std::strtoul(argv[2], nullptr, 16);
    attributes.event_mask = StructureNotifyMask;
    const Window window = XCreateWindow(display, RootWindow(display, screen), x, y, width, height, 0,
                                        CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWEventMask,
                                        &attributes);
    XMapWindow(display, window);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify) {
            std::printf("0x%lx\n", window);
            std::fflush(stdout);
        }
    }
}
