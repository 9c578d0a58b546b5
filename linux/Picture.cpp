#include "linux/Picture.h"

#include "ripple/RippleTarget.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#ifndef VELUNOR_DATADIR
#define VELUNOR_DATADIR "/usr/share/velunor"
#endif

namespace {

bool IsShipped(const std::string& path)
{
    const std::vector<std::string> shipped = ShippedPictureFiles();
    return std::find(shipped.begin(), shipped.end(), path) != shipped.end();
}

// `from` (engine layout, `width` x `height`) stretched bilinearly over
// `toWidth` x `toHeight`; false when memory fails.
bool Scale(const std::vector<uint32_t>& from, int width, int height, int toWidth, int toHeight,
           std::vector<uint32_t>& to)
{
    GdkPixbuf* source = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
    if (!source)
        return false;
    // gdk-pixbuf's rows run from the top.
    const ripple::Target rows =
        ripple::Target::TopDown(gdk_pixbuf_get_pixels(source), height, gdk_pixbuf_get_rowstride(source));
    for (int r = 0; r < height; ++r) {
        guchar* line = reinterpret_cast<guchar*>(rows.Row(r));
        const uint32_t* pixel = from.data() + static_cast<size_t>(r) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x, line += 3) {
            line[0] = static_cast<guchar>(pixel[x] >> 16);
            line[1] = static_cast<guchar>(pixel[x] >> 8);
            line[2] = static_cast<guchar>(pixel[x]);
        }
    }
    GdkPixbuf* scaled = gdk_pixbuf_scale_simple(source, toWidth, toHeight, GDK_INTERP_BILINEAR);
    g_object_unref(source);
    if (!scaled)
        return false;
    const ripple::Target scaledRows =
        ripple::Target::TopDown(gdk_pixbuf_get_pixels(scaled), toHeight, gdk_pixbuf_get_rowstride(scaled));
    for (int r = 0; r < toHeight; ++r) {
        const guchar* line = reinterpret_cast<const guchar*>(scaledRows.Row(r));
        uint32_t* pixel = to.data() + static_cast<size_t>(r) * static_cast<size_t>(toWidth);
        for (int x = 0; x < toWidth; ++x, line += 3)
            pixel[x] = static_cast<uint32_t>(line[0]) << 16 | static_cast<uint32_t>(line[1]) << 8 | line[2];
    }
    g_object_unref(scaled);
    return true;
}

} // namespace

CPicture::~CPicture()
{
    Clear();
}

void CPicture::Clear()
{
    Stop();
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
    m_path.clear();
    m_bRereads = m_bRead = false;
    m_nWidth = m_nHeight = 0;
    m_kept.clear();
    m_kept.shrink_to_fit();
    m_nKeptWidth = m_nKeptHeight = 0;
    m_bToldIncomplete = false;
}

void CPicture::Stop()
{
    if (!m_process.Running())
        return;
    m_loop.Unwatch(m_process.Fd());
    m_process.Kill();
}

bool CPicture::Load(const std::string& path, std::string& reason)
{
    Clear();
    // Without waiting for a writer: a FIFO is waited for by the decoder,
    // within its deadline.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info = {};
    if (fd < 0 || fstat(fd, &info) != 0) {
        reason = std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        reason = std::strerror(EISDIR);
        close(fd);
        return false;
    }
    m_fd = fd;
    m_path = path;
    m_bRereads = S_ISREG(info.st_mode);
    return true;
}

bool CPicture::FromPixels(const std::vector<uint32_t>& pixels, int width, int height)
{
    if (width <= 0 || height <= 0 || pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height))
        return false;
    Clear();
    // Top-down given, bottom-up kept.
    m_kept.resize(pixels.size());
    for (int r = 0; r < height; ++r)
        std::copy_n(pixels.data() + static_cast<size_t>(height - 1 - r) * static_cast<size_t>(width), width,
                    m_kept.data() + static_cast<size_t>(r) * static_cast<size_t>(width));
    m_nKeptWidth = m_nWidth = width;
    m_nKeptHeight = m_nHeight = height;
    return true;
}

bool CPicture::Covers(int width, int height) const
{
    if (m_kept.empty())
        return false;
    // A file read once, or pixels given, serve every size; a file that can
    // be read again is decoded again for a size larger than the one kept.
    return m_fd < 0 || !m_bRereads || (width <= m_nKeptWidth && height <= m_nKeptHeight);
}

bool CPicture::Ready(int width, int height) const
{
    return m_fd < 0 || Covers(width, height);
}

