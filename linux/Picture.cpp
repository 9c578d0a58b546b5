#include "linux/Picture.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <climits>
#include <cstdio>
#include <unistd.h>

#ifndef VELUNOR_DATADIR
#define VELUNOR_DATADIR "/usr/share/velunor"
#endif

CPicture::~CPicture()
{
    if (m_pixbuf)
        g_object_unref(m_pixbuf);
}

bool CPicture::Load(const std::string& path, std::string& reason)
{
    GError* error = nullptr;
    GdkPixbuf* loaded = gdk_pixbuf_new_from_file(path.c_str(), &error);
    if (!loaded) {
        reason = error ? error->message : "not an image";
        if (error)
            g_error_free(error);
        return false;
    }
    // A new pixbuf, or the same one with one more reference when the file
    // carries no orientation.
    GdkPixbuf* upright = gdk_pixbuf_apply_embedded_orientation(loaded);
    g_object_unref(loaded);
    if (!upright) {
        reason = "not enough memory to turn it upright";
        return false;
    }
    if (m_pixbuf)
        g_object_unref(m_pixbuf);
    m_pixbuf = upright;
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
    if (m_pixbuf)
        g_object_unref(m_pixbuf);
    m_pixbuf = made;
    return true;
}

int CPicture::Width() const
{
    return m_pixbuf ? gdk_pixbuf_get_width(m_pixbuf) : 0;
}

int CPicture::Height() const
{
    return m_pixbuf ? gdk_pixbuf_get_height(m_pixbuf) : 0;
}

void CPicture::Stretch(int width, int height, std::vector<uint32_t>& frame) const
{
    frame.assign(static_cast<size_t>(width) * static_cast<size_t>(height), kDarkColor);
    if (!m_pixbuf)
        return;
    GdkPixbuf* scaled = nullptr;
    if (Width() == width && Height() == height) {
        scaled = static_cast<GdkPixbuf*>(g_object_ref(m_pixbuf));
    } else {
        scaled = gdk_pixbuf_scale_simple(m_pixbuf, width, height, GDK_INTERP_BILINEAR);
        if (!scaled)
            return;
    }
    const guchar* bytes = gdk_pixbuf_read_pixels(scaled);
    const int stride = gdk_pixbuf_get_rowstride(scaled);
    const int channels = gdk_pixbuf_get_n_channels(scaled);
    const bool alpha = gdk_pixbuf_get_has_alpha(scaled);
    for (int y = 0; y < height; ++y) {
        const guchar* row = bytes + static_cast<size_t>(y) * static_cast<size_t>(stride);
        uint32_t* to = frame.data() + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width);
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
