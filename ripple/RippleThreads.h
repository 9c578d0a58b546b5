// How many threads the ripple engine's steps should use: one while one
// holds the show's pace, more only while one cannot. Whoever drives the
// show reports each tick's work time; the policy answers with the count for
// the next ticks (for CEffectEngine::SetThreads). A thread added costs
// processor time in waking and waiting and in sharing the caches, so a
// count goes up only after a run of ticks over the budget and down only
// after a longer run well under it.
#pragma once

namespace ripple {

class ThreadPolicy {
public:
    // At most `maxThreads` (at least 1); a tick's work should take at most
    // `budgetMs` of wall time.
    ThreadPolicy(int maxThreads, double budgetMs);

    int Threads() const { return m_threads; }
    // The last tick's work took `ms` of wall time on Threads() threads;
    // returns the count for the next tick.
    int Report(double ms);

    // Ticks over the budget before a thread is added.
    static constexpr int kUpAfter = 8;
    // Ticks before a thread is dropped, while one fewer would have needed
    // less than kDownShare of the budget (even scaling perfectly).
    static constexpr int kDownAfter = 48;
    static constexpr double kDownShare = 0.5;

private:
    void Change(int threads);

    int m_max;
    double m_budget;
    int m_threads = 1;
    int m_over = 0;
    int m_under = 0;
};

} // namespace ripple
