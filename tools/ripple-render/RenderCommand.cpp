// The ripple-render command line: arguments, files, exit codes.
#include "base/TextNumber.h"
#include "tools/ripple-render/BmpFile.h"
#include "tools/ripple-render/RenderCommand.h"
#include "tools/ripple-render/RippleRender.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>

namespace {

const char kUsage[] = "usage: ripple-render --width W --height H --setting S --ticks N "
                      "--input in.bmp --output out.bmp [--path reference|scalar|sse2|avx2]\n"
                      "                     [--threads T] [--strip COLUMNS] [--time-from TICK]\n"
                      "  --threads: threads per step, 0 (default) as many as keep the show's pace,\n"
                      "             one unless one cannot\n"
                      "  --strip: width in columns of the strips of a row in which the engine\n"
                      "           keeps track of quiet water, 0 (default) the engine's choice\n"
                      "  --time-from: print wall and processor ms per tick for the ticks after TICK\n";

int Fail(const std::string& message)
{
    std::fprintf(stderr, "ripple-render: %s\n", message.c_str());
    return 2;
}

bool ParsePath(const std::string& name, ripple::RipplePath& path)
{
    for (ripple::RipplePath p : { ripple::RipplePath::Reference, ripple::RipplePath::Scalar,
             ripple::RipplePath::Sse2, ripple::RipplePath::Avx2 }) {
        if (name == ripple::PathName(p)) {
            path = p;
            return true;
        }
    }
    return false;
}

int Render(int argc, const char* const* argv)
{
    RenderOptions options;
    std::string input, output;
    bool seen[4] = {};
    for (int a = 1; a < argc; ++a) {
        const std::string name = argv[a];
        if (name == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a + 1 >= argc) {
            std::fputs(kUsage, stderr);
            return Fail("missing value after " + name);
        }
        const char* value = argv[++a];
        int* number = nullptr;
        int slot = -1;
        if (name == "--width")
            number = &options.width, slot = 0;
        else if (name == "--height")
            number = &options.height, slot = 1;
        else if (name == "--setting")
            number = &options.setting, slot = 2;
        else if (name == "--ticks")
            number = &options.ticks, slot = 3;
        else if (name == "--threads")
            number = &options.threads;
        else if (name == "--strip")
            number = &options.strip;
        else if (name == "--time-from")
            number = &options.timeFrom;
        else if (name == "--input")
            input = value;
        else if (name == "--output")
            output = value;
        else if (name == "--path") {
            if (!ParsePath(value, options.path))
                return Fail(std::string("unknown path ") + value);
        } else {
            std::fputs(kUsage, stderr);
            return Fail("unknown option " + name);
        }
        if (number) {
            if (!ParseInt(value, *number))
                return Fail("not an integer for " + name + ": " + value);
            if (slot >= 0)
                seen[slot] = true;
        }
    }
    if (!seen[0] || !seen[1] || !seen[2] || !seen[3] || input.empty() || output.empty()) {
        std::fputs(kUsage, stderr);
        return Fail("--width, --height, --setting, --ticks, --input and --output are required");
    }
    std::string error;
    if (!CRippleRenderer::ValidateOptions(options, error))
        return Fail(error);

    BmpImage picture;
    if (!ReadBmp32(input, picture, error))
        return Fail(error);
    if (picture.width != options.width || picture.height != options.height) {
        return Fail(input + " is " + std::to_string(picture.width) + " x " + std::to_string(picture.height)
            + ", not " + std::to_string(options.width) + " x " + std::to_string(options.height));
    }

    CRippleRenderer renderer;
    BmpImage frame;
    frame.width = options.width;
    frame.height = options.height;
    RenderTimes times;
    if (!renderer.Render(options, std::move(picture.pixels), frame.pixels, error, &times))
        return Fail(error);
    if (times.ticks > 0) {
        std::printf("%s %dx%d threads %d: %d ticks, %.3f ms wall, %.3f ms processor per tick\n",
            ripple::PathName(options.path), options.width, options.height, options.threads, times.ticks,
            times.wallMs, times.cpuMs);
    }
    if (!WriteBmp32(output, frame, error)) {
        std::fprintf(stderr, "ripple-render: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int RunRenderCommand(int argc, const char* const* argv)
{
    // The file buffers, the picture, the frame and its encoding are each as
    // large as the picture; any of them may be refused. Nothing is written
    // before the encoding exists, so a refusal leaves no output file.
    try {
        return Render(argc, argv);
    } catch (const std::bad_alloc&) {
        return Fail("not enough memory");
    }
}
