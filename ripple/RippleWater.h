// The engine's two height fields, what it knows of their quiet stretches,
// and the sweeps that advance them and draw the picture, exactly as the
// reference does.
//
// Each row of a field is cut into chunks of columns. A chunk is either
// varied (its memory holds its values) or uniform: all its values equal one
// value kept beside it, which its memory holds too unless the chunk is
// stale. Stale chunks are written out only when something reads their
// memory, so water that stays uniform (flat, or a plateau of a drop rising
// every step) costs no memory traffic at all.
//
// Where each of the three rows the propagation reads is uniform over a chunk
// and the chunks beside it (the rows may differ: a wave running straight up
// or down keeps its rows uniform), and the chunk of the written field is
// uniform, every new value of the chunk is the same: a uniform chunk again,
// found without touching the memory. Where field 1 is uniform over a chunk
// and the first column of the next, and uniform over the chunk in the row
// below, no slope is sideways and every slope down is the same: the chunk
// shows a piece of one source row, copied as it is; with a slope below 8
// that is the chunk's own row, which the target may show already (a map per
// chunk of the target says so), and then nothing is drawn.
//
// A sweep walks the rows in order. One step: refraction of row r (reading
// field 1 in rows r and r + 1), then the propagation of row r. Two steps at
// once (pages 0 and 1, only the second one's picture wanted): the first
// step's propagation of row r, then the second's of row r - 1, which needs
// the first's new rows r - 2 to r, and the second's refraction of row r - 1.
// Every row of the fields is read from memory once for the two steps. The
// second step's refraction overwrites every pixel the first would draw
// except where its source index falls outside the picture; there the first
// step's pixel is drawn from its field-1 rows, kept in a ring of two rows
// (r - 1 and r) before the first step overwrites them.
//
// Bands of rows run on several threads. One step: a band keeps its first
// row's new values aside (the band above still reads the old ones), and the
// rows next to each band border are written out before the bands start, so
// no two bands write the same chunk. Two steps: in addition, the second
// step's propagation of the two rows at each border and the refraction of
// the row above it wait until all bands are done.
#pragma once

#include "ripple/RippleDrops.h"
#include "ripple/RippleKernels.h"
#include "ripple/RippleTarget.h"
#include "ripple/RippleWorkers.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace ripple {

class Water {
public:
    Water();
    ~Water();
    Water(const Water&) = delete;
    Water& operator=(const Water&) = delete;

    // The chunk width for fields `width` wide: a wider chunk costs less to
    // look at, a narrower one computes less beside a wave front (fronts move
    // a column a step at any size, so wider screens have more quiet water).
    static int32_t DefaultChunk(int32_t width) { return width > 5120 ? 256 : 128; }
    static constexpr int kMaxBands = 64;

    // Flat fields of width x height (both at least 1), chunks of
    // `chunkWidth` columns (at least 2). False, with nothing allocated, when
    // memory runs out.
    bool Allocate(int32_t width, int32_t height, int32_t chunkWidth);
    void Release();
    bool Allocated() const { return m_cells[0] != nullptr; }
    // Flat water on the fields allocated, without writing their memory.
    void Flatten();
    // Chunks of another width; false, keeping the old ones, without memory.
    bool SetChunkWidth(int32_t columns);
    int32_t ChunkWidth() const { return m_chunk; }

    // Every value in memory (stale chunks written out).
    void Materialize();
    // The fields in memory, which their holder may now change: what is known
    // of them is rebuilt from memory before the next sweep.
    void OpenForWriting();
    int32_t* Cells(int field) { return m_cells[field == 1 ? 0 : 1]; }
    // Whether memory may miss values, and whether the maps describe it.
    bool AnyStale() const { return m_anyStale; }
    bool MapsValid() const { return m_mapsValid; }

    // The whole of a prepared drop, added now to field 1 or 2.
    void AddDrop(int field, const fast::RowDrop& drop);

    // The kernels of the path the sweeps take.
    void SetKernels(const fast::Kernels& kernels) { m_kernels = &kernels; }

