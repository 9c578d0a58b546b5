// The subset of Google Benchmark's interface that the project's benchmarks
// use, for builds where the library is not available (MinGW). Timing follows
// the library's scheme: grow the iteration count until a run lasts at least
// the minimum time, report real time per iteration.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace benchmark {

enum TimeUnit { kNanosecond, kMicrosecond, kMillisecond, kSecond };

template <class T>
inline void DoNotOptimize(T const& value)
{
    asm volatile("" : : "r,m"(value) : "memory");
}

inline void ClobberMemory()
{
    asm volatile("" : : : "memory");
}

class State {
public:
    explicit State(int64_t iterations) : m_max(iterations) {}

    struct Iterator {
        int64_t left;
        State* state;
        bool operator!=(const Iterator&) const
        {
            if (left != 0)
                return true;
            state->Stop();
            return false;
        }
        void operator++() { --left; }
        // Marked unused, as in the library, so `for (auto _ : state)` warns not.
        struct __attribute__((unused)) Value {
        };
        Value operator*() const { return Value(); }
    };
    Iterator begin();
    Iterator end() { return Iterator{ 0, this }; }
    void Stop();
    void PauseTiming();
    void ResumeTiming();

    void SkipWithError(const char* message);
    int64_t iterations() const { return m_max; }

    bool m_error = false;
    std::string m_message;
    double m_seconds = 0;

private:
    int64_t m_max;
    bool m_stopped = false;
    std::uint64_t m_startTicks = 0;
    std::uint64_t m_pausedAt = 0;
    std::uint64_t m_pausedTotal = 0;
};

class Benchmark {
public:
    Benchmark(std::string name, std::function<void(State&)> fn) : m_name(std::move(name)), m_fn(std::move(fn)) {}
    Benchmark* Unit(TimeUnit unit)
    {
        m_unit = unit;
        return this;
    }
    Benchmark* MinTime(double seconds)
    {
        m_minTime = seconds;
        return this;
    }
    Benchmark* UseRealTime() { return this; }

    std::string m_name;
    std::function<void(State&)> m_fn;
    TimeUnit m_unit = kNanosecond;
    double m_minTime = 0.5;
};

Benchmark* RegisterBenchmarkInternal(Benchmark* b);

template <class Lambda>
Benchmark* RegisterBenchmark(const char* name, Lambda&& fn)
{
    return RegisterBenchmarkInternal(new Benchmark(name, std::function<void(State&)>(fn)));
}

class BenchmarkReporter {
public:
    struct Run {
        enum RunType { RT_Iteration, RT_Aggregate };
        RunType run_type = RT_Iteration;
        std::string name;
        bool error_occurred = false;
        std::string error_message;
        int64_t iterations = 0;
        double real_accumulated_time = 0; // seconds
        TimeUnit time_unit = kNanosecond;

        std::string benchmark_name() const { return name; }
        double GetAdjustedRealTime() const;
    };
    virtual ~BenchmarkReporter() = default;
    virtual void ReportRuns(const std::vector<Run>& reports) = 0;
};

class ConsoleReporter : public BenchmarkReporter {
public:
    void ReportRuns(const std::vector<Run>& reports) override;
};

void Initialize(int* argc, char** argv);
size_t RunSpecifiedBenchmarks(BenchmarkReporter* reporter);
void Shutdown();

} // namespace benchmark
