// The picture's bytes as the decoder reads them: from the one descriptor it
// was given (a file, a FIFO, a device), once, from the start. A descriptor
// with nothing to read yet (a FIFO whose writer is slow or not there) is
// waited for: the program that started the decoder bounds the wait. The
// first bytes can be looked at before a decoder reads them from the start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

class CInput {
public:
    // `onFirstData` is called once, when the first bytes came.
    CInput(int fd, void (*onFirstData)(void*), void* context);

    // Up to `size` bytes; 0 at the end; -1 on a read error (Error()).
    ssize_t Read(void* to, size_t size);
    // The first `size` bytes (fewer when the data ends first), read again by
    // Read from the start.
    const std::vector<uint8_t>& Head(size_t size);

    // A regular file, whose bytes can also be read at any offset (ReadAt).
    bool Seekable() const { return m_bSeekable; }
    uint64_t FileSize() const { return m_nFileSize; }
    ssize_t ReadAt(void* to, size_t size, uint64_t offset);

    // Bytes read so far, and the errno of a failed read (0: none).
    uint64_t Total() const { return m_nTotal; }
    int Error() const { return m_nError; }

private:
    ssize_t ReadFd(void* to, size_t size);

    int m_fd;
    void (*m_onFirstData)(void*);
    void* m_context;
    bool m_bSeekable = false;
    uint64_t m_nFileSize = 0;
    std::vector<uint8_t> m_head;
    size_t m_nHeadRead = 0; // bytes of m_head that Read gave out
    uint64_t m_nTotal = 0;
    int m_nError = 0;
    bool m_bEnded = false;
};
