// The desktop as the picture under the water (--desktop): what became of a
// grab, and the helper programs that make one (a screen-saver daemon's image
// tool draws the desktop, or a picture it chose, into a drawable of ours).
#pragma once

#include "linux/DecoderProcess.h"

#include <string>
#include <vector>

enum class GrabResult {
    Grabbed,
    Failed,  // with a reason; the shipped picture takes its place
    Stopped, // a signal came first: the program is to end
};

// Runs `argv` (its program searched on PATH) and waits for it, with the
// address space and processor time of `limits`, in a process group of its
// own: Grabbed when it exits with status 0; Failed, with the reason, when it
// cannot be started, is not found, fails, or runs past limits.deadlineMs
// (it is then ended); Stopped when `stopFd` becomes readable first (it is
// then ended too).
GrabResult RunGrabHelper(const std::vector<std::string>& argv, const DecoderLimits& limits, int stopFd,
                         std::string& reason);
