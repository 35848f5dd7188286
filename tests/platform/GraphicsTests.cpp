#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

using platform::AffineTransform;
using platform::BitmapContext;
using platform::Color;
using platform::FillRule;
using platform::LineCap;
using platform::Path;
using platform::Pixel;
using platform::Point;
using platform::Rect;

namespace {

constexpr double pi = std::numbers::pi;
const Color kRed{1, 0, 0, 1};
const Color kBlue{0, 0, 1, 1};
const Pixel kRedPixel{255, 0, 0, 255};
const Pixel kBluePixel{0, 0, 255, 255};
const Pixel kClear{0, 0, 0, 0};

std::unique_ptr<BitmapContext> bitmap(int width, int height, double scale = 1) {
    auto context = BitmapContext::create(width, height, scale);
    EXPECT_NE(context, nullptr);
    return context;
}

Pixel at(const BitmapContext& context, int x, int y) {
    const auto p = context.pixel(x, y);
    EXPECT_TRUE(p.has_value()) << x << "," << y;
    return p.value_or(Pixel{1, 2, 3, 4});
}

bool covered(const BitmapContext& context, int x, int y) { return at(context, x, y).alpha == 255; }
bool empty(const BitmapContext& context, int x, int y) { return at(context, x, y).alpha == 0; }

}  // namespace

TEST(GraphicsContextTest, FilledRectCoversItsPixelsOnly) {
    auto c = bitmap(20, 20);
    c->setFillColor(kRed);
    c->fillRect({5, 5, 10, 10});
    EXPECT_EQ(at(*c, 5, 5), kRedPixel);    // the minimum edges are inside
    EXPECT_EQ(at(*c, 14, 14), kRedPixel);  // the last pixel inside
    EXPECT_EQ(at(*c, 10, 7), kRedPixel);
    EXPECT_EQ(at(*c, 4, 10), kClear);
    EXPECT_EQ(at(*c, 15, 10), kClear);  // x = 15 is the rectangle's right edge
    EXPECT_EQ(at(*c, 10, 15), kClear);
    EXPECT_EQ(at(*c, 0, 0), kClear);
    EXPECT_FALSE(c->pixel(20, 0).has_value());
    EXPECT_FALSE(c->pixel(-1, 0).has_value());
}

TEST(GraphicsContextTest, EvenOddLeavesTheInnerSquareOpenNonZeroFillsIt) {
    // Two squares turning the same way, one inside the other.
    Path nested;
    nested.addRect({0, 0, 30, 30});
    nested.addRect({10, 10, 10, 10});
    struct Case {
        const char* name;
        FillRule rule;
        bool centreFilled;
    };
    for (const Case& k : {Case{"non-zero", FillRule::nonZero, true}, Case{"even-odd", FillRule::evenOdd, false}}) {
        auto c = bitmap(30, 30);
        c->fillPath(nested, k.rule);
        EXPECT_TRUE(covered(*c, 5, 5)) << k.name;    // the ring
        EXPECT_TRUE(covered(*c, 25, 15)) << k.name;  // the ring
        EXPECT_EQ(covered(*c, 15, 15), k.centreFilled) << k.name;
        EXPECT_EQ(empty(*c, 15, 15), !k.centreFilled) << k.name;
    }
    // The same through the current path of the context.
    auto c = bitmap(30, 30);
    c->addRect({0, 0, 30, 30});
    c->addRect({10, 10, 10, 10});
    c->fill(FillRule::evenOdd);
    EXPECT_TRUE(empty(*c, 15, 15));
    EXPECT_TRUE(c->isPathEmpty());  // filling consumed the path
}

