// Ripple engine timings: ns per pixel per Step for the reference and the fast
// paths at three screen sizes, a memory-bandwidth floor measured in the same
// run (streaming the bytes one Step must read and write), and whole show
// ticks (two steps, plus two drops at the show's drop size in the drop
// phase), both frames drawn ("each", as the Windows show paints them) or
// only the second ("pair", the first step unseen). Every iteration starts,
// untimed, from the same rippled surface, so every path does the same work:
// the steps from the surface 40 ticks into a mode-1 cycle, the ticks from a
// surface of their own phase (40 ticks into a mode-1 or mode-2 cycle for the
// drop phases, 300 ticks into a mode-1 cycle, long after its last drop, for
// the settled one), each followed by two untimed steps without pictures, in
// which the engine learns what of the surface written into it is quiet. The
// pictures are page-aligned, as the program's DIB sections are. Prints the
// library's lines, then a summary table of the fastest repetition of each
// benchmark with the ratios.
#include "ripple/EffectEngine.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#endif

using ripple::RipplePath;

namespace {

struct Size {
    int w, h;
};
const Size kSizes[] = { { 1024, 768 }, { 1920, 1080 }, { 3840, 2160 } };
const Size kTickSizes[] = { { 1920, 1080 }, { 3840, 2160 } };

std::string SizeName(const Size& s)
{
    return std::to_string(s.w) + "x" + std::to_string(s.h);
}

// A picture's pixels on a page boundary.
class Pixels {
public:
    explicit Pixels(size_t n = 0) { Resize(n); }
    Pixels(const Pixels& other) : Pixels(other.m_n) { std::copy(other.data(), other.data() + m_n, data()); }
    Pixels& operator=(const Pixels& other)
    {
        Resize(other.m_n);
        std::copy(other.data(), other.data() + m_n, data());
        return *this;
    }
    void Resize(size_t n)
    {
        m_n = n;
        m_store.assign(n + kPage / 4, 0);
    }
    uint32_t* data()
    {
        const uintptr_t p = reinterpret_cast<uintptr_t>(m_store.data());
        return m_store.data() + ((kPage - p % kPage) % kPage) / 4;
    }
    const uint32_t* data() const { return const_cast<Pixels*>(this)->data(); }
    uint32_t& operator[](size_t i) { return data()[i]; }

private:
    static constexpr uintptr_t kPage = 4096;
    std::vector<uint32_t> m_store;
    size_t m_n = 0;
};

enum class Drops { None, Cosine, Cone };

void AddShowDrop(CEffectEngine& e, const Size& s, Drops drops)
{
    if (drops == Drops::Cosine)
        e.AddCosineDrop(s.w / 2, s.h / 2, s.w * 500 / 1024, s.h * 1000 / 768, e.GetPage());
    else if (drops == Drops::Cone)
        e.AddConeDrop(s.w / 2, s.h / 2, s.w * 100 / 1024, s.h * 250 / 768, e.GetPage());
}

// A picture and the surface after `ticks` ticks of a cycle in `mode` (drops
// while the tick count is below 200, as the show does).
struct Scene {
    Scene(const Size& s, Drops mode, int ticks) : size(s), n(static_cast<size_t>(s.w) * s.h), source(n)
    {
        CEffectEngine e;
        e.Create(s.w, s.h);
        for (size_t i = 0; i < n; ++i) {
            const uint32_t x = static_cast<uint32_t>(i % s.w), y = static_cast<uint32_t>(i / s.w);
            source[i] = ((x * 255 / s.w) << 16) | ((y * 255 / s.h) << 8) | ((x ^ y) & 0xFF);
        }
        Pixels display = source;
        for (int tick = 1; tick <= ticks; ++tick) {
            for (int step = 0; step < 2; ++step) {
                if (tick < 200)
                    AddShowDrop(e, s, mode);
                e.Step(source.data(), display.data());
            }
        }
        if (e.GetPage() != 0)
            e.Step(nullptr, nullptr);
        heights1.assign(e.ReadHeights(1), e.ReadHeights(1) + n);
        heights2.assign(e.ReadHeights(2), e.ReadHeights(2) + n);
    }

    // An engine on `path` holding the surface, and a display image.
    bool Load(CEffectEngine& e, RipplePath path, Pixels& display) const
    {
        if (!e.SetPath(path) || !e.Create(size.w, size.h))
            return false;
        Restore(e);
        display = source;
        return true;
    }

