// Small polygons filled straight onto a bitmap's pixels (Context::fillLines)
// against Cairo filling the same outline.

#include "platform/graphics/BitmapBands.h"
#include "platform/graphics/BitmapContext.h"
#include "tests/support/PixelCompare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <tuple>
#include <vector>

using platform::BitmapContext;
using platform::Context;
using platform::Pixel;
using platform::Point;

namespace {

constexpr int kSide = 48;

// `tips` points about (cx, cy), each `step` tips on from the last: a star
// crossing itself for a step above 1.
std::vector<Point> Star(double cx, double cy, double radius, int tips, int step) {
    std::vector<Point> points;
    for (int i = 0; i < tips; ++i) {
        const double a = 6.2831853 * ((i * step) % tips) / tips + 0.3;
        points.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a)});
    }
    return points;
}

// The outline filled over a red band by fillLines, or by Cairo's fill.
std::unique_ptr<BitmapContext> Filled(const std::vector<Point>& outline, const std::function<void(Context&)>& before,
                                      bool shortcut) {
    auto c = BitmapContext::create(kSide, kSide, 1);
    c->setFillColor({1, 0.2, 0.1, 1});
    c->fillRect({0, 0, kSide, 6.5});
    before(*c);
    if (shortcut) {
        c->fillLines(outline.data(), outline.size(), platform::FillRule::evenOdd);
    } else {
        c->addLinesToFill(outline.data(), outline.size());
        c->fill(platform::FillRule::evenOdd);
    }
    c->endTransparencyLayer();
    return c;
}

}  // namespace

TEST(PolygonCoverage, SmallPolygonsTakeCairosPixelsWithinItsSamplingAndTheRestAreCairos) {
    using Setup = std::function<void(Context&)>;
    const Setup blue = [](Context& c) { c.setFillColor({0.1, 0.5, 0.8, 1}); };
    const Setup halfBlue = [](Context& c) { c.setFillColor({0.1, 0.5, 0.8, 0.5}); };
    const Setup faded = [&](Context& c) { (blue(c), c.setAlpha(0.3)); };
    const Setup turned = [&](Context& c) { (blue(c), c.translate(20.5, 8.25), c.rotate(0.6), c.scale(1.3, 0.9)); };
    const Setup clipInside = [&](Context& c) { (blue(c), c.clipToRect({4.4, 4.6, 40.3, 40.2})); };
    const Setup clipAcross = [&](Context& c) { (blue(c), c.clipToRect({10.5, 4, 30, 30})); };
    const Setup clipTurned = [&](Context& c) {
        (blue(c), c.rotate(0.2), c.clipToRect({0, 0, 60, 60}), c.rotate(-0.2));
    };
    const Setup layer = [&](Context& c) { (blue(c), c.beginTransparencyLayer()); };
    const std::vector<Point> triangle{{3.3, 10.2}, {29.7, 14.9}, {11.1, 33.4}};
    const std::vector<Point> top{{2.5, 1.5}, {30.5, 3.25}, {18.2, 26.7}};
    struct Case {
        const char* name;
        std::vector<Point> outline;
        Setup before;
        bool shortcut;  // else Cairo's pixels exactly
    };
    const Case cases[] = {
        {"a triangle off the pixel grid", triangle, blue, true},
        {"a thin sliver at a slant", {{4.2, 40.1}, {35.6, 12.3}, {36.1, 12.9}, {4.6, 40.8}}, blue, true},
        {"a circle of twenty points", Star(20, 24, 10, 20, 1), blue, true},
        {"half transparent over red", top, halfBlue, true},
        {"at a context alpha", top, faded, true},
        {"over the bitmap's edges", {{-6.5, 30.2}, {20.1, 52.7}, {-3.2, 50.1}}, blue, true},
        {"turned and scaled", {{0, 0}, {20, 0}, {20, 9}, {0, 9}}, turned, true},
        {"inside a clip off the pixel grid", {{12.3, 12.2}, {30.7, 14.9}, {20.1, 30.4}}, clipInside, true},
        {"wider than the shortcut takes", {{1.3, 10.2}, {46.7, 14.9}, {11.1, 33.4}}, blue, false},
        {"a star crossing itself", Star(20, 24, 13, 7, 3), blue, false},
        {"a bow crossing itself", {{4, 8}, {30, 34}, {30, 8}, {4, 34}}, blue, false},
        {"an outline touching itself", {{4, 4}, {20, 4}, {12, 12}, {20, 20}, {4, 20}, {12, 12}}, blue, false},
        {"across a clip's edge off the pixel grid", triangle, clipAcross, false},
        {"inside a clip that is no rectangle", triangle, clipTurned, false},
        {"inside a transparency layer", triangle, layer, false},
    };
    for (const Case& c : cases) {
        const auto shortcut = Filled(c.outline, c.before, true);
        const auto cairo = Filled(c.outline, c.before, false);
        // As the bitmaps hold them (premultiplied): the largest difference
        // of a channel, and the mean of each pixel's largest.
        int largest = 0;
        double mean = 0;
        int marked = 0;
        for (int i = 0; i < kSide * kSide; ++i) {
            const Pixel p = *shortcut->pixel(i % kSide, i / kSide);
            const Pixel q = *cairo->pixel(i % kSide, i / kSide);
            const auto off = [&](int u, int v) { return std::abs(u * p.alpha / 255 - v * q.alpha / 255); };
            const int most =
                std::max({off(p.red, q.red), off(p.green, q.green), off(p.blue, q.blue), std::abs(p.alpha - q.alpha)});
            largest = std::max(largest, most);
            mean += static_cast<double>(most) / (kSide * kSide);
            marked += q.blue > 60;
        }
        EXPECT_GT(marked, 8) << c.name << ": nothing drawn";
        // Cairo samples 15 rows a pixel: a share may be off by about a
        // fifteenth where an edge starts or ends in the pixel.
        EXPECT_LE(largest, c.shortcut ? 16 : 0) << c.name;
        EXPECT_LT(mean, 0.2) << c.name;
    }
}

