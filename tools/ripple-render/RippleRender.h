// Renders the show without a window: the tick state machine drives the
// ripple engine over a source picture exactly as the animation window does,
// and the display image after the last tick is the result.
#pragma once

#include "ripple/RippleKernels.h"

#include <cstdint>
#include <string>
#include <vector>

struct RenderOptions {
    int width = 0;
    int height = 0;
    int setting = 0; // the stored effect mode
    int ticks = 0;
    ripple::RipplePath path = ripple::BestPath();
    int threads = 0; // the scene's SetThreads: 0 is as many as pay, up to one per processor
    int strip = 0;   // the engine's SetStripWidth: 0 is its default width
    int timeFrom = -1; // time the ticks after this one; -1 times nothing
};

// Time spent on the timed ticks, per tick: wall clock and the process's
// processor time (all threads).
struct RenderTimes {
    int ticks = 0;
    double wallMs = 0;
    double cpuMs = 0;
};

// The clocks the ticks are timed with, in milliseconds: the steady wall
// clock, and the processor time of the whole process (all threads).
double WallMs();
double ProcessCpuMs();

// Limits on what the renderer accepts, so that a mistyped size fails at once.
constexpr int kMaxRenderSide = 16384;
constexpr int64_t kMaxRenderPixels = 40000000;

class CRippleRenderer {
public:
    // Checks the size and tick count against the limits.
    static bool ValidateOptions(const RenderOptions& options, std::string& error);

    // Runs the ticks of the show's scene over `source`, which must hold
    // width * height pixels; `display` gets the frame after the last tick
    // (the picture itself after none). False, with a message, for bad
    // options or when the engine cannot get its memory.
    bool Render(const RenderOptions& options, std::vector<uint32_t> source, std::vector<uint32_t>& display,
        std::string& error, RenderTimes* times = nullptr);
};
