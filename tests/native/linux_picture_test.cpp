// The Linux program's picture, decoded by the picture decoder in a process
// of its own: pixels upright at every size asked in every format it decodes
// itself and one of gdk-pixbuf's, data that ends early, hostile files made
// here (headers that claim huge sizes, SVG bombs, a huge progressive JPEG),
// FIFOs read once, the sandbox the decoder runs in, and a stop at any
// moment; each waited for on an event loop, as the front ends do. The
// pictures are four coloured quarters, so that a picture shown turned or
// flipped is seen at once.
#include "linux/Picture.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00;
constexpr uint32_t kGrey = 0x808080;

class PictureFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/velunor-picture-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        // The decoders' private folders go here, to be seen gone.
        ASSERT_EQ(mkdir(Temporary().c_str(), 0700), 0);
        setenv("TMPDIR", Temporary().c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("TMPDIR");
        EXPECT_EQ(Entries(Temporary()), 0) << "a decoder's folder was left";
        ASSERT_EQ(std::system(("rm -rf " + m_dir).c_str()), 0);
    }
    std::string Path(const std::string& name) const { return m_dir + "/" + name; }
    std::string Temporary() const { return m_dir + "/tmp"; }
    static int Entries(const std::string& folder)
    {
        int count = 0;
        if (DIR* dir = opendir(folder.c_str())) {
            while (dirent* entry = readdir(dir))
                count += entry->d_name[0] != '.';
            closedir(dir);
        }
        return count;
    }

    std::string m_dir;
};

GdkPixbuf* Quarters(int width, int height)
{
    GdkPixbuf* shown = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
    for (int quarter = 0; quarter < 4; ++quarter) {
        const uint32_t colour = quarter == 0 ? kRed : quarter == 1 ? kGreen : quarter == 2 ? kBlue : kYellow;
        GdkPixbuf* part = gdk_pixbuf_new_subpixbuf(shown, quarter % 2 ? width / 2 : 0, quarter / 2 ? height / 2 : 0,
                                                   width / 2, height / 2);
        gdk_pixbuf_fill(part, colour << 8 | 0xFF);
        g_object_unref(part);
    }
    return shown;
}

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Write(const std::string& path, const std::string& data)
{
    std::ofstream(path, std::ios::binary) << data;
}

// An interlaced PNG, which gdk-pixbuf does not write.
bool SaveInterlacedPng(GdkPixbuf* pixbuf, const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_bytep> rows;
    for (int y = 0; y < gdk_pixbuf_get_height(pixbuf); ++y)
        rows.push_back(gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf));
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

// A GIF of the four colours, which gdk-pixbuf does not write.
bool SaveGif(GdkPixbuf* pixbuf, const std::string& path, bool interlaced)
{
    const int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
    const GifColorType colours[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    bool done = gif && EGifPutScreenDesc(gif, width, height, 2, 0, map) == GIF_OK
                && EGifPutImageDesc(gif, 0, 0, width, height, interlaced, nullptr) == GIF_OK;
    std::vector<GifPixelType> line(static_cast<size_t>(width));
    for (int pass = 0; pass < (interlaced ? 4 : 1) && done; ++pass) {
        static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
        for (int y = interlaced ? kStart[pass] : 0; y < height && done; y += interlaced ? kStep[pass] : 1) {
            for (int x = 0; x < width; ++x)
                line[static_cast<size_t>(x)] = static_cast<GifPixelType>((y >= height / 2) * 2 + (x >= width / 2));
            done = EGifPutLine(gif, line.data(), width) == GIF_OK;
        }
    }
    done = EGifCloseFile(gif, &error) == GIF_OK && done;
    GifFreeMapObject(map);
    return done;
}

// The quarters in the format of `path`'s extension; ".turned.jpg": stored
// turned a quarter left with an EXIF orientation of 6, which turns it back.
std::string MakeQuarters(const std::string& path, int width, int height)
{
    GdkPixbuf* shown = Quarters(width, height);
    const std::string type = path.substr(path.rfind('.') + 1);
    const bool turned = path.find(".turned.") != std::string::npos;
    GdkPixbuf* stored = turned ? gdk_pixbuf_rotate_simple(shown, GDK_PIXBUF_ROTATE_COUNTERCLOCKWISE) : shown;
    const bool interlaced = path.find(".interlaced.") != std::string::npos;
    bool saved = false;
    if (type == "gif")
        saved = SaveGif(stored, path, interlaced);
    else if (interlaced)
        saved = SaveInterlacedPng(stored, path);
    else if (type == "jpg")
        saved = gdk_pixbuf_save(stored, path.c_str(), "jpeg", nullptr, "quality", "95", nullptr);
    else
        saved = gdk_pixbuf_save(stored, path.c_str(), type == "tif" ? "tiff" : type.c_str(), nullptr, nullptr);
    EXPECT_TRUE(saved) << path;
    if (stored != shown)
        g_object_unref(stored);
    g_object_unref(shown);
    if (turned) {
        // An APP1 segment right after the start of image: Exif, a
        // little-endian TIFF header and one entry, orientation 6.
        const std::string data = Read(path);
        const unsigned char tiff[] = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};
        std::string body = std::string("Exif\0\0", 6) + std::string(reinterpret_cast<const char*>(tiff), sizeof tiff);
        const size_t length = body.size() + 2;
        Write(path, data.substr(0, 2) + "\xFF\xE1" + char(length >> 8) + char(length & 0xFF) + body + data.substr(2));
    }
    return path;
}