TEST(GraphicsContextTest, StrokeOfWidthFourCoversTwoPixelsEachSide) {
    struct Case {
        const char* name;
        LineCap cap;
        bool pastEndsCovered;
    };
    for (const Case& k : {Case{"butt", LineCap::butt, false}, Case{"square", LineCap::square, true}}) {
        auto c = bitmap(24, 20);
        c->setStrokeColor(kBlue);
        c->setLineWidth(4);
        c->setLineCap(k.cap);
        c->moveTo({4, 10});
        c->lineTo({20, 10});
        c->stroke();
        for (int y = 8; y <= 11; ++y) EXPECT_EQ(at(*c, 12, y), kBluePixel) << k.name << " row " << y;
        EXPECT_TRUE(empty(*c, 12, 7)) << k.name;
        EXPECT_TRUE(empty(*c, 12, 12)) << k.name;
        EXPECT_TRUE(covered(*c, 4, 10)) << k.name;
        EXPECT_TRUE(covered(*c, 19, 10)) << k.name;
        // A square cap reaches half the width (2) past each end.
        EXPECT_EQ(covered(*c, 2, 10), k.pastEndsCovered) << k.name;
        EXPECT_EQ(covered(*c, 21, 10), k.pastEndsCovered) << k.name;
        EXPECT_TRUE(empty(*c, 1, 10)) << k.name;
        EXPECT_TRUE(empty(*c, 22, 10)) << k.name;
    }
}

TEST(GraphicsContextTest, JoinsAndMiterLimitShapeTheOuterCorner) {
    // A right-angled corner at (20, 20), stroked 6 wide, and the pixel
    // (22..23, 22..23) at its outer corner: a miter fills the square corner up
    // to (23, 23); a bevel cuts it along x + y = 43, outside that pixel; a
    // round join reaches 3 from (20, 20), so only part of the pixel.
    using platform::LineJoin;
    enum class Coverage { full, none, part };
    struct Case {
        const char* name;
        LineJoin join;
        double miterLimit;
        Coverage corner;
    };
    const Case cases[] = {
        {"miter", LineJoin::miter, 10, Coverage::full},
        {"miter over its limit becomes a bevel", LineJoin::miter, 1.2, Coverage::none},
        {"bevel", LineJoin::bevel, 10, Coverage::none},
        {"round", LineJoin::round, 10, Coverage::part},
    };
    for (const auto& k : cases) {
        auto c = bitmap(30, 30);
        c->setLineWidth(6);
        c->setLineJoin(k.join);
        c->setMiterLimit(k.miterLimit);
        c->moveTo({5, 20});
        c->lineTo({20, 20});
        c->lineTo({20, 5});
        c->stroke();
        const int alpha = at(*c, 22, 22).alpha;
        const Coverage seen = alpha == 255 ? Coverage::full : alpha == 0 ? Coverage::none : Coverage::part;
        EXPECT_EQ(seen, k.corner) << k.name << " (alpha " << alpha << ")";
        EXPECT_TRUE(covered(*c, 19, 19)) << k.name;  // inside the corner, always
        EXPECT_TRUE(covered(*c, 10, 22)) << k.name;  // along the first leg
    }
}

TEST(GraphicsContextTest, DashesLeaveGapsFromThePhase) {
    struct Case {
        const char* name;
        double phase;
        bool firstDashAtZero;
    };
    for (const Case& k : {Case{"phase 0", 0, true}, Case{"phase 5", 5, false}}) {
        auto c = bitmap(40, 4);
        c->setLineWidth(2);
        c->setLineDash(k.phase, {5, 5});
        c->moveTo({0, 2});
        c->lineTo({40, 2});
        c->stroke();
        for (int x : {0, 2, 4, 20, 24}) EXPECT_EQ(covered(*c, x, 2), k.firstDashAtZero) << k.name << " x " << x;
        for (int x : {5, 7, 9, 25, 29}) EXPECT_EQ(empty(*c, x, 2), k.firstDashAtZero) << k.name << " x " << x;
    }
    // An empty dash list, and lists that make no dash, draw solid lines; the
    // context keeps working after them.
    for (const auto& lengths : std::vector<std::vector<double>>{
             {}, {0, 0}, {-1, 5}, {std::nan(""), 2}, {std::numeric_limits<double>::infinity()}}) {
        auto c = bitmap(40, 4);
        c->setLineWidth(2);
        c->setLineDash(0, {5, 5});
        c->setLineDash(0, lengths);
        c->moveTo({0, 2});
        c->lineTo({40, 2});
        c->stroke();
        for (int x : {2, 7, 12, 37}) EXPECT_TRUE(covered(*c, x, 2)) << lengths.size() << " lengths, x " << x;
    }
}

