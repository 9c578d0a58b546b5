// Which parts of the desktop the show covers in black beside its own window:
// every monitor's area that the show window leaves uncovered. Platform-free;
// the full-screen window feeds it the monitors the system enumerates.
#pragma once

#include <vector>

// A rectangle in screen coordinates, right and bottom exclusive.
struct ScreenRect {
    int left;
    int top;
    int right;
    int bottom;

    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const ScreenRect& other) const
    {
        return left == other.left && top == other.top && right == other.right && bottom == other.bottom;
    }
};

// The rectangles to cover, in the monitors' order, each once. A monitor
// apart from the show window is covered whole and the monitor the show
// window fills gets nothing, so with ordinary layouts this is one rectangle
// per monitor other than the primary. A monitor that overlaps the show
// window only in part (a mirror of another size, a primary grown since the
// show began) gets the bands around the overlap, so that no cover ever hides
// the show.
std::vector<ScreenRect> CoverRects(const ScreenRect& show, const std::vector<ScreenRect>& monitors);
