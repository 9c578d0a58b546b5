// Makes the pictures that the velunor suites and the picture benchmark need
// and that are too large to keep in the tree:
//   velunor_test_picture FROM WxH TO [--claim WxH | --progressive]
//   velunor_test_picture --flat-progressive WxH TO
// FROM (any picture gdk-pixbuf reads) stretched over WxH, with a fine grain
// of noise so that it compresses about as a photo does, written as a JPEG
// (quality 90) or a PNG after TO's extension. With --claim, the JPEG's frame
// header then claims another size: a file that lies about its pixels; with
// --progressive, the JPEG is progressive. --flat-progressive writes a
// complete progressive JPEG of WxH, full colour resolution, all mid grey,
// whose every coefficient is zero: a few bytes a block, so that a huge one
// is quick to make.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdio>
#include <jpeglib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <algorithm>
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

// A progressive JPEG of `picture` (3 channels), quality 90.
bool SaveProgressive(GdkPixbuf* picture, const std::string& to)
{
    FILE* file = std::fopen(to.c_str(), "wb");
    if (!file)
        return false;
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(gdk_pixbuf_get_width(picture));
    info.image_height = static_cast<JDIMENSION>(gdk_pixbuf_get_height(picture));
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = gdk_pixbuf_get_pixels(picture)
                       + static_cast<size_t>(info.next_scanline) * static_cast<size_t>(gdk_pixbuf_get_rowstride(picture));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

// Entropy-coded bits, with a zero byte after every 0xFF.
class CBits {
public:
    explicit CBits(std::string& out) : m_out(out) {}
    void Put(uint32_t bits, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            m_byte = static_cast<uint8_t>(m_byte << 1 | ((bits >> i) & 1));
            if (++m_count == 8)
                Flush();
        }
    }
    // The last byte filled with ones.
    void End()
    {
        while (m_count != 0)
            Put(1, 1);
    }

private:
    void Flush()
    {
        m_out += static_cast<char>(m_byte);
        if (m_byte == 0xFF)
            m_out += '\0';
        m_byte = 0;
        m_count = 0;
    }
    std::string& m_out;
    uint8_t m_byte = 0;
    int m_count = 0;
};

std::string Segment(uint8_t marker, const std::string& body)
{
    const size_t length = body.size() + 2;
    return std::string("\xFF", 1) + static_cast<char>(marker) + static_cast<char>(length >> 8)
           + static_cast<char>(length & 0xFF) + body;
}

// A progressive JPEG of width x height, three components at full
// resolution, every coefficient zero: its DC scan takes one bit a block,
// its AC scans runs of up to 32767 empty blocks a symbol.
bool SaveFlatProgressive(int width, int height, const std::string& to)
{
    const uint64_t blocks = static_cast<uint64_t>((width + 7) / 8) * static_cast<uint64_t>((height + 7) / 8);
    std::string file("\xFF\xD8", 2);
    file += Segment(0xDB, std::string(1, '\0') + std::string(64, '\1'));
    std::string frame = {8, static_cast<char>(height >> 8), static_cast<char>(height & 0xFF),
                         static_cast<char>(width >> 8), static_cast<char>(width & 0xFF), 3};
    for (char c = 1; c <= 3; ++c)
        frame += std::string{c, 0x11, 0};
    file += Segment(0xC2, frame);
    // DC: one symbol, size 0, code "0". AC: the end-of-band runs EOB0 to
    // EOB14, codes of four bits in that order.
    std::string dc = {0x00, 1};
    dc += std::string(15, '\0') + '\0';
    file += Segment(0xC4, dc);
    std::string ac = {0x10, 0, 0, 0, 15};
    ac += std::string(12, '\0');
    for (int r = 0; r <= 14; ++r)
        ac += static_cast<char>(r << 4);
    file += Segment(0xC4, ac);

    file += Segment(0xDA, std::string{3, 1, 0, 2, 0, 3, 0, 0, 0, 0});
    {
        CBits bits(file);
        for (uint64_t i = 0; i < blocks * 3; ++i)
            bits.Put(0, 1);
        bits.End();
    }
    for (char c = 1; c <= 3; ++c) {
        file += Segment(0xDA, std::string{1, c, 0, 1, 63, 0});
        CBits bits(file);
        for (uint64_t left = blocks; left > 0;) {
            const uint32_t run = static_cast<uint32_t>(std::min<uint64_t>(left, 32767));
            int r = 0;
            while ((run >> (r + 1)) != 0)
                ++r;
            bits.Put(static_cast<uint32_t>(r), 4);
            bits.Put(run - (1u << r), r);
            left -= run;
        }
        bits.End();
    }
    file += std::string("\xFF\xD9", 2);
    FILE* out = std::fopen(to.c_str(), "wb");
    return out && std::fwrite(file.data(), 1, file.size(), out) == file.size() && std::fclose(out) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    int width = 0, height = 0, claimWidth = 0, claimHeight = 0;
    if (argc == 4 && std::strcmp(argv[1], "--flat-progressive") == 0) {
        if (!ParseSize(argv[2], width, height) || !SaveFlatProgressive(width, height, argv[3])) {
            std::fprintf(stderr, "velunor_test_picture: cannot write %s\n", argv[3]);
            return 1;
        }
        return 0;
    }
    const bool claim = argc == 6 && std::strcmp(argv[4], "--claim") == 0;
    const bool progressive = argc == 5 && std::strcmp(argv[4], "--progressive") == 0;
    if ((argc != 4 && !claim && !progressive) || !ParseSize(argv[2], width, height)
        || (claim && !ParseSize(argv[5], claimWidth, claimHeight))) {
        std::fprintf(stderr, "usage: velunor_test_picture FROM WxH TO [--claim WxH | --progressive]\n"
                             "       velunor_test_picture --flat-progressive WxH TO\n");
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
    const gboolean saved = progressive ? SaveProgressive(picture, to)
                           : png       ? gdk_pixbuf_save(picture, to.c_str(), "png", &error, "compression", "1", nullptr)
                                       : gdk_pixbuf_save(picture, to.c_str(), "jpeg", &error, "quality", "90", nullptr);
    g_object_unref(picture);
    if (!saved) {
        std::fprintf(stderr, "velunor_test_picture: %s: %s\n", to.c_str(), error ? error->message : "not written");
        return 1;
    }
    if (claim && (png || !ClaimSize(to, claimWidth, claimHeight))) {
        std::fprintf(stderr, "velunor_test_picture: no JPEG frame header in %s\n", to.c_str());
        return 1;
    }
    return 0;
}
