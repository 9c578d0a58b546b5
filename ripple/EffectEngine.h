// The water ripple engine: two fields of integer heights, one value per
// screen pixel, waves spreading over them and dying away, and the picture
// drawn refracted and shaded through the surface at every step.
// Pixels are 0x00RRGGBB words. The source picture's rows are bottom-up
// without gaps: the value for memory row r and column c has index
// r * width + c, in the fields as in the source. The picture is drawn into
// a target of the caller's layout (ripple::Target), by default the same.
//
// The target is the engine's: between steps it must keep what the engine
// drew, since a step leaves some pixels as they were. Where the water is
// flat and the target already shows the source there, a step draws nothing;
// after anything else has drawn into the target, call ForgetTarget. A
// source or target other than the last step's is not trusted to show
// anything. A target whose rows overlap each other or the source is drawn
// in the reference's order.
#pragma once

#include "ripple/RippleDrops.h"
#include "ripple/RippleKernels.h"
#include "ripple/RippleReference.h"
#include "ripple/RippleTarget.h"
#include "ripple/RippleWater.h"
#include "ripple/RippleWorkers.h"

#include <cstdint>
#include <vector>

class CEffectEngine {
public:
    CEffectEngine();
    virtual ~CEffectEngine();
    CEffectEngine(const CEffectEngine&) = delete;
    CEffectEngine& operator=(const CEffectEngine&) = delete;

    // Flat water of width x height, page 0. Returns false, leaving the engine
    // empty (0 x 0, no fields), for negative sizes, sizes whose bytes do not
    // fit in an int, or when memory runs out. At the size it has, it keeps
    // its fields and flattens them.
    bool Create(int width, int height);
    // Refraction of `source` into the target (skipped when source or target
    // is null), propagation on the current page, page flip. Does nothing
    // when empty.
    void Step(const uint32_t* source, uint32_t* target);
    void Step(const uint32_t* source, const ripple::Target& target);
    // A step whose picture nobody looks at: the same as Step, except that
    // the picture may be drawn only by the next call that needs it. A Step
    // on page 1 with the same source and target right after it (drops on
    // page 1 may come between) computes both steps in one pass over the
    // water and draws only the pixels of the first step's picture that the
    // second one leaves. Anything else first runs the waiting step in full.
    void StepUnseen(const uint32_t* source, const ripple::Target& target);
    // Runs a step left waiting by StepUnseen, if any (everything that needs
    // the water or the target does so first, which is why the accessors
    // below that look at either are not const); one still waiting when the
    // engine is destroyed is never drawn.
    void CatchUp();
    void AddCosineDrop(int x, int y, int radius, int height, int page);
    void AddConeDrop(int x, int y, int radius, int height, int page);
    int GetPage() const { return m_page; }
    void Propagate(int page, int damping);
    static uint32_t ShadeColor(uint32_t color, int amount);

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    // Field 1 or 2 (null when empty), after any step left waiting, with
    // every value in memory. GetHeights hands the field out for writing
    // (until the next call), after which the engine looks at it afresh;
    // ReadHeights only for reading, so what the engine knows of quiet
    // water stays.
    int32_t* GetHeights(int field);
    const int32_t* ReadHeights(int field);

    // The target may not show what the engine drew last: the next step
    // draws every pixel it reaches.
    void ForgetTarget();
    // Draws `source` into `target` as still water shows it (the edges, which
    // steps never draw, as they are), with the target's fill; the next steps
    // draw nothing where the water stays still. False, drawing nothing,
    // without fields.
    bool DrawStill(const uint32_t* source, const ripple::Target& target);
    // The target moved: `target` holds what the last one did (the same
    // pixels, with the same fill), and the next steps may draw into it as
    // if it were the last one.
    void MoveTarget(const ripple::Target& target);
    // The target moved to memory that lacks part of what the last one,
    // `last` (the same layout and fill), holds: columns stale[r] of each
    // engine row r (Height() of them); what is known of `last` holds for
    // `target` if `last` was the target of the last step. The next step
    // that draws brings them over as it goes, copying only what it does not
    // draw anyway; anything else that needs the target first copies them.
    // An empty engine, which knows no rows, leaves the copy to the caller.
    void MoveTarget(const ripple::Target& target, const ripple::Target& last, const ripple::Span* stale);
    // Whatever the target still lacks of the last one, copied now.
    void BringOver();

    // Per row (engine rows, bottom-up; null when empty), the columns of the
    // target that steps may have changed since the last ClearDrawn: what a
    // display has to take again of the frame. Runs a step left waiting.
    const ripple::Span* Drawn();
    void ClearDrawn();

    // The computation path; the best one the processor supports by default.
    // Returns false, keeping the current path, when the processor lacks it.
    bool SetPath(ripple::RipplePath path);
    ripple::RipplePath GetPath() const { return m_path; }

    // How many threads a step may use, the caller's included; 0 is one per
    // processor (the default). A step is split into that many bands of rows
    // (fewer on fields with few rows), shared out by the work the last step
    // found in them. Threads are started at the first step that needs them,
    // wait without spinning, and live as long as the engine; the count may
    // change before any step.
    void SetThreads(int threads);
    int GetThreads() const;
    // Width in columns of the strips of each row in which the engine keeps
    // track of quiet water; 0 is the default.
    void SetStripWidth(int columns);
    int GetStripWidth() const { return m_strip; }

    // Strips the last step (or pair of steps) computed, out of Strips()
    // per row and step, for measuring.
    int64_t ComputedStrips() const { return m_water.ComputedChunks(); }
    int Strips() const { return m_water.Chunks(); }

private:
    void Release();
    ripple::FieldPair Fields();
    bool Overlap(const uint32_t* source, const ripple::Target& target) const;
    void AddDrop(bool cone, int x, int y, int radius, int height, int page);
    // Adds a drop left for the next step now.
    void AddPendingDrop();
    // Runs a waiting step, adds a waiting drop and writes every value out;
    // with `expose`, the fields may then be changed from outside.
    void Settle(bool expose);
    void RunStep(int page, const ripple::fast::RowDrop* drop, const uint32_t* source,
        const ripple::Target& target);
    // A step about to draw from `source` into `target`: the lag handed to
    // the sweep when it draws there, else brought over first.
    void HandOver(const uint32_t* source, const ripple::Target& target);

    int m_width;
    int m_height;
    int m_page;
    int m_damping;
    ripple::Water m_water;
    // The drop for the next step (slot m_next, when m_pending), that of a
    // step waiting (the other of the first two) and one being added at once.
    ripple::fast::RowDrop m_drops[3];
    int m_next;
    bool m_pending;
    struct Waiting {
        bool active = false;
        bool drop = false;
        const uint32_t* source = nullptr;
        ripple::Target target;
    };
    Waiting m_waiting;
    // What the target lacks of the last one (MoveTarget with a last).
    struct Lag {
        bool active = false;
        ripple::Target target;
        ripple::Target last;
        std::vector<ripple::Span> stale;
    };
    Lag m_lag;
    ripple::RipplePath m_path;
    int m_threads; // never 0: the processors' count unless set
    int m_strip;
    ripple::Workers m_workers;
};
