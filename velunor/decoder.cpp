// velunor-decode: the picture decoder, a program of its own that velunor
// starts for every picture, so that whatever a picture file does to it (a
// bomb, a hang, a crash) stays out of the show:
//   velunor-decode WIDTHxHEIGHT MEMORY_BYTES
// with the picture on its standard input, its report on its standard output
// and the frame on descriptor 3 (base/DecoderReport.h). Its parent sets its
// limits of memory and time and ends it when they pass; it enters its
// sandbox before it reads a byte of the picture.
#include "base/DecoderReport.h"
#include "base/TextNumber.h"
#include "decoder/Decode.h"
#include "decoder/Sandbox.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
// The leak check at the end stops the process to trace it, which the
// sandbox does not allow.
extern "C" const char* __lsan_default_options()
{
    return "detect_leaks=0";
}
#endif

namespace {

// What the decoder itself takes beside the pixels: its libraries and the
// loaders gdk-pixbuf may still load.
constexpr uint64_t kOwnBytes = 48ull << 20;

void Say(const std::string& line)
{
    for (size_t done = 0; done < line.size();) {
        const ssize_t n = write(decoder_report::kReportFd, line.data() + done, line.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

void OnFirstData(void*)
{
    Say(decoder_report::DataLine());
}

// The address space taken so far, from /proc (read before the sandbox).
// AddressSanitizer's reserve is no memory: its build has no such limit.
uint64_t TakenBytes()
{
#if defined(__SANITIZE_ADDRESS__)
    return 0;
#else
    std::ifstream status("/proc/self/statm");
    uint64_t pages = 0;
    status >> pages;
    return pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
#endif
}

bool ParseSize(const char* text, int& width, int& height)
{
    const char* x = std::strchr(text, 'x');
    if (!x)
        return false;
    const std::string w(text, x);
    return ParseInt(w.c_str(), width) && ParseInt(x + 1, height) && width > 0 && height > 0 && width <= 65535
           && height <= 65535;
}

} // namespace

int main(int argc, char** argv)
{
    int width = 0, height = 0;
    unsigned long long memory = 0;
    if (argc != 3 || !ParseSize(argv[1], width, height) || !ParseWhole(argv[2], 10, ~0ull >> 1, memory)) {
        std::fprintf(stderr, "usage: velunor-decode WIDTHxHEIGHT MEMORY_BYTES <PICTURE 3<>FRAME\n");
        return 2;
    }
    const size_t frameBytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    struct stat frameInfo = {};
    if (fstat(decoder_report::kFrameFd, &frameInfo) != 0 || static_cast<uint64_t>(frameInfo.st_size) != frameBytes) {
        Say(decoder_report::RefusedLine("its decoder was given no frame of " + std::to_string(width) + "x"
                                        + std::to_string(height)));
        return 0;
    }
    void* frame = mmap(nullptr, frameBytes, PROT_READ | PROT_WRITE, MAP_SHARED, decoder_report::kFrameFd, 0);
    if (frame == MAP_FAILED) {
        Say(decoder_report::RefusedLine(std::string("its frame cannot be mapped: ") + std::strerror(errno)));
        return 0;
    }
    const uint64_t taken = TakenBytes() + kOwnBytes;
    const uint64_t budget = memory > taken ? memory - taken : 0;
    EnterSandbox();

    std::string reason;
    bool shown = false;
    int shownWidth = 0, shownHeight = 0;
    bool incomplete = false;
    try {
        CInput input(decoder_report::kPictureFd, OnFirstData, nullptr);
        CPictureSink sink(static_cast<uint32_t*>(frame), width, height, budget);
        if (DecodePicture(input, sink, budget, reason)) {
            if (!sink.Any())
                reason = "its data ends before its first row";
            else
                shown = sink.Finish(reason);
        }
        shownWidth = sink.Width();
        shownHeight = sink.Height();
        incomplete = sink.Incomplete();
    } catch (const std::bad_alloc&) {
        shown = false; // a frame half written is not shown
        reason = "it needs more memory than the " + Megabytes(memory) + " its decoder may take";
    }
    Say(shown ? decoder_report::PictureLine(shownWidth, shownHeight, incomplete) : decoder_report::RefusedLine(reason));
    return 0;
}
