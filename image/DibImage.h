// CDibImage: one picture as a DIB section whose pixels the program reads and
// writes directly and draws in one call, with the palette used on
// palette-based displays.
#pragma once

#include <ole2.h>
#include <olectl.h>

#include "framework/AfxWin.h"
#include "image/DibGeometry.h"

// Columns [left, right) of the scans [first, end): an image's rows in the
// order of its pixel memory, scan 0 at the lowest address, which a bottom-up
// image shows at the bottom and a top-down one at the top.
struct DibPart {
    int left = 0;
    int right = 0;
    int first = 0;
    int end = 0;

    bool Empty() const { return left >= right || first >= end; }
};

class CDibImage : public CObject {
public:
    CDibImage();
    ~CDibImage() override;

    void Clear();
    BOOL CreateFromHeader(const BITMAPINFO* header, const void* pixels);
    BOOL BuildPalette();
    // A width x height 32-bit image of the picture rendered at that size.
    void CreateFromPicture(IPicture* picture, int width, int height);
    // The same header, palette and pixels as `other`; FALSE, leaving this
    // object empty, when `other` is empty or no section can be made.
    BOOL CopyFrom(const CDibImage& other);
    // The image with its top-left corner at (x, y). Returns the scan lines
    // drawn; 0 when the object is empty.
    int Paint(CDC* dc, int x, int y, BOOL forceBackground);
    // Only `part` of it, cut to the image, where it lies in the image drawn
    // at (x, y). An empty part draws nothing, in one call all the same.
    int Paint(CDC* dc, int x, int y, BOOL forceBackground, const DibPart& part);
    void* GetBits() const { return m_pPixels; }

    const BITMAPINFOHEADER& Header() const { return m_info.header; }
    HPALETTE Palette() const { return m_palette; }

private:
    struct Info {
        BITMAPINFOHEADER header;
        RGBQUAD colors[256];
    };

    HBITMAP m_hSection = nullptr;
    Info m_info;
    void* m_pPixels = nullptr;
    UINT m_colorUse = DIB_RGB_COLORS;
    int m_colorCount = 0;
    CPalette m_palette;
};

BOOL MakeDefaultPalette(CPalette& palette, int count);

// Whether one GetDIBits of a bitmap in the screen's format gives, for every
// colour such a bitmap holds, the word that one GetPixel a pixel gives; when
// it does, CreateFromPicture reads its pixels in one call.
bool BlockReadMatchesPixelRead(HDC screen);
