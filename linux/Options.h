// The command line of velunor, shared by its front ends. Free of any display
// server so that it is tested natively: every option is accepted with one
// dash or two, as screen-saver daemons pass both.
#pragma once

#include <string>

struct VelunorOptions {
    unsigned long windowId = 0; // 0: none given
    bool root = false;
    bool wayland = false;       // every output of the Wayland compositor instead of X11
    int idleSeconds = 0;        // with wayland: wait in the session, show after this long idle; 0 show now
    int width = 1280;           // the size of a window of its own
    int height = 720;
    int mode = 0;               // the stored effect mode: 0 alternates 1 and 2
    std::string picture;        // empty: the shipped picture
    bool desktop = false;       // the daemon's image choice instead of a file
    bool help = false;
    int holdAfter = -1;         // stop after this tick; -1 never
    int threads = 0;            // the water's threads: 0 as many as pay
    bool logTicks = false;
};

// The longest idle time the watcher takes: a day.
constexpr int kMaxIdleSeconds = 24 * 60 * 60;

// Fills `options` from argv. False, with a one-line reason in `error` and
// the exit code in `status`, for an unknown option, a missing value, a
// value that is not what the option takes (ids: decimal or 0x hex, above 0;
// geometry: WxH, each 1 to 16384; threads: 0 to 64), or an X window (--root,
// --window-id) asked for together with --wayland: 1; for an idle time that
// is not 1 to kMaxIdleSeconds seconds, or one without --wayland: 2, which
// the session's service manager takes as a command line not to retry.
bool ParseVelunorOptions(int argc, const char* const* argv, VelunorOptions& options, std::string& error,
                         int& status);

// A window id as the daemon and the options give it: decimal or 0x hex,
// above 0 and within X's 29 bits.
bool ParseWindowId(const char* text, unsigned long& id);

// The usage text, ending in a newline, and its first part as one line.
const char* VelunorUsage();
const char* VelunorUsageLine();
