// The image the screen-saver daemon chooses for image hacks (a grab of the
// desktop or a file from the user's folder, as the user set it up): its
// helper xscreensaver-getimage draws it into a pixmap of the window's size,
// which is then read back.
#pragma once

#include "linux/DesktopGrab.h"

#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

// Top-down 0x00RRGGBB pixels of `width` x `height` when Grabbed; the reason
// when Failed; Stopped when `stopFd` became readable (a signal came) first.
GrabResult GrabDesktopImage(Display* display, Window window, Visual* visual, int depth, int width, int height,
                            int stopFd, std::vector<uint32_t>& pixels, std::string& reason);
