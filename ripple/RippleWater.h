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

    // One row of a step: the refraction of row r from field-1 rows `h` and
    // `below` (and `h2`, `below2` of an unseen step before, when they have
    // cells), then the propagation onto `n` from the read field's rows `o`
    // (levels `lo`), results to `out`, old values to `save` when it has
    // cells.
    struct RowJob {
        explicit RowJob(int32_t row) : r(row) {}
        void Refraction(const RowView& row, const RowView& next, int32_t ahead)
        {
            refract = true;
            h = row;
            below = next;
            aheadEnd = ahead;
        }
        void Unseen(const RowView& row, const RowView& next)
        {
            h2 = row;
            below2 = next;
        }

        int32_t r;
        bool refract = false;
        RowView h = {};
        RowView below = {};
        RowView h2 = {};
        RowView below2 = {};
        // Field-1 rows below this one may be read for guessing what a
        // later row's refraction will read (kAhead rows on); 0: none.
        int32_t aheadEnd = 0;
        bool propagate = false;
        // Whether `lo` gives any chunk a value.
        bool levels = true;
        RowView o[3] = {};
        const int64_t* lo[3] = {};
        RowView n = {};
        RowView out = {};
        RowView save = {};
        int damping = 0;
    };

    // A sweep about to start: false when there is none to make (too few
    // rows or columns); else the maps are made valid and the picture set up.
    bool BeginSweep(const uint32_t* source, const Target& target);
    Job Plan(int page, int damping, const fast::RowDrop* drop, const fast::RowDrop* second, bool pictures,
        int threads);
    void Run(Job& job, Workers& workers, void (*band)(void*, int));
    Workspace& BeginBand(int band);
    void CopyAside(Workspace& ws, int32_t row);
    // Sets `j` to propagate onto `written` from `rows` (rows r - 1 to r + 1
    // of field `field`), whose levels the band keeps in slots `slots` to
    // `slots` + 2 while it passes them.
    void Propagation(Workspace& ws, RowJob& j, int slots, int field, const RowView (&rows)[3],
        const RowView& written, int damping);

    // The row's chunks through the step, each as little as it needs; the
    // chunks computed.
    int32_t StepRow(Workspace& ws, const RowJob& job);
    // What each chunk of the row needs (Workspace::kinds), and where the
    // chunks that show a piece of one source row take it from.
    void MarkPropagation(Workspace& ws, const RowJob& j);
    void MarkRefraction(Workspace& ws, const RowJob& j, const uint8_t* flat);
    fast::RefractRow RefractionOf(const RowJob& j) const;
    fast::PropagateRow PropagationOf(const RowJob& j) const;
    // Chunks [a, b) of the row, all needing the same: what the refraction
    // reads written out; the pieces of source rows copied; the propagation
    // by the kernels (with the refraction, when `refract`), then which
    // chunks came out one value; the propagation of quiet chunks, whose
    // values alone change.
    void ReadyToRefract(const RowJob& j, int32_t a, int32_t b);
    void CopyPieces(const Workspace& ws, uint32_t* target, int32_t r, int32_t a, int32_t b, uint8_t* flat);
    void PropagateByKernel(const RowJob& j, const fast::RefractRow& q, const fast::PropagateRow& p, bool refract,
        int32_t a, int32_t b);
    void PropagateQuiet(const RowJob& j, int32_t a, int32_t b);

    static void StepBand(void* job, int band);
    static void PairBand(void* job, int band);
    void StepBandRun(const Job& job, int band);
    // The two steps' rows of a band: the first step's propagation of row r,
    // the second step's row q (its refraction, and its propagation unless
    // that waits for the band next to it).
    void PairBandRun(const Job& job, int band);
    void PairFirst(Workspace& ws, const Job& job, int band, int32_t r);
    void PairSecond(Workspace& ws, const Job& job, int band, int32_t q, bool propagate);
    void SecondPropagation(Workspace& ws, const Job& job, RowJob& j, const RowView (&rows)[3]);
    // Field-1 rows as a band of two steps sees them: the first step's new
    // values (its first row kept aside), and the old ones (kept in a ring).
    RowView NewField1(Workspace& ws, const Job& job, int band, int32_t row);
    RowView OldField1(Workspace& ws, const Job& job, int band, int32_t row);
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
