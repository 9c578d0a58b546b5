#include "linux/Options.h"

#include "base/TextNumber.h"

#include <cstring>

namespace {

const char kUsageLine[] = "usage: velunor [--window-id ID | --root | --wayland [--idle SECONDS]] [--geometry WxH] "
                          "[--mode N] [--picture FILE | --desktop] [--hold-after N] [--threads N] [--log-ticks] "
                          "[--help]";
const char kUsage[] =
    "usage: velunor [--window-id ID | --root | --wayland [--idle SECONDS]] [--geometry WxH]\n"
    "               [--mode N] [--picture FILE | --desktop] [--hold-after N] [--threads N]\n"
    "               [--log-ticks] [--help]\n"
    "  A picture under water. On X11 it draws into the window ID (decimal or 0x hex),\n"
    "  else into $XSCREENSAVER_WINDOW, else with --root into the root window, else\n"
    "  into a window of its own (1280x720 or --geometry), closed by Escape or q.\n"
    "  --wayland     covers every output of the Wayland compositor of $WAYLAND_DISPLAY\n"
    "                (for swayidle, hypridle) and ends on a key, a pointer button, a\n"
    "                scroll or a pointer move\n"
    "  --idle S      with --wayland: stays in the session and shows after S seconds\n"
    "                without input (1 to 86400), again after each show\n"
    "  --mode N      0 alternates mode 1 and mode 2 (default); 1 or 2 keeps one;\n"
    "                any other number shows the still picture\n"
    "  --picture F   a JPEG, PNG or other image file instead of the shipped picture\n"
    "  --desktop     the image XScreenSaver chooses (xscreensaver-getimage); with\n"
    "                --wayland each output's own contents\n"
    "  --hold-after N  stop the water after tick N, keeping that frame\n"
    "  --threads N   threads for the water: 0 (default) one while one keeps the\n"
    "                pace and more only while it cannot; else N (at most 64)\n"
    "  --log-ticks   one line per tick on stderr: tick number and monotonic ms\n"
    "                (and the output's name with --wayland)\n"
    "  The show is silent: it plays no sound. Every option may start with - or --.\n";

bool ParseGeometry(const char* text, int& width, int& height)
{
    const char* x = std::strpbrk(text, "xX");
    if (!x)
        return false;
    const std::string w(text, x);
    unsigned long long a = 0, b = 0;
    if (!ParseWhole(w.c_str(), 10, 16384, a) || !ParseWhole(x + 1, 10, 16384, b) || a == 0 || b == 0)
        return false;
    width = static_cast<int>(a);
    height = static_cast<int>(b);
    return true;
}

} // namespace

bool ParseWindowId(const char* text, unsigned long& id)
{
    unsigned long long v = 0;
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    // X ids have 29 bits.
    if (!ParseWhole(hex ? text + 2 : text, hex ? 16 : 10, 0x1FFFFFFF, v) || v == 0)
        return false;
    id = static_cast<unsigned long>(v);
    return true;
}

bool ParseVelunorOptions(int argc, const char* const* argv, VelunorOptions& options, std::string& error,
                         int& status)
{
    status = 1;
    for (int a = 1; a < argc; ++a) {
        const char* arg = argv[a];
        if (arg[0] != '-') {
            error = std::string("unexpected argument ") + arg;
            return false;
        }
        const std::string name = arg + (arg[1] == '-' ? 2 : 1);
        if (name == "root") {
            options.root = true;
            continue;
        }
        if (name == "wayland") {
            options.wayland = true;
            continue;
        }
        if (name == "desktop") {
            options.desktop = true;
            continue;
        }
        if (name == "help" || name == "h") {
            options.help = true;
            continue;
        }
        if (name == "log-ticks") {
            options.logTicks = true;
            continue;
        }
        const bool takesValue = name == "window-id" || name == "geometry" || name == "mode" || name == "picture"
                                || name == "hold-after" || name == "threads" || name == "idle";
        if (!takesValue) {
            error = std::string("unknown option ") + arg;
            return false;
        }
        if (a + 1 >= argc) {
            error = std::string("missing value after ") + arg;
            return false;
        }
        const char* value = argv[++a];
        bool good = true;
        if (name == "window-id")
            good = ParseWindowId(value, options.windowId);
        else if (name == "geometry")
            good = ParseGeometry(value, options.width, options.height);
        else if (name == "mode")
            good = ParseInt(value, options.mode);
        else if (name == "hold-after")
            good = ParseInt(value, options.holdAfter) && options.holdAfter >= 0;
        else if (name == "threads")
            good = ParseInt(value, options.threads) && options.threads >= 0 && options.threads <= 64;
        else if (name == "idle") {
            good = ParseInt(value, options.idleSeconds) && options.idleSeconds >= 1
                   && options.idleSeconds <= kMaxIdleSeconds;
            if (!good)
                status = 2;
        }
        else {
            options.picture = value;
            good = *value != '\0';
        }
        if (!good) {
            error = std::string("bad value for ") + arg + ": " + (*value ? value : "(empty)");
            return false;
        }
    }
    if (options.idleSeconds && !options.wayland) {
        error = "--idle watches a Wayland session and goes with --wayland";
        status = 2;
        return false;
    }
    if (options.wayland && (options.root || options.windowId)) {
        error = std::string(options.root ? "--root" : "--window-id") + " is for X11 and does not go with --wayland";
        return false;
    }
    return true;
}

const char* VelunorUsage()
{
    return kUsage;
}

const char* VelunorUsageLine()
{
    return kUsageLine;
}
