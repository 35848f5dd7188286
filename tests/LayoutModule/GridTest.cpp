// The grid: spacings that never come closer than 7.5 points in metric and
// imperial steps, main and sub lines counted from the grid's edge, culling
// by the dirty rectangle, snapping, and zooms from damaged files.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "LayoutView/Drawing/GridCalculationsHelper.h"
#include "LayoutView/Drawing/VKMGridPainter.h"
#include "platform/foundation/Locale.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"

namespace {

constexpr int kMillimetres = 1;
constexpr int kCentimetres = 2;
constexpr int kInches = 4;

// The alpha of the grid line at column x of row 5 (vertical lines only).
int AlphaAt(const platform::BitmapContext& canvas, int x) { return canvas.pixel(x, 5)->alpha; }

}  // namespace

TEST(Grid, SpacingsComeNoCloserThanSevenAndAHalfPoints) {
    struct Case {
        const char* name;
        double zoom;
        double spacing;
        int unitType;
        double expected;
    };
    const Case cases[] = {
        {"10 cm at zoom 1", 1.0, 10, kCentimetres, 100.0},
        {"10 cm at zoom 0.05 becomes 1 m", 0.05, 10, kCentimetres, 50.0},
        {"1 foot at zoom 0.02 grows by 12", 0.02, 12, kInches, 73.152},
        {"5 mm at zoom 2", 2.0, 5, kMillimetres, 10.0},
        // Zooms a file may carry outside the document's range are clamped
        // into it: 0.01 x 10 cm = 1 mm, grown to 10 points.
        {"zoom 0", 0.0, 10, kCentimetres, 10.0},
        {"negative zoom", -3.0, 10, kCentimetres, 10.0},
        {"zoom not a number", std::numeric_limits<double>::quiet_NaN(), 10, kCentimetres, 10.0},
        {"zoom above 12.5", 100.0, 10, kCentimetres, 1250.0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(GridCalculationsHelper::getDrawingSpacingForZoom(c.zoom, c.spacing, c.unitType), c.expected, 1e-9)
            << c.name;
    }
    int multiplier = 0;
    EXPECT_NEAR(GridCalculationsHelper::getNiceOnScreenSpacingFor(0.5, false, &multiplier), 6.0 * 12, 1e-12);
    EXPECT_EQ(multiplier, 12);
    EXPECT_EQ(GridCalculationsHelper::getNiceOnScreenSpacingFor(0.0, true), 0.0) << "nothing to grow";
}

TEST(Grid, PointsSnapToTheNearestCrossingHalvesAwayFromZero) {
    // 5 mm at zoom 2 is 10 points on screen: a step of 5 layout units.
    const CPoint a = GridCalculationsHelper::restrictPointToGrid(CPoint(12.4, 7.6, 3.0), 5, 2.0, kMillimetres);
    EXPECT_DOUBLE_EQ(a.x, 10.0);
    EXPECT_DOUBLE_EQ(a.y, 10.0);
    EXPECT_DOUBLE_EQ(a.z, 3.0);
    const CPoint b = GridCalculationsHelper::restrictPointToGrid(CPoint(12.5, -2.5), 5, 2.0, kMillimetres);
    EXPECT_DOUBLE_EQ(b.x, 15.0);
    EXPECT_DOUBLE_EQ(b.y, -5.0);
    // A zoom of 0 snaps at the smallest zoom's step and never divides by
    // zero: 5 mm x 0.01 = 0.05 points, grown to 50 points, / 0.01 = 5000.
    const CPoint c = GridCalculationsHelper::restrictPointToGrid(CPoint(2600, 400), 5, 0.0, kMillimetres);
    EXPECT_DOUBLE_EQ(c.x, 5000.0);
    EXPECT_DOUBLE_EQ(c.y, 0.0);
}

TEST(Grid, MainHalfAndSubLinesCountFromTheEdge) {
    struct Case {
        long long index;
        bool metric;
        double width;
    };
    const Case cases[] = {
        {0, true, 0.5},    {10, true, 0.5},   {20, true, 0.5},  {5, true, 0.25},  {15, true, 0.25},
        {3, true, 0.15},   {12, true, 0.15},  {0, false, 0.5},  {12, false, 0.5}, {6, false, 0.25},
        {18, false, 0.25}, {10, false, 0.15}, {5, false, 0.15},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(VKMGridPainter::lineWidthForSubMainTick(c.index, c.metric), c.width)
            << "line " << c.index << (c.metric ? " metric" : " imperial");
    }
}

TEST(Grid, MetricLinesEveryHundredPointsAtZoomOneInsideTheDirtyRectangleOnly) {
    platform::Locale::setCurrent("de_DE");
    const platform::Color black{0, 0, 0, 1};
    // Lines at x = -0.5, 99.5, 199.5, 299.5: column 99 carries the second.
    auto whole = layouttest::Canvas(320, 20);
    VKMGridPainter::drawGridInRect(*whole, {0, 0, 320, 20}, {0, 0, 320, 20}, 1.0, 1.0, black);
    EXPECT_GT(AlphaAt(*whole, 99), 0);
    EXPECT_GT(AlphaAt(*whole, 199), 0);
    EXPECT_EQ(AlphaAt(*whole, 50), 0);
    EXPECT_EQ(AlphaAt(*whole, 150), 0);

    // At zoom 0.1 the lines lie 10 points apart: line 1 at 9.5 is a sub
    // line, line 5 at 49.5 a half line, line 10 at 99.5 a main line.
    auto dense = layouttest::Canvas(120, 20);
    VKMGridPainter::drawGridInRect(*dense, {0, 0, 120, 20}, {0, 0, 120, 20}, 0.1, 0.1, black);
    EXPECT_GT(AlphaAt(*dense, 9), 0);
    EXPECT_GT(AlphaAt(*dense, 49), AlphaAt(*dense, 9));
    EXPECT_GT(AlphaAt(*dense, 99), AlphaAt(*dense, 49));
    EXPECT_EQ(AlphaAt(*dense, 19), AlphaAt(*dense, 9)) << "line 2 is a sub line too";

    // A dirty rectangle from 150 to 320 strokes only the lines inside it.
    auto part = layouttest::Canvas(320, 20);
    VKMGridPainter::drawGridInRect(*part, {0, 0, 320, 20}, {150, 0, 170, 20}, 1.0, 1.0, black);
    EXPECT_EQ(AlphaAt(*part, 99), 0);
    EXPECT_GT(AlphaAt(*part, 199), 0);
    EXPECT_GT(AlphaAt(*part, 299), 0);
}

TEST(Grid, AZoomOfZeroDrawsAFiniteGridAtTheSmallestZoom) {
    platform::Locale::setCurrent("de_DE");
    // With the zoom clamped to 0.01 the lines lie 10 points apart: at
    // -0.5, 9.5, 19.5, ...
    auto canvas = layouttest::Canvas(60, 20);
    VKMGridPainter::drawGridInRect(*canvas, {0, 0, 60, 20}, {0, 0, 60, 20}, 0.0, -1.0, {0, 0, 0, 1});
    EXPECT_GT(AlphaAt(*canvas, 9), 0);
    EXPECT_GT(AlphaAt(*canvas, 19), 0);
    EXPECT_EQ(AlphaAt(*canvas, 14), 0);
}

TEST(Grid, ImperialLinesFollowTheFootAtZoomZeroPointZeroTwo) {
    platform::Locale::setCurrent("en_US");
    // 12 inches x 0.02 = 6.096 points, x 12 = 73.152 points apart.
    auto canvas = layouttest::Canvas(160, 20);
    VKMGridPainter::drawGridInRect(*canvas, {0, 0, 160, 20}, {0, 0, 160, 20}, 0.02, 0.02, {0, 0, 0, 1});
    EXPECT_GT(AlphaAt(*canvas, 72), 0);   // 72.652
    EXPECT_GT(AlphaAt(*canvas, 145), 0);  // 145.804
    EXPECT_EQ(AlphaAt(*canvas, 100), 0);
}
