// The show's ticks on the ripple engine alone: CShowCycle drives a stage of
// its own over an engine and a synthetic picture, as the X11 program and the
// offline renderer do, without a window. Prints the milliseconds of wall and
// processor time per tick over the drop phase (ticks 1 to 199) and the
// settling water (200 to 470) of mode-1 cycles, for one or more engine
// set-ups that run alternately, cycle by cycle, so that a busy machine slows
// them alike and their ratio holds.
//   tick_bench [--size WxH]... [--cycles N] [--mode M] [--ticks FIRST-LAST]
//              [--config NAME]...
// A config is THREADS[:PATH][:each|:water] (threads 0: one per processor,
// "auto": the thread policy over the processors with a budget of 40 ms a
// tick; path reference, scalar, sse2 or avx2; "each" draws every step's
// frame, as the Windows show paints them, instead of only each tick's last;
// "water" draws none, which leaves the waves' propagation alone). With
// --ticks, only those ticks of the first cycle are timed, and under callgrind
// (valgrind --tool=callgrind --instr-atstart=no) only they are counted.
#include "ripple/EffectEngine.h"
#include "ripple/RippleThreads.h"
#include "show/ShowCycle.h"
#include "tools/ripple-render/RippleRender.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#if defined(__has_include)
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#endif
#endif

#ifndef CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

namespace {

struct Config {
    std::string name;
    int threads = 1; // -1: the thread policy
    ripple::RipplePath path = ripple::BestPath();
    bool each = false;
    bool water = false;
};

bool ParseConfig(const std::string& text, Config& c)
{
    c.name = text;
    size_t at = 0;
    int field = 0;
    while (at <= text.size()) {
        const size_t end = std::min(text.find(':', at), text.size());
        const std::string part = text.substr(at, end - at);
        if (field == 0) {
            c.threads = part == "auto" ? -1 : std::atoi(part.c_str());
        } else if (part == "each") {
            c.each = true;
        } else if (part == "water") {
            c.water = true;
        } else {
            bool found = false;
            for (ripple::RipplePath p : { ripple::RipplePath::Reference, ripple::RipplePath::Scalar,
                     ripple::RipplePath::Sse2, ripple::RipplePath::Avx2 }) {
                if (part == ripple::PathName(p)) {
                    c.path = p;
                    found = true;
                }
            }
            if (!found)
                return false;
        }
        ++field;
        at = end + 1;
    }
    return true;
}

// The scene: the engine over a source picture and the display image.
class BenchStage final : public ShowStage {
public:
    BenchStage(int w, int h, const Config& config) : m_w(w), m_h(h), m_each(config.each), m_water(config.water)
    {
        const size_t n = static_cast<size_t>(w) * h;
        m_source.resize(n);
        for (size_t i = 0; i < n; ++i) {
            const uint32_t x = static_cast<uint32_t>(i % w), y = static_cast<uint32_t>(i / w);
            m_source[i] = ((x * 255 / w) << 16) | ((y * 255 / h) << 8) | ((x ^ y) & 0xFF);
        }
        m_display = m_source;
        m_engine.SetPath(config.path);
        m_engine.SetThreads(config.threads < 0 ? 1 : config.threads);
    }

