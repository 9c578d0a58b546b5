#include "linux/PictureDecoder.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

constexpr size_t kChunkBytes = 64 * 1024;
// What JPEG's decoder gives for the rows the data did not reach.
constexpr guchar kMissingGrey = 0x80;

// What one pass asks and finds. The caller and the worker share it: an
// abandoned worker may run on after the caller has gone.
struct Pass {
    std::string path;
    bool headerOnly = true;
    PictureHeader header; // found by a header pass, given to a decode
    int needWidth = 0;    // upright
    int needHeight = 0;

    PassResult result = PassResult::Failed;
    std::string reason;
    DecodedPicture picture;

    // What the loader said so far.
    bool sized = false;
    bool tooBig = false;
    bool enough = false; // a header pass has all it reads
    bool prepared = false;
    int preparedHeight = 0;
    int rows = 0; // rows from the top the data has reached

    std::atomic<bool> abandoned{false};
    int done[2] = {-1, -1};

    ~Pass()
    {
        if (picture.pixbuf)
            g_object_unref(picture.pixbuf);
        for (int fd : done) {
            if (fd >= 0)
                close(fd);
        }
    }
};

int ScaledSide(int side, int denominator)
{
    return (side + denominator - 1) / denominator;
}

// The smallest of the JPEG decoder's scales (1/8, 1/4, 1/2, 1/1) that gives
// at least the size needed; the decoder rounds sides up as ScaledSide does.
int JpegDenominator(int width, int height, int needWidth, int needHeight)
{
    int denominator = 8;
    while (denominator > 1
           && (ScaledSide(width, denominator) < needWidth || ScaledSide(height, denominator) < needHeight))
        denominator /= 2;
    return denominator;
}

void OnSizePrepared(GdkPixbufLoader* loader, int width, int height, gpointer data)
{
    Pass& pass = *static_cast<Pass*>(data);
    if (GdkPixbufFormat* format = gdk_pixbuf_loader_get_format(loader)) {
        gchar* name = gdk_pixbuf_format_get_name(format);
        pass.header.format = name ? name : "";
        g_free(name);
    }
    pass.header.storedWidth = width;
    pass.header.storedHeight = height;
    pass.sized = true;
    // Asking for no pixels at all makes the loader stop before it allocates.
    if (width <= 0 || height <= 0
        || static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxPicturePixels) {
        pass.tooBig = true;
        gdk_pixbuf_loader_set_size(loader, 0, 0);
        return;
    }
    const bool jpeg = pass.header.format == "jpeg";
    if (pass.headerOnly) {
        // JPEG's loader tells the orientation with the picture it prepares:
        // the smallest one is enough.
        if (jpeg) {
            gdk_pixbuf_loader_set_size(loader, ScaledSide(width, 8), ScaledSide(height, 8));
        } else {
            gdk_pixbuf_loader_set_size(loader, 0, 0);
            pass.enough = true;
        }
        return;
    }
    if (jpeg) {
        const bool swap = pass.header.SwapsSides();
        const int denominator =
            JpegDenominator(width, height, swap ? pass.needHeight : pass.needWidth, swap ? pass.needWidth : pass.needHeight);
        // Exactly the decoder's own size: the loader then does not scale it
        // again and reports the rows as they come.
        if (denominator > 1)
            gdk_pixbuf_loader_set_size(loader, ScaledSide(width, denominator), ScaledSide(height, denominator));
    }
}

// The EXIF orientation gdk-pixbuf found in the file, 1 (upright) without one.
int EmbeddedOrientation(GdkPixbuf* pixbuf)
{
    const char* option = gdk_pixbuf_get_option(pixbuf, "orientation");
    const int value = option ? std::atoi(option) : 1;
    return value >= 1 && value <= 8 ? value : 1;
}

void OnAreaPrepared(GdkPixbufLoader* loader, gpointer data)
{
    Pass& pass = *static_cast<Pass*>(data);
    GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
    if (!pixbuf)
        return;
    pass.prepared = true;
    pass.preparedHeight = gdk_pixbuf_get_height(pixbuf);
    if (pass.headerOnly) {
        pass.header.orientation = EmbeddedOrientation(pixbuf);
        pass.enough = true;
    }
}

void OnAreaUpdated(GdkPixbufLoader*, int, int y, int, int height, gpointer data)
{
    Pass& pass = *static_cast<Pass*>(data);
    pass.rows = std::max(pass.rows, std::min(y + height, pass.preparedHeight));
}

