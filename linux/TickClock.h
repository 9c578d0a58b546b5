// The show's pace on a display server: a tick every CShowCycle::kTickMs of
// the monotonic clock. After a stop (SIGSTOP, a busy machine, an output the
// compositor stopped drawing) the pace goes on from the moment of the tick
// instead of running the missed ticks in a burst.
#pragma once

#include "show/ShowCycle.h"

#include <cstdint>

int64_t MonotonicMs();

class CTickClock {
public:
    static constexpr int64_t kTickMs = CShowCycle::kTickMs;

    // The first tick is due a whole period after `now`.
    void Start(int64_t now) { m_next = now + kTickMs; }
    bool Due(int64_t now) const { return now >= m_next; }
    // A tick taken at `now`: the next is due a period after the one just
    // due, or after `now` when that one is more than half a period late.
    void Took(int64_t now)
    {
        if (now - m_next > kTickMs / 2)
            m_next = now;
        m_next += kTickMs;
    }
    // Milliseconds until the next tick is due, 0 when it is.
    int64_t Wait(int64_t now) const { return m_next > now ? m_next - now : 0; }

private:
    int64_t m_next = 0;
};
