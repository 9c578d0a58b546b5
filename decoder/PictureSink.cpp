#include "decoder/PictureSink.h"

#include "decoder/Decode.h"

#include "ripple/RippleTarget.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstdio>

namespace {

// What no row reached.
constexpr uint8_t kGrey = 0x80;

// c * a / 255, rounded.
inline uint32_t Over(uint32_t c, uint32_t a)
{
    const uint32_t t = c * a + 128;
    return (t + (t >> 8)) >> 8;
}

int Ceil(int a, int b)
{
    return (a + b - 1) / b;
}

} // namespace

bool CheckClaim(int width, int height, std::string& reason)
{
    char text[160];
    if (width <= 0 || height <= 0) {
        std::snprintf(text, sizeof text, "its header claims %dx%d pixels", width, height);
    } else if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxPicturePixels) {
        std::snprintf(text, sizeof text, "its header claims %dx%d pixels, more than the %llu (16384x16384) shown",
                      width, height, static_cast<unsigned long long>(kMaxPicturePixels));
    } else {
        return true;
    }
    reason = text;
    return false;
}

CPictureSink::CPictureSink(uint32_t* frame, int width, int height, uint64_t budget)
    : m_frame(frame), m_nWidth(width), m_nHeight(height), m_nBudget(budget)
{
}

CPictureSink::~CPictureSink()
{
    if (m_reduced)
        g_object_unref(m_reduced);
}

void CPictureSink::Needed(int orientation, int& width, int& height) const
{
    const bool swaps = orientation >= 5 && orientation <= 8;
    width = swaps ? m_nHeight : m_nWidth;
    height = swaps ? m_nWidth : m_nHeight;
}

bool CPictureSink::Begin(int ownWidth, int ownHeight, int rowsWidth, int rowsHeight, int orientation, bool topDown,
                         std::string& reason)
{
    if (!CheckClaim(ownWidth, ownHeight, reason))
        return false;
    if (rowsWidth <= 0 || rowsHeight <= 0) {
        reason = "it has no pixels";
        return false;
    }
    m_nOwnWidth = ownWidth;
    m_nOwnHeight = ownHeight;
    m_nRowsWidth = rowsWidth;
    m_nRowsHeight = rowsHeight;
    m_nOrientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
    m_bSwaps = m_nOrientation >= 5;
    m_bTopDown = topDown;
    int needWidth = 0, needHeight = 0;
    Needed(m_nOrientation, needWidth, needHeight);
    // Rows in order are reduced to no less than the frame needs; rows in
    // any order are held whole, so to no more.
    m_fx = std::max(1, topDown ? rowsWidth / needWidth : Ceil(rowsWidth, needWidth));
    m_fy = std::max(1, topDown ? rowsHeight / needHeight : Ceil(rowsHeight, needHeight));
    m_nReducedWidth = Ceil(rowsWidth, m_fx);
    m_nReducedHeight = Ceil(rowsHeight, m_fy);

    const uint64_t reduced = static_cast<uint64_t>(m_nReducedWidth) * static_cast<uint64_t>(m_nReducedHeight) * 3;
    const uint64_t cells = (topDown ? 1 : static_cast<uint64_t>(m_nReducedHeight)) * static_cast<uint64_t>(m_nReducedWidth)
                           * sizeof(Cell);
    const uint64_t stretched = static_cast<uint64_t>(m_nWidth) * static_cast<uint64_t>(m_nHeight) * 3;
    char text[200];
    const uint64_t needs = reduced * (m_nOrientation == 1 ? 1 : 2) + cells + stretched;
    if (needs > m_nBudget) {
        std::snprintf(text, sizeof text, "its %dx%d pixels need %s to be shown, more than the %s its decoder may take",
                      ownWidth, ownHeight, Megabytes(needs).c_str(), Megabytes(m_nBudget).c_str());
        reason = text;
        return false;
    }
    m_reduced = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, m_nReducedWidth, m_nReducedHeight);
    if (!m_reduced) {
        reason = "not enough memory to decode it";
        return false;
    }
    gdk_pixbuf_fill(m_reduced, static_cast<guint32>(kGrey) << 24 | static_cast<guint32>(kGrey) << 16 | kGrey << 8 | 0xFF);
    m_cells.assign(topDown ? static_cast<size_t>(m_nReducedWidth) : static_cast<size_t>(m_nReducedWidth) * static_cast<size_t>(m_nReducedHeight),
                   Cell{0, 0, 0, 0});
    return true;
}

template <PixelLayout layout>
constexpr int kPixelBytes = layout == PixelLayout::Grey ? 1 : layout == PixelLayout::GreyAlpha ? 2 : layout == PixelLayout::Rgb ? 3 : 4;

// One pixel's colour over black, added.
template <PixelLayout layout>
inline void Take(const uint8_t* p, uint32_t& r, uint32_t& g, uint32_t& b)
{
    if constexpr (layout == PixelLayout::Grey) {
        r += p[0];
        g += p[0];
        b += p[0];
    } else if constexpr (layout == PixelLayout::GreyAlpha) {
        const uint32_t v = Over(p[0], p[1]);
        r += v;
        g += v;
        b += v;
    } else if constexpr (layout == PixelLayout::Rgba) {
        const uint32_t a = p[3];
        r += a == 255 ? p[0] : Over(p[0], a);
        g += a == 255 ? p[1] : Over(p[1], a);
        b += a == 255 ? p[2] : Over(p[2], a);
    } else {
        r += p[0];
        g += p[1];
        b += p[2];
    }
}

