#include "tools/ripple-render/RippleRender.h"

#include "show/WaterShow.h"

#include <chrono>
#include <ctime>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#endif

double ProcessCpuMs()
{
#ifdef _WIN32
    // clock() there is wall time.
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
#else
    return static_cast<double>(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
#endif
}

double WallMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool CRippleRenderer::ValidateOptions(const RenderOptions& options, std::string& error)
{
    if (options.width < 1 || options.height < 1 || options.width > kMaxRenderSide
        || options.height > kMaxRenderSide
        || static_cast<int64_t>(options.width) * options.height > kMaxRenderPixels) {
        error = "size " + std::to_string(options.width) + " x " + std::to_string(options.height)
            + " out of range (1 to " + std::to_string(kMaxRenderSide) + " a side, at most "
            + std::to_string(kMaxRenderPixels) + " pixels)";
        return false;
    }
    if (options.ticks < 0) {
        error = "negative tick count";
        return false;
    }
    return true;
}

bool CRippleRenderer::Render(const RenderOptions& options, std::vector<uint32_t> source,
    std::vector<uint32_t>& display, std::string& error, RenderTimes* times)
{
    if (!ValidateOptions(options, error))
        return false;
    if (source.size() != static_cast<size_t>(options.width) * static_cast<size_t>(options.height)) {
        error = "picture size does not match the render size";
        return false;
    }
    CWaterShow show(options.setting);
    CEffectEngine& effect = show.Engine();
    if (!effect.SetPath(options.path)) {
        error = std::string("this processor has no ") + ripple::PathName(options.path) + " path";
        return false;
    }
    show.SetThreads(options.threads);
    effect.SetStripWidth(options.strip);
    // As the window does while it is created, before the first tick.
    if (!show.Start(std::move(source), options.width, options.height)) {
        error = "not enough memory for the ripple engine";
        return false;
    }
    double wall = 0, cpu = 0;
    for (int tick = 0; tick < options.ticks; ++tick) {
        if (tick == options.timeFrom) {
            wall = WallMs();
            cpu = ProcessCpuMs();
        }
        show.Tick();
    }
    if (times && options.timeFrom >= 0 && options.timeFrom < options.ticks) {
        times->ticks = options.ticks - options.timeFrom;
        times->wallMs = (WallMs() - wall) / times->ticks;
        times->cpuMs = (ProcessCpuMs() - cpu) / times->ticks;
    }
    display.assign(show.Frame(), show.Frame() + static_cast<size_t>(options.width) * options.height);
    return true;
}
