// Every other format through gdk-pixbuf's loaders, fed the data as it
// comes. A format drawn at any size (SVG) is drawn at the size shown; any
// other is decoded whole, so its header's size must fit the budget first.
#include "decoder/Decode.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kChunkBytes = 64 * 1024;

struct Load {
    CPictureSink* sink = nullptr;
    uint64_t budget = 0;
    int ownWidth = 0;
    int ownHeight = 0;
    std::string refused; // why the size the header claims is not decoded
    bool prepared = false;
    int preparedHeight = 0;
    int rows = 0; // rows from the top the data has reached
};

void OnSizePrepared(GdkPixbufLoader* loader, int width, int height, gpointer user)
{
    Load& load = *static_cast<Load*>(user);
    load.ownWidth = width;
    load.ownHeight = height;
    GdkPixbufFormat* format = gdk_pixbuf_loader_get_format(loader);
    if (format && gdk_pixbuf_format_is_scalable(format) && width > 0 && height > 0) {
        // Drawn at the size shown, whatever size it claims.
        int needWidth = 0, needHeight = 0;
        load.sink->Needed(1, needWidth, needHeight);
        gdk_pixbuf_loader_set_size(loader, needWidth, needHeight);
        return;
    }
    const uint64_t bytes = static_cast<uint64_t>(std::max(width, 0)) * static_cast<uint64_t>(std::max(height, 0)) * 4;
    if (CheckClaim(width, height, load.refused)) {
        if (bytes <= load.budget)
            return;
        load.refused = "its header claims " + std::to_string(width) + "x" + std::to_string(height)
                       + " pixels, which need " + Megabytes(bytes) + " to decode, more than the "
                       + Megabytes(load.budget) + " its decoder may take";
    }
    // Asking for no pixels at all makes the loader stop before it allocates.
    gdk_pixbuf_loader_set_size(loader, 0, 0);
}

void OnAreaPrepared(GdkPixbufLoader* loader, gpointer user)
{
    Load& load = *static_cast<Load*>(user);
    if (GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader)) {
        load.prepared = true;
        load.preparedHeight = gdk_pixbuf_get_height(pixbuf);
    }
}

void OnAreaUpdated(GdkPixbufLoader*, int, int y, int, int height, gpointer user)
{
    Load& load = *static_cast<Load*>(user);
    load.rows = std::max(load.rows, std::min(y + height, load.preparedHeight));
}

// The EXIF orientation the loader found, 1 (upright) without one.
int EmbeddedOrientation(GdkPixbuf* pixbuf)
{
    const char* option = gdk_pixbuf_get_option(pixbuf, "orientation");
    const int value = option ? std::atoi(option) : 1;
    return value >= 1 && value <= 8 ? value : 1;
}

// The rows of `pixbuf` into the sink: the first `rows` of them.
bool Give(GdkPixbuf* pixbuf, int rows, const Load& load, CPictureSink& sink, std::string& reason)
{
    const int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
    if (!sink.Begin(load.ownWidth > 0 ? load.ownWidth : width, load.ownHeight > 0 ? load.ownHeight : height, width,
                    height, EmbeddedOrientation(pixbuf), true, reason))
        return false;
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
    if (gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 || (channels != 3 && channels != 4)) {
        reason = "its pixels are of a kind not shown";
        return false;
    }
    const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
    const size_t stride = static_cast<size_t>(gdk_pixbuf_get_rowstride(pixbuf));
    for (int y = 0; y < std::min(rows, height); ++y) {
        sink.Pixels(y, 0, 1, pixels + static_cast<size_t>(y) * stride, width,
                    alpha && channels == 4 ? PixelLayout::Rgba : PixelLayout::Rgb);
    }
    return true;
}

} // namespace

bool DecodeWithPixbuf(CInput& input, CPictureSink& sink, uint64_t budget, std::string& reason)
{
    Load load;
    load.sink = &sink;
    load.budget = budget;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    g_signal_connect(loader, "size-prepared", G_CALLBACK(OnSizePrepared), &load);
    g_signal_connect(loader, "area-prepared", G_CALLBACK(OnAreaPrepared), &load);
    g_signal_connect(loader, "area-updated", G_CALLBACK(OnAreaUpdated), &load);

    std::vector<guchar> chunk(kChunkBytes);
    GError* writeError = nullptr;
    int readError = 0;
    while (load.refused.empty()) {
        const ssize_t got = input.Read(chunk.data(), chunk.size());
        if (got < 0)
            readError = input.Error();
        if (got <= 0)
            break;
        // A failed write closes the loader.
        if (!gdk_pixbuf_loader_write(loader, chunk.data(), static_cast<gsize>(got), &writeError))
            break;
    }
    const bool preparedEarly = load.prepared;
    const int rowsEarly = load.rows;
    GError* closeError = nullptr;
    const bool closed = gdk_pixbuf_loader_close(loader, &closeError);
    GdkPixbuf* decoded = gdk_pixbuf_loader_get_pixbuf(loader);

    bool shown = false;
    if (readError) {
        reason = std::strerror(readError);
    } else if (!load.refused.empty()) {
        reason = load.refused;
    } else if (decoded) {
        // Data that ended early: the rows it reached, the rest grey.
        const bool incomplete = writeError || !closed || (preparedEarly && rowsEarly < load.preparedHeight);
        shown = Give(decoded, incomplete && preparedEarly ? rowsEarly : gdk_pixbuf_get_height(decoded), load, sink,
                     reason);
        if (incomplete)
            sink.SetIncomplete();
    } else if (writeError || closeError) {
        reason = (writeError ? writeError : closeError)->message;
    } else {
        reason = "not a picture";
    }
    if (writeError)
        g_error_free(writeError);
    if (closeError)
        g_error_free(closeError);
    g_object_unref(loader);
    return shown;
}
