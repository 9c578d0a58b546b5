#include "app/MonitorCovers.h"

#include <algorithm>

namespace {

void AddOnce(std::vector<ScreenRect>& rects, const ScreenRect& rect)
{
    if (!rect.IsEmpty() && std::find(rects.begin(), rects.end(), rect) == rects.end())
        rects.push_back(rect);
}

} // namespace

std::vector<ScreenRect> CoverRects(const ScreenRect& show, const std::vector<ScreenRect>& monitors)
{
    std::vector<ScreenRect> covers;
    for (const ScreenRect& monitor : monitors) {
        const ScreenRect common = {std::max(monitor.left, show.left), std::max(monitor.top, show.top),
                                   std::min(monitor.right, show.right), std::min(monitor.bottom, show.bottom)};
        if (common.IsEmpty()) {
            AddOnce(covers, monitor);
            continue;
        }
        // Full-width bands above and below the overlap, then the pieces
        // left and right of it.
        AddOnce(covers, {monitor.left, monitor.top, monitor.right, common.top});
        AddOnce(covers, {monitor.left, common.bottom, monitor.right, monitor.bottom});
        AddOnce(covers, {monitor.left, common.top, common.left, common.bottom});
        AddOnce(covers, {common.right, common.top, monitor.right, common.bottom});
    }
    return covers;
}
