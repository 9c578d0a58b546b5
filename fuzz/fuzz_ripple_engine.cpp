// The ripple engine driven by random calls: drops with any centre, radius,
// height and page, steps (seen, or unseen and left to the next step) and
// propagations with any page and damping, strips and thread counts changed
// on the way, the target drawn into from outside, on fields of any size from
// 0 x 0 up (1 x 1 and 2 x 2 often), into a bottom-up or a top-down target
// with gaps between its rows. The sanitizers catch any access outside the
// fields and images and any undefined arithmetic; the engine on a fast path
// must also agree, field and image, with an engine on the reference path
// given the same calls, whenever it has no step waiting.
#include "ripple/EffectEngine.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "ripple engine: %s\n", what);
        std::abort();
    }
}

int Side(FuzzedDataProvider& in)
{
    // Mostly the smallest sizes, where the interior is empty or one value.
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        return in.ConsumeIntegralInRange<int>(0, 3);
    case 1:
        return in.ConsumeIntegralInRange<int>(0, 12);
    default:
        return in.ConsumeIntegralInRange<int>(0, 40);
    }
}

// Small values near the field, or any 32-bit value.
int Coordinate(FuzzedDataProvider& in, int size)
{
    if (in.ConsumeBool())
        return in.ConsumeIntegralInRange<int>(-3, size + 3);
    return in.ConsumeIntegral<int>();
}

struct Scene {
    CEffectEngine engine;
    std::vector<uint32_t> target;
};

// The fast engine's target: the picture's rows `pitch` pixels apart, in
// either order, each pixel with an alpha byte or-ed in, and a mark in the
// gaps.
struct Layout {
    static constexpr uint32_t kMark = 0xA5A5A5A5u;
    bool topDown = false;
    int pitch = 0;
    uint32_t fill = 0;
    std::vector<uint32_t> memory;

    void Reset(const std::vector<uint32_t>& picture, int w, int h, bool down, int gap)
    {
        topDown = down;
        pitch = w + gap;
        fill = down ? 0xFF000000u : 0;
        memory.assign(static_cast<size_t>(pitch) * static_cast<size_t>(h), kMark);
        for (int r = 0; r < h; ++r) {
            for (int c = 0; c < w; ++c)
                At(r, c, h) = picture[static_cast<size_t>(r) * w + c] | fill;
        }
    }
    uint32_t& At(int r, int c, int h) { return memory[static_cast<size_t>(topDown ? h - 1 - r : r) * pitch + c]; }
    ripple::Target Target(int h)
    {
        if (memory.empty())
            return ripple::Target();
        if (topDown)
            return ripple::Target::TopDown(memory.data(), h, static_cast<ptrdiff_t>(pitch) * 4, fill);
        ripple::Target t = ripple::Target::BottomUp(memory.data(), 1, h);
        t.stride = static_cast<ptrdiff_t>(pitch) * 4;
        return t;
    }
};

void CompareLayout(Layout& l, const std::vector<uint32_t>& reference, int w, int h)
{
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < l.pitch; ++c) {
            const uint32_t expected = c < w ? reference[static_cast<size_t>(r) * w + c] | l.fill : Layout::kMark;
            Check(l.At(r, c, h) == expected, "the target differs from the reference's image");
        }
    }
}

