// Makes the pictures that the velunor suites and the picture benchmark need
// and that are too large to keep in the tree:
//   velunor_test_picture FROM WxH TO [--claim WxH]
// FROM (any picture gdk-pixbuf reads) stretched over WxH, with a fine grain
// of noise so that it compresses about as a photo does, written as a JPEG
// (quality 90) or a PNG after TO's extension. With --claim, the JPEG's frame
// header then claims another size: a file that lies about its pixels.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool ParseSize(const char* text, int& width, int& height)
{
    return std::sscanf(text, "%dx%d", &width, &height) == 2 && width > 0 && height > 0 && width <= 65535
           && height <= 65535;
}

void AddGrain(GdkPixbuf* pixbuf)
{
    const int width = gdk_pixbuf_get_width(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    uint32_t state = 0x9E3779B9u;
    for (int y = 0; y < gdk_pixbuf_get_height(pixbuf); ++y) {
        guchar* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
        for (int x = 0; x < width; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int grain = static_cast<int>(state & 15) - 8;
            for (int c = 0; c < 3; ++c) {
                const int v = row[x * channels + c] + grain;
                row[x * channels + c] = static_cast<guchar>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
}

// Rewrites the size in the first frame header (SOF0 to SOF2) of a JPEG.
bool ClaimSize(const std::string& path, int width, int height)
{
    FILE* file = std::fopen(path.c_str(), "r+b");
    if (!file)
        return false;
    std::vector<unsigned char> head(1 << 16);
    head.resize(std::fread(head.data(), 1, head.size(), file));
    bool done = false;
    for (size_t at = 2; at + 9 < head.size() && head[at] == 0xFF;) {
        const unsigned char marker = head[at + 1];
        const size_t length = static_cast<size_t>(head[at + 2]) << 8 | head[at + 3];
        if (marker >= 0xC0 && marker <= 0xC2) {
            const unsigned char size[4] = {static_cast<unsigned char>(height >> 8), static_cast<unsigned char>(height),
                                           static_cast<unsigned char>(width >> 8), static_cast<unsigned char>(width)};
            done = std::fseek(file, static_cast<long>(at + 5), SEEK_SET) == 0 && std::fwrite(size, 1, 4, file) == 4;
            break;
        }
        at += 2 + length;
    }
    return std::fclose(file) == 0 && done;
}

} // namespace

int main(int argc, char** argv)
{
    int width = 0, height = 0, claimWidth = 0, claimHeight = 0;
    const bool claim = argc == 6 && std::strcmp(argv[4], "--claim") == 0;
    if ((argc != 4 && !claim) || !ParseSize(argv[2], width, height)
        || (claim && !ParseSize(argv[5], claimWidth, claimHeight))) {
        std::fprintf(stderr, "usage: velunor_test_picture FROM WxH TO [--claim WxH]\n");
        return 2;
    }
    const std::string to = argv[3];
    const bool png = to.size() > 4 && to.compare(to.size() - 4, 4, ".png") == 0;
    GError* error = nullptr;
    GdkPixbuf* from = gdk_pixbuf_new_from_file(argv[1], &error);
    if (!from) {
        std::fprintf(stderr, "velunor_test_picture: %s: %s\n", argv[1], error->message);
        return 1;
    }
    GdkPixbuf* picture = gdk_pixbuf_scale_simple(from, width, height, GDK_INTERP_BILINEAR);
    g_object_unref(from);
    if (!picture) {
        std::fprintf(stderr, "velunor_test_picture: no memory for %dx%d\n", width, height);
        return 1;
    }
    AddGrain(picture);
    const gboolean saved = png ? gdk_pixbuf_save(picture, to.c_str(), "png", &error, "compression", "1", nullptr)
                               : gdk_pixbuf_save(picture, to.c_str(), "jpeg", &error, "quality", "90", nullptr);
    g_object_unref(picture);
    if (!saved) {
        std::fprintf(stderr, "velunor_test_picture: %s: %s\n", to.c_str(), error->message);
        return 1;
    }
    if (claim && (png || !ClaimSize(to, claimWidth, claimHeight))) {
        std::fprintf(stderr, "velunor_test_picture: no JPEG frame header in %s\n", to.c_str());
        return 1;
    }
    return 0;
}
