#include "ripple/RippleThreads.h"

#include <algorithm>

namespace ripple {

ThreadPolicy::ThreadPolicy(int maxThreads, double budgetMs)
    : m_max(std::max(maxThreads, 1))
    , m_budget(budgetMs)
{
}

void ThreadPolicy::Change(int threads)
{
    m_threads = threads;
    m_over = 0;
    m_under = 0;
}

int ThreadPolicy::Report(double ms)
{
    // Runs of ticks, not averages: one slow tick (the machine busy for a
    // moment) changes nothing, and neither does a run broken by a tick on
    // the other side.
    m_over = ms > m_budget ? m_over + 1 : 0;
    const bool fewerWouldDo = m_threads > 1 && ms * m_threads / (m_threads - 1) < kDownShare * m_budget;
    m_under = fewerWouldDo ? m_under + 1 : 0;
    if (m_over >= kUpAfter && m_threads < m_max)
        Change(m_threads + 1);
    else if (m_under >= kDownAfter)
        Change(m_threads - 1);
    return m_threads;
}

} // namespace ripple
