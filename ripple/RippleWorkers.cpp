#include "ripple/RippleWorkers.h"

#include <system_error>

namespace ripple {

Workers::~Workers()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_start.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

bool Workers::Grow(int threads)
{
    while (static_cast<int>(m_threads.size()) < threads) {
        try {
            // Thread k serves part k + 1; part 0 is the caller's. Only the
            // caller changes the job number, so it reads it without the lock.
            m_threads.emplace_back(&Workers::Serve, this, static_cast<int>(m_threads.size()) + 1, m_job);
        } catch (const std::system_error&) {
            return false;
        }
    }
    return true;
}

bool Workers::Run(int parts, Part part, void* context)
{
    if (parts <= 1) {
        if (parts == 1)
            part(context, 0);
        return true;
    }
    if (!Grow(parts - 1))
        return false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_part = part;
        m_context = context;
        m_parts = parts;
        m_pending = parts - 1;
        ++m_job;
    }
    m_start.notify_all();
    part(context, 0);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_done.wait(lock, [this] { return m_pending == 0; });
    return true;
}

void Workers::Serve(int part, uint64_t seen)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_start.wait(lock, [&] { return m_quit || m_job != seen; });
        if (m_quit)
            return;
        seen = m_job;
        if (part >= m_parts)
            continue;
        const Part run = m_part;
        void* context = m_context;
        lock.unlock();
        run(context, part);
        lock.lock();
        if (--m_pending == 0)
            m_done.notify_one();
    }
}

} // namespace ripple
