// The image the screen-saver daemon chooses for image hacks (a grab of the
// desktop or a file from the user's folder, as the user set it up): its
// helper xscreensaver-getimage draws it into a pixmap of the window's size,
// which is then read back.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

// Top-down 0x00RRGGBB pixels of `width` x `height`. False, with the reason,
// when the helper is missing, fails, or takes longer than its time; a
// non-zero `stopFd` becoming readable (a signal arrived) ends the wait too.
bool GrabDesktopImage(Display* display, Window window, Visual* visual, int depth, int width, int height,
                      int stopFd, std::vector<uint32_t>& pixels, std::string& reason);