// The pixel at (x, y) from the top of a frame in the engine's layout.
uint32_t At(const std::vector<uint32_t>& frame, int width, int height, int x, int y)
{
    return frame[static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
}

bool Near(uint32_t a, uint32_t b, int tolerance)
{
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > tolerance)
            return false;
    }
    return true;
}

// The four quarters' middles of a frame, as shown.
void ExpectQuarters(const std::vector<uint32_t>& frame, int width, int height, int tolerance, const std::string& what)
{
    const uint32_t expected[4] = {kRed, kGreen, kBlue, kYellow};
    for (int quarter = 0; quarter < 4; ++quarter) {
        const int x = (quarter % 2 ? 3 : 1) * width / 4, y = (quarter / 2 ? 3 : 1) * height / 4;
        const uint32_t got = At(frame, width, height, x, y);
        EXPECT_TRUE(Near(got, expected[quarter], tolerance))
            << what << " at " << width << "x" << height << ": quarter " << quarter << " is " << std::hex << got;
    }
}

// PNG's checksum of a chunk's type and data.
uint32_t Crc32(const std::string& bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// The loop the pictures' decoders are waited for in, without a stop.
CEventLoop g_loop(-1);

// Runs `loop` as a front end does until `picture` is ready at width x
// height or the loop stops. A wait that nothing ends fails the case instead
// of holding it.
void WaitFor(CPicture& picture, int width, int height, CEventLoop& loop = g_loop)
{
    for (int rounds = 0; loop.Running(); ++rounds) {
        picture.Ask(width, height);
        if (picture.Ready(width, height))
            return;
        ASSERT_LT(rounds, 300) << "the picture never came";
        picture.Update(MonotonicMs());
        loop.WakeBy(MonotonicMs() + 100);
        loop.Wait(MonotonicMs());
    }
}

// What `picture` says on stderr while it is waited for and stretched over
// width x height.
std::string Said(CPicture& picture, int width, int height, std::vector<uint32_t>& frame)
{
    testing::internal::CaptureStderr();
    WaitFor(picture, width, height);
    picture.Stretch(width, height, frame);
    return testing::internal::GetCapturedStderr();
}

// The shipped picture (beside the test program) over width x height.
std::vector<uint32_t> Shipped(int width, int height)
{
    CPicture picture(g_loop, VELUNOR_DECODE);
    std::vector<uint32_t> frame;
    LoadPictureOrShipped(picture, std::string());
    EXPECT_EQ(Said(picture, width, height, frame), "");
    return frame;
}

} // namespace