std::string TooBigReason(const PictureHeader& header)
{
    char text[160];
    std::snprintf(text, sizeof text, "its header claims %dx%d pixels, more than the %llu (16384x16384) shown",
                  header.storedWidth, header.storedHeight, static_cast<unsigned long long>(kMaxPicturePixels));
    return text;
}

void FillRows(GdkPixbuf* pixbuf, int from)
{
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const int width = gdk_pixbuf_get_width(pixbuf);
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    for (int y = from; y < gdk_pixbuf_get_height(pixbuf); ++y) {
        guchar* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
        for (int x = 0; x < width; ++x) {
            guchar* p = row + static_cast<size_t>(x) * static_cast<size_t>(channels);
            p[0] = p[1] = p[2] = kMissingGrey;
            if (channels == 4)
                p[3] = 0xFF;
        }
    }
}

// The decoded picture, turned upright and scaled down to about the size
// needed, into pass.picture.
void KeepDecoded(Pass& pass, GdkPixbuf* decoded)
{
    GdkPixbuf* upright = gdk_pixbuf_apply_embedded_orientation(decoded);
    if (!upright) {
        pass.reason = "not enough memory to turn it upright";
        return;
    }
    PictureHeader turned = pass.header;
    turned.orientation = EmbeddedOrientation(decoded);
    pass.picture.width = turned.Width();
    pass.picture.height = turned.Height();

    // Uniformly down to the smallest size that covers the one needed, when
    // that keeps less than half of the pixels.
    const int width = gdk_pixbuf_get_width(upright);
    const int height = gdk_pixbuf_get_height(upright);
    const double scale = std::max(static_cast<double>(pass.needWidth) / width, static_cast<double>(pass.needHeight) / height);
    const int coverWidth = std::min(width, std::max(1, static_cast<int>(std::ceil(width * scale))));
    const int coverHeight = std::min(height, std::max(1, static_cast<int>(std::ceil(height * scale))));
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height)
        > 2 * static_cast<uint64_t>(coverWidth) * static_cast<uint64_t>(coverHeight)) {
        GdkPixbuf* smaller = gdk_pixbuf_scale_simple(upright, coverWidth, coverHeight, GDK_INTERP_BILINEAR);
        g_object_unref(upright);
        if (!smaller) {
            pass.reason = "not enough memory to scale it";
            return;
        }
        upright = smaller;
    }
    pass.picture.pixbuf = upright;
    pass.picture.whole = gdk_pixbuf_get_width(upright) == pass.picture.width
                         && gdk_pixbuf_get_height(upright) == pass.picture.height;
    pass.result = PassResult::Done;
}

// The pass itself, on the worker: the file fed to a loader chunk by chunk.
void Feed(Pass& pass)
{
    const int fd = open(pass.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        pass.reason = std::strerror(errno);
        return;
    }
    // The format the header showed: the loader then decodes from the first
    // byte on, instead of holding back the first 4 KB to guess it, and a
    // small file's rows come before its end as a large one's do.
    GdkPixbufLoader* loader = nullptr;
    if (!pass.headerOnly && !pass.header.format.empty())
        loader = gdk_pixbuf_loader_new_with_type(pass.header.format.c_str(), nullptr);
    if (!loader)
        loader = gdk_pixbuf_loader_new();
    g_signal_connect(loader, "size-prepared", G_CALLBACK(OnSizePrepared), &pass);
    g_signal_connect(loader, "area-prepared", G_CALLBACK(OnAreaPrepared), &pass);
    g_signal_connect(loader, "area-updated", G_CALLBACK(OnAreaUpdated), &pass);

    std::vector<guchar> chunk(kChunkBytes);
    GError* writeError = nullptr;
    int readError = 0;
    size_t total = 0;
    while (!pass.enough && !pass.abandoned) {
        const ssize_t got = read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            readError = errno;
            break;
        }
        if (got == 0)
            break;
        total += static_cast<size_t>(got);
        // A failed write closes the loader.
        if (!gdk_pixbuf_loader_write(loader, chunk.data(), static_cast<gsize>(got), &writeError))
            break;
    }
    close(fd);
    const bool preparedEarly = pass.prepared;
    const int rowsEarly = pass.rows;
    GError* closeError = nullptr;
    const bool closed = gdk_pixbuf_loader_close(loader, &closeError);

    GdkPixbuf* decoded = pass.headerOnly ? nullptr : gdk_pixbuf_loader_get_pixbuf(loader);
    if (pass.abandoned) {
        // Nobody reads what it found.
    } else if (readError) {
        pass.reason = std::strerror(readError);
    } else if (pass.tooBig) {
        pass.reason = TooBigReason(pass.header);
    } else if (pass.headerOnly ? pass.sized : decoded != nullptr) {
        if (pass.headerOnly) {
            pass.result = PassResult::Done;
        } else {
            pass.picture.incomplete = writeError || !closed || (preparedEarly && rowsEarly < pass.preparedHeight);
            if (pass.picture.incomplete && preparedEarly && rowsEarly < pass.preparedHeight && pass.header.format != "jpeg")
                FillRows(decoded, rowsEarly);
            KeepDecoded(pass, decoded);
        }
    } else if (total == 0) {
        pass.reason = "the file is empty";
    } else if (writeError || closeError) {
        pass.reason = (writeError ? writeError : closeError)->message;
    } else {
        pass.reason = "not a picture";
    }
    if (writeError)
        g_error_free(writeError);
    if (closeError)
        g_error_free(closeError);
    g_object_unref(loader);
}

