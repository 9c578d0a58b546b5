#include "linux/GLibSources.h"

#include <glib.h>

CGLibSources::CGLibSources(CEventLoop& loop) : m_loop(loop), m_context(g_main_context_default())
{
    g_main_context_acquire(m_context);
}

CGLibSources::~CGLibSources()
{
    Unwatch();
    g_main_context_release(m_context);
}

void CGLibSources::Unwatch()
{
    for (const GPollFD& fd : m_fds)
        m_loop.Unwatch(fd.fd);
}

void CGLibSources::Prepare(int64_t now)
{
    Unwatch();
    g_main_context_prepare(m_context, &m_nPriority);
    int timeout = -1;
    int count;
    // The set may have grown since the last round.
    while ((count = g_main_context_query(m_context, m_nPriority, &timeout, m_fds.data(),
                                         static_cast<int>(m_fds.size())))
           > static_cast<int>(m_fds.size()))
        m_fds.resize(count);
    m_fds.resize(count);
    for (GPollFD& fd : m_fds) {
        fd.revents = 0;
        m_loop.Watch(fd.fd, static_cast<short>(fd.events), OnReady, &fd);
    }
    if (timeout >= 0)
        m_loop.WakeBy(now + timeout);
    m_bPrepared = true;
}

void CGLibSources::OnReady(void* owner, short revents)
{
    static_cast<GPollFD*>(owner)->revents = static_cast<gushort>(revents);
}

void CGLibSources::Dispatch()
{
    if (!m_bPrepared)
        return;
    m_bPrepared = false;
    if (g_main_context_check(m_context, m_nPriority, m_fds.data(), static_cast<int>(m_fds.size())))
        g_main_context_dispatch(m_context);
}