TEST_F(PictureFiles, PixelsComeUprightAtEverySizeAskedInEveryFormat)
{
    for (const char* name : {"quarters.turned.jpg", "quarters.png", "quarters.interlaced.png", "quarters.interlaced.gif",
                             "quarters.tif", "quarters.bmp"}) {
        CPicture picture(g_loop, VELUNOR_DECODE);
        std::string reason;
        ASSERT_TRUE(picture.Load(MakeQuarters(Path(name), 800, 600), reason)) << reason;
        // A small output, a larger one that needs a new decode, and a
        // small one again from what was kept; at the picture's own size it
        // is taken to the pixel (but for JPEG's losses).
        const int tolerance = std::string(name).find(".jpg") != std::string::npos ? 24 : 0;
        const int sizes[][2] = {{80, 60}, {800, 600}, {45, 100}};
        for (const auto& size : sizes) {
            std::vector<uint32_t> frame;
            EXPECT_EQ(Said(picture, size[0], size[1], frame), "") << name;
            ASSERT_EQ(frame.size(), static_cast<size_t>(size[0] * size[1]));
            ExpectQuarters(frame, size[0], size[1], tolerance, name);
        }
        EXPECT_EQ(picture.Width(), 800) << name;
        EXPECT_EQ(picture.Height(), 600) << name;
    }
}

TEST_F(PictureFiles, DataThatEndsEarlyKeepsWhatWasDecodedAndSaysSo)
{
    for (const char* name : {"cut.jpg", "cut.png", "cut.gif"}) {
        const std::string whole = Read(MakeQuarters(Path(std::string("whole.") + name), 800, 600));
        Write(Path(name), whole.substr(0, whole.size() * 3 / 10));
        CPicture picture(g_loop, VELUNOR_DECODE);
        std::string reason;
        ASSERT_TRUE(picture.Load(Path(name), reason)) << reason;
        std::vector<uint32_t> frame;
        // One line, however often it is stretched.
        EXPECT_EQ(Said(picture, 80, 60, frame) + Said(picture, 800, 600, frame),
                  "velunor: picture " + Path(name) + " is incomplete: its data ends early; showing the part decoded\n");
        EXPECT_TRUE(Near(At(frame, 800, 600, 100, 10), kRed, 24)) << name;
        EXPECT_TRUE(Near(At(frame, 800, 600, 700, 10), kGreen, 24)) << name;
        EXPECT_TRUE(Near(At(frame, 800, 600, 400, 590), kGrey, 2)) << name;
    }
}