    void CloseMusic() override {}
    void FlattenWater() override
    {
        if (!m_engine.Create(m_w, m_h)) {
            std::fprintf(stderr, "tick_bench: no memory for %dx%d\n", m_w, m_h);
            std::exit(1);
        }
    }
    void StartMusic() override {}
    void AddCosineDrop(int x, int y, int radius, int height) override
    {
        m_engine.AddCosineDrop(x, y, radius, height, m_engine.GetPage());
    }
    void AddConeDrop(int x, int y, int radius, int height) override
    {
        m_engine.AddConeDrop(x, y, radius, height, m_engine.GetPage());
    }
    // Only the tick's last frame is shown unless every step's is.
    void StepAndPaint(bool lastOfTick) override
    {
        const ripple::Target target = ripple::Target::BottomUp(m_display.data(), m_w, m_h);
        const uint32_t* source = m_water ? nullptr : m_source.data();
        if (!m_each && !lastOfTick)
            m_engine.StepUnseen(source, target);
        else
            m_engine.Step(source, target);
    }
    CEffectEngine& Engine() { return m_engine; }

private:
    int m_w, m_h;
    bool m_each;
    bool m_water;
    CEffectEngine m_engine;
    std::vector<uint32_t> m_source;
    std::vector<uint32_t> m_display;
};

struct Phase {
    double wall = 0, cpu = 0;
    int ticks = 0;
};

// One show of a config: the cycle, its stage and the time of each phase.
struct Run {
    Run(int w, int h, const Config& c, int mode)
        : config(c), stage(w, h, c), width(w), height(h), policy(Processors(), kBudgetMs)
    {
        stage.FlattenWater();
        cycle.Start(mode);
    }
    static int Processors()
    {
        CEffectEngine e;
        e.SetThreads(0);
        return e.GetThreads();
    }
    static constexpr double kBudgetMs = 40;
    Config config;
    BenchStage stage;
    CShowCycle cycle;
    int width, height;
    Phase drops, settling;
    ripple::ThreadPolicy policy;
    // Ticks run on each thread count, for the policy.
    std::vector<int> threadTicks = std::vector<int>(65, 0);
};

void RunCycle(Run& run)
{
    for (;;) {
        const double wall = WallMs(), cpu = ProcessCpuMs();
        const bool drawn = run.cycle.Tick(run.width, run.height, run.stage);
        if (!drawn)
            return;
        const double ms = WallMs() - wall;
        Phase& p = run.cycle.TickCount() < CShowCycle::kDropTicks ? run.drops : run.settling;
        p.wall += ms;
        p.cpu += ProcessCpuMs() - cpu;
        ++p.ticks;
        if (run.config.threads < 0) {
            ++run.threadTicks[run.policy.Threads()];
            run.stage.Engine().SetThreads(run.policy.Report(ms));
        }
    }
}

void MeasuredTicks(Run& run, int count)
{
    CALLGRIND_START_INSTRUMENTATION;
    for (int k = 0; k < count; ++k) {
        run.cycle.Tick(run.width, run.height, run.stage);
    }
    CALLGRIND_STOP_INSTRUMENTATION;
}

std::string ProcessorName()
{
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    while (std::getline(info, line)) {
        if (line.compare(0, 10, "model name") == 0)
            return line.substr(line.find(':') + 2);
    }
    return "unknown processor";
}

int Usage()
{
    std::fprintf(stderr, "usage: tick_bench [--size WxH]... [--cycles N] [--mode M] [--ticks FIRST-LAST] "
                         "[--config THREADS[:PATH][:each|:water]]...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::pair<int, int>> sizes;
    std::vector<Config> configs;
    int cycles = 1, mode = 1, first = 0, last = 0;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (k + 1 >= argc)
            return Usage();
        const char* value = argv[++k];
        if (arg == "--size") {
            int w = 0, h = 0;
            if (std::sscanf(value, "%dx%d", &w, &h) != 2 || w < 3 || h < 3)
                return Usage();
            sizes.emplace_back(w, h);
        } else if (arg == "--cycles") {
            cycles = std::max(1, std::atoi(value));
        } else if (arg == "--mode") {
            mode = std::atoi(value);
        } else if (arg == "--ticks") {
            if (std::sscanf(value, "%d-%d", &first, &last) != 2 || first < 1 || last < first)
                return Usage();
        } else if (arg == "--config") {
            Config c;
            if (!ParseConfig(value, c) || !ripple::IsPathSupported(c.path))
                return Usage();
            configs.push_back(c);
        } else {
            return Usage();
        }
    }
    if (sizes.empty())
        sizes = { { 1920, 1080 }, { 3840, 2160 } };
    if (configs.empty()) {
        configs.resize(2);
        ParseConfig("1", configs[0]);
        ParseConfig("2", configs[1]);
    }

    std::printf("CPU: %s\n", ProcessorName().c_str());
    for (const auto& size : sizes) {
        if (last > 0) {
            for (const Config& c : configs) {
                Run run(size.first, size.second, c, mode);
                for (int t = 1; t < first; ++t) {
                    run.cycle.Tick(run.width, run.height, run.stage);
                }
                const double wall = WallMs(), cpu = ProcessCpuMs();
                MeasuredTicks(run, last - first + 1);
                std::printf("%dx%d %-14s ticks %d-%d: %.2f ms a tick, CPU %.2f ms\n", size.first, size.second,
                    c.name.c_str(), first, last, (WallMs() - wall) / (last - first + 1),
                    (ProcessCpuMs() - cpu) / (last - first + 1));
            }
            continue;
        }
        std::vector<Run*> runs;
        for (const Config& c : configs)
            runs.push_back(new Run(size.first, size.second, c, mode));
        for (int k = 0; k < cycles; ++k) {
            for (Run* run : runs)
                RunCycle(*run);
        }
        std::printf("\n%dx%d, mode %d, %d cycle(s); ms per tick, wall / CPU of all threads\n", size.first,
            size.second, mode, cycles);
        std::printf("%-16s %17s %17s %17s\n", "config", "drops 1-199", "settling 200-", "whole cycle");
        for (Run* run : runs) {
            auto cell = [](double wall, double cpu, int ticks) {
                std::printf(" %8.2f / %6.2f", wall / std::max(ticks, 1), cpu / std::max(ticks, 1));
            };
            std::printf("%-16s", run->config.name.c_str());
            cell(run->drops.wall, run->drops.cpu, run->drops.ticks);
            cell(run->settling.wall, run->settling.cpu, run->settling.ticks);
            cell(run->drops.wall + run->settling.wall, run->drops.cpu + run->settling.cpu,
                run->drops.ticks + run->settling.ticks);
            if (run->config.threads < 0) {
                std::printf("  ticks on");
                for (int t = 1; t < 65; ++t) {
                    if (run->threadTicks[t])
                        std::printf(" %d thread(s): %d", t, run->threadTicks[t]);
                }
            }
            std::printf("\n");
        }
        for (Run* run : runs)
            delete run;
    }
    return 0;
}