    // Draws `source` into `target` as still water shows it: inside the edges
    // as the refraction draws it, the edges (which no sweep draws) as they
    // are, each with the target's fill. Sweeps then draw nothing where the
    // water stays still.
    void DrawStill(const uint32_t* source, const Target& target);
    // The next sweep that draws brings over what its target lacks of the
    // last frame: columns stale[r] of each row r, from the pixels `behind`
    // pixels away (the last frame's memory, laid out alike), copying only
    // what it does not draw, and taking the pixels it keeps from there.
    // Only for a sweep that draws (Draws()) into that target.
    void Lag(ptrdiff_t behind, const Span* stale);
    bool Draws() const { return Allocated() && m_height >= 3 && m_chunks > 0; }
    // The target is no longer known to show what the last sweep drew.
    void ForgetPicture();
    // What is known of the last target holds for `target` instead; with
    // `from`, only if that was the last target.
    void MovePicture(const Target& target);
    void MovePicture(const Target& from, const Target& target);

    // One step: `drop` (may be null) added to the field the page writes,
    // the refraction of `source` into `target` (none when source is null),
    // the propagation on `page` with `damping`.
    void Step(int page, int damping, const fast::RowDrop* drop,
        const uint32_t* source, const Target& target, int threads, Workers& workers);
    // Two steps, on page 0 and then page 1, each after its drop (may be
    // null); the target ends as after both steps' refractions, of which
    // only the second is computed in full.
    void StepPair(int damping, const fast::RowDrop* first,
        const fast::RowDrop* second, const uint32_t* source, const Target& target, int threads, Workers& workers);

    // Per row, the columns the sweeps since the last ClearDrawn may have
    // drawn into the target (a span over all of them); MarkDrawn adds every
    // pixel a refraction reaches.
    const Span* Drawn() const { return m_drawn.data(); }
    void ClearDrawn();
    void MarkDrawn();

    // Chunks computed by the last sweep (not those it found quiet), for
    // measuring.
    int64_t ComputedChunks() const;
    int32_t Chunks() const { return m_chunks; }

private:
    // Chunks [lo, hi) of a row hold all its stale ones (maybe more); empty
    // when lo >= hi.
    struct StaleSpan {
        int32_t lo;
        int32_t hi;
        bool Empty() const { return lo >= hi; }
        void Add(int32_t k)
        {
            if (lo >= hi) {
                lo = k;
                hi = k + 1;
            } else {
                lo = lo < k ? lo : k;
                hi = hi > k + 1 ? hi : k + 1;
            }
        }
    };
    struct RowView {
        int32_t* cells;
        int32_t* values;
        uint8_t* states;
        StaleSpan* stale;
    };
    struct Workspace;
    struct Job;

    int32_t First(int32_t k) const { return k == 0 ? 1 : k * m_chunk; }
    int32_t End(int32_t k) const { return k + 1 == m_chunks ? m_width - 1 : (k + 1) * m_chunk; }
    RowView Row(int field, int32_t r);
    bool AllocateMaps();
    void Rescan();
    void Prepare(const uint32_t* source, const Target& target);
    // Columns [from, to) of the stale span of row r, brought over into
    // `row` (the target's).
    void BringOver(uint32_t* row, int32_t r, int32_t from, int32_t to) const;
    // The same for chunks [from, to) the sweep leaves as they are, except
    // where the target showed its own source piece already.
    void BringOverChunks(uint32_t* row, int32_t r, int32_t from, int32_t to) const;
    // The lag of the rows no sweep draws, brought over, and then forgotten.
    void BringOverEdges();
    void EndLag();
    int Bands(int threads, int32_t minRows);
    void Split(int bands, int32_t* begins) const;