template <PixelLayout layout>
void CPictureSink::Add(Cell* cells, int x0, int step, const uint8_t* pixels, int count)
{
    constexpr int size = kPixelBytes<layout>;
    int x = x0;
    const int end = x0 + count * step;
    int cell = x / m_fx;
    int next = (cell + 1) * m_fx;
    while (x < end) {
        // The pixels of one cell at a time.
        uint32_t r = 0, g = 0, b = 0, n = 0;
        for (; x < next && x < end; x += step, pixels += size, ++n)
            Take<layout>(pixels, r, g, b);
        Cell& c = cells[cell];
        c.r += r;
        c.g += g;
        c.b += b;
        c.n += n;
        cell = x / m_fx;
        next = (cell + 1) * m_fx;
    }
}

void CPictureSink::Pixels(int y, int x0, int step, const uint8_t* pixels, int count, PixelLayout layout)
{
    if (!m_reduced || y < 0 || y >= m_nRowsHeight || x0 < 0 || step < 1 || count <= 0)
        return;
    count = std::min(count, Ceil(m_nRowsWidth - x0, step));
    if (count <= 0)
        return;
    const int row = y / m_fy;
    Cell* cells = m_cells.data();
    if (m_bTopDown) {
        // A row above the one held came too late: it is left out.
        if (row < m_nCellRow)
            return;
        if (row > m_nCellRow) {
            if (m_nCellRow >= 0)
                Flush(cells, m_nCellRow);
            std::fill(m_cells.begin(), m_cells.end(), Cell{0, 0, 0, 0});
            m_nCellRow = row;
        }
    } else {
        cells += static_cast<size_t>(row) * static_cast<size_t>(m_nReducedWidth);
    }
    switch (layout) {
    case PixelLayout::Grey:
        Add<PixelLayout::Grey>(cells, x0, step, pixels, count);
        break;
    case PixelLayout::GreyAlpha:
        Add<PixelLayout::GreyAlpha>(cells, x0, step, pixels, count);
        break;
    case PixelLayout::Rgb:
        Add<PixelLayout::Rgb>(cells, x0, step, pixels, count);
        break;
    case PixelLayout::Rgba:
        Add<PixelLayout::Rgba>(cells, x0, step, pixels, count);
        break;
    case PixelLayout::RgbaPremultiplied:
        Add<PixelLayout::RgbaPremultiplied>(cells, x0, step, pixels, count);
        break;
    }
    m_bAny = true;
}

void CPictureSink::Flush(const Cell* cells, int row)
{
    guchar* to = gdk_pixbuf_get_pixels(m_reduced) + static_cast<size_t>(row) * static_cast<size_t>(gdk_pixbuf_get_rowstride(m_reduced));
    for (int x = 0; x < m_nReducedWidth; ++x, to += 3) {
        const Cell& c = cells[x];
        if (c.n == 0)
            continue;
        const uint32_t half = c.n / 2;
        to[0] = static_cast<guchar>((c.r + half) / c.n);
        to[1] = static_cast<guchar>((c.g + half) / c.n);
        to[2] = static_cast<guchar>((c.b + half) / c.n);
    }
}

bool CPictureSink::Finish(std::string& reason)
{
    if (!m_reduced) {
        reason = "it has no pixels";
        return false;
    }
    if (m_bTopDown) {
        if (m_nCellRow >= 0)
            Flush(m_cells.data(), m_nCellRow);
    } else {
        for (int row = 0; row < m_nReducedHeight; ++row)
            Flush(m_cells.data() + static_cast<size_t>(row) * static_cast<size_t>(m_nReducedWidth), row);
    }
    std::vector<Cell>().swap(m_cells);

    GdkPixbuf* upright = nullptr;
    if (m_nOrientation == 1) {
        upright = static_cast<GdkPixbuf*>(g_object_ref(m_reduced));
    } else {
        const std::string value = std::to_string(m_nOrientation);
        gdk_pixbuf_set_option(m_reduced, "orientation", value.c_str());
        upright = gdk_pixbuf_apply_embedded_orientation(m_reduced);
    }
    g_object_unref(m_reduced);
    m_reduced = nullptr;
    if (!upright) {
        reason = "not enough memory to turn it upright";
        return false;
    }
    GdkPixbuf* shown = upright;
    if (gdk_pixbuf_get_width(upright) != m_nWidth || gdk_pixbuf_get_height(upright) != m_nHeight) {
        shown = gdk_pixbuf_scale_simple(upright, m_nWidth, m_nHeight, GDK_INTERP_BILINEAR);
        g_object_unref(upright);
        if (!shown) {
            reason = "not enough memory to scale it";
            return false;
        }
    }
    // gdk-pixbuf's rows run from the top, the frame's from the bottom.
    const ripple::Target rows = ripple::Target::TopDown(gdk_pixbuf_get_pixels(shown), m_nHeight, gdk_pixbuf_get_rowstride(shown));
    for (int r = 0; r < m_nHeight; ++r) {
        const guchar* from = reinterpret_cast<const guchar*>(rows.Row(r));
        uint32_t* to = m_frame + static_cast<size_t>(r) * static_cast<size_t>(m_nWidth);
        for (int x = 0; x < m_nWidth; ++x, from += 3)
            to[x] = static_cast<uint32_t>(from[0]) << 16 | static_cast<uint32_t>(from[1]) << 8 | from[2];
    }
    g_object_unref(shown);
    return true;
}
