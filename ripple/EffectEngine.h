// The water ripple engine: two fields of integer heights, one value per
// screen pixel, waves spreading over them and dying away, and the picture
// drawn refracted and shaded through the surface at every step.
// Pixels are 0x00RRGGBB words, rows bottom-up without gaps; the value for
// memory row r and column c has index r * width + c.
#pragma once

#include "ripple/RippleDrops.h"
#include "ripple/RippleKernels.h"
#include "ripple/RippleWorkers.h"

#include <cstdint>
#include <memory>

class CEffectEngine {
public:
    CEffectEngine();
    virtual ~CEffectEngine();
    CEffectEngine(const CEffectEngine&) = delete;
    CEffectEngine& operator=(const CEffectEngine&) = delete;

    // Flat water of width x height, page 0. Returns false, leaving the engine
    // empty (0 x 0, no fields), for negative sizes, sizes whose bytes do not
    // fit in an int, or when memory runs out. At the size it has, it keeps
    // its fields and clears them.
    bool Create(int width, int height);
    // Refraction of `source` into `target` (skipped when either is null),
    // propagation on the current page, page flip. Does nothing when empty.
    void Step(const uint32_t* source, uint32_t* target);
    void AddCosineDrop(int x, int y, int radius, int height, int page);
    void AddConeDrop(int x, int y, int radius, int height, int page);
    int GetPage() const { return m_page; }
    void Propagate(int page, int damping);
    static uint32_t ShadeColor(uint32_t color, int amount);

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    // Field 1 or 2 (null when empty), for inspection and for setting up states.
    int32_t* GetHeights(int field);
    const int32_t* GetHeights(int field) const;

    // The computation path; the best one the processor supports by default.
    // Returns false, keeping the current path, when the processor lacks it.
    bool SetPath(ripple::RipplePath path);
    ripple::RipplePath GetPath() const { return m_path; }

    // How many threads a step may use, the caller's included; 0 (the
    // default) is one per processor. The SIMD paths split a step into that
    // many bands of rows (fewer on fields with fewer interior rows); the
    // other paths always run on the caller. Threads are started at the first
    // step that needs them and live as long as the engine.
    void SetThreads(int threads);
    int GetThreads() const;
    // Width in columns of the strips in which a band walks its rows, so that
    // the picture rows its refraction reaches stay cached; 0 walks whole rows.
    void SetStripWidth(int columns);
    int GetStripWidth() const { return m_strip; }

private:
    void Release();
    ripple::FieldPair Fields() const;
    // A cosine drop on the field the next step writes waits for that step,
    // which adds it row by row as it goes instead of in a pass of its own.
    // Everything else that touches the fields adds it first.
    void AddPendingDrop() const;
    static void AddPendingDropRow(const void* engine, int32_t row);
    // The fast step (or, without pictures, the propagation) in bands.
    void StepFast(const uint32_t* source, uint32_t* target, int page, int damping,
        const ripple::fast::RowAdder* rows);
    int BandCount() const;
    bool ReserveAside(int bands);
    static void StepBandPart(void* job, int band);

    int m_width;
    int m_height;
    int m_page;
    int m_damping;
    int32_t* m_heights1;
    int32_t* m_heights2;
    ripple::fast::DropScratch m_scratch;
    ripple::fast::CosineDropPlan m_pendingDrop;
    mutable bool m_dropPending;
    ripple::RipplePath m_path;
    int m_threads;  // never 0: the processors' count unless set
    int m_strip;
    // Row `begin` of each band after the first, set aside on page 0.
    std::unique_ptr<int32_t[]> m_aside;
    int m_asideRows;
    ripple::Workers m_workers;
};
