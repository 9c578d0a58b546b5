#include "ripple/RippleWater.h"

#include "ripple/RippleMath.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace ripple {

namespace {

constexpr uint8_t kVaried = 0;
constexpr uint8_t kUniform = 1;
constexpr uint8_t kStale = 2;
// The level of chunks that are not one value.
constexpr int64_t kNone = -1;
// How far ahead the refraction fetches the source lines of a later row:
// far enough for the fetches to arrive (a row of a busy 1920-column step
// takes microseconds), near enough for the waves not to have moved on.
constexpr int32_t kAhead = 8;

int64_t LevelOf(uint8_t state, int32_t value)
{
    return (state & kUniform) ? static_cast<int64_t>(static_cast<uint32_t>(value)) : kNone;
}

int32_t ValueOf(int64_t level)
{
    return static_cast<int32_t>(static_cast<uint32_t>(level));
}

// The propagation onto an old value n of neighbours a (the three above), b
// (left and right) and c (the three below).
int32_t UniformPropagation(int32_t a, int32_t b, int32_t c, int32_t n, int damping)
{
    const int32_t s = WrapAdd(WrapAdd(WrapMul(a, 3), WrapMul(b, 2)), WrapMul(c, 3));
    const int32_t v = WrapSub(s >> 2, n);
    return WrapSub(v, Sar(v, damping));
}

template <class T>
bool Resize(std::vector<T>& v, size_t n)
{
    try {
        v.resize(n);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

} // namespace

// What one band needs of its own while it sweeps.
struct Water::Workspace {
    fast::SpanBuffer spans;
    // Field-1 rows of the first of two steps, before it overwrote them.
    std::vector<int32_t> ringCells[2];
    std::vector<int32_t> ringValues[2];
    std::vector<uint8_t> ringStates[2];
    StaleSpan ringStale[2];
    // The first row of the band's new field-1 values, while the band above
    // still reads the old ones.
    std::vector<int32_t> asideCells;
    std::vector<int32_t> asideValues;
    std::vector<uint8_t> asideStates;
    StaleSpan asideStale;
    // Levels of rows of the field read (slots 0 to 2) and of the new field 1
    // (slots 3 to 5), with the row each holds.
    std::vector<int64_t> levels[6];
    int32_t levelRows[6];
    bool levelAny[6];
    // What a row's chunks need, and where a chunk's source piece starts.
    std::vector<uint8_t> kinds;
    std::vector<int32_t> froms;

    bool Allocate(int32_t width, int32_t chunks)
    {
        const size_t w = static_cast<size_t>(std::max(width, 1));
        const size_t n = static_cast<size_t>(std::max(chunks, 1));
        bool ok = spans.Allocate(width) && Resize(asideCells, w) && Resize(asideValues, n) && Resize(asideStates, n);
        for (int k = 0; k < 2 && ok; ++k)
            ok = Resize(ringCells[k], w) && Resize(ringValues[k], n) && Resize(ringStates[k], n);
        for (int k = 0; k < 6 && ok; ++k)
            ok = Resize(levels[k], n);
        return ok && Resize(kinds, n) && Resize(froms, n);
    }

    RowView Ring(int32_t r)
    {
        const int k = r & 1;
        return { ringCells[k].data(), ringValues[k].data(), ringStates[k].data(), &ringStale[k] };
    }

    RowView Aside() { return { asideCells.data(), asideValues.data(), asideStates.data(), &asideStale }; }

    void ForgetLevels() { std::fill(levelRows, levelRows + 6, -1); }
};

struct Water::Job {
    Water* water;
    int page;
    int damping;
    const fast::RowDrop* drop;
    const fast::RowDrop* second;
    bool pictures;
    int bands;
    int32_t begins[kMaxBands + 1];
};

Water::Water() = default;

Water::~Water()
{
    Release();
}

void Water::Release()
{
    std::free(m_blocks[0]);
    std::free(m_blocks[1]);
    m_blocks[0] = m_blocks[1] = nullptr;
    m_cells[0] = m_cells[1] = nullptr;
    for (int f = 0; f < 2; ++f) {
        m_values[f] = std::vector<int32_t>();
        m_states[f] = std::vector<uint8_t>();
        m_rowStale[f] = std::vector<StaleSpan>();
    }
    m_flat = std::vector<uint8_t>();
    m_rowWork = std::vector<int32_t>();
    m_drawn = std::vector<Span>();
    m_work.clear();
    m_width = m_height = m_chunks = 0;
    m_anyStale = false;
    m_mapsValid = true;
    ForgetPicture();
}

bool Water::Allocate(int32_t width, int32_t height, int32_t chunkWidth)
{
    Release();
    if (width < 1 || height < 1)
        return false;
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    // Zeroed memory from the system: pages no sweep ever writes (water
    // still flat) are never touched.
    // On a cache line: rows of a width of eight values start on 32-byte
    // boundaries, where the vectors of the display image start too.
    for (int f = 0; f < 2; ++f) {
        m_blocks[f] = std::calloc(n + 16, sizeof(int32_t));
        const uintptr_t at = reinterpret_cast<uintptr_t>(m_blocks[f]);
        m_cells[f] = m_blocks[f] ? reinterpret_cast<int32_t*>((at + 63) & ~uintptr_t(63)) : nullptr;
    }
    m_width = width;
    m_height = height;
    m_chunk = std::max(chunkWidth, 2);
    if (!m_cells[0] || !m_cells[1] || !AllocateMaps() || !Resize(m_rowWork, static_cast<size_t>(height))
        || !Resize(m_drawn, static_cast<size_t>(height))) {
        Release();
        return false;
    }
    for (int f = 0; f < 2; ++f) {
        std::fill(m_states[f].begin(), m_states[f].end(), kUniform);
        std::fill(m_values[f].begin(), m_values[f].end(), 0);
        std::fill(m_rowStale[f].begin(), m_rowStale[f].end(), StaleSpan{ 0, 0 });
        m_sidesZero[f] = true;
    }
    m_mapsValid = true;
    return true;
}

bool Water::AllocateMaps()
{
    m_chunks = m_width >= 3 ? (m_width + m_chunk - 2) / m_chunk : 0;
    const size_t n = static_cast<size_t>(m_height) * static_cast<size_t>(m_chunks);
    m_work.clear();
    std::unique_ptr<Workspace> first(new (std::nothrow) Workspace);
    if (!first || !first->Allocate(m_width, m_chunks))
        return false;
    m_work.push_back(std::move(first));
    for (int f = 0; f < 2; ++f) {
        if (!Resize(m_values[f], n) || !Resize(m_states[f], n) || !Resize(m_rowStale[f], static_cast<size_t>(m_height)))
            return false;
    }
    if (!Resize(m_flat, n))
        return false;
    ForgetPicture();
    return true;
}

bool Water::SetChunkWidth(int32_t columns)
{
    columns = std::max(columns, 2);
    if (columns == m_chunk)
        return true;
    if (!Allocated()) {
        m_chunk = columns;
        return true;
    }
    Materialize();
    const int32_t old = m_chunk;
    m_chunk = columns;
    if (!AllocateMaps()) {
        m_chunk = old;
        if (!AllocateMaps()) {
            Release();
            return false;
        }
    }
    m_mapsValid = false;
    return m_chunk == columns;
}

void Water::Flatten()
{
    if (!Allocated())
        return;
    for (int f = 0; f < 2; ++f) {
        // Chunks known to be 0 in memory stay as they are; every other one
        // is 0 without its memory written.
        for (size_t k = 0; k < m_states[f].size(); ++k) {
            if (!(m_mapsValid && m_states[f][k] == kUniform && m_values[f][k] == 0)) {
                m_states[f][k] = kUniform | kStale;
                m_values[f][k] = 0;
            }
        }
        std::fill(m_rowStale[f].begin(), m_rowStale[f].end(), StaleSpan{ 0, m_chunks });
        if (!m_mapsValid || !m_sidesZero[f]) {
            for (int32_t r = 0; r < m_height; ++r) {
                m_cells[f][static_cast<size_t>(r) * m_width] = 0;
                m_cells[f][static_cast<size_t>(r) * m_width + m_width - 1] = 0;
            }
        }
        m_sidesZero[f] = true;
    }
    m_mapsValid = true;
    m_anyStale = true;
}

Water::RowView Water::Row(int field, int32_t r)
{
    const int f = field == 1 ? 0 : 1;
    const size_t chunk = static_cast<size_t>(r) * static_cast<size_t>(m_chunks);
    return { m_cells[f] + static_cast<size_t>(r) * static_cast<size_t>(m_width), m_values[f].data() + chunk,
        m_states[f].data() + chunk, m_rowStale[f].data() + r };
}

void Water::Fill(const RowView& v, int32_t k)
{
    if (v.states[k] & kStale) {
        m_kernels->fill(v.cells + First(k), End(k) - First(k), v.values[k]);
        v.states[k] = kUniform;
    }
}

void Water::FillRow(const RowView& v)
{
    FillRange(v, 0, m_chunks);
}

void Water::FillRangeStale(const RowView& v, int32_t from, int32_t to)
{
    StaleSpan& span = *v.stale;
    const int32_t a = std::max(from, span.lo), b = std::min(to, span.hi);
    if (a >= b)
        return;
    for (int32_t k = a; k < b; ++k) {
        if (v.states[k] & kStale)
            Fill(v, k);
    }
    // What is left stale lies on either side of the range.
    if (a == span.lo)
        span.lo = b;
    else if (b == span.hi)
        span.hi = a;
}

void Water::FillAroundStale(const RowView& v, int32_t from, int32_t to)
{
    // A stale chunk's memory means nothing until it is written out whole, so
    // one column of it may be written alone.
    if (from > 0 && (v.states[from - 1] & kStale))
        v.cells[First(from) - 1] = v.values[from - 1];
    if (to < m_chunks && (v.states[to] & kStale))
        v.cells[First(to)] = v.values[to];
    FillRangeStale(v, from, to);
}

void Water::Materialize()
{
    if (!m_anyStale || !Allocated())
        return;
    for (int field = 1; field <= 2; ++field) {
        for (int32_t r = 0; r < m_height; ++r)
            FillRow(Row(field, r));
    }
    m_anyStale = false;
}

void Water::OpenForWriting()
{
    Materialize();
    m_mapsValid = false;
}

void Water::Rescan()
{
    for (int field = 1; field <= 2; ++field) {
        for (int32_t r = 0; r < m_height; ++r) {
            const RowView v = Row(field, r);
            for (int32_t k = 0; k < m_chunks; ++k) {
                const int32_t first = First(k);
                const int32_t* p = v.cells + first;
                const int32_t count = End(k) - first;
                v.states[k] = std::all_of(p, p + count, [p](int32_t x) { return x == p[0]; }) ? kUniform : kVaried;
                v.values[k] = p[0];
            }
            *v.stale = StaleSpan{ 0, 0 };
        }
        bool zero = true;
        const int32_t* cells = Cells(field);
        for (int32_t r = 0; r < m_height && zero; ++r)
            zero = cells[static_cast<size_t>(r) * m_width] == 0 && cells[static_cast<size_t>(r) * m_width + m_width - 1] == 0;
        m_sidesZero[field - 1] = zero;
    }
    m_mapsValid = true;
}

void Water::DrawStill(const uint32_t* source, const Target& target)
{
    const int32_t w = m_width;
    for (int32_t r = 0; r < m_height; ++r) {
        const uint32_t* from = source + static_cast<size_t>(r) * w;
        uint32_t* to = target.Row(r);
        if (r == 0 || r + 1 == m_height || w < 3) {
            for (int32_t c = 0; c < w; ++c)
                to[c] = from[c] | target.fill;
            continue;
        }
        to[0] = from[0] | target.fill;
        m_kernels->copy(from + 1, to + 1, target.fill, 1, w - 2);
        to[w - 1] = from[w - 1] | target.fill;
    }
    std::fill(m_flat.begin(), m_flat.end(), uint8_t(1));
    m_flatSource = source;
    m_flatTarget = target;
    m_flatOtherTarget = Target();
}

void Water::Lag(ptrdiff_t behind, const Span* stale)
{
    m_behind = behind;
    m_stale = stale;
}

void Water::BringOver(uint32_t* row, int32_t r, int32_t from, int32_t to) const
{
    const Span s = m_stale[r];
    from = std::max(from, s.first);
    to = std::min(to, s.end);
    if (from < to)
        std::copy(row + from + m_behind, row + to + m_behind, row + from);
}

void Water::BringOverEdges()
{
    if (!m_stale)
        return;
    BringOver(m_target.Row(0), 0, 0, m_width);
    BringOver(m_target.Row(m_height - 1), m_height - 1, 0, m_width);
}

void Water::BringOverChunks(uint32_t* row, int32_t r, int32_t from, int32_t to) const
{
    if (!m_lagFlatKnown) {
        BringOver(row, r, First(from), End(to - 1));
        return;
    }
    const uint8_t* shown = m_lagFlat.data() + static_cast<size_t>(r) * m_chunks;
    for (int32_t k = from; k < to; ++k) {
        if (!shown[k])
            BringOver(row, r, First(k), End(k));
    }
}

void Water::EndLag()
{
    m_behind = 0;
    m_stale = nullptr;
    m_lagFlatKnown = false;
}

void Water::ForgetPicture()
{
    std::fill(m_flat.begin(), m_flat.end(), 0);
    m_flatSource = nullptr;
    m_flatTarget = Target();
    m_flatOtherTarget = Target();
    m_lagFlatKnown = false;
}

void Water::MovePicture(const Target& target)
{
    if (target.fill != m_flatTarget.fill)
        ForgetPicture();
    else if (m_flatTarget.row0)
        m_flatTarget = target;
    // That memory now holds what the last target did.
    if (m_flatOtherTarget == target)
        m_flatOtherTarget = Target();
}

void Water::MovePicture(const Target& from, const Target& target)
{
    if (!(from == m_flatTarget) || target.fill != from.fill) {
        ForgetPicture();
        return;
    }
    // What was known of `target`'s memory when it was left still holds; what
    // is known of `from` holds for `target` once the lag is brought over.
    m_lagFlatKnown = m_flatOtherTarget == target && target.row0;
    if (m_lagFlatKnown)
        m_lagFlat.swap(m_flatOther);
    if (Resize(m_flatOther, m_flat.size())) {
        std::copy(m_flat.begin(), m_flat.end(), m_flatOther.begin());
        m_flatOtherTarget = from;
    } else {
        m_flatOtherTarget = Target();
    }
    m_flatTarget = target;
}

void Water::ClearDrawn()
{
    std::fill(m_drawn.begin(), m_drawn.end(), Span());
}

void Water::MarkDrawn()
{
    for (int32_t r = 1; r + 1 < m_height; ++r)
        m_drawn[r].Add(1, m_width - 1);
}

void Water::Prepare(const uint32_t* source, const Target& target)
{
    if (source != m_flatSource || target != m_flatTarget) {
        ForgetPicture();
        m_flatSource = source;
        m_flatTarget = target;
    }
    m_source = source;
    m_target = target;
}

void Water::AddDropRow(const RowView& v, int32_t row, const fast::RowDrop& drop, fast::SpanBuffer& buffer)
{
    const int n = drop.Spans(row, buffer);
    if (n == 0)
        return;
    const fast::DropSpan* spans = buffer.Spans();
    const int32_t last = std::min((spans[n - 1].end - 1) / m_chunk, m_chunks - 1);
    int s = 0;
    int32_t k = spans[0].first / m_chunk;
    while (k <= last) {
        const int32_t c0 = First(k), c1 = End(k);
        while (s < n && spans[s].end <= c0)
            ++s;
        if (s == n)
            return;
        if (spans[s].first >= c1) {
            ++k;
            continue;
        }
        const fast::DropSpan& lead = spans[s];
        if (!lead.values && lead.first <= c0 && lead.end >= c1 && (v.states[k] & kUniform)) {
            // One increment over a uniform chunk: only its value changes.
            if (lead.value != 0) {
                v.values[k] = WrapAdd(v.values[k], lead.value);
                v.states[k] = kUniform | kStale;
                v.stale->Add(k);
            }
            ++k;
            continue;
        }
        // A run of chunks whose memory gets the drop: up to the next chunk
        // the drop leaves alone or changes as a whole uniform one.
        const int32_t k0 = k;
        for (++k; k <= last; ++k) {
            const int32_t d0 = First(k), d1 = End(k);
            int t = s;
            while (t < n && spans[t].end <= d0)
                ++t;
            if (t == n || spans[t].first >= d1)
                break;
            if (!spans[t].values && spans[t].first <= d0 && spans[t].end >= d1 && (v.states[k] & kUniform))
                break;
        }
        FillRange(v, k0, k);
        const int32_t from0 = First(k0), to0 = End(k - 1);
        for (int t = s; t < n && spans[t].first < to0; ++t) {
            const int32_t from = std::max(spans[t].first, from0), to = std::min(spans[t].end, to0);
            if (from >= to)
                continue;
            if (spans[t].values) {
                const int32_t* inc = spans[t].values + (from - spans[t].first);
                for (int32_t c = from; c < to; ++c)
                    v.cells[c] = WrapAdd(v.cells[c], inc[c - from]);
            } else {
                m_kernels->addRun(v.cells + from, to - from, spans[t].value);
            }
        }
        std::fill(v.states + k0, v.states + k, kVaried);
    }
}

void Water::AddDrop(int field, const fast::RowDrop& drop)
{
    if (!Allocated())
        return;
    if (!m_mapsValid)
        Rescan();
    for (int32_t row = drop.Top(); row < drop.Bottom(); ++row)
        AddDropRow(Row(field, row), row, drop, m_work[0]->spans);
    m_anyStale = true;
}

bool Water::Levels(const RowView& v, bool sidesZero, int64_t* out)
{
    // Stale chunks are uniform ones: a row without either is written out.
    // Any other row's stale span is found exactly on the way.
    if (!AnyUniform(v)) {
        if (!v.stale->Empty())
            *v.stale = StaleSpan{ 0, 0 };
        std::fill(out, out + m_chunks, kNone);
        return false;
    }
    for (int32_t k = 0; k < m_chunks; ++k)
        out[k] = LevelOf(v.states[k], v.values[k]);
    const int64_t side = sidesZero ? 0 : kNone;
    int64_t left = side;
    int64_t any = kNone;
    for (int32_t k = 0; k < m_chunks; ++k) {
        const int64_t mid = out[k];
        const int64_t right = k + 1 < m_chunks ? out[k + 1] : side;
        out[k] = left == mid && mid == right ? mid : kNone;
        any &= out[k];
        left = mid;
    }
    StaleSpan span = { 0, 0 };
    for (int32_t k = 0; k < m_chunks; ++k) {
        if (v.states[k] & kStale)
            span.Add(k);
    }
    if (span.Empty() ? !v.stale->Empty() : span.lo != v.stale->lo || span.hi != v.stale->hi)
        *v.stale = span;
    // Levels are 0 or more, kNone all bits: any level clears a bit.
    return any != kNone;
}

bool Water::AnyUniform(const RowView& v) const
{
    int32_t k = 0;
    for (; k + 8 <= m_chunks; k += 8) {
        uint64_t word;
        std::memcpy(&word, v.states + k, 8);
        if (word & 0x0101010101010101ull)
            return true;
    }
    for (; k < m_chunks; ++k) {
        if (v.states[k] & kUniform)
            return true;
    }
    return false;
}

namespace {

// What a chunk of a row needs of a step.
constexpr uint8_t kRefract = 1;   // the refraction kernel
constexpr uint8_t kPropagate = 2; // the propagation kernel
constexpr uint8_t kCopy = 4;      // a piece of one source row
constexpr uint8_t kShown = 8;     // nothing: the target shows it already

} // namespace

int32_t Water::StepRow(Workspace& ws, const RowJob& j)
{
    const int32_t r = j.r;
    uint8_t* flat = m_flat.data() + static_cast<size_t>(r) * m_chunks;
    MarkPropagation(ws, j);
    if (j.refract)
        MarkRefraction(ws, j, flat);
    const fast::RefractRow q = RefractionOf(j);
    const fast::PropagateRow p = PropagationOf(j);
    // A target that lacks part of the last frame gets it where the sweep
    // leaves the row as it is: the edge columns, and chunks left alone.
    const bool lag = j.refract && m_stale;
    if (lag) {
        BringOver(q.target, r, 0, 1);
        BringOver(q.target, r, m_width - 1, m_width);
    }
    // Left to right, runs of chunks that need the same: on page 0 the
    // refraction of a chunk reads the first column of the next one, which
    // the propagation of that one overwrites.
    int32_t computed = 0;
    Span drawn;
    for (int32_t a = 0, b = 0; a < m_chunks; a = b) {
        const uint8_t kind = ws.kinds[a];
        for (b = a + 1; b < m_chunks && ws.kinds[b] == kind; ++b) {
        }
        if (kind & (kRefract | kCopy))
            drawn.Add(First(a), End(b - 1));
        else if (lag)
            BringOverChunks(q.target, r, a, b);
        if (kind & kRefract) {
            ReadyToRefract(j, a, b);
            std::fill(flat + a, flat + b, uint8_t(0));
            computed += b - a;
        } else if (kind & kCopy) {
            CopyPieces(ws, q.target, r, a, b, flat);
        }
        if (kind & kPropagate) {
            PropagateByKernel(j, q, p, kind & kRefract, a, b);
            computed += b - a;
        } else {
            if (kind & kRefract)
                m_kernels->refract(q, First(a), End(b - 1));
            if (j.propagate)
                PropagateQuiet(j, a, b);
        }
    }
    m_drawn[r].Add(drawn);
    return computed;
}

void Water::MarkPropagation(Workspace& ws, const RowJob& j)
{
    // The propagation of a chunk is quiet when each of the three rows read
    // is one value over it and the chunks beside it (rows may differ: a wave
    // running straight up or down keeps its rows uniform), and the chunk
    // written is one value.
    uint8_t* kinds = ws.kinds.data();
    if (!j.propagate || !j.levels || !AnyUniform(j.n)) {
        std::fill(kinds, kinds + m_chunks, j.propagate ? kPropagate : 0);
        return;
    }
    // Locals: the stores may alias anything.
    const int64_t* lo0 = j.lo[0];
    const int64_t* lo1 = j.lo[1];
    const int64_t* lo2 = j.lo[2];
    const uint8_t* states = j.n.states;
    const int32_t chunks = m_chunks;
    for (int32_t k = 0; k < chunks; ++k)
        kinds[k] = (lo0[k] | lo1[k] | lo2[k]) >= 0 && (states[k] & kUniform) ? 0 : kPropagate;
}

void Water::MarkRefraction(Workspace& ws, const RowJob& j, const uint8_t* flat)
{
    // Field 1 one value over a chunk and the first column of the next, and
    // one value (maybe another) over the chunk in the row below: no slope
    // sideways, the same slope down at every pixel, so the chunk shows a
    // piece of one source row, unshaded. With a slope below 8 that is the
    // chunk's own source row, which the target may show already.
    // Locals: the stores may alias anything.
    uint8_t* kinds = ws.kinds.data();
    int32_t* froms = ws.froms.data();
    const RowView h = j.h, below = j.below;
    const int32_t chunks = m_chunks, width = m_width;
    if (!AnyUniform(h) || !AnyUniform(below)) {
        for (int32_t k = 0; k < chunks; ++k)
            kinds[k] |= kRefract;
        return;
    }
    const int32_t base = j.r * width, count = width * m_height;
    // The value the last column of the last chunk sees to its right.
    const bool sidesZero = m_sidesZero[0];
    for (int32_t k = 0; k < chunks; ++k) {
        uint8_t kind = kRefract;
        const int32_t v = h.values[k];
        const bool level = k + 1 < chunks ? (h.states[k + 1] & kUniform) && h.values[k + 1] == v : sidesZero && v == 0;
        if ((h.states[k] & below.states[k] & kUniform) && level) {
            const int32_t offset = WrapMul(WrapSub(v, below.values[k]) >> 3, width);
            const int32_t first = First(k), from = WrapAdd(base + first, offset);
            if (offset == 0) {
                kind = flat[k] ? kShown : kCopy;
                froms[k] = from;
            } else if (from > 0 && from < count - (End(k) - first - 1)) {
                // Every index inside the picture.
                kind = kCopy;
                froms[k] = from;
            }
        }
        kinds[k] |= kind;
    }
}

fast::RefractRow Water::RefractionOf(const RowJob& j) const
{
    fast::RefractRow q;
    q.h = j.h.cells;
    q.below = j.below.cells;
    q.h2 = j.h2.cells;
    q.below2 = j.below2.cells;
    q.source = m_source;
    q.target = j.refract ? m_target.Row(j.r) : nullptr;
    q.row = j.r;
    q.width = m_width;
    q.count = m_width * m_height;
    q.fill = m_target.fill;
    if (j.refract && m_stale)
        q.behind = m_behind;
    if (j.refract && j.r + kAhead + 1 < j.aheadEnd) {
        // Rows that only this band writes, and not before it gets there.
        q.ahead = m_cells[0] + static_cast<size_t>(j.r + kAhead) * static_cast<size_t>(m_width);
        q.aheadBelow = q.ahead + m_width;
        q.aheadRow = j.r + kAhead;
    }
    return q;
}

fast::PropagateRow Water::PropagationOf(const RowJob& j) const
{
    fast::PropagateRow p;
    p.up = j.o[0].cells;
    p.mid = j.o[1].cells;
    p.down = j.o[2].cells;
    p.old = j.n.cells;
    p.out = j.out.cells;
    p.save = j.save.cells;
    p.damping = j.damping;
    return p;
}

void Water::ReadyToRefract(const RowJob& j, int32_t a, int32_t b)
{
    FillAround(j.h, a, b);
    FillRange(j.below, a, b);
    if (j.h2.cells) {
        FillAround(j.h2, a, b);
        FillRange(j.below2, a, b);
    }
}

void Water::CopyPieces(const Workspace& ws, uint32_t* target, int32_t r, int32_t a, int32_t b, uint8_t* flat)
{
    // Chunks whose pieces follow each other in the source: one copy.
    const int32_t* froms = ws.froms.data();
    const int32_t own = r * m_width;
    for (int32_t c = a; c < b;) {
        int32_t d = c + 1;
        while (d < b && froms[d] == froms[d - 1] + (End(d - 1) - First(d - 1)))
            ++d;
        m_kernels->copy(m_source + froms[c], target + First(c), m_target.fill, First(c), End(d - 1) - First(c));
        std::fill(flat + c, flat + d, uint8_t(froms[c] == own + First(c)));
        c = d;
    }
}

void Water::PropagateByKernel(const RowJob& j, const fast::RefractRow& q, const fast::PropagateRow& p, bool refract,
    int32_t a, int32_t b)
{
    const RowView n = j.n;
    FillAround(j.o[0], a, b);
    FillAround(j.o[1], a, b);
    FillAround(j.o[2], a, b);
    FillRange(n, a, b);
    if (j.save.cells) {
        std::copy(n.values + a, n.values + b, j.save.values + a);
        std::copy(n.states + a, n.states + b, j.save.states + a);
    }
    if (refract)
        m_kernels->step(q, p, First(a), End(b - 1));
    else
        m_kernels->propagate(p, First(a), End(b - 1));
    // Quiet chunks next to waves may stay quiet a while: look whether they
    // did. Chunks already varied are left so.
    const RowView out = j.out;
    if (out.states == n.states && !AnyUniform(n))
        return;
    for (int32_t c = a; c < b; ++c) {
        const int32_t f = First(c);
        if ((n.states[c] & kUniform) && m_kernels->allEqual(out.cells + f, End(c) - f)) {
            out.values[c] = out.cells[f];
            out.states[c] = kUniform;
        } else {
            out.states[c] = kVaried;
        }
    }
}

void Water::PropagateQuiet(const RowJob& j, int32_t a, int32_t b)
{
    // Locals: the stores may alias anything.
    const RowView n = j.n, out = j.out, save = j.save;
    const int64_t* lo0 = j.lo[0];
    const int64_t* lo1 = j.lo[1];
    const int64_t* lo2 = j.lo[2];
    const int damping = j.damping;
    for (int32_t c = a; c < b; ++c) {
        const int32_t old = n.values[c];
        const int32_t v = UniformPropagation(ValueOf(lo0[c]), ValueOf(lo1[c]), ValueOf(lo2[c]), old, damping);
        if (save.cells) {
            save.values[c] = old;
            save.states[c] = kUniform | kStale;
            save.stale->Add(c);
        }
        if (out.cells != n.cells || v != old) {
            out.values[c] = v;
            out.states[c] = kUniform | kStale;
            out.stale->Add(c);
        }
    }
}

int Water::Bands(int threads, int32_t minRows)
{
    int bands = std::max(1, std::min(threads, kMaxBands));
    bands = std::max(1, std::min(bands, (m_height - 2) / minRows));
    while (static_cast<int>(m_work.size()) < bands) {
        std::unique_ptr<Workspace> w(new (std::nothrow) Workspace);
        if (!w || !w->Allocate(m_width, m_chunks))
            break;
        m_work.push_back(std::move(w));
    }
    return std::min(bands, static_cast<int>(m_work.size()));
}

void Water::Split(int bands, int32_t* begins) const
{
    const int32_t last = m_height - 1;
    begins[0] = 1;
    begins[bands] = last;
    if (bands == 1)
        return;
    // Each row costs its computed chunks of the last sweep, plus a little
    // for looking at its quiet ones.
    const int64_t base = 1 + m_chunks / 8;
    int64_t total = 0;
    for (int32_t r = 1; r < last; ++r)
        total += base + m_rowWork[r];
    int64_t sum = 0;
    int b = 1;
    for (int32_t r = 1; r < last && b < bands; ++r) {
        sum += base + m_rowWork[r];
        while (b < bands && sum * bands >= total * b) {
            begins[b] = r + 1;
            ++b;
        }
    }
    for (; b < bands; ++b)
        begins[b] = last;
    // At least two rows a band.
    for (b = 1; b < bands; ++b)
        begins[b] = std::max(begins[b], begins[b - 1] + 2);
    for (b = bands - 1; b >= 1; --b)
        begins[b] = std::min(begins[b], begins[b + 1] - 2);
}

int64_t Water::ComputedChunks() const
{
    int64_t sum = 0;
    for (int32_t w : m_rowWork)
        sum += w;
    return sum;
}

void Water::StepBand(void* job, int band)
{
    const Job& j = *static_cast<const Job*>(job);
    j.water->StepBandRun(j, band);
}

void Water::PairBand(void* job, int band)
{
    const Job& j = *static_cast<const Job*>(job);
    j.water->PairBandRun(j, band);
}

Water::Workspace& Water::BeginBand(int band)
{
    Workspace& ws = *m_work[band];
    ws.ForgetLevels();
    ws.asideStale = StaleSpan{ 0, 0 };
    return ws;
}

void Water::Propagation(Workspace& ws, RowJob& j, int slots, int field, const RowView (&rows)[3],
    const RowView& written, int damping)
{
    j.propagate = true;
    j.levels = true;
    for (int d = 0; d < 3; ++d) {
        const int32_t row = j.r - 1 + d;
        const int slot = slots + row % 3;
        if (ws.levelRows[slot] != row) {
            ws.levelAny[slot] = Levels(rows[d], m_sidesZero[field - 1], ws.levels[slot].data());
            ws.levelRows[slot] = row;
        }
        j.levels = j.levels && ws.levelAny[slot];
        j.o[d] = rows[d];
        j.lo[d] = ws.levels[slot].data();
    }
    j.n = written;
    j.out = written;
    j.damping = damping;
}

void Water::StepBandRun(const Job& job, int band)
{
    Workspace& ws = BeginBand(band);
    const int32_t s = job.begins[band], e = job.begins[band + 1];
    const bool page0 = job.page == 0;
    const int written = page0 ? 1 : 2, read = page0 ? 2 : 1;
    // On page 0 the refraction of row r reads the drop's rows r and r + 1;
    // the first row of every band but the top one has it already.
    if (job.drop && page0 && band == 0)
        AddDropRow(Row(1, s), s, *job.drop, ws.spans);
    for (int32_t r = s; r < e; ++r) {
        if (job.drop) {
            if (!page0)
                AddDropRow(Row(2, r), r, *job.drop, ws.spans);
            else if (r + 1 < e)
                AddDropRow(Row(1, r + 1), r + 1, *job.drop, ws.spans);
        }
        RowJob row(r);
        if (job.pictures)
            row.Refraction(Row(1, r), Row(1, r + 1), e);
        Propagation(ws, row, 0, read, { Row(read, r - 1), Row(read, r), Row(read, r + 1) }, Row(written, r),
            job.damping);
        // The band above still reads the old values of this band's first row.
        if (page0 && band > 0 && r == s)
            row.out = ws.Aside();
        m_rowWork[r] = StepRow(ws, row);
    }
}

void Water::CopyAside(Workspace& ws, int32_t row)
{
    const RowView aside = ws.Aside(), v = Row(1, row);
    for (int32_t k = 0; k < m_chunks; ++k) {
        v.values[k] = aside.values[k];
        v.states[k] = aside.states[k];
        if (!(aside.states[k] & kStale))
            std::copy(aside.cells + First(k), aside.cells + End(k), v.cells + First(k));
    }
    *v.stale = *aside.stale;
}

bool Water::BeginSweep(const uint32_t* source, const Target& target)
{
    if (!Draws())
        return false;
    if (!m_mapsValid)
        Rescan();
    if (source && target.row0) {
        Prepare(source, target);
        BringOverEdges();
    }
    m_anyStale = true;
    return true;
}

Water::Job Water::Plan(int page, int damping, const fast::RowDrop* drop, const fast::RowDrop* second, bool pictures,
    int threads)
{
    Job job;
    job.water = this;
    job.page = page;
    job.damping = damping;
    job.drop = drop;
    job.second = second;
    job.pictures = pictures;
    job.bands = Bands(threads, 2);
    Split(job.bands, job.begins);
    return job;
}

void Water::Run(Job& job, Workers& workers, void (*band)(void*, int))
{
    if (!workers.Run(job.bands, band, &job)) {
        // No threads to be had: the same bands one after the other.
        for (int b = 0; b < job.bands; ++b)
            band(&job, b);
    }
}

void Water::Step(int page, int damping, const fast::RowDrop* drop,
    const uint32_t* source, const Target& target, int threads, Workers& workers)
{
    if (!BeginSweep(source, target))
        return;
    Job job = Plan(page, damping, drop, nullptr, source && target.row0, threads);
    // The rows at each border, which two bands read, are written out (with
    // the drop the refraction reads on page 0) before the bands start.
    fast::SpanBuffer& spans = m_work[0]->spans;
    for (int b = 1; b < job.bands; ++b) {
        const int32_t s = job.begins[b];
        if (drop && page == 0)
            AddDropRow(Row(1, s), s, *drop, spans);
        for (int field = 1; field <= 2; ++field) {
            FillRow(Row(field, s - 1));
            FillRow(Row(field, s));
        }
    }
    Run(job, workers, &Water::StepBand);
    if (page == 0) {
        for (int b = 1; b < job.bands; ++b)
            CopyAside(*m_work[b], job.begins[b]);
    }
    EndLag();
}

void Water::PairBandRun(const Job& job, int band)
{
    Workspace& ws = BeginBand(band);
    const int32_t s = job.begins[band], e = job.begins[band + 1];
    // The second step's rows this band does: the propagation of its first
    // and last rows, and the refraction of its last row, wait for the
    // bands next to it (except at the fields' edges).
    const int32_t secondFirst = band == 0 ? s : s + 1;
    const int32_t secondEnd = band + 1 == job.bands ? e : e - 1;
    for (int32_t r = s; r < e; ++r) {
        PairFirst(ws, job, band, r);
        if (r > s && r - 1 < secondEnd)
            PairSecond(ws, job, band, r - 1, r - 1 >= secondFirst);
    }
    if (e - 1 < secondEnd)
        PairSecond(ws, job, band, e - 1, e - 1 >= secondFirst);
}

void Water::PairFirst(Workspace& ws, const Job& job, int band, int32_t r)
{
    if (job.drop)
        AddDropRow(Row(1, r), r, *job.drop, ws.spans);
    const RowView old = Row(1, r), out = NewField1(ws, job, band, r), save = ws.Ring(r);
    *save.stale = StaleSpan{ 0, 0 };
    // Rows kept aside are read like field rows: their side columns are the
    // field's.
    for (const RowView& v : { save, out }) {
        v.cells[0] = old.cells[0];
        v.cells[m_width - 1] = old.cells[m_width - 1];
    }
    RowJob row(r);
    Propagation(ws, row, 0, 2, { Row(2, r - 1), Row(2, r), Row(2, r + 1) }, old, job.damping);
    row.out = out;
    row.save = save;
    m_rowWork[r] = StepRow(ws, row);
}

void Water::PairSecond(Workspace& ws, const Job& job, int band, int32_t q, bool propagate)
{
    RowJob row(q);
    row.Refraction(NewField1(ws, job, band, q), NewField1(ws, job, band, q + 1), job.begins[band + 1]);
    row.Unseen(OldField1(ws, job, band, q), OldField1(ws, job, band, q + 1));
    if (propagate)
        SecondPropagation(ws, job, row, { NewField1(ws, job, band, q - 1), row.h, row.below });
    m_rowWork[q] += StepRow(ws, row);
}

void Water::SecondPropagation(Workspace& ws, const Job& job, RowJob& j, const RowView (&rows)[3])
{
    if (job.second)
        AddDropRow(Row(2, j.r), j.r, *job.second, ws.spans);
    Propagation(ws, j, 3, 1, rows, Row(2, j.r), job.damping);
}

Water::RowView Water::NewField1(Workspace& ws, const Job& job, int band, int32_t row)
{
    return band > 0 && row == job.begins[band] ? ws.Aside() : Row(1, row);
}

Water::RowView Water::OldField1(Workspace& ws, const Job& job, int band, int32_t row)
{
    return row < job.begins[band + 1] ? ws.Ring(row) : Row(1, row);
}

void Water::PairBorder(const Job& job, int band)
{
    Workspace& ws = *m_work[band];
    const int32_t s = job.begins[band], q = s - 1;
    // The refraction of the row above the border, while field 1 still holds
    // the first step's old values in row s; then the second step's
    // propagation of the rows at the border.
    RowJob edge(q);
    edge.Refraction(Row(1, q), ws.Aside(), 0);
    edge.Unseen(m_work[band - 1]->Ring(q), Row(1, s));
    int32_t work = StepRow(ws, edge);
    CopyAside(ws, s);
    ws.ForgetLevels();
    for (int32_t r = q; r <= s; ++r) {
        RowJob row(r);
        SecondPropagation(ws, job, row, { Row(1, r - 1), Row(1, r), Row(1, r + 1) });
        m_rowWork[r] += work + StepRow(ws, row);
        work = 0;
    }
}

void Water::StepPair(int damping, const fast::RowDrop* first,
    const fast::RowDrop* second, const uint32_t* source, const Target& target, int threads, Workers& workers)
{
    if (!BeginSweep(source, target))
        return;
    Job job = Plan(0, damping, first, second, true, threads);
    for (int b = 1; b < job.bands; ++b) {
        FillRow(Row(2, job.begins[b] - 1));
        FillRow(Row(2, job.begins[b]));
    }
    Run(job, workers, &Water::PairBand);
    for (int b = 1; b < job.bands; ++b)
        PairBorder(job, b);
    EndLag();
}

} // namespace ripple