TEST(GraphicsContextTest, ClipRestrictsUntilRestored) {
    auto c = bitmap(20, 20);
    c->save();
    c->clipToRect({0, 0, 10, 20});
    c->setFillColor(kRed);
    c->fillRect({0, 0, 20, 20});
    EXPECT_EQ(at(*c, 9, 5), kRedPixel);
    EXPECT_EQ(at(*c, 10, 5), kClear);
    c->restore();
    c->setFillColor(kBlue);
    c->fillRect({10, 0, 10, 20});
    EXPECT_EQ(at(*c, 15, 5), kBluePixel);
    EXPECT_EQ(at(*c, 5, 5), kRedPixel);

    // Clipping to a path (an ellipse) keeps the corners out.
    auto e = bitmap(20, 20);
    Path oval;
    oval.addEllipseInRect({0, 0, 20, 20});
    e->clipToPath(oval);
    e->fillRect({0, 0, 20, 20});
    EXPECT_TRUE(covered(*e, 10, 10));
    EXPECT_TRUE(empty(*e, 1, 1));
    EXPECT_TRUE(empty(*e, 18, 18));

    // Clipping with an empty path leaves nothing drawable until restore.
    auto n = bitmap(10, 10);
    n->save();
    n->beginPath();
    n->clip();
    n->fillRect({0, 0, 10, 10});
    EXPECT_TRUE(empty(*n, 5, 5));
    n->restore();
    n->fillRect({0, 0, 10, 10});
    EXPECT_TRUE(covered(*n, 5, 5));
}

TEST(GraphicsContextTest, SaveAndRestoreBringBackTransformColoursAndAlpha) {
    auto c = bitmap(40, 40);
    c->translate(10, 0);
    c->setFillColor(kRed);
    c->setStrokeColor(kBlue);
    const AffineTransform before = c->transform();
    EXPECT_EQ(before, (AffineTransform{1, 0, 0, 1, 10, 0}));

    c->save();
    c->translate(5, 5);
    c->scale(2, 2);
    c->setFillColor(kBlue);
    c->setStrokeColor(kRed);
    c->setAlpha(0.25);
    c->setLineWidth(9);
    EXPECT_EQ(c->transform(), (AffineTransform{2, 0, 0, 2, 15, 5}));
    c->restore();

    EXPECT_EQ(c->transform(), before);
    EXPECT_EQ(c->fillColor(), kRed);
    EXPECT_EQ(c->strokeColor(), kBlue);
    EXPECT_EQ(c->alpha(), 1.0);
    c->fillRect({0, 0, 4, 4});  // device 10..14
    EXPECT_EQ(at(*c, 12, 2), kRedPixel);
    EXPECT_EQ(at(*c, 2, 2), kClear);
    // The line width came back too: a 1-wide line at y = 20.5 covers one row.
    c->moveTo({0, 20.5});
    c->lineTo({20, 20.5});
    c->stroke();
    EXPECT_EQ(at(*c, 15, 20), kBluePixel);
    EXPECT_EQ(at(*c, 15, 19), kClear);
    EXPECT_EQ(at(*c, 15, 21), kClear);

    // Unbalanced restores change nothing.
    c->restore();
    c->restore();
    EXPECT_EQ(c->transform(), before);
}

