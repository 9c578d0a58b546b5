// Where a decoder puts the rows of a picture, and how the frame is made of
// them. Rows are reduced as they come, by whole factors, to a picture still
// at least as large as the frame (from rows that come in any order, such as
// interlaced ones, to one no larger than the frame, so that what is held
// stays small); once all came, that picture is turned upright by its
// orientation and stretched bilinearly over the frame. Transparent parts
// are over black; what no row reached is grey.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

typedef struct _GdkPixbuf GdkPixbuf;

// Pictures that claim more pixels are not decoded: 16384x16384, the largest
// screen X and the program take.
constexpr uint64_t kMaxPicturePixels = uint64_t(1) << 28;

// False, with the reason, for a picture whose header claims no pixels or
// more than kMaxPicturePixels.
bool CheckClaim(int width, int height, std::string& reason);

enum class PixelLayout {
    Grey,
    GreyAlpha,
    Rgb,
    Rgba,              // alpha not applied
    RgbaPremultiplied, // alpha applied to the colours
};

class CPictureSink {
public:
    // The frame: `width` x `height` 0x00RRGGBB pixels, rows bottom-up.
    // `budget`: the bytes the sink may take for what it holds.
    CPictureSink(uint32_t* frame, int width, int height, uint64_t budget);
    ~CPictureSink();
    CPictureSink(const CPictureSink&) = delete;
    CPictureSink& operator=(const CPictureSink&) = delete;

    // The size, as stored, that rows are needed at, for a picture of EXIF
    // `orientation`: decoders that can scale decode at no less.
    void Needed(int orientation, int& width, int& height) const;
    // The picture as stored: its own size, the size of the rows that will
    // come (smaller where its decoder scales), its EXIF orientation (1 to
    // 8), and whether rows come from the top down. False, with the reason,
    // for a picture of no pixels or more than kMaxPicturePixels, or when
    // what the sink would hold does not fit its budget.
    bool Begin(int ownWidth, int ownHeight, int rowsWidth, int rowsHeight, int orientation, bool topDown,
               std::string& reason);
    // `count` pixels of row `y` (from the top), at columns x0, x0 + step, ...
    void Pixels(int y, int x0, int step, const uint8_t* pixels, int count, PixelLayout layout);
    void Row(int y, const uint8_t* pixels, PixelLayout layout) { Pixels(y, 0, 1, pixels, m_nRowsWidth, layout); }
    // The data ended before the picture did.
    void SetIncomplete() { m_bIncomplete = true; }
    bool Incomplete() const { return m_bIncomplete; }
    // Any pixel came.
    bool Any() const { return m_bAny; }
    // The picture's own size, upright.
    int Width() const { return m_bSwaps ? m_nOwnHeight : m_nOwnWidth; }
    int Height() const { return m_bSwaps ? m_nOwnWidth : m_nOwnHeight; }

    // Makes the frame. False, with the reason, when memory fails.
    bool Finish(std::string& reason);

private:
    struct Cell {
        uint32_t r, g, b, n;
    };
    template <PixelLayout layout>
    void Add(Cell* cells, int x0, int step, const uint8_t* pixels, int count);
    // The reduced row `row` from its cells.
    void Flush(const Cell* cells, int row);

    uint32_t* m_frame;
    int m_nWidth;
    int m_nHeight;
    uint64_t m_nBudget;

    int m_nOwnWidth = 0;
    int m_nOwnHeight = 0;
    int m_nRowsWidth = 0;
    int m_nRowsHeight = 0;
    int m_nOrientation = 1;
    bool m_bSwaps = false;
    bool m_bTopDown = true;
    int m_fx = 1; // the reduction's factors
    int m_fy = 1;
    int m_nReducedWidth = 0;
    int m_nReducedHeight = 0;
    GdkPixbuf* m_reduced = nullptr;
    std::vector<Cell> m_cells; // one reduced row, or all of them
    int m_nCellRow = -1;       // the reduced row held, top-down
    bool m_bIncomplete = false;
    bool m_bAny = false;
};
