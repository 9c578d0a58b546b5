#include "decoder/Input.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

CInput::CInput(int fd, void (*onFirstData)(void*), void* context)
    : m_fd(fd), m_onFirstData(onFirstData), m_context(context)
{
    struct stat info = {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        m_bSeekable = true;
        m_nFileSize = static_cast<uint64_t>(info.st_size);
    }
}

ssize_t CInput::ReadFd(void* to, size_t size)
{
    if (m_bEnded || m_nError)
        return m_nError ? -1 : 0;
    for (;;) {
        // A FIFO without a writer reads as ended, and it may only be that
        // none has come yet: it is waited for until one writes or leaves.
        if (!m_bSeekable) {
            pollfd ready = {m_fd, POLLIN, 0};
            if (poll(&ready, 1, -1) < 0 && errno != EINTR) {
                m_nError = errno;
                return -1;
            }
        }
        const ssize_t got = read(m_fd, to, size);
        if (got > 0) {
            if (m_nTotal == 0 && m_onFirstData)
                m_onFirstData(m_context);
            m_nTotal += static_cast<uint64_t>(got);
            return got;
        }
        if (got == 0) {
            m_bEnded = true;
            return 0;
        }
        if (errno == EINTR)
            continue;
        // Nothing yet (the descriptor was opened without blocking, so that
        // the opening never waited): waited for above.
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            m_nError = errno;
            return -1;
        }
    }
}

ssize_t CInput::Read(void* to, size_t size)
{
    if (m_nHeadRead < m_head.size()) {
        const size_t n = std::min(size, m_head.size() - m_nHeadRead);
        std::memcpy(to, m_head.data() + m_nHeadRead, n);
        m_nHeadRead += n;
        return static_cast<ssize_t>(n);
    }
    return ReadFd(to, size);
}

const std::vector<uint8_t>& CInput::Head(size_t size)
{
    while (m_head.size() < size) {
        const size_t had = m_head.size();
        m_head.resize(size);
        const ssize_t got = ReadFd(m_head.data() + had, size - had);
        m_head.resize(had + static_cast<size_t>(std::max<ssize_t>(got, 0)));
        if (got <= 0)
            break;
    }
    return m_head;
}

ssize_t CInput::ReadAt(void* to, size_t size, uint64_t offset)
{
    for (;;) {
        const ssize_t got = pread(m_fd, to, size, static_cast<off_t>(offset));
        if (got >= 0 || errno != EINTR)
            return got;
    }
}
