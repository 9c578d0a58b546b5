// Where the ripple engine draws its picture: memory of the caller's, with a
// row order and row pitch of its own (a bottom-up DIB, a top-down X
// shared-memory image, a Wayland buffer). The engine counts rows bottom-up,
// as its source picture does, and so does everything that talks of rows
// with it (the rows a step changed, the rows a buffer lacks): row r of the
// engine is at row0 + r * stride bytes. Memory that runs the other way says
// so here, once (TopDown); the lines a display server counts are the
// target's (RowAtLine). The source picture always keeps the engine's own
// layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ripple {

struct Target {
    // The pixel of engine row 0, column 0.
    uint32_t* row0 = nullptr;
    // Bytes from one engine row to the next; negative for top-down memory.
    ptrdiff_t stride = 0;
    int32_t height = 0;
    // Or-ed into every pixel the engine writes (an alpha byte the display
    // wants); pixels the engine leaves alone keep whatever they hold.
    uint32_t fill = 0;

    uint32_t* Row(int32_t r) const
    {
        return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(row0) + static_cast<ptrdiff_t>(r) * stride);
    }

    // The engine row held by `line` of the memory, lines counted from the
    // lowest address (which a display server shows at the top); the other
    // way round too, as the pairing is its own inverse.
    int32_t RowAtLine(int32_t line) const { return stride < 0 ? height - 1 - line : line; }

    // The engine's own layout: rows bottom-up without gaps.
    static Target BottomUp(uint32_t* pixels, int32_t width, int32_t height)
    {
        Target t;
        t.row0 = pixels;
        t.stride = static_cast<ptrdiff_t>(width) * 4;
        t.height = height;
        return t;
    }

    // Memory whose first row is the picture's top row, `pitch` bytes apart.
    static Target TopDown(void* firstRow, int32_t height, ptrdiff_t pitch, uint32_t fill = 0)
    {
        Target t;
        t.row0 = reinterpret_cast<uint32_t*>(static_cast<char*>(firstRow) + static_cast<ptrdiff_t>(height - 1) * pitch);
        t.stride = -pitch;
        t.height = height;
        t.fill = fill;
        return t;
    }

    bool operator==(const Target& o) const
    {
        return row0 == o.row0 && stride == o.stride && height == o.height && fill == o.fill;
    }
    bool operator!=(const Target& o) const { return !(*this == o); }
};

// Columns [first, end) of one row; empty when first >= end.
struct Span {
    int32_t first = 0;
    int32_t end = 0;

    bool Empty() const { return first >= end; }
    void Add(int32_t a, int32_t b)
    {
        if (a >= b)
            return;
        if (Empty()) {
            first = a;
            end = b;
        } else {
            first = a < first ? a : first;
            end = b > end ? b : end;
        }
    }
    void Add(const Span& o) { Add(o.first, o.end); }
};

// The columns rows[r] of each engine row r, copied from one target into
// another of the same height.
inline void CopySpans(const Target& from, const Target& to, const Span* rows)
{
    for (int32_t r = 0; r < to.height; ++r) {
        if (!rows[r].Empty())
            std::memcpy(to.Row(r) + rows[r].first, from.Row(r) + rows[r].first,
                static_cast<size_t>(rows[r].end - rows[r].first) * 4);
    }
}

} // namespace ripple