    void Fill(const RowView& v, int32_t k);
    void FillRow(const RowView& v);
    // Chunks [from, to) written out, as far as they exist.
    void FillRange(const RowView& v, int32_t from, int32_t to)
    {
        if (from < v.stale->hi && v.stale->lo < to)
            FillRangeStale(v, from, to);
    }
    // The chunks [from, to) written out, and of the chunks beside them the
    // column next to them, as far as they exist: what a stencil over the
    // chunks reads.
    void FillAround(const RowView& v, int32_t from, int32_t to)
    {
        if (from - 1 < v.stale->hi && v.stale->lo < to + 1)
            FillAroundStale(v, from, to);
    }
    void FillRangeStale(const RowView& v, int32_t from, int32_t to);
    void FillAroundStale(const RowView& v, int32_t from, int32_t to);
    void AddDropRow(const RowView& v, int32_t row, const fast::RowDrop& drop, fast::SpanBuffer& spans);
    // Per chunk, the value of the row over it and the chunks beside it, or
    // kNone; whether any chunk has one.
    bool Levels(const RowView& v, bool sidesZero, int64_t* out);
    bool AnyUniform(const RowView& v) const;

    void CopyAside(Workspace& ws, int32_t row);
    void Run(Job& job, Workers& workers, void (*band)(void*, int));
    // One row of a step: the refraction of row r from field-1 rows `h` and
    // `below` (and `h2`, `below2` of an unseen step before), then the
    // propagation onto `n` from the read field's rows `o` (levels `lo`),
    // results to `out`, old values to `save` when not null.
    struct RowJob {
        int32_t r = 0;
        bool refract = false;
        RowView h = {};
        RowView below = {};
        const RowView* h2 = nullptr;
        const RowView* below2 = nullptr;
        bool propagate = false;
        // Whether `lo` gives any chunk a value.
        bool levels = true;
        const RowView* o = nullptr;
        const int64_t* const* lo = nullptr;
        RowView n = {};
        RowView out = {};
        const RowView* save = nullptr;
        int damping = 0;
        // Field-1 rows below this one may be read for guessing what a
        // later row's refraction will read (kAhead rows on); 0: none.
        int32_t aheadEnd = 0;
    };
    int32_t StepRow(Workspace& ws, const RowJob& job);
    static void StepBand(void* job, int band);
    static void PairBand(void* job, int band);
    void StepBandRun(const Job& job, int band);
    void PairBandRun(const Job& job, int band);
    void PairBorder(const Job& job, int band);

    const fast::Kernels* m_kernels = &fast::ScalarKernels();
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_chunk = 64;
    int32_t m_chunks = 0;
    void* m_blocks[2] = { nullptr, nullptr };
    int32_t* m_cells[2] = { nullptr, nullptr };
    std::vector<int32_t> m_values[2];
    std::vector<uint8_t> m_states[2];
    std::vector<StaleSpan> m_rowStale[2];
    bool m_sidesZero[2] = { true, true };
    // The maps describe memory only after a rescan.
    bool m_mapsValid = true;
    bool m_anyStale = false;

    // Per chunk of the target's rows: it shows the source pixels themselves.
    std::vector<uint8_t> m_flat;
    const uint32_t* m_flatSource = nullptr;
    Target m_flatTarget;
    // The same of the target before the last move, which nobody draws into
    // while another is the target (a compositor's buffers taken in turn).
    std::vector<uint8_t> m_flatOther;
    Target m_flatOtherTarget;
    // While a lag is brought over: the target's own map from before, where
    // it shows the source already and needs nothing brought over.
    std::vector<uint8_t> m_lagFlat;
    bool m_lagFlatKnown = false;
    // The picture of the sweep running.
    const uint32_t* m_source = nullptr;
    Target m_target;
    // What the next sweep's target lacks of the last frame (Lag).
    ptrdiff_t m_behind = 0;
    const Span* m_stale = nullptr;

    // Chunks computed per row by the last sweep, to share the work out.
    std::vector<int32_t> m_rowWork;
    // Written by the bands, each in rows of its own.
    std::vector<Span> m_drawn;
    std::vector<std::unique_ptr<Workspace>> m_work;
};

} // namespace ripple
