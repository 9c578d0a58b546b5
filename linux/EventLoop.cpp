#include "linux/EventLoop.h"

#include <algorithm>
#include <climits>

void CEventLoop::Watch(int fd, short events, Handler onReady, void* owner)
{
    m_watched.push_back({fd, events, onReady, owner});
}

void CEventLoop::SetEvents(int fd, short events)
{
    for (Watched& watched : m_watched) {
        if (watched.fd == fd)
            watched.events = events;
    }
}

void CEventLoop::Unwatch(int fd)
{
    m_watched.erase(std::remove_if(m_watched.begin(), m_watched.end(),
                                   [fd](const Watched& watched) { return watched.fd == fd; }),
                    m_watched.end());
}

void CEventLoop::WakeBy(int64_t at)
{
    m_deadline = std::min(m_deadline, at);
}

void CEventLoop::Wait(int64_t now)
{
    m_fds.clear();
    m_fds.push_back({m_stopFd, POLLIN, 0});
    for (const Watched& watched : m_watched)
        m_fds.push_back({watched.fd, watched.events, 0});
    const int timeout =
        m_deadline == kNever ? -1 : static_cast<int>(std::clamp<int64_t>(m_deadline - now, 0, INT_MAX));
    m_deadline = kNever;
    // Nothing ready by the deadline, or a signal cut the wait short: its
    // pipe is read at the next.
    if (m_poll(m_fds.data(), m_fds.size(), timeout) <= 0)
        return;
    if (m_fds[0].revents) {
        m_bRunning = false;
        return;
    }
    for (size_t i = 1; i < m_fds.size(); ++i) {
        if (!m_fds[i].revents)
            continue;
        // Looked up again each time: a handler may watch or unwatch others.
        const auto watched = std::find_if(m_watched.begin(), m_watched.end(),
                                          [&](const Watched& w) { return w.fd == m_fds[i].fd; });
        if (watched != m_watched.end())
            watched->onReady(watched->owner, m_fds[i].revents);
    }
}