TEST(PolygonCoverage, APixelTakesTheExactShareOfItsAreaThatTheOutlineEncloses) {
    // A rectangle off the pixel grid: it covers three quarters across and
    // half down of pixel (1, 1) (0.375), half of (2, 1), all of (2, 2) and
    // three quarters of (1, 2) (191, where Cairo samples 192). The same
    // closed on its first point and with a point twice, as outlines come.
    const std::vector<Point> rectangle{{1.25, 1.5}, {4, 1.5}, {4, 4}, {1.25, 4}};
    const std::vector<Point> closed{{1.25, 1.5}, {4, 1.5}, {4, 1.5}, {4, 4}, {1.25, 4}, {1.25, 1.5}};
    for (const auto* outline : {&rectangle, &closed}) {
        auto c = BitmapContext::create(6, 6, 1);
        c->setFillColor({0, 0, 1, 1});
        c->fillLines(outline->data(), outline->size());
        for (const auto& [x, y, alpha] : {std::tuple{1, 1, 96}, {2, 1, 128}, {2, 2, 255}, {1, 2, 191}, {4, 2, 0}})
            EXPECT_EQ(c->pixel(x, y)->alpha, alpha) << x << "," << y << " of " << outline->size() << " points";
    }
}

TEST(PolygonCoverage, AnOutlineTheTransformTakesOutOfRangeIsLeftToCairo) {
    // The second point's device coordinates are each an infinity less an
    // infinity: no number, which no bound of the outline's box sees.
    const std::vector<Point> outline{{10, 10}, {1e308, 1e308}, {14, 12}};
    const auto sheared = [](Context& c) { (c.setFillColor({0.1, 0.5, 0.8, 1}), c.concat({2, -2, -2, 3, 0, 20})); };
    const auto shortcut = BitmapContext::takeImage(Filled(outline, sheared, true));
    EXPECT_EQ(testsupport::DifferingPixels(*shortcut, *BitmapContext::takeImage(Filled(outline, sheared, false))), 0);
}

TEST(PolygonCoverage, BandsClippedPastTheirRowsFillAsTheWholeBitmap) {
    // Shapes across every band's edges; each band clips a little past its
    // rows, off the pixel grid, as a tile's bands do.
    std::vector<std::vector<Point>> shapes{Star(24, 24, 14, 7, 1)};
    for (int i = 0; i < 12; ++i) {
        const double x = 3.7 * i + 1.3;
        const double y = 3.9 * i + 0.6;
        shapes.push_back({{x, y}, {x + 9.4, y + 2.2}, {x + 4.1, y + 11.3}});
    }
    const auto draw = [&](Context& c, double top, double bottom) {
        c.clipToRect({0, top, kSide, bottom - top});
        c.setFillColor({0.2, 0.6, 0.3, 0.8});
        for (const auto& shape : shapes) c.fillLines(shape.data(), shape.size());
    };
    auto whole = BitmapContext::create(kSide, kSide, 1);
    draw(*whole, 0, kSide);
    // Bands of a bitmap of their own, each clearing its rows as it starts.
    const auto rows = platform::evenBands(kSide, 5);
    auto bands = platform::BitmapBands::make(kSide, kSide, 1, {0, 0}, rows);
    ASSERT_EQ(bands.size(), rows.size());
    for (std::size_t i = 0; i < bands.size(); ++i) {
        draw(bands[i], std::max(0.0, rows[i].first - 1.75), std::min<double>(kSide, rows[i].end + 1.75));
        bands.end(i);
    }
    EXPECT_EQ(testsupport::DifferingPixels(*bands.takeImage(), *whole->makeImage(), 0), 0);
}
