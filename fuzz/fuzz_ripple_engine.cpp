// The ripple engine driven by random calls: drops with any centre, radius,
// height and page, steps and propagations with any page and damping, on
// fields of any size from 0 x 0 up (1 x 1 and 2 x 2 often). The sanitizers
// catch any access outside the fields and images and any undefined
// arithmetic; the engine on its best path must also agree, field and image,
// with an engine on the reference path given the same calls.
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

void Compare(const Scene& a, const Scene& b)
{
    Check(a.engine.GetWidth() == b.engine.GetWidth() && a.engine.GetHeight() == b.engine.GetHeight(),
        "sizes differ");
    Check(a.engine.GetPage() == b.engine.GetPage(), "pages differ");
    const size_t n = static_cast<size_t>(a.engine.GetWidth()) * static_cast<size_t>(a.engine.GetHeight());
    for (int field = 1; field <= 2; ++field) {
        const int32_t* x = a.engine.GetHeights(field);
        const int32_t* y = b.engine.GetHeights(field);
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

    std::vector<uint32_t> source;
    auto create = [&](int w, int h) {
        Check(fast.engine.Create(w, h) && reference.engine.Create(w, h), "a small field was refused");
        const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
        source.resize(n);
        for (auto& p : source)
            p = in.ConsumeIntegral<uint32_t>();
        fast.target = source;
        reference.target = source;
    };
    create(Side(in), Side(in));

    for (int op = 0; op < 64 && in.remaining_bytes() > 0; ++op) {
        const int w = fast.engine.GetWidth();
        const int h = fast.engine.GetHeight();
        const int call = in.ConsumeIntegralInRange<int>(0, 6);
        switch (call) {
        case 0:
        case 1: {
            const int x = Coordinate(in, w);
            const int y = Coordinate(in, h);
            const int radius = in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(-2, 60) : in.ConsumeIntegral<int>();
            const int height = in.ConsumeIntegral<int>();
            const int page = in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(0, 1) : in.ConsumeIntegral<int>();
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
        }
        Compare(fast, reference);
    }
    return 0;
}
