#include "linux/Picture.h"

#include "ripple/RippleTarget.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <unistd.h>

#ifndef VELUNOR_DATADIR
#define VELUNOR_DATADIR "/usr/share/velunor"
#endif

namespace {

bool IsShipped(const std::string& path)
{
    const std::vector<std::string> shipped = ShippedPictureFiles();
    return std::find(shipped.begin(), shipped.end(), path) != shipped.end();
}

} // namespace

CPicture::~CPicture()
{
    Clear();
}

void CPicture::Clear()
{
    if (m_kept)
        g_object_unref(m_kept);
    m_kept = nullptr;
    m_bKeptWhole = false;
    m_path.clear();
    m_header = PictureHeader();
    m_nWidth = m_nHeight = 0;
    m_nDecodedForWidth = m_nDecodedForHeight = 0;
    m_bToldIncomplete = false;
}

void CPicture::Keep(GdkPixbuf* pixbuf, bool whole)
{
    if (m_kept)
        g_object_unref(m_kept);
    m_kept = pixbuf;
    m_bKeptWhole = whole;
}

bool CPicture::Load(const std::string& path, std::string& reason)
{
    if (m_bStopped)
        return false;
    Clear();
    PictureHeader header;
    switch (ReadPictureHeader(path, m_stopFd, header, reason)) {
    case PassResult::Stopped:
        m_bStopped = true;
        reason.clear();
        return false;
    case PassResult::Failed:
        return false;
    case PassResult::Done:
        break;
    }
    m_path = path;
    m_header = header;
    m_nWidth = header.Width();
    m_nHeight = header.Height();
    return true;
}

bool CPicture::FromPixels(const std::vector<uint32_t>& pixels, int width, int height)
{
    if (width <= 0 || height <= 0 || pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height))
        return false;
    GdkPixbuf* made = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
    if (!made)
        return false;
    guchar* bytes = gdk_pixbuf_get_pixels(made);
    const int stride = gdk_pixbuf_get_rowstride(made);
    for (int y = 0; y < height; ++y) {
        guchar* row = bytes + static_cast<size_t>(y) * static_cast<size_t>(stride);
        const uint32_t* from = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<guchar>(from[x] >> 16);
            row[3 * x + 1] = static_cast<guchar>(from[x] >> 8);
            row[3 * x + 2] = static_cast<guchar>(from[x]);
        }
    }
    Clear();
    Keep(made, true);
    m_nWidth = width;
    m_nHeight = height;
    return true;
}

bool CPicture::Covers(int width, int height) const
{
    if (!m_kept)
        return false;
    if (m_bKeptWhole || (width <= m_nDecodedForWidth && height <= m_nDecodedForHeight))
        return true;
    return gdk_pixbuf_get_width(m_kept) >= std::min(width, m_nWidth)
           && gdk_pixbuf_get_height(m_kept) >= std::min(height, m_nHeight);
}

bool CPicture::Decode(int width, int height)
{
    // Every size asked so far stays covered: outputs of different sizes
    // share the picture.
    const int needWidth = std::max(width, m_nDecodedForWidth);
    const int needHeight = std::max(height, m_nDecodedForHeight);
    DecodedPicture decoded;
    std::string reason;
    switch (DecodePicture(m_path, m_header, needWidth, needHeight, m_stopFd, decoded, reason)) {
    case PassResult::Stopped:
        m_bStopped = true;
        return false;
    case PassResult::Done:
        Keep(decoded.pixbuf, decoded.whole);
        m_nWidth = decoded.width;
        m_nHeight = decoded.height;
        m_nDecodedForWidth = needWidth;
        m_nDecodedForHeight = needHeight;
        if (decoded.incomplete && !m_bToldIncomplete) {
            std::fprintf(stderr, "velunor: picture %s is incomplete: its data ends early; showing the part decoded\n",
                         m_path.c_str());
            m_bToldIncomplete = true;
        }
        return true;
    case PassResult::Failed:
        break;
    }
    if (m_kept) {
        // Decoded before at a smaller size: that one is stretched further.
        std::fprintf(stderr, "velunor: cannot decode picture %s again for %dx%d: %s; stretching the one decoded before\n",
                     m_path.c_str(), width, height, reason.c_str());
        m_bKeptWhole = true;
        return true;
    }
    if (IsShipped(m_path)) {
        std::fprintf(stderr, "velunor: cannot load the shipped picture (%s): %s; showing a plain dark picture\n",
                     m_path.c_str(), reason.c_str());
        Clear();
        return true;
    }
    std::fprintf(stderr, "velunor: cannot load picture %s: %s\n", m_path.c_str(), reason.c_str());
    Clear();
    return LoadPictureOrShipped(*this, std::string());
}

bool CPicture::Stretch(int width, int height, std::vector<uint32_t>& frame)
{
    frame.assign(static_cast<size_t>(width) * static_cast<size_t>(height), kDarkColor);
    if (m_bStopped)
        return false;
    // A failed decode falls back to the shipped picture, which is decoded
    // in turn; each file is tried once.
    for (int tries = 0; tries < 4 && !m_path.empty() && !Covers(width, height); ++tries) {
        if (!Decode(width, height))
            return false;
    }
    if (!m_kept)
        return true;
    GdkPixbuf* scaled = nullptr;
    if (gdk_pixbuf_get_width(m_kept) == width && gdk_pixbuf_get_height(m_kept) == height) {
        scaled = static_cast<GdkPixbuf*>(g_object_ref(m_kept));
    } else {
        scaled = gdk_pixbuf_scale_simple(m_kept, width, height, GDK_INTERP_BILINEAR);
        if (!scaled)
            return true;
    }
    // gdk-pixbuf's rows run from the top.
    const ripple::Target rows =
        ripple::Target::TopDown(gdk_pixbuf_get_pixels(scaled), height, gdk_pixbuf_get_rowstride(scaled));
    const int channels = gdk_pixbuf_get_n_channels(scaled);
    const bool alpha = gdk_pixbuf_get_has_alpha(scaled);
    for (int r = 0; r < height; ++r) {
        const guchar* row = reinterpret_cast<const guchar*>(rows.Row(r));
        uint32_t* to = frame.data() + static_cast<size_t>(r) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x) {
            const guchar* p = row + static_cast<size_t>(x) * static_cast<size_t>(channels);
            uint32_t r = p[0], g = p[1], b = p[2];
            if (alpha) {
                const uint32_t a = p[3];
                r = (r * a + 127) / 255;
                g = (g * a + 127) / 255;
                b = (b * a + 127) / 255;
            }
            to[x] = (r << 16) | (g << 8) | b;
        }
    }
    g_object_unref(scaled);
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

bool LoadPictureOrShipped(CPicture& picture, const std::string& file)
{
    std::string reason;
    if (!file.empty()) {
        if (picture.Load(file, reason))
            return true;
        if (picture.Stopped())
            return false;
        std::fprintf(stderr, "velunor: cannot load picture %s: %s\n", file.c_str(), reason.c_str());
    }
    std::string tried;
    for (const std::string& shipped : ShippedPictureFiles()) {
        if (picture.Load(shipped, reason))
            return true;
        if (picture.Stopped())
            return false;
        tried += tried.empty() ? shipped : ", " + shipped;
    }
    std::fprintf(stderr, "velunor: cannot load the shipped picture (%s): %s; showing a plain dark picture\n",
                 tried.c_str(), reason.c_str());
    return true;
}
