// Small polygons filled straight onto a bitmap's pixels (Context::fillLines)
// against Cairo filling the same outline: each pixel takes its exact share
// of the area, which differs from Cairo's sampling by a few levels at the
// edges only; where the shortcut does not apply, Cairo's pixels exactly;
// and bands of a bitmap, clipped past their rows, give the whole bitmap.

#include "platform/graphics/BitmapBands.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/detail/PolygonCoverage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <vector>

using platform::BitmapContext;
using platform::Color;
using platform::Context;
using platform::FillRule;
using platform::Pixel;
using platform::Point;

namespace {

constexpr int kSide = 48;

// A star of `tips` points about (cx, cy), each point `step` tips on.
std::vector<Point> Star(double cx, double cy, double radius, int tips, int step) {
    std::vector<Point> points;
    for (int i = 0; i < tips; ++i) {
        const double a = 2 * std::numbers::pi * ((i * step) % tips) / tips + 0.3;
        points.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a)});
    }
    return points;
}

// A band along an arc, as a zoomed-out track bed is filled.
std::vector<Point> ArcBand(double cx, double cy, double radius, double width, int steps) {
    std::vector<Point> points;
    for (int i = 0; i <= steps; ++i) {
        const double a = 0.9 * i / steps;
        points.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a)});
    }
    for (int i = steps; i >= 0; --i) {
        const double a = 0.9 * i / steps;
        points.push_back({cx + (radius - width) * std::cos(a), cy + (radius - width) * std::sin(a)});
    }
    return points;
}

struct Setting {
    std::function<void(Context&)> before = [](Context&) {};
    Color color{0.1, 0.5, 0.8, 1};
    FillRule rule = FillRule::nonZero;
};

// The outline filled by fillLines, or through Cairo's own fill.
std::unique_ptr<BitmapContext> Filled(const std::vector<Point>& outline, const Setting& setting, bool shortcut) {
    auto c = BitmapContext::create(kSide, kSide, 1);
    c->setFillColor({1, 0.2, 0.1, 1});
    c->fillRect({0, 0, kSide, 6.5});
    setting.before(*c);
    c->setFillColor(setting.color);
    if (shortcut) {
        c->fillLines(outline.data(), outline.size(), setting.rule);
    } else {
        c->addLinesToFill(outline.data(), outline.size());
        c->fill(setting.rule);
    }
    return c;
}

struct Difference {
    int largest = 0;
    double mean = 0;
    int marked = 0;
};

Difference Compare(const BitmapContext& a, const BitmapContext& b) {
    Difference d;
    long sum = 0;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const Pixel p = *a.pixel(x, y);
            const Pixel q = *b.pixel(x, y);
            // Premultiplied, as the bitmap holds them: a colour that is
            // nearly clear is nearly nothing.
            const auto held = [](int channel, int alpha) { return channel * alpha / 255; };
            const int most =
                std::max({std::abs(held(p.red, p.alpha) - held(q.red, q.alpha)),
                          std::abs(held(p.green, p.alpha) - held(q.green, q.alpha)),
                          std::abs(held(p.blue, p.alpha) - held(q.blue, q.alpha)), std::abs(p.alpha - q.alpha)});
            d.largest = std::max(d.largest, most);
            sum += most;
            if (q.blue > 60) ++d.marked;
        }
    }
    d.mean = static_cast<double>(sum) / (kSide * kSide);
    return d;
}

}  // namespace

TEST(PolygonCoverage, SmallPolygonsTakeCairosPixelsWithinItsSampling) {
    struct Case {
        const char* name;
        std::vector<Point> outline;
        Setting setting;
    };
    const Case cases[] = {
        {"a triangle off the pixel grid", {{3.3, 10.2}, {29.7, 14.9}, {11.1, 33.4}}, {}},
        {"a thin sliver at a slant", {{4.2, 40.1}, {35.6, 12.3}, {36.1, 12.9}, {4.6, 40.8}}, {}},
        {"a dense arc band", ArcBand(10, 8, 24, 3.5, 150), {}},
        {"a seven-sided polygon by either rule", Star(20, 24, 13, 7, 1), {.rule = FillRule::evenOdd}},
        {"half transparent over red", {{2.5, 1.5}, {30.5, 3.25}, {18.2, 26.7}}, {.color = {0.1, 0.5, 0.8, 0.5}}},
        {"drawn at a context alpha",
         {{2.5, 1.5}, {30.5, 3.25}, {18.2, 26.7}},
         {.before = [](Context& c) { c.setAlpha(0.3); }}},
        {"over the bitmap's edges", {{-6.5, 30.2}, {20.1, 52.7}, {-3.2, 50.1}}, {}},
        {"turned and scaled by the transform",
         {{0, 0}, {20, 0}, {20, 9}, {0, 9}},
         {.before =
              [](Context& c) {
                  c.translate(20.5, 8.25);
                  c.rotate(0.6);
                  c.scale(1.3, 0.9);
              }}},
        {"inside a clip off the pixel grid",
         {{12.3, 12.2}, {30.7, 14.9}, {20.1, 30.4}},
         {.before =
              [](Context& c) {
                  c.clipToRect({4.4, 4.6, 40.3, 40.2});
              }}},
    };
    for (const Case& c : cases) {
        const auto cairo = Filled(c.outline, c.setting, false);
        const auto shortcut = Filled(c.outline, c.setting, true);
        const Difference d = Compare(*shortcut, *cairo);
        EXPECT_GT(d.marked, 8) << c.name << ": nothing drawn";
        // Cairo samples 15 rows a pixel: a pixel's share may be off by
        // about a fifteenth where an edge starts or ends in it.
        EXPECT_LE(d.largest, 16) << c.name;
        EXPECT_LT(d.mean, 0.2) << c.name;
    }
}