// Loaders that stop at the size of nothing without saying why make
// gdk-pixbuf warn of a bug on stderr; the size asked for is ours, and the
// warning, which would break the one line a bad picture gets, is dropped.
void OnPixbufWarning(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer)
{
    if (!g_str_has_prefix(message, "Bug! loader"))
        g_log_default_handler(domain, level, message, nullptr);
}

// Runs the pass on a worker and waits for it, or for `stopFd`.
PassResult Run(const std::shared_ptr<Pass>& pass, int stopFd)
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { g_log_set_handler("GdkPixbuf", G_LOG_LEVEL_WARNING, OnPixbufWarning, nullptr); });
    if (pipe2(pass->done, O_CLOEXEC) != 0) {
        Feed(*pass);
        return pass->result;
    }
    std::thread worker;
    try {
        worker = std::thread([pass] {
            // The program's signals are for the waiting thread.
            sigset_t set;
            sigemptyset(&set);
            for (int sig : {SIGTERM, SIGINT, SIGHUP})
                sigaddset(&set, sig);
            pthread_sigmask(SIG_BLOCK, &set, nullptr);
            Feed(*pass);
            const char byte = 1;
            if (write(pass->done[1], &byte, 1) < 0) {
                // The pipe is new and empty: a byte always fits.
            }
        });
    } catch (const std::system_error&) {
        Feed(*pass);
        return pass->result;
    }
    for (;;) {
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {pass->done[0], POLLIN, 0}};
        const int first = stopFd >= 0 ? 0 : 1;
        if (poll(fds + first, static_cast<nfds_t>(2 - first), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (stopFd >= 0 && (fds[0].revents & (POLLIN | POLLHUP))) {
            // The program is to end: the worker dies with it, or, where
            // the caller lives on, finishes on its own and frees the pass.
            pass->abandoned = true;
            worker.detach();
            return PassResult::Stopped;
        }
        if (fds[1].revents)
            break;
    }
    worker.join();
    return pass->result;
}

} // namespace

PassResult ReadPictureHeader(const std::string& path, int stopFd, PictureHeader& header, std::string& reason)
{
    auto pass = std::make_shared<Pass>();
    pass->path = path;
    const PassResult result = Run(pass, stopFd);
    if (result == PassResult::Done)
        header = pass->header;
    else if (result == PassResult::Failed)
        reason = pass->reason;
    return result;
}

PassResult DecodePicture(const std::string& path, const PictureHeader& header, int width, int height, int stopFd,
                         DecodedPicture& picture, std::string& reason)
{
    auto pass = std::make_shared<Pass>();
    pass->path = path;
    pass->headerOnly = false;
    pass->header = header;
    pass->needWidth = std::max(1, width);
    pass->needHeight = std::max(1, height);
    const PassResult result = Run(pass, stopFd);
    if (result == PassResult::Done) {
        picture = pass->picture;
        pass->picture.pixbuf = nullptr;
    } else if (result == PassResult::Failed) {
        reason = pass->reason;
    }
    return result;
}
