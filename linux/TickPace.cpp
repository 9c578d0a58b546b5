#include "linux/TickPace.h"

#include <time.h>

#include <cinttypes>

int64_t MonotonicMs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void CTickPace::Took(int64_t now, const char* output)
{
    ++m_nTicks;
    if (m_log) {
        if (output)
            std::fprintf(m_log, "velunor: tick %d %" PRId64 " %s\n", m_nTicks, now, output);
        else
            std::fprintf(m_log, "velunor: tick %d %" PRId64 "\n", m_nTicks, now);
    }
    if (now - m_next > kTickMs / 2)
        m_next = now;
    m_next += kTickMs;
}
