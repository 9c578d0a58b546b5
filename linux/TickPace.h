// The show's pace on a display server: a tick every CShowCycle::kTickMs of
// the monotonic clock, counted, held after --hold-after ticks, and logged
// with --log-ticks as "velunor: tick N MS" (on Wayland the output's name
// after it), the line the tests and benchmarks wait for. After a stop
// (SIGSTOP, a busy machine, an output the compositor stopped drawing) the
// pace goes on from the moment of the tick instead of running the missed
// ticks in a burst.
#pragma once

#include "show/ShowCycle.h"

#include <cstdint>
#include <cstdio>
#include <limits>

int64_t MonotonicMs();

// A deadline that never comes.
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

class CTickPace {
public:
    static constexpr int64_t kTickMs = CShowCycle::kTickMs;

    // `holdAfter` < 0: never held. `log`: where the tick lines go, or null.
    CTickPace(int holdAfter, FILE* log) : m_nHoldAfter(holdAfter), m_log(log) {}

    // The first tick is due a whole period after `now`.
    void Start(int64_t now) { m_next = now + kTickMs; }
    bool Held() const { return m_nHoldAfter >= 0 && m_nTicks >= m_nHoldAfter; }
    bool Due(int64_t now) const { return !Held() && now >= m_next; }
    // When the next tick is due; kNever once held.
    int64_t Next() const { return Held() ? kNever : m_next; }
    // The tick due at `now` was taken: counted and logged (with `output`, a
    // name, where there is one). The next is due a period after the one just
    // due, or after `now` when that one is more than half a period late.
    void Took(int64_t now, const char* output = nullptr);

private:
    int m_nHoldAfter;
    FILE* m_log;
    int m_nTicks = 0;
    int64_t m_next = 0;
};