TEST(GraphicsContextTest, TransformsPrependInCallOrder) {
    auto c = bitmap(40, 40);
    // translate then scale: user (0,0)-(2,2) lands at device (10,0)-(14,4).
    c->translate(10, 0);
    c->scale(2, 2);
    EXPECT_EQ(c->transform().apply({1, 1}), (Point{12, 2}));
    c->fillRect({0, 0, 2, 2});
    EXPECT_TRUE(covered(*c, 10, 0));
    EXPECT_TRUE(covered(*c, 13, 3));
    EXPECT_TRUE(empty(*c, 14, 1));
    EXPECT_TRUE(empty(*c, 9, 1));

    // A quarter turn takes +x to +y (clockwise on screen).
    auto r = bitmap(40, 40);
    r->translate(20, 20);
    r->rotate(pi / 2);
    const Point turned = r->transform().apply({10, 0});
    EXPECT_NEAR(turned.x, 20, 1e-9);
    EXPECT_NEAR(turned.y, 30, 1e-9);
    r->fillRect({5, -1, 10, 2});  // along user +x
    EXPECT_TRUE(covered(*r, 20, 30));
    EXPECT_TRUE(empty(*r, 30, 20));

    // concat applies the given transform before the current one.
    auto k = bitmap(40, 40);
    k->scale(2, 2);
    k->concat(AffineTransform::translation(3, 4));
    EXPECT_EQ(k->transform().apply({0, 0}), (Point{6, 8}));
}

TEST(GraphicsContextTest, ArcDirectionsFillTheExpectedQuadrantsOnAYDownScreen) {
    // A wedge from 0 to pi/2 about (20, 20): clockwise on screen sweeps
    // through the lower right; the other way round covers the rest.
    const Point centre{20, 20};
    struct Quadrants {
        bool lowerRight, upperRight, lowerLeft, upperLeft;
    };
    struct Case {
        const char* name;
        bool clockwise;
        Quadrants expected;
    };
    const Case cases[] = {
        {"clockwise", true, {true, false, false, false}},
        {"counter-clockwise", false, {false, true, true, true}},
    };
    for (const auto& k : cases) {
        for (bool throughPath : {false, true}) {
            auto c = bitmap(40, 40);
            if (throughPath) {
                Path wedge;
                wedge.moveTo(centre);
                wedge.addArc(centre, 15, 0, pi / 2, k.clockwise);
                wedge.closePath();
                c->fillPath(wedge);
            } else {
                c->moveTo(centre);
                c->addArc(centre, 15, 0, pi / 2, k.clockwise);
                c->closePath();
                c->fill();
            }
            const std::string name = std::string(k.name) + (throughPath ? " (path)" : " (context)");
            EXPECT_EQ(covered(*c, 27, 27), k.expected.lowerRight) << name;
            EXPECT_EQ(covered(*c, 27, 13), k.expected.upperRight) << name;
            EXPECT_EQ(covered(*c, 13, 27), k.expected.lowerLeft) << name;
            EXPECT_EQ(covered(*c, 13, 13), k.expected.upperLeft) << name;
            EXPECT_TRUE(empty(*c, 38, 38)) << name;  // outside the circle
        }
    }
}

TEST(GraphicsContextTest, BitmapScaleMapsPointsToPixels) {
    auto c = bitmap(20, 20, 2);
    EXPECT_EQ(c->transform(), AffineTransform::scale(2, 2));
    EXPECT_EQ(c->contentScale(), 2.0);
    c->fillRect({0, 0, 5, 5});
    EXPECT_TRUE(covered(*c, 9, 9));
    EXPECT_TRUE(empty(*c, 10, 9));
    auto image = c->makeImage();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixelWidth(), 20);
    EXPECT_EQ(image->size().width, 10.0);
    EXPECT_EQ(image->scale(), 2.0);
    // Taken over rather than copied: the same pixels, the same scale.
    const auto taken = BitmapContext::takeImage(std::move(c));
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->scale(), 2.0);
    EXPECT_EQ(taken->pixel(9, 9), image->pixel(9, 9));
    EXPECT_EQ(taken->pixel(10, 9), (Pixel{}));
    EXPECT_EQ(BitmapContext::takeImage(nullptr), nullptr);

    auto sized = BitmapContext::createForPointSize({10.2, 5}, 2);
    ASSERT_NE(sized, nullptr);
    EXPECT_EQ(sized->pixelWidth(), 21);  // 20.4 pixels, rounded up
    EXPECT_EQ(sized->pixelHeight(), 10);

    struct Refused {
        const char* name;
        int width;
        int height;
        double scale;
    };
    for (const Refused& r : {Refused{"zero width", 0, 10, 1}, Refused{"negative", -4, 10, 1},
                             Refused{"side over 16384", 16385, 1, 1}, Refused{"over 256 Mi pixels", 16384, 16385, 1},
                             Refused{"zero scale", 10, 10, 0}, Refused{"NaN scale", 10, 10, std::nan("")}}) {
        EXPECT_EQ(BitmapContext::create(r.width, r.height, r.scale), nullptr) << r.name;
    }
    EXPECT_EQ(BitmapContext::createForPointSize({1e12, 1}, 1), nullptr);
}