TEST(PolygonCoverage, APixelTakesTheExactShareOfItsAreaThatTheOutlineEncloses) {
    // A rectangle off the pixel grid: it covers three quarters across and
    // half down of pixel (1, 1) (0.375), half of (2, 1), all of (2, 2) and
    // three quarters of (1, 2) (191, where Cairo samples 192).
    const std::vector<Point> rectangle{{1.25, 1.5}, {4, 1.5}, {4, 4}, {1.25, 4}};
    // The same closed on its first point, with a point given twice, as
    // outlines often come.
    const std::vector<Point> closed{{1.25, 1.5}, {4, 1.5}, {4, 1.5}, {4, 4}, {1.25, 4}, {1.25, 1.5}};
    for (const auto* outline : {&rectangle, &closed}) {
        auto c = BitmapContext::create(6, 6, 1);
        c->setFillColor({0, 0, 1, 1});
        c->fillLines(outline->data(), outline->size());
        EXPECT_EQ(c->pixel(1, 1)->alpha, 96);
        EXPECT_EQ(c->pixel(2, 1)->alpha, 128);
        EXPECT_EQ(c->pixel(2, 2)->alpha, 255);
        EXPECT_EQ(c->pixel(1, 2)->alpha, 191) << outline->size() << " points";
        EXPECT_EQ(c->pixel(4, 2)->alpha, 0);
        EXPECT_EQ(c->pixel(0, 2)->alpha, 0);
    }
    auto c = BitmapContext::create(6, 6, 1);
    // Over a colour, as Cairo composites: that pixel a quarter of red left.
    c->setFillColor({1, 0, 0, 1});
    c->fillRect({0, 0, 6, 6});
    c->setFillColor({0, 0, 1, 1});
    c->fillLines(rectangle.data(), rectangle.size());
    EXPECT_EQ(*c->pixel(1, 2), (Pixel{64, 0, 191, 255}));
    EXPECT_EQ(platform::detail::overWithCoverage(0x80000080u, 255, 0xffff0000u), 0xff7f0080u)
        << "half-transparent blue over red";
}

TEST(PolygonCoverage, WhereTheShortcutDoesNotHoldCairoFillsAsItWould) {
    struct Case {
        const char* name;
        std::vector<Point> outline;
        Setting setting;
    };
    const Case cases[] = {
        {"wider than the shortcut takes", {{1.3, 10.2}, {46.7, 14.9}, {11.1, 33.4}}, {}},
        {"a star crossing itself, non-zero", Star(20, 24, 13, 7, 3), {}},
        {"a star crossing itself, even-odd", Star(20, 24, 13, 7, 3), {.rule = FillRule::evenOdd}},
        {"an outline touching itself", {{4, 4}, {20, 4}, {12, 12}, {20, 20}, {4, 20}, {12, 12}}, {}},
        {"across a clip's edge off the pixel grid",
         {{3.3, 10.2}, {29.7, 14.9}, {11.1, 33.4}},
         {.before =
              [](Context& c) {
                  c.clipToRect({10.5, 4, 30, 30});
              }}},
        {"inside a clip that is no rectangle",
         {{3.3, 10.2}, {29.7, 14.9}, {11.1, 33.4}},
         {.before =
              [](Context& c) {
                  c.rotate(0.2);
                  c.clipToRect({0, 0, 60, 60});
                  c.rotate(-0.2);
              }}},
        {"inside a transparency layer",
         {{3.3, 10.2}, {29.7, 14.9}, {11.1, 33.4}},
         {.before = [](Context& c) { c.beginTransparencyLayer(); }}},
    };
    for (const Case& c : cases) {
        const auto cairo = Filled(c.outline, c.setting, false);
        const auto shortcut = Filled(c.outline, c.setting, true);
        for (auto* context : {cairo.get(), shortcut.get()}) context->endTransparencyLayer();
        const Difference d = Compare(*shortcut, *cairo);
        EXPECT_GT(d.marked, 8) << c.name << ": nothing drawn";
        EXPECT_EQ(d.largest, 0) << c.name;
    }
}

TEST(PolygonCoverage, BandsClippedPastTheirRowsFillAsTheWholeBitmap) {
    // Shapes across every band's edges; each band clips a little past its
    // rows, off the pixel grid, as a tile's bands do.
    std::vector<std::vector<Point>> shapes;
    for (int i = 0; i < 12; ++i) {
        const double x = 3.7 * i + 1.3;
        const double y = 3.9 * i + 0.6;
        shapes.push_back({{x, y}, {x + 9.4, y + 2.2}, {x + 4.1, y + 11.3}});
    }
    shapes.push_back(Star(24, 24, 14, 7, 3));
    const auto draw = [&](Context& c, double top, double bottom) {
        c.clipToRect({0, top, kSide, bottom - top});
        c.setFillColor({0.2, 0.6, 0.3, 0.8});
        for (const auto& shape : shapes) c.fillLines(shape.data(), shape.size());
    };
    auto whole = BitmapContext::create(kSide, kSide, 1);
    draw(*whole, 0, kSide);
    auto banded = BitmapContext::create(kSide, kSide, 1);
    const auto rows = platform::evenBands(kSide, 5);
    auto bands = platform::BitmapBands::over(*banded, rows);
    ASSERT_EQ(bands.size(), rows.size());
    for (std::size_t i = 0; i < bands.size(); ++i) {
        draw(bands[i], std::max(0.0, rows[i].first - 1.75), std::min<double>(kSide, rows[i].end + 1.75));
        bands.end(i);
    }
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) ASSERT_EQ(*banded->pixel(x, y), *whole->pixel(x, y)) << x << "," << y;
    }
}
