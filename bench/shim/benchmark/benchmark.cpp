#include "benchmark/benchmark.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace benchmark {

namespace {

std::vector<std::unique_ptr<Benchmark>>& Registry()
{
    static std::vector<std::unique_ptr<Benchmark>> benchmarks;
    return benchmarks;
}

std::string g_filter;
double g_minTime = -1;
int g_repetitions = 1;

std::uint64_t NowNanoseconds()
{
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch()).count());
}

const char* UnitName(TimeUnit unit)
{
    switch (unit) {
    case kNanosecond: return "ns";
    case kMicrosecond: return "us";
    case kMillisecond: return "ms";
    case kSecond: return "s";
    }
    return "";
}

double UnitScale(TimeUnit unit)
{
    switch (unit) {
    case kNanosecond: return 1e9;
    case kMicrosecond: return 1e6;
    case kMillisecond: return 1e3;
    case kSecond: return 1;
    }
    return 1;
}

} // namespace

State::Iterator State::begin()
{
    m_startTicks = NowNanoseconds();
    return Iterator{ m_error ? 0 : m_max, this };
}

void State::Stop()
{
    if (!m_stopped)
        m_seconds = static_cast<double>(NowNanoseconds() - m_startTicks - m_pausedTotal) * 1e-9;
    m_stopped = true;
}

void State::PauseTiming()
{
    m_pausedAt = NowNanoseconds();
}

void State::ResumeTiming()
{
    m_pausedTotal += NowNanoseconds() - m_pausedAt;
}

void State::SkipWithError(const char* message)
{
    m_error = true;
    m_message = message;
}

Benchmark* RegisterBenchmarkInternal(Benchmark* b)
{
    Registry().emplace_back(b);
    return b;
}

double BenchmarkReporter::Run::GetAdjustedRealTime() const
{
    return iterations ? real_accumulated_time / static_cast<double>(iterations) * UnitScale(time_unit) : 0;
}

void ConsoleReporter::ReportRuns(const std::vector<Run>& reports)
{
    for (const Run& r : reports) {
        if (r.error_occurred)
            std::printf("%-40s ERROR: %s\n", r.name.c_str(), r.error_message.c_str());
        else
            std::printf("%-40s %12.3f %s %10lld\n", r.name.c_str(), r.GetAdjustedRealTime(), UnitName(r.time_unit),
                static_cast<long long>(r.iterations));
        std::fflush(stdout);
    }
}

void Initialize(int* argc, char** argv)
{
    for (int i = 1; i < *argc; ++i) {
        const char* a = argv[i];
        if (std::strncmp(a, "--benchmark_filter=", 19) == 0)
            g_filter = a + 19;
        else if (std::strncmp(a, "--benchmark_min_time=", 21) == 0)
            g_minTime = std::atof(a + 21);
        else if (std::strncmp(a, "--benchmark_repetitions=", 24) == 0)
            g_repetitions = std::atoi(a + 24) > 0 ? std::atoi(a + 24) : 1;
    }
}

namespace {

// Grows the iteration count until a run lasts the minimum time.
BenchmarkReporter::Run Measure(const Benchmark& b, double minTime)
{
    BenchmarkReporter::Run run;
    run.name = b.m_name;
    run.time_unit = b.m_unit;
    int64_t iterations = 1;
    for (;;) {
        State state(iterations);
        b.m_fn(state);
        if (state.m_error) {
            run.error_occurred = true;
            run.error_message = state.m_message;
            return run;
        }
        if (state.m_seconds >= minTime || iterations >= (int64_t(1) << 40)) {
            run.iterations = iterations;
            run.real_accumulated_time = state.m_seconds;
            return run;
        }
        // Aim 40 % past the minimum, as the library does, growing at most tenfold.
        double factor = state.m_seconds > 0 ? minTime * 1.4 / state.m_seconds : 10;
        factor = factor > 10 ? 10 : (factor < 2 ? 2 : factor);
        iterations = static_cast<int64_t>(static_cast<double>(iterations) * factor) + 1;
    }
}

} // namespace

size_t RunSpecifiedBenchmarks(BenchmarkReporter* reporter)
{
    std::printf("%-40s %15s %10s\n", "Benchmark", "Time", "Iterations");
    size_t count = 0;
    for (const auto& b : Registry()) {
        if (!g_filter.empty() && b->m_name.find(g_filter) == std::string::npos)
            continue;
        const double minTime = g_minTime > 0 ? g_minTime : b->m_minTime;
        for (int repetition = 0; repetition < g_repetitions; ++repetition)
            reporter->ReportRuns({ Measure(*b, minTime) });
        ++count;
    }
    return count;
}

void Shutdown()
{
    Registry().clear();
}

} // namespace benchmark