TEST_F(PictureFiles, HostileFilesGiveOneLineAndTheShippedPictureWithinTheDeadline)
{
    const std::vector<uint32_t> shipped = Shipped(64, 48);
    // Headers of a few bytes that claim 16384x16384 pixels, or more.
    auto le16 = [](int v) { return std::string{char(v & 0xFF), char(v >> 8)}; };
    auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    Write(Path("claim.gif"), "GIF89a" + le16(16384) + le16(16384) + std::string("\x80\0\0\0\0\0\xFF\xFF\xFF,", 10)
                                 + le16(0) + le16(0) + le16(16384) + le16(16384) + std::string("\0\x08", 2));
    Write(Path("claim.bmp"), "BM" + std::string(12, '\0') + std::string("\x28\0\0\0", 4) + le16(16384) + le16(0)
                                 + le16(16384) + le16(0) + std::string("\1\0\x18\0", 4) + std::string(40, '\0'));
    Write(Path("claim.pnm"), "P6\n16384 16384\n255\n" + std::string(16, '\0'));
    Write(Path("claim.tga"), std::string("\0\0\2", 3) + std::string(9, '\0') + le16(16384) + le16(16384)
                                 + std::string("\x18\0", 2) + std::string(16, '\0'));
    const std::string header = "IHDR" + be32(16384) + be32(16384) + std::string("\x08\x02\0\0\0", 5);
    Write(Path("claim.png"), std::string("\x89PNG\r\n\x1A\n\0\0\0\x0D", 12) + header + be32(Crc32(header)));
    std::string jpeg = Read(MakeQuarters(Path("quarters.jpg"), 64, 48));
    jpeg.replace(jpeg.find("\xFF\xC0") + 5, 4, "\xFF\xDC\xFF\xDC");
    Write(Path("claim.jpg"), jpeg);
    // A complete progressive JPEG whose coefficients alone take 1.5 GB.
    ASSERT_EQ(std::system((std::string(VELUNOR_TEST_PICTURE) + " --flat-progressive 16384x16384 " + Path("huge.jpg")).c_str()), 0);
    // SVG: a huge blurred rectangle; a blurred one used 10^4 times, nested
    // four deep, which takes minutes to draw.
    Write(Path("blur.svg"), "<svg xmlns='http://www.w3.org/2000/svg' width='16384' height='16384'><filter id='f'>"
                            "<feGaussianBlur stdDeviation='300'/></filter><rect width='16384' height='16384' "
                            "filter='url(#f)'/></svg>");
    std::ostringstream uses;
    uses << "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' width='1000' "
            "height='1000'><defs><filter id='f'><feGaussianBlur stdDeviation='40'/></filter>"
            "<rect id='l0' width='1000' height='1000' filter='url(#f)'/>";
    for (int level = 1; level <= 4; ++level) {
        uses << "<g id='l" << level << "'>";
        for (int i = 0; i < 10; ++i)
            uses << "<use xlink:href='#l" << level - 1 << "'/>";
        uses << "</g>";
    }
    uses << "</defs><use xlink:href='#l4'/></svg>";
    Write(Path("blurs.svg"), uses.str());
    Write(Path("text.jpg"), "not a picture\n");
    Write(Path("empty.png"), "");

    const std::pair<const char*, const char*> cases[] = {
        {"claim.gif", "its data ends before its first row"},
        {"claim.bmp", "its header claims 16384x16384 pixels, which need 1024 MB to decode"},
        {"claim.pnm", "its header claims 16384x16384 pixels, which need 1024 MB to decode"},
        {"claim.tga", "its header claims 16384x16384 pixels, which need 1024 MB to decode"},
        {"claim.png", "its data ends before its first row"},
        {"claim.jpg", "its header claims 65500x65500 pixels, more than the 268435456 (16384x16384) shown"},
        {"huge.jpg", "it is a progressive JPEG of 16384x16384, whose coefficients need 1536 MB"},
        {"blurs.svg", " 2 s"},
        {"text.jpg", "Unrecognized image file format"},
        {"empty.png", "the file is empty"},
    };
    for (const auto& [name, why] : cases) {
        CPicture picture(g_loop, VELUNOR_DECODE);
        std::string reason;
        ASSERT_TRUE(picture.Load(Path(name), reason)) << reason;
        std::vector<uint32_t> frame;
        const auto started = std::chrono::steady_clock::now();
        const std::string said = Said(picture, 64, 48, frame);
        // A generous bound on the deadline of 2 s, for a loaded machine.
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 10) << name;
        EXPECT_EQ(said.rfind("velunor: cannot load picture " + Path(name) + ": ", 0), 0u) << said;
        EXPECT_NE(said.find(why), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_EQ(frame, shipped) << name;
    }
    // The blurred rectangle is drawn at the size shown, at once.
    CPicture blur(g_loop, VELUNOR_DECODE);
    std::string reason;
    ASSERT_TRUE(blur.Load(Path("blur.svg"), reason));
    std::vector<uint32_t> frame;
    EXPECT_EQ(Said(blur, 64, 48, frame), "");

    // What cannot be opened, or is a folder.
    mkdir(Path("folder.png").c_str(), 0755);
    EXPECT_FALSE(blur.Load(Path("none.png"), reason));
    EXPECT_EQ(reason, "No such file or directory");
    EXPECT_FALSE(blur.Load(Path("folder.png"), reason));
    EXPECT_EQ(reason, "Is a directory");
}

