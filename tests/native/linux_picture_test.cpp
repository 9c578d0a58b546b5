// The Linux program's picture: headers checked before any decode, pixels
// decoded upright at every size asked, data that ends early, a decode that
// cannot get its memory, and waits that a signal ends. The pictures are made
// here with gdk-pixbuf: four coloured quarters, so that a picture shown
// turned or flipped is seen at once.
#include "linux/Picture.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
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
    }
    void TearDown() override { ASSERT_EQ(std::system(("rm -rf " + m_dir).c_str()), 0); }
    std::string Path(const std::string& name) const { return m_dir + "/" + name; }

    std::string m_dir;
};

// Red, green, blue and yellow quarters (top left, top right, bottom left,
// bottom right as shown). With `turned`, the pixels are stored turned a
// quarter left with an EXIF orientation of 6, which turns them back.
std::string MakeQuarters(const std::string& path, int width, int height, bool turned = false)
{
    GdkPixbuf* shown = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
    for (int quarter = 0; quarter < 4; ++quarter) {
        const uint32_t colour = (quarter == 0 ? kRed : quarter == 1 ? kGreen : quarter == 2 ? kBlue : kYellow) << 8;
        GdkPixbuf* part = gdk_pixbuf_new_subpixbuf(shown, quarter % 2 ? width / 2 : 0, quarter / 2 ? height / 2 : 0,
                                                   width / 2, height / 2);
        gdk_pixbuf_fill(part, colour | 0xFF);
        g_object_unref(part);
    }
    GdkPixbuf* stored = turned ? gdk_pixbuf_rotate_simple(shown, GDK_PIXBUF_ROTATE_COUNTERCLOCKWISE) : shown;
    const bool png = path.substr(path.size() - 4) == ".png";
    EXPECT_TRUE(png ? gdk_pixbuf_save(stored, path.c_str(), "png", nullptr, nullptr)
                    : gdk_pixbuf_save(stored, path.c_str(), "jpeg", nullptr, "quality", "95", nullptr));
    if (stored != shown)
        g_object_unref(stored);
    g_object_unref(shown);
    if (turned) {
        // An APP1 segment right after the start of image: Exif, a
        // little-endian TIFF header and one entry, orientation 6.
        std::ifstream in(path, std::ios::binary);
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const unsigned char tiff[] = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};
        std::string body = std::string("Exif\0\0", 6) + std::string(reinterpret_cast<const char*>(tiff), sizeof tiff);
        const size_t length = body.size() + 2;
        const std::string segment = std::string("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xFF) + body;
        std::ofstream(path, std::ios::binary) << data.substr(0, 2) << segment << data.substr(2);
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
void ExpectQuarters(const std::vector<uint32_t>& frame, int width, int height, int tolerance, const char* what)
{
    const uint32_t expected[4] = {kRed, kGreen, kBlue, kYellow};
    for (int quarter = 0; quarter < 4; ++quarter) {
        const int x = (quarter % 2 ? 3 : 1) * width / 4, y = (quarter / 2 ? 3 : 1) * height / 4;
        const uint32_t got = At(frame, width, height, x, y);
        EXPECT_TRUE(Near(got, expected[quarter], tolerance))
            << what << ": quarter " << quarter << " is " << std::hex << got << ", not " << expected[quarter];
    }
}

void Truncate(const std::string& from, const std::string& to, double part)
{
    std::ifstream in(from, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(to, std::ios::binary) << data.substr(0, static_cast<size_t>(data.size() * part));
}

} // namespace

TEST_F(PictureFiles, HeadersAreCheckedBeforeAnyPixelIsDecoded)
{
    // A small JPEG whose frame header claims 65500x65500: refused from the
    // header, with the size in the reason; nothing to show.
    const std::string claim = MakeQuarters(Path("claim.jpg"), 64, 48);
    {
        std::fstream file(claim, std::ios::in | std::ios::out | std::ios::binary);
        std::string data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const size_t frame = data.find("\xFF\xC0");
        ASSERT_NE(frame, std::string::npos);
        file.seekp(static_cast<std::streamoff>(frame + 5));
        file.write("\xFF\xDC\xFF\xDC", 4);
    }
    CPicture picture(-1);
    std::string reason;
    EXPECT_FALSE(picture.Load(claim, reason));
    EXPECT_NE(reason.find("65500x65500"), std::string::npos) << reason;
    EXPECT_TRUE(picture.Empty());
    std::vector<uint32_t> frame;
    EXPECT_TRUE(picture.Stretch(8, 6, frame));
    EXPECT_EQ(frame, std::vector<uint32_t>(48, CPicture::kDarkColor));

    // What is not a picture gives the reason.
    std::ofstream(Path("text.jpg")) << "not a picture\n";
    std::ofstream(Path("empty.png"));
    mkdir(Path("folder.png").c_str(), 0755);
    const std::pair<std::string, std::string> bad[] = {
        {Path("text.jpg"), "Unrecognized image file format"},
        {Path("empty.png"), "the file is empty"},
        {Path("none.png"), "No such file or directory"},
        {Path("folder.png"), "Is a directory"},
    };
    for (const auto& [path, why] : bad) {
        EXPECT_FALSE(picture.Load(path, reason)) << path;
        EXPECT_NE(reason.find(why), std::string::npos) << path << ": " << reason;
    }

    // A good one: its size as shown, turned by its orientation.
    ASSERT_TRUE(picture.Load(MakeQuarters(Path("turned.jpg"), 64, 48, true), reason)) << reason;
    EXPECT_EQ(picture.Width(), 64);
    EXPECT_EQ(picture.Height(), 48);
    EXPECT_FALSE(picture.Empty());
}

TEST_F(PictureFiles, PixelsComeUprightAtEverySizeAskedSmallerAndLarger)
{
    for (const char* name : {"turned.jpg", "plain.png"}) {
        const bool jpeg = std::string(name) == "turned.jpg";
        CPicture picture(-1);
        std::string reason;
        ASSERT_TRUE(picture.Load(MakeQuarters(Path(name), 1600, 1200, jpeg), reason)) << reason;
        std::vector<uint32_t> frame;
        // A small output, a larger one that needs a new decode, and a
        // small one again from what was kept; a PNG of that very size is
        // taken to the pixel.
        const int sizes[][2] = {{160, 120}, {1600, 1200}, {90, 200}};
        for (const auto& size : sizes) {
            ASSERT_TRUE(picture.Stretch(size[0], size[1], frame));
            ASSERT_EQ(frame.size(), static_cast<size_t>(size[0] * size[1]));
            ExpectQuarters(frame, size[0], size[1], jpeg ? 24 : 0, name);
        }
        EXPECT_EQ(picture.Width(), 1600);
        EXPECT_EQ(picture.Height(), 1200);
    }
}

TEST_F(PictureFiles, DataThatEndsEarlyKeepsWhatWasDecodedAndSaysSo)
{
    for (const char* name : {"cut.jpg", "cut.png"}) {
        const std::string whole = MakeQuarters(Path(std::string("whole-") + name), 800, 600);
        Truncate(whole, Path(name), 0.3);
        CPicture picture(-1);
        std::string reason;
        ASSERT_TRUE(picture.Load(Path(name), reason)) << reason;
        std::vector<uint32_t> frame;
        testing::internal::CaptureStderr();
        ASSERT_TRUE(picture.Stretch(80, 60, frame));
        ASSERT_TRUE(picture.Stretch(800, 600, frame));
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said, "velunor: picture " + Path(name)
                            + " is incomplete: its data ends early; showing the part decoded\n");
        EXPECT_TRUE(Near(At(frame, 800, 600, 100, 10), kRed, 24)) << name;
        EXPECT_TRUE(Near(At(frame, 800, 600, 700, 10), kGreen, 24)) << name;
        EXPECT_TRUE(Near(At(frame, 800, 600, 400, 590), kGrey, 2)) << name;
    }
}

// Loads `path`, then decodes it with room for everything but its whole
// pixels: the exit code says whether a frame came all the same.
int StretchWithoutTheMemory(const std::string& path)
{
    CPicture picture(-1);
    std::string reason;
    if (!picture.Load(path, reason))
        return 2;
    std::ifstream status("/proc/self/status");
    std::string key;
    long kb = 0;
    while (status >> key && key != "VmSize:")
        status.ignore(256, '\n');
    status >> kb;
    const rlim_t limit = static_cast<rlim_t>(kb + 48 * 1024) * 1024;
    const rlimit address = {limit, limit};
    if (setrlimit(RLIMIT_AS, &address) != 0)
        return 3;
    std::vector<uint32_t> frame;
    return picture.Stretch(60, 45, frame) && frame.size() == 2700 ? 0 : 4;
}

TEST_F(PictureFiles, ADecodeThatCannotGetItsMemoryGivesOneLineAndTheShippedPicture)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Under AddressSanitizer too, an allocation that fails returns null, as
    // it does without it.
    setenv("ASAN_OPTIONS", "allocator_may_return_null=1", 1);
    // 81 MB of pixels, in a PNG, which is decoded whole.
    const std::string big = MakeQuarters(Path("big.png"), 6000, 4500);
    // The child that runs the statement made a folder of its own: it goes too.
    EXPECT_EXIT(
        {
            const int code = StretchWithoutTheMemory(big);
            std::exit(code + std::system(("rm -rf " + m_dir).c_str()));
        },
        testing::ExitedWithCode(0), "velunor: cannot load picture .*big.png: .*memory");
}