    // Back to the prepared surface and two steps on, page 0.
    void Restore(CEffectEngine& e) const
    {
        if (e.GetPage() != 0)
            e.Step(nullptr, nullptr);
        std::copy(heights1.begin(), heights1.end(), e.GetHeights(1));
        std::copy(heights2.begin(), heights2.end(), e.GetHeights(2));
        e.Step(nullptr, nullptr);
        e.Step(nullptr, nullptr);
    }

    Size size;
    size_t n;
    Pixels source;
    std::vector<int32_t> heights1, heights2;
};

std::map<std::string, std::unique_ptr<Scene>> g_scenes;

const Scene& SceneFor(const Size& s, Drops mode = Drops::Cosine, int ticks = 40)
{
    auto& slot = g_scenes[SizeName(s) + "/" + std::to_string(static_cast<int>(mode)) + "/" + std::to_string(ticks)];
    if (!slot)
        slot.reset(new Scene(s, mode, ticks));
    return *slot;
}

// The floor: read field 1, field 2 and the source, write field 1 and the
// target, once each, as fast as the processor streams them.
void StreamPlain(int32_t* a, const int32_t* b, const uint32_t* src, uint32_t* dst, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        a[i] += b[i];
        dst[i] = src[i];
    }
}

#if defined(__i386__) || defined(__x86_64__)
#if defined(__i386__)
__attribute__((target("avx2"), force_align_arg_pointer))
#else
__attribute__((target("avx2")))
#endif
void StreamAvx2(int32_t* a, const int32_t* b, const uint32_t* src, uint32_t* dst, size_t n)
{
    // Streaming stores for the target: only the 20 bytes, no read of its lines.
    size_t i = 0;
    for (; i < n && (reinterpret_cast<uintptr_t>(dst + i) & 31) != 0; ++i) {
        a[i] += b[i];
        dst[i] = src[i];
    }
    for (; i + 8 <= n; i += 8) {
        __m256i* pa = reinterpret_cast<__m256i*>(a + i);
        const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        _mm256_storeu_si256(pa, _mm256_add_epi32(_mm256_loadu_si256(pa), vb));
        _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + i),
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i)));
    }
    _mm_sfence();
    StreamPlain(a + i, b + i, src + i, dst + i, n - i);
}
#endif

void Stream(int32_t* a, const int32_t* b, const uint32_t* src, uint32_t* dst, size_t n)
{
#if defined(__i386__) || defined(__x86_64__)
    if (ripple::IsPathSupported(RipplePath::Avx2)) {
        StreamAvx2(a, b, src, dst, n);
        return;
    }
#endif
    StreamPlain(a, b, src, dst, n);
}

// Times `work` on an engine of `path` that is put back to the scene's
// surface, untimed, before every iteration.
template <class Work>
void TimeFromScene(benchmark::State& state, const Scene& scene, RipplePath path, Work work)
{
    CEffectEngine e;
    Pixels display;
    if (!scene.Load(e, path, display)) {
        state.SkipWithError("cannot set up the engine");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        scene.Restore(e);
        state.ResumeTiming();
        work(e, display);
        benchmark::ClobberMemory();
    }
}

void Register()
{
    std::vector<RipplePath> paths = { RipplePath::Reference, RipplePath::Scalar, RipplePath::Sse2, RipplePath::Avx2 };
    for (const Size& s : kSizes) {
        for (RipplePath path : paths) {
            if (!ripple::IsPathSupported(path))
                continue;
            const std::string name = std::string("Step/") + ripple::PathName(path) + "/" + SizeName(s);
            benchmark::RegisterBenchmark(name.c_str(), [s, path](benchmark::State& state) {
                const Scene& scene = SceneFor(s);
                TimeFromScene(state, scene, path, [&](CEffectEngine& e, Pixels& display) {
                    e.Step(scene.source.data(), display.data());
                });
            })->Unit(benchmark::kMillisecond)->MinTime(0.3)->UseRealTime();
        }
        const std::string floorName = "Floor/" + SizeName(s);
        benchmark::RegisterBenchmark(floorName.c_str(), [s](benchmark::State& state) {
            const Scene& scene = SceneFor(s);
            std::vector<int32_t> a = scene.heights1, b = scene.heights2;
            Pixels dst = scene.source;
            for (auto _ : state) {
                Stream(a.data(), b.data(), scene.source.data(), dst.data(), scene.n);
                benchmark::ClobberMemory();
            }
        })->Unit(benchmark::kMillisecond)->MinTime(0.3)->UseRealTime();
    }
    for (const Size& s : kTickSizes) {
        for (const char* how : { "reference", "each", "pair" }) {
            const RipplePath path = std::string(how) == "reference" ? RipplePath::Reference : ripple::BestPath();
            const bool pair = std::string(how) == "pair";
            for (Drops drops : { Drops::None, Drops::Cosine, Drops::Cone }) {
                const char* phase = drops == Drops::None ? "settled" : (drops == Drops::Cosine ? "mode1" : "mode2");
                const std::string name = std::string("Tick/") + phase + "/" + how + "/" + SizeName(s);
                benchmark::RegisterBenchmark(name.c_str(), [s, path, drops, pair](benchmark::State& state) {
                    const Scene& scene = drops == Drops::None ? SceneFor(s, Drops::Cosine, 300)
                                                              : SceneFor(s, drops, 40);
                    TimeFromScene(state, scene, path, [&](CEffectEngine& e, Pixels& display) {
                        for (int step = 0; step < 2; ++step) {
                            AddShowDrop(e, s, drops);
                            if (pair && step == 0)
                                e.StepUnseen(scene.source.data(), ripple::Target::BottomUp(display.data(), s.w, s.h));
                            else
                                e.Step(scene.source.data(), display.data());
                        }
                    });
                })->Unit(benchmark::kMillisecond)->MinTime(0.3)->UseRealTime();
            }
        }
    }
}