void Compare(Scene& a, Scene& b)
{
    Check(a.engine.GetWidth() == b.engine.GetWidth() && a.engine.GetHeight() == b.engine.GetHeight(),
        "sizes differ");
    Check(a.engine.GetPage() == b.engine.GetPage(), "pages differ");
    const size_t n = static_cast<size_t>(a.engine.GetWidth()) * static_cast<size_t>(a.engine.GetHeight());
    for (int field = 1; field <= 2; ++field) {
        const int32_t* x = a.engine.ReadHeights(field);
        const int32_t* y = b.engine.ReadHeights(field);
        Check((x == nullptr) == (y == nullptr), "one engine has no fields");
        if (x && n)
            Check(std::memcmp(x, y, n * sizeof *x) == 0, "fields differ from the reference");
    }
    Check(a.target == b.target, "images differ from the reference");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const ripple::RipplePath paths[] = { ripple::RipplePath::Scalar, ripple::RipplePath::Sse2,
        ripple::RipplePath::Avx2 };
    const ripple::RipplePath path = in.PickValueInArray(paths);

    Scene fast, reference;
    if (!fast.engine.SetPath(path))
        fast.engine.SetPath(ripple::RipplePath::Scalar);
    Check(reference.engine.SetPath(ripple::RipplePath::Reference), "no reference path");
    fast.engine.SetThreads(in.ConsumeIntegralInRange<int>(1, 3));
    fast.engine.SetStripWidth(in.ConsumeIntegralInRange<int>(0, 20));

    std::vector<uint32_t> source;
    // The laid-out target, and what the reference engine draws in its place.
    Layout layout;
    std::vector<uint32_t> laidOut;
    bool waiting = false;
    auto create = [&](int w, int h) {
        Check(fast.engine.Create(w, h) && reference.engine.Create(w, h), "a small field was refused");
        const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
        source.resize(n);
        for (auto& p : source)
            p = in.ConsumeIntegral<uint32_t>();
        fast.target = source;
        reference.target = source;
        laidOut = source;
        layout.Reset(source, w, h, in.ConsumeBool(), in.ConsumeIntegralInRange<int>(0, 3));
        // Pictures of another size: the engine knows nothing of them yet.
        fast.engine.ForgetTarget();
        waiting = false;
    };
    create(Side(in), Side(in));

    for (int op = 0; op < 64 && in.remaining_bytes() > 0; ++op) {
        const int w = fast.engine.GetWidth();
        const int h = fast.engine.GetHeight();
        const int call = in.ConsumeIntegralInRange<int>(0, 11);
        // A drop on the page the next step writes leaves a waiting step
        // waiting; anything else runs it.
        bool keepsWaiting = false;
        switch (call) {
        case 0:
        case 1: {
            const int x = Coordinate(in, w);
            const int y = Coordinate(in, h);
            const int radius = in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(-2, 60) : in.ConsumeIntegral<int>();
            const int height = in.ConsumeIntegral<int>();
            const int page = in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(0, 1) : in.ConsumeIntegral<int>();
            keepsWaiting = (page == 0) == (fast.engine.GetPage() == 0);
            for (Scene* s : { &fast, &reference }) {
                if (call == 0)
                    s->engine.AddCosineDrop(x, y, radius, height, page);
                else
                    s->engine.AddConeDrop(x, y, radius, height, page);
            }
            break;
        }
        case 2:
        case 3:
            for (Scene* s : { &fast, &reference })
                s->engine.Step(source.data(), s->target.data());
            break;
        case 4:
            // Drawing into the picture being read.
            for (Scene* s : { &fast, &reference })
                s->engine.Step(s->target.data(), s->target.data());
            break;
        case 5: {
            const int page = in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(0, 1) : in.ConsumeIntegral<int>();
            const int damping = in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(0, 31) : in.ConsumeIntegral<int>();
            for (Scene* s : { &fast, &reference })
                s->engine.Propagate(page, damping);
            break;
        }
        case 6:
            create(Side(in), Side(in));
            break;
        case 7:
        case 8:
            // Steps into the laid-out target; the first of them may be left
            // waiting for the second.
            reference.engine.Step(source.data(), laidOut.data());
            if (call == 7) {
                const bool unseen = fast.engine.GetPage() == 0;
                fast.engine.StepUnseen(source.data(), layout.Target(h));
                keepsWaiting = unseen;
                waiting = unseen;
            } else {
                fast.engine.Step(source.data(), layout.Target(h));
            }
            break;
        case 9:
            // Somebody else drawing into the target, and saying so.
            if (!laidOut.empty()) {
                const int r = in.ConsumeIntegralInRange<int>(0, h - 1), c = in.ConsumeIntegralInRange<int>(0, w - 1);
                const uint32_t v = in.ConsumeIntegral<uint32_t>();
                fast.engine.CatchUp();
                laidOut[static_cast<size_t>(r) * w + c] = v;
                layout.At(r, c, h) = v | layout.fill;
                fast.engine.ForgetTarget();
            }
            break;
        case 10:
            fast.engine.SetStripWidth(in.ConsumeIntegralInRange<int>(0, 20));
            break;
        case 11:
            fast.engine.SetThreads(in.ConsumeIntegralInRange<int>(1, 3));
            break;
        }
        if (keepsWaiting && waiting)
            continue;
        waiting = false;
        Compare(fast, reference);
        CompareLayout(layout, laidOut, fast.engine.GetWidth(), fast.engine.GetHeight());
    }
    return 0;
}