TEST(GraphicsContextTest, AlphaMultipliesWhatIsDrawn) {
    auto c = bitmap(10, 10);
    c->setAlpha(0.5);
    c->setFillColor({1, 0, 0, 0.5});
    c->fillRect({0, 0, 10, 10});
    const Pixel p = at(*c, 5, 5);
    EXPECT_NEAR(p.alpha, 64, 1);  // 0.25 of 255
    EXPECT_EQ(p.red, 255);
    c->setAlpha(7);  // clamped to 1
    EXPECT_EQ(c->alpha(), 1.0);
    c->setAlpha(std::nan(""));  // ignored
    EXPECT_EQ(c->alpha(), 1.0);
}

TEST(GraphicsContextTest, LinearGradientRunsBetweenItsPointsAndExtendsOnRequest) {
    const std::vector<platform::GradientStop> blackToWhite{{0, {0, 0, 0, 1}}, {1, {1, 1, 1, 1}}};
    auto c = bitmap(100, 4);
    c->drawLinearGradient(blackToWhite, {20, 0}, {80, 0}, true);
    EXPECT_LE(at(*c, 20, 1).red, 3);
    EXPECT_GE(at(*c, 79, 1).red, 251);
    EXPECT_NEAR(at(*c, 50, 1).red, 128, 4);  // halfway
    EXPECT_EQ(at(*c, 5, 1), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(at(*c, 95, 1), (Pixel{255, 255, 255, 255}));

    auto n = bitmap(100, 4);
    n->drawLinearGradient(blackToWhite, {20, 0}, {80, 0}, false);
    EXPECT_EQ(at(*n, 5, 1).alpha, 0);
    EXPECT_EQ(at(*n, 95, 1).alpha, 0);
    EXPECT_EQ(at(*n, 50, 1).alpha, 255);

    // The gradient fills only the clip.
    auto k = bitmap(100, 4);
    k->clipToRect({0, 0, 50, 4});
    k->drawLinearGradient(blackToWhite, {0, 0}, {100, 0}, true);
    EXPECT_EQ(at(*k, 60, 1).alpha, 0);
    EXPECT_EQ(at(*k, 40, 1).alpha, 255);
}

TEST(GraphicsContextTest, ImagesAreDrawnUprightIntoTheirRectangle) {
    // A 2 x 2 image: red, blue on top; green, white below.
    auto source = bitmap(2, 2);
    source->setFillColor(kRed);
    source->fillRect({0, 0, 1, 1});
    source->setFillColor(kBlue);
    source->fillRect({1, 0, 1, 1});
    source->setFillColor({0, 1, 0, 1});
    source->fillRect({0, 1, 1, 1});
    source->setFillColor({1, 1, 1, 1});
    source->fillRect({1, 1, 1, 1});
    auto image = source->makeImage();
    ASSERT_NE(image, nullptr);

    auto c = bitmap(30, 30);
    c->setInterpolationQuality(platform::InterpolationQuality::none);
    c->drawImage(*image, {10, 10, 20, 20});
    EXPECT_EQ(at(*c, 11, 11), kRedPixel);
    EXPECT_EQ(at(*c, 28, 11), kBluePixel);
    EXPECT_EQ(at(*c, 11, 28), (Pixel{0, 255, 0, 255}));
    EXPECT_EQ(at(*c, 28, 28), (Pixel{255, 255, 255, 255}));
    EXPECT_EQ(at(*c, 9, 9), kClear);  // nothing outside the rectangle
    // Crisp edges: the last pixels inside are fully opaque even when smoothed.
    auto smooth = bitmap(30, 30);
    smooth->setInterpolationQuality(platform::InterpolationQuality::high);
    smooth->drawImage(*image, {10, 10, 20, 20});
    EXPECT_EQ(at(*smooth, 10, 10).alpha, 255);
    EXPECT_EQ(at(*smooth, 29, 29).alpha, 255);
    EXPECT_EQ(at(*smooth, 10, 10), kRedPixel);

    // With alpha, and not at all into an empty rectangle.
    auto half = bitmap(30, 30);
    half->drawImage(*image, {0, 0, 30, 30}, 0.5);
    EXPECT_NEAR(at(*half, 2, 2).alpha, 128, 1);
    half->drawImage(*image, {0, 0, 0, 30});
    EXPECT_NEAR(at(*half, 2, 2).alpha, 128, 1);
}

TEST(GraphicsContextTest, DegenerateTransformsDrawNothingUntilRestored) {
    auto c = bitmap(10, 10);
    c->save();
    c->scale(0, 0);
    EXPECT_EQ(c->transform(), (AffineTransform{0, 0, 0, 0, 0, 0}));
    c->fillRect({0, 0, 10, 10});
    EXPECT_TRUE(empty(*c, 5, 5));
    c->restore();
    c->fillRect({0, 0, 10, 10});
    EXPECT_TRUE(covered(*c, 5, 5));

    // Values that are not finite are refused without spoiling the context.
    auto k = bitmap(10, 10);
    k->save();
    k->translate(std::nan(""), 0);
    k->restore();
    k->setLineWidth(-3);
    k->setLineWidth(std::nan(""));
    k->moveTo({std::nan(""), 1});
    k->lineTo({INFINITY, 1});
    k->addArc({5, 5}, 3, 0, INFINITY, true);
    k->fillRect({0, 0, INFINITY, 10});
    k->fillRect({0, 0, 10, 10});
    EXPECT_TRUE(covered(*k, 5, 5));
}

TEST(GraphicsContextTest, OwnPathsLeaveTheCurrentPathAlone) {
    auto c = bitmap(20, 20);
    c->moveTo({0, 0});
    c->lineTo({10, 0});
    c->lineTo({10, 10});
    c->closePath();
    Path other;
    other.addRect({15, 15, 5, 5});
    c->fillPath(other);
    c->fillRect({0, 15, 2, 2});
    EXPECT_FALSE(c->isPathEmpty());
    c->fill();
    EXPECT_TRUE(covered(*c, 8, 2));    // the triangle
    EXPECT_TRUE(covered(*c, 17, 17));  // the other path
    EXPECT_TRUE(empty(*c, 2, 8));      // outside the triangle
}

// The painter leaves out strokes the context says draw nothing; that must
// match what Cairo does with them, in every direction the transform takes.
TEST(GraphicsContextTest, StrokesTooThinToDrawAreToldApart) {
    struct Case {
        double width;  // in user space, at the scale below
        bool draws;
    };
    for (const double turn : {0.0, 0.4, pi / 2}) {
        for (const Case k : {Case{3.0, false}, Case{4.5, false}, Case{6.0, true}, Case{20.0, true}}) {
            auto c = bitmap(60, 60);
            c->translate(30, 30);
            c->rotate(turn);
            c->scale(0.01, 0.01);
            EXPECT_EQ(c->strokeWidthDraws(k.width), k.draws) << k.width << " at " << turn;
            c->setStrokeColor(kBlue);
            c->setLineWidth(k.width);
            Path path;
            for (int i = 0; i < 20; ++i) {
                path.moveTo({-2000.0 + 200 * i, -2000});
                path.lineTo({-2000.0 + 200 * i + 70, 2000});
            }
            c->strokePath(path);
            int marked = 0;
            for (int y = 0; y < 60; ++y)
                for (int x = 0; x < 60; ++x) marked += at(*c, x, y).alpha != 0 ? 1 : 0;
            EXPECT_EQ(marked > 0, k.draws) << k.width << " at " << turn << ": " << marked << " pixels";
        }
    }
    // Stretched one way only, the widest direction decides.
    auto c = bitmap(10, 10);
    c->scale(0.01, 1.0);
    EXPECT_TRUE(c->strokeWidthDraws(1.0));
    // A width the context refuses keeps the last one, which may draw.
    c->scale(1.0, 0.01);
    EXPECT_FALSE(c->strokeWidthDraws(1.0));
    EXPECT_TRUE(c->strokeWidthDraws(-1.0));
    EXPECT_TRUE(c->strokeWidthDraws(std::numeric_limits<double>::quiet_NaN()));
}

namespace {

// A band along an arc, as a zoomed-out track bed is filled: the outer side
// out, the inner side back, `steps` points a side.
std::vector<Point> ArcBand(double radius, double width, int steps) {
    std::vector<Point> points;
    for (int i = 0; i <= steps; ++i) {
        const double a = 0.7 * i / steps;
        points.push_back({radius * std::cos(a), radius * std::sin(a)});
    }
    for (int i = steps; i >= 0; --i) {
        const double a = 0.7 * i / steps;
        points.push_back({(radius - width) * std::cos(a), (radius - width) * std::sin(a)});
    }
    return points;
}

}  // namespace

TEST(GraphicsContextTest, DenseOutlinesFilledOnABitmapLoseOnlyWhatNoPixelShows) {
    // 802 points within a few pixels, zoomed out as a fitted layout is.
    const std::vector<Point> band = ArcBand(400, 45, 400);
    const auto fill = [&band](double dx, double dy, bool thinned) {
        auto c = bitmap(48, 48, 2);
        c->translate(dx, dy);
        c->scale(0.04, 0.04);
        c->setFillColor(kBlue);
        if (thinned) {
            c->addLinesToFill(band.data(), band.size());
        } else {
            c->addLines(band.data(), band.size());
        }
        c->fill();
        return c;
    };
    const auto whole = fill(4, 4, false);
    const auto thinned = fill(4, 4, true);
    int marked = 0;
    int largest = 0;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x) {
            const Pixel a = at(*whole, x, y);
            const Pixel b = at(*thinned, x, y);
            marked += a.alpha != 0 ? 1 : 0;
            largest = std::max({largest, std::abs(a.alpha - b.alpha), std::abs(a.blue - b.blue)});
        }
    }
    EXPECT_GT(marked, 20);
    // Coverage moves by at most the tolerance's share of a pixel.
    EXPECT_LE(largest, static_cast<int>(std::ceil(255 * platform::Context::kFillOutlineTolerance)));

    // Moved by whole pixels (as a tile and its bands are), the same pixels.
    const auto moved = fill(4 - 5.5, 4 - 3, true);
    for (int y = 6; y < 48; ++y) {
        for (int x = 11; x < 48; ++x) {
            ASSERT_EQ(at(*moved, x - 11, y - 6), at(*thinned, x, y)) << x << "," << y;
        }
    }
    // A path filled whole loses the same points.
    Path path;
    path.moveTo(band.front());
    for (std::size_t i = 1; i < band.size(); ++i) path.lineTo(band[i]);
    auto c = bitmap(48, 48, 2);
    c->translate(4, 4);
    c->scale(0.04, 0.04);
    c->setFillColor(kBlue);
    c->fillPath(path);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x) ASSERT_EQ(at(*c, x, y), at(*thinned, x, y)) << x << "," << y;
    }
}