void CPicture::Ask(int width, int height)
{
    // Sizes asked while a decode runs are asked again after it, which may
    // cover them.
    if (m_process.Running() || Ready(width, height))
        return;
    // Every size asked so far stays covered: outputs of different sizes
    // share the picture.
    if (!m_kept.empty()) {
        width = std::max(width, m_nKeptWidth);
        height = std::max(height, m_nKeptHeight);
    }
    std::string reason;
    if (m_bRead && (!m_bRereads || lseek(m_fd, 0, SEEK_SET) != 0)) {
        Failed(width, height, "it cannot be read again");
        return;
    }
    if (!m_process.Start(m_fd, width, height, DecoderLimitsFor(width, height), reason)) {
        Failed(width, height, reason);
        return;
    }
    m_bRead = true;
    m_nDecodingWidth = width;
    m_nDecodingHeight = height;
    m_loop.Watch(m_process.Fd(), POLLIN, OnDecoder, this);
}

void CPicture::Update(int64_t now)
{
    if (m_process.Running() && now >= m_process.Deadline())
        Finished();
    if (m_process.Running())
        m_loop.WakeBy(m_process.Deadline());
}

void CPicture::OnDecoder(void* owner, short)
{
    CPicture& self = *static_cast<CPicture*>(owner);
    if (self.m_process.Read())
        self.Finished();
}

void CPicture::Finished()
{
    // Unwatched while its descriptor is still open: Finish closes it.
    m_loop.Unwatch(m_process.Fd());
    DecodedPicture decoded;
    std::string reason;
    if (!m_process.Finish(decoded, reason)) {
        Failed(m_nDecodingWidth, m_nDecodingHeight, reason);
        return;
    }
    m_kept = std::move(decoded.frame);
    m_nKeptWidth = m_nDecodingWidth;
    m_nKeptHeight = m_nDecodingHeight;
    m_nWidth = decoded.width;
    m_nHeight = decoded.height;
    if (decoded.incomplete && !m_bToldIncomplete) {
        std::fprintf(stderr, "velunor: picture %s is incomplete: its data ends early; showing the part decoded\n",
                     m_path.c_str());
        m_bToldIncomplete = true;
    }
}

void CPicture::Failed(int width, int height, const std::string& reason)
{
    if (!m_kept.empty()) {
        // Decoded before at a smaller size: that one is stretched further.
        std::fprintf(stderr, "velunor: cannot decode picture %s again for %dx%d: %s; stretching the one decoded before\n",
                     m_path.c_str(), width, height, reason.c_str());
        close(m_fd);
        m_fd = -1;
        return;
    }
    if (IsShipped(m_path)) {
        std::fprintf(stderr, "velunor: cannot load the shipped picture (%s): %s; showing a plain dark picture\n",
                     m_path.c_str(), reason.c_str());
        Clear();
        return;
    }
    std::fprintf(stderr, "velunor: cannot load picture %s: %s\n", m_path.c_str(), reason.c_str());
    Clear();
    // The shipped picture in its place, decoded at once; each file is tried
    // once.
    LoadPictureOrShipped(*this, std::string());
    Ask(width, height);
}

bool CPicture::Stretch(int width, int height, std::vector<uint32_t>& frame)
{
    frame.assign(static_cast<size_t>(width) * static_cast<size_t>(height), kDarkColor);
    if (!Ready(width, height))
        return false;
    if (m_kept.empty())
        return true;
    if (m_nKeptWidth == width && m_nKeptHeight == height)
        frame = m_kept;
    else if (!Scale(m_kept, m_nKeptWidth, m_nKeptHeight, width, height, frame))
        std::fprintf(stderr, "velunor: not enough memory to stretch the picture over %dx%d\n", width, height);
    return true;
}

std::vector<std::string> ShippedPictureFiles()
{
    std::vector<std::string> files;
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string dir(self, static_cast<size_t>(length));
        dir.erase(dir.rfind('/') + 1);
        files.push_back(dir + "velunor.jpg");
    }
    files.push_back(std::string(VELUNOR_DATADIR) + "/velunor.jpg");
    return files;
}

void LoadPictureOrShipped(CPicture& picture, const std::string& file)
{
    std::string reason;
    if (!file.empty()) {
        if (picture.Load(file, reason))
            return;
        std::fprintf(stderr, "velunor: cannot load picture %s: %s\n", file.c_str(), reason.c_str());
    }
    std::string tried;
    for (const std::string& shipped : ShippedPictureFiles()) {
        if (picture.Load(shipped, reason))
            return;
        tried += tried.empty() ? shipped : ", " + shipped;
    }
    std::fprintf(stderr, "velunor: cannot load the shipped picture (%s): %s; showing a plain dark picture\n",
                 tried.c_str(), reason.c_str());
}
