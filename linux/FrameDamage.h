// What changed of a frame, in the forms the display servers take it: the
// scene's span of columns per engine row merged into a few rectangles of an
// image's lines for the X server's puts and the compositor's damage, and
// the changes an image missed, added up over the frames drawn elsewhere (a
// Wayland buffer the compositor held). Free of any display server.
#pragma once

#include "ripple/RippleTarget.h"

#include <vector>

struct DamageRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Rectangles of the lines of `image` that together cover the span of every
// engine row of `rows` (image.height of them), each row's span inside one
// of them, lines in order, at most `most` of them (at least 1). A rectangle
// takes in the next line while the pixels it covers beyond the spans stay
// under a quarter of those.
void DamageRects(const ripple::Span* rows, const ripple::Target& image, int most, std::vector<DamageRect>& out);

// Per engine row, the columns an image lacks of the latest frame.
class CRowDamage {
public:
    // `height` rows, every pixel of `width` columns missing or none.
    void Reset(int height, int width, bool all);
    void Add(const ripple::Span* rows);
    void Clear();
    const ripple::Span* Rows() const { return m_rows.data(); }
    bool Empty() const { return !m_bAny; }

private:
    std::vector<ripple::Span> m_rows;
    bool m_bAny = false;
};