// Keeps seconds per iteration by benchmark name, for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& reports) override
    {
        benchmark::ConsoleReporter::ReportRuns(reports);
        for (const Run& r : reports) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred || r.iterations <= 0)
                continue;
            // The library appends "/min_time:..", "/real_time" and
            // "/repeats:..": keep the name as registered.
            std::string name = r.benchmark_name();
            for (const char* suffix : { "/min_time:", "/real_time", "/repeats:" })
                name = name.substr(0, name.find(suffix));
            const double t = r.real_accumulated_time / static_cast<double>(r.iterations);
            auto it = seconds.find(name);
            if (it == seconds.end() || t < it->second)
                seconds[name] = t;
        }
    }

    double Get(const std::string& name) const
    {
        auto it = seconds.find(name);
        return it == seconds.end() ? 0 : it->second;
    }

    std::map<std::string, double> seconds;
};

void PrintCell(double v, const char* format)
{
    if (v > 0)
        std::printf(format, v);
    else
        std::printf("%10s", "-");
}

void PrintSummary(const SummaryReporter& r)
{
    const RipplePath best = ripple::BestPath();
    std::printf("\nStep, ns per pixel, from tick 40 of mode 1 (fast = %s; floor = streaming the 20 bytes a "
                "step reads and writes per pixel)\n",
        ripple::PathName(best));
    std::printf("%-10s %10s %10s %10s %10s %10s %10s %10s\n", "size", "reference", "scalar", "sse2", "avx2", "floor",
        "ref/fast", "fast/floor");
    for (const Size& s : kSizes) {
        const double px = static_cast<double>(s.w) * s.h;
        auto ns = [&](const char* path) { return r.Get(std::string("Step/") + path + "/" + SizeName(s)) * 1e9 / px; };
        const double ref = ns("reference"), fast = ns(ripple::PathName(best));
        const double floor = r.Get("Floor/" + SizeName(s)) * 1e9 / px;
        std::printf("%-10s", SizeName(s).c_str());
        for (const char* p : { "reference", "scalar", "sse2", "avx2" })
            PrintCell(ns(p), " %10.3f");
        PrintCell(floor, " %10.3f");
        PrintCell(fast > 0 ? ref / fast : 0, " %10.2f");
        PrintCell(floor > 0 ? fast / floor : 0, " %10.2f");
        std::printf("\n");
    }
    std::printf("\nOne tick (two steps; mode 1 / mode 2 add two drops of the show's size first), ms, fast path\n"
                "drawing both frames (each), only the second (pair), and the reference; settled from tick 300\n"
                "of mode 1, mode 1 / mode 2 from tick 40 of their cycles\n");
    std::printf("%-10s %-8s %10s %10s %10s\n", "size", "frames", "settled", "mode1", "mode2");
    for (const Size& s : kTickSizes) {
        for (const char* how : { "each", "pair", "reference" }) {
            std::printf("%-10s %-8s", SizeName(s).c_str(), how);
            for (const char* phase : { "settled", "mode1", "mode2" })
                PrintCell(r.Get(std::string("Tick/") + phase + "/" + how + "/" + SizeName(s)) * 1e3, " %10.2f");
            std::printf("\n");
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    Register();
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary(reporter);
    g_scenes.clear();
    benchmark::Shutdown();
    return 0;
}