TEST_F(PictureFiles, AReadableStopDescriptorEndsEveryWait)
{
    // A FIFO nobody writes to: opening it waits for ever, unless the stop
    // descriptor ends the wait (were it not watched, the test would outlast
    // its time limit).
    int stop[2];
    ASSERT_EQ(pipe(stop), 0);
    ASSERT_EQ(write(stop[1], "x", 1), 1);
    const std::string fifo = Path("fifo.jpg");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CPicture picture(stop[0]);
    std::string reason = "before";
    EXPECT_FALSE(picture.Load(fifo, reason));
    EXPECT_TRUE(picture.Stopped());
    EXPECT_EQ(reason, "");
    // Stopped, it waits for nothing more.
    std::vector<uint32_t> frame;
    EXPECT_FALSE(picture.Stretch(4, 3, frame));
    EXPECT_EQ(frame, std::vector<uint32_t>(12, CPicture::kDarkColor));
    EXPECT_FALSE(picture.Load(MakeQuarters(Path("good.png"), 8, 6), reason));

    // A decode as well: the header read, then the signal before the pixels.
    int later[2];
    ASSERT_EQ(pipe(later), 0);
    CPicture decoded(later[0]);
    ASSERT_TRUE(decoded.Load(Path("good.png"), reason)) << reason;
    ASSERT_EQ(write(later[1], "x", 1), 1);
    EXPECT_FALSE(decoded.Stretch(4, 3, frame));
    EXPECT_TRUE(decoded.Stopped());
    for (int fd : later)
        close(fd);
    for (int fd : stop)
        close(fd);
    // The abandoned reader of the FIFO gets its end of file.
    const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0)
        close(writer);
}
