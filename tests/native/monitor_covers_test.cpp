#include "app/MonitorCovers.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

void PrintTo(const ScreenRect& r, std::ostream* os)
{
    *os << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}

namespace {

using Rects = std::vector<ScreenRect>;

const ScreenRect kPrimary = {0, 0, 800, 600};

bool Contains(const ScreenRect& r, int x, int y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Every pixel of every monitor lies under the show window or under a cover,
// and no cover reaches into the show window or off the monitors.
void ExpectExactCover(const ScreenRect& show, const Rects& monitors, const Rects& covers)
{
    for (const ScreenRect& m : monitors) {
        for (int y = m.top; y < m.bottom; ++y) {
            for (int x = m.left; x < m.right; ++x) {
                int under = 0;
                for (const ScreenRect& c : covers)
                    under += Contains(c, x, y) ? 1 : 0;
                if (Contains(show, x, y))
                    ASSERT_EQ(under, 0) << "a cover hides the show at " << x << "," << y;
                else
                    ASSERT_GE(under, 1) << "uncovered at " << x << "," << y;
            }
        }
    }
    for (const ScreenRect& c : covers) {
        EXPECT_FALSE(c.IsEmpty());
        for (int y = c.top; y < c.bottom; ++y)
            for (int x = c.left; x < c.right; ++x) {
                bool onMonitor = false;
                for (const ScreenRect& m : monitors)
                    onMonitor = onMonitor || Contains(m, x, y);
                ASSERT_TRUE(onMonitor) << "a cover off every monitor at " << x << "," << y;
            }
    }
}

TEST(CoverRects, OneMonitorGetsNoCover)
{
    EXPECT_TRUE(CoverRects(kPrimary, {kPrimary}).empty());
    EXPECT_TRUE(CoverRects(kPrimary, {}).empty());
}

TEST(CoverRects, EveryMonitorButThePrimaryIsCoveredWhole)
{
    const ScreenRect right = {800, 0, 1440, 480};
    EXPECT_EQ(CoverRects(kPrimary, {kPrimary, right}), Rects{right});
    // The system lists the monitors in any order; the covers keep it.
    const ScreenRect below = {0, 600, 1024, 1368};
    EXPECT_EQ(CoverRects(kPrimary, {below, kPrimary, right}), (Rects{below, right}));
}

TEST(CoverRects, MonitorsLeftOfOrAboveThePrimaryHaveNegativeCoordinates)
{
    const ScreenRect left = {-1280, -200, 0, 824};
    const ScreenRect above = {0, -768, 1024, 0};
    const ScreenRect diagonal = {-640, -480, 0, 0};
    EXPECT_EQ(CoverRects(kPrimary, {left, above, kPrimary, diagonal}), (Rects{left, above, diagonal}));
}

TEST(CoverRects, MonitorsTouchingThePrimaryAtAnEdgeOrCornerAreCoveredWhole)
{
    // Right and bottom are exclusive: sharing the line x = 800 is no overlap.
    const Rects monitors = {kPrimary, {800, 599, 900, 700}, {-100, 600, 0, 700}, {0, -1, 800, 0}};
    EXPECT_EQ(CoverRects(kPrimary, monitors), Rects(monitors.begin() + 1, monitors.end()));
}

TEST(CoverRects, MirroredAndRepeatedMonitorsGetOneCoverOrNone)
{
    // Monitors that show the primary's pixels again lie within the show.
    EXPECT_TRUE(CoverRects(kPrimary, {kPrimary, {0, 0, 640, 480}, kPrimary}).empty());
    const ScreenRect right = {800, 0, 1440, 480};
    EXPECT_EQ(CoverRects(kPrimary, {kPrimary, right, right}), Rects{right});
}

TEST(CoverRects, EmptyMonitorsAreSkipped)
{
    EXPECT_TRUE(CoverRects(kPrimary, {kPrimary, {900, 0, 900, 480}, {900, 10, 1000, 5}}).empty());
}

TEST(CoverRects, TheUncoveredPartOfAPartlyOverlappingMonitorIsCovered)
{
    // A larger mirror of the primary: the part beyond the show, right and
    // below, in two bands.
    const ScreenRect mirror = {0, 0, 1024, 768};
    EXPECT_EQ(CoverRects(kPrimary, {mirror}), (Rects{{0, 600, 1024, 768}, {800, 0, 1024, 600}}));

    const ScreenRect show = {0, 0, 40, 30};
    const Rects layouts[] = {
        {{-10, -10, 50, 40}},  // all around the show
        {{20, -5, 30, 50}},    // across the top and bottom edges
        {{-5, 10, 60, 20}},    // across the left and right edges
        {{10, 10, 60, 20}, {30, 25, 45, 35}},
        {show, {40, 0, 70, 20}, {-20, 25, 10, 45}},
    };
    for (const Rects& monitors : layouts) {
        SCOPED_TRACE(::testing::PrintToString(monitors));
        ExpectExactCover(show, monitors, CoverRects(show, monitors));
    }
    ExpectExactCover(kPrimary, {mirror}, CoverRects(kPrimary, {mirror}));
}

} // namespace
