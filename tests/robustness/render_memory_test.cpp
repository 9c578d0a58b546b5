// ripple-render with too little memory: under every address-space limit from
// "not even the input file" to "enough", the command either renders (exit 0)
// or says "not enough memory" and exits with 2, leaving no output file; it
// never dies of an unhandled allocation failure. Each run is a forked child
// with its own limit. Built without the sanitizers only: AddressSanitizer's
// shadow memory needs the address space a limit takes away.
#include "tools/ripple-render/BmpFile.h"
#include "tools/ripple-render/RenderCommand.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// Virtual memory the process holds now, in bytes.
long long VmSizeBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmSize:", 0) == 0)
            return std::stoll(line.substr(7)) * 1024;
    }
    return -1;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Outcome {
    bool exited = false;
    int code = -1;
    int signal = 0;
    std::string stderrText;
};

Outcome RunLimited(long long limitBytes, const char* const* args, int count, const std::string& errPath)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen(errPath.c_str(), "w", stderr);
        rlimit limit{ static_cast<rlim_t>(limitBytes), static_cast<rlim_t>(limitBytes) };
        setrlimit(RLIMIT_AS, &limit);
        const int code = RunRenderCommand(count, args);
        std::fflush(stderr);
        _exit(code);
    }
    Outcome o;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid) {
        o.exited = WIFEXITED(status);
        o.code = o.exited ? WEXITSTATUS(status) : -1;
        o.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    o.stderrText = ReadAll(errPath);
    return o;
}

} // namespace

TEST(RenderMemory, EveryLimitGivesAFrameOrExitCodeTwoAndNoFile)
{
    // 12 MB a copy of the picture; the command holds up to six such buffers.
    const int w = 2000, h = 1500;
    const std::string in = "render_memory_in.bmp", out = "render_memory_out.bmp", err = "render_memory_err.txt";
    BmpImage picture;
    picture.width = w;
    picture.height = h;
    picture.pixels.assign(static_cast<size_t>(w) * h, 0x00336699u);
    std::string error;
    ASSERT_TRUE(WriteBmp32(in, picture, error)) << error;
    picture.pixels.clear();
    picture.pixels.shrink_to_fit();

    const std::string ws = std::to_string(w), hs = std::to_string(h);
    const char* args[] = { "ripple-render", "--width", ws.c_str(), "--height", hs.c_str(), "--setting", "1",
        "--ticks", "3", "--input", in.c_str(), "--output", out.c_str() };
    const int count = static_cast<int>(sizeof args / sizeof *args);
    const long long base = VmSizeBytes();
    ASSERT_GT(base, 0);

    int refused = 0, rendered = 0;
    for (long long extra = 0; extra <= 160ll << 20; extra += 4ll << 20) {
        std::remove(out.c_str());
        const Outcome o = RunLimited(base + extra, args, count, err);
        ASSERT_TRUE(o.exited) << "+" << (extra >> 20) << " MB: killed by signal " << o.signal << ": "
                              << o.stderrText;
        if (o.code == 0) {
            ++rendered;
            BmpImage frame;
            EXPECT_TRUE(ReadBmp32(out, frame, error)) << "+" << (extra >> 20) << " MB: " << error;
        } else {
            ++refused;
            EXPECT_EQ(o.code, 2) << "+" << (extra >> 20) << " MB: " << o.stderrText;
            EXPECT_NE(o.stderrText.find("not enough memory"), std::string::npos)
                << "+" << (extra >> 20) << " MB: " << o.stderrText;
            std::FILE* f = std::fopen(out.c_str(), "rb");
            EXPECT_EQ(f, nullptr) << "+" << (extra >> 20) << " MB left an output file";
            if (f)
                std::fclose(f);
        }
    }
    // The sweep reaches both ends: too little for anything, and enough.
    EXPECT_GT(refused, 0);
    EXPECT_GT(rendered, 0);
    std::remove(in.c_str());
    std::remove(out.c_str());
    std::remove(err.c_str());
}
