#include "wayland/ShmBuffer.h"

#include <wayland-client.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

const wl_buffer_listener CShmBuffer::kListener = {
    .release = OnRelease,
};

CShmBuffer::~CShmBuffer()
{
    if (m_buffer)
        wl_buffer_destroy(m_buffer);
    if (m_pData)
        munmap(m_pData, m_size);
}

bool CShmBuffer::Create(wl_shm* shm, int width, int height, uint32_t format, std::string& reason, int stride)
{
    const bool fits = width > 0 && height > 0 && width <= INT32_MAX / 4 && stride >= 0;
    if (fits && stride == 0)
        stride = width * 4;
    const size_t size = static_cast<size_t>(stride) * static_cast<size_t>(height);
    if (!fits || stride < width * 4 || size > static_cast<size_t>(INT32_MAX)) {
        reason = "a buffer of " + std::to_string(width) + "x" + std::to_string(height) + " is too large";
        return false;
    }
    const int fd = memfd_create("velunor", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) {
        reason = std::string("no shared memory: ") + std::strerror(errno);
        return false;
    }
    // The pages are taken now: memory that runs out later would end the
    // program by SIGBUS at a write instead of giving a reason here.
    int error = 0;
    do
        error = posix_fallocate(fd, 0, static_cast<off_t>(size));
    while (error == EINTR);
    if (error == EOPNOTSUPP)
        error = ftruncate(fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
    void* data = error == 0 ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
    if (data == MAP_FAILED) {
        if (error == 0)
            error = errno;
        reason = "no shared memory of " + std::to_string(size) + " bytes: " + std::strerror(error);
        close(fd);
        return false;
    }
    // The compositor maps it too: the file must not shrink under it.
    fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_SEAL);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(size));
    m_buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, format);
    // The buffer keeps the pool's memory; neither the pool nor the file is
    // needed any more.
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_buffer_add_listener(m_buffer, &kListener, this);
    m_pData = static_cast<uint8_t*>(data);
    m_size = size;
    m_nWidth = width;
    m_nHeight = height;
    m_nStride = stride;
    return true;
}

void CShmBuffer::OnRelease(void* data, wl_buffer*)
{
    static_cast<CShmBuffer*>(data)->m_bHeld = false;
}