TEST_F(PictureFiles, FifosAreReadOnceAndNeverWaitedForForEver)
{
    const std::string png = Read(MakeQuarters(Path("quarters.png"), 320, 240));
    const std::string fifo = Path("fifo.png");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Fed once, by a writer that comes after the picture is opened: shown,
    // and a later size stretched from it without reading it again.
    CPicture picture(g_loop, VELUNOR_DECODE);
    std::string reason;
    ASSERT_TRUE(picture.Load(fifo, reason)) << reason;
    std::thread writer([&] {
        const int fd = open(fifo.c_str(), O_WRONLY);
        EXPECT_EQ(write(fd, png.data(), png.size()), static_cast<ssize_t>(png.size()));
        close(fd);
    });
    std::vector<uint32_t> frame;
    EXPECT_EQ(Said(picture, 320, 240, frame), "");
    writer.join();
    ExpectQuarters(frame, 320, 240, 0, "the FIFO");
    EXPECT_EQ(Said(picture, 640, 480, frame), "");
    ExpectQuarters(frame, 640, 480, 0, "the FIFO stretched");

    // Without a writer: one line once its deadline passed, the shipped
    // picture.
    const std::string empty = Path("empty.png");
    ASSERT_EQ(mkfifo(empty.c_str(), 0600), 0);
    CPicture lonely(g_loop, VELUNOR_DECODE);
    ASSERT_TRUE(lonely.Load(empty, reason)) << reason;
    EXPECT_EQ(Said(lonely, 64, 48, frame), "velunor: cannot load picture " + empty + ": nothing came from it within 2 s\n");
    EXPECT_EQ(frame, Shipped(64, 48));
}

TEST_F(PictureFiles, TheDecoderRunsSandboxedAndEndsWithThePictureAtAnyMoment)
{
    // A FIFO nobody writes to: the decoder waits for it, and is looked at
    // until a stop ends the loop.
    const std::string fifo = Path("fifo.jpg");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int stop[2];
    ASSERT_EQ(pipe(stop), 0);
    CEventLoop loop(stop[0]);
    std::string status, limits, folder, decoder;
    std::vector<uint32_t> frame;
    {
        CPicture picture(loop, VELUNOR_DECODE);
        std::string reason;
        ASSERT_TRUE(picture.Load(fifo, reason));
        std::thread look([&] {
            const std::string children = "/proc/self/task/" + std::to_string(getpid()) + "/children";
            for (int i = 0; i < 400 && decoder.empty(); ++i) {
                std::ifstream(children) >> decoder;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            // Once it has entered its sandbox.
            for (int i = 0; i < 400 && status.find("Seccomp:\t2") == std::string::npos; ++i) {
                status = Read("/proc/" + decoder + "/status");
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            limits = Read("/proc/" + decoder + "/limits");
            char cwd[4096] = {};
            folder = readlink(("/proc/" + decoder + "/cwd").c_str(), cwd, sizeof cwd - 1) > 0 ? cwd : "";
            EXPECT_EQ(write(stop[1], "x", 1), 1);
        });
        WaitFor(picture, 64, 48, loop);
        look.join();
        // Stopped before the picture came: nothing to show but the dark
        // colour.
        EXPECT_FALSE(loop.Running());
        EXPECT_FALSE(picture.Stretch(64, 48, frame));
        EXPECT_EQ(frame, std::vector<uint32_t>(64 * 48, CPicture::kDarkColor));
    }
    ASSERT_FALSE(decoder.empty()) << "no decoder was seen";
    EXPECT_NE(status.find("NoNewPrivs:\t1"), std::string::npos) << status;
    EXPECT_NE(status.find("Seccomp:\t2"), std::string::npos) << status;
    const DecoderLimits expected = DecoderLimitsFor(64, 48);
    for (const std::string& line :
         {"Max cpu time              " + std::to_string(expected.cpuSeconds), std::string("Max core file size        0"),
          "Max file size             " + std::to_string(expected.memoryBytes),
#if !defined(__SANITIZE_ADDRESS__)
          "Max address space         " + std::to_string(expected.memoryBytes),
#endif
         }) {
        EXPECT_NE(limits.find(line), std::string::npos) << line << " in\n" << limits;
    }
    EXPECT_EQ(folder.rfind(Temporary() + "/velunor-decode.", 0), 0u) << folder;
    // The picture gone: its decoder killed and reaped (no /proc entry); its
    // folder is looked for at the end.
    EXPECT_NE(access(("/proc/" + decoder).c_str(), F_OK), 0);
    for (int fd : stop)
        close(fd);
}
