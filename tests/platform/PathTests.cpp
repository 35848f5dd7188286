#include "platform/graphics/AffineTransform.h"
#include "platform/graphics/Path.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

using platform::AffineTransform;
using platform::Path;
using platform::Point;
using platform::Rect;
using Type = platform::Path::ElementType;

namespace {

constexpr double pi = std::numbers::pi;

std::string pathKinds(const Path& path) {
    std::string out;
    for (const auto& e : path.elements()) {
        out += e.type == Type::moveTo ? 'M' : e.type == Type::lineTo ? 'L' : e.type == Type::curveTo ? 'C' : 'Z';
    }
    return out;
}

Point cubicAt(Point p0, const Path::Element& c, double t) {
    const double u = 1 - t;
    const auto& p = c.points;
    return {u * u * u * p0.x + 3 * u * u * t * p[0].x + 3 * u * t * t * p[1].x + t * t * t * p[2].x,
            u * u * u * p0.y + 3 * u * u * t * p[0].y + 3 * u * t * t * p[1].y + t * t * t * p[2].y};
}

void expectPoint(Point actual, Point expected, const std::string& name, double tolerance = 1e-9) {
    EXPECT_NEAR(actual.x, expected.x, tolerance) << name;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << name;
}

}  // namespace

TEST(PathTest, PiecesBuildTheExpectedElements) {
    struct Case {
        const char* name;
        void (*build)(Path&);
        const char* kinds;
    };
    const Case cases[] = {
        {"rectangle",
         [](Path& p) {
             p.addRect({1, 2, 3, 4});
         },
         "MLLLZ"},
        {"ellipse",
         [](Path& p) {
             p.addEllipseInRect({0, 0, 10, 6});
         },
         "MCCCCZ"},
        {"rounded rectangle",
         [](Path& p) {
             p.addRoundedRect({0, 0, 10, 6}, 2);
         },
         "MLCLCLCLCZ"},
        {"rounded rectangle with radius 0",
         [](Path& p) {
             p.addRoundedRect({0, 0, 10, 6}, 0);
         },
         "MLLLZ"},
        {"line without a current point starts a sub-path",
         [](Path& p) {
             p.lineTo({1, 1});
         },
         "M"},
        {"consecutive moves keep the last",
         [](Path& p) {
             p.moveTo({0, 0});
             p.moveTo({1, 1});
             p.lineTo({2, 2});
         },
         "ML"},
        {"arc with a current point is joined by a line",
         [](Path& p) {
             p.moveTo({0, 0});
             p.addArc({10, 0}, 5, 0, pi / 2, true);
         },
         "MLC"},
        {"arc without a current point starts there",
         [](Path& p) {
             p.addArc({10, 0}, 5, 0, pi / 2, true);
         },
         "MC"},
        {"equal angles sweep nothing",
         [](Path& p) {
             p.addArc({10, 0}, 5, 1, 1, true);
         },
         "M"},
        {"three quarters in quarter-turn pieces",
         [](Path& p) {
             p.addArc({0, 0}, 5, 0, pi / 2, false);
         },
         "MCCC"},
        {"several turns are one circle",
         [](Path& p) {
             p.addArc({0, 0}, 5, 0, 6 * pi, true);
         },
         "MCCCC"},
        {"NaN angle is ignored",
         [](Path& p) {
             p.addArc({0, 0}, 5, 0, std::nan(""), true);
         },
         ""},
        {"negative radius is ignored",
         [](Path& p) {
             p.addArc({0, 0}, -5, 0, 1, true);
         },
         ""},
        {"infinite point is ignored",
         [](Path& p) {
             p.moveTo({0, 0});
             p.lineTo({INFINITY, 0});
         },
         "M"},
        {"close without a path does nothing", [](Path& p) { p.closePath(); }, ""},
        {"quadratic becomes a cubic",
         [](Path& p) {
             p.moveTo({0, 0});
             p.addQuadCurveTo({3, 3}, {6, 0});
         },
         "MC"},
    };
    for (const auto& k : cases) {
        Path p;
        k.build(p);
        EXPECT_EQ(pathKinds(p), k.kinds) << k.name;
        EXPECT_EQ(p.isEmpty(), std::string(k.kinds).empty()) << k.name;
    }
}

TEST(PathTest, GeometryOfThePieces) {
    // A rectangle runs from its origin along +x first.
    Path rect;
    rect.addRect({1, 2, 3, 4});
    expectPoint(rect.elements()[0].points[0], {1, 2}, "rect start");
    expectPoint(rect.elements()[1].points[0], {4, 2}, "rect second corner");
    expectPoint(rect.elements()[3].points[0], {1, 6}, "rect last corner");
    expectPoint(*rect.currentPoint(), {1, 2}, "closing returns to the start");

    // Quadratic (0,0) (3,3) (6,0): cubic controls at 2/3 towards (3,3).
    Path quad;
    quad.moveTo({0, 0});
    quad.addQuadCurveTo({3, 3}, {6, 0});
    expectPoint(quad.elements()[1].points[0], {2, 2}, "quad control 1");
    expectPoint(quad.elements()[1].points[1], {4, 2}, "quad control 2");
    expectPoint(*quad.currentPoint(), {6, 0}, "quad end");

    // An ellipse starts at its right-most point and turns down first
    // (clockwise on screen).
    Path oval;
    oval.addEllipseInRect({0, 0, 10, 6});
    expectPoint(oval.elements()[0].points[0], {10, 3}, "ellipse start");
    expectPoint(oval.elements()[1].points[2], {5, 6}, "ellipse bottom");
    expectPoint(oval.elements()[2].points[2], {0, 3}, "ellipse left");

    // Rounded corners are clamped to half the shorter side.
    Path rounded;
    rounded.addRoundedRect({0, 0, 10, 4}, 5);
    expectPoint(rounded.elements()[0].points[0], {2, 0}, "rounded start after the corner");
}

TEST(PathTest, ArcsStayOnTheirCircleAndEndAtTheEndAngle) {
    const Point c{10, 20};
    const double r = 7;
    struct Case {
        const char* name;
        double start;
        double end;
        bool clockwise;
        double sweep;
    };
    const Case cases[] = {
        {"quarter, clockwise", 0, pi / 2, true, pi / 2},
        {"quarter the other way is three quarters", 0, pi / 2, false, -3 * pi / 2},
        {"clockwise past 2 pi wraps", 3 * pi / 2, pi / 2, true, pi},
        {"counter-clockwise half", pi, 0, false, -pi},
        {"full circle", 0, 2 * pi, true, 2 * pi},
        {"end far below start, clockwise", 0, -100 * pi + 0.5, true, 0.5},
    };
    for (const auto& k : cases) {
        Path p;
        p.addArc(c, r, k.start, k.end, k.clockwise);
        const auto& e = p.elements();
        ASSERT_GE(e.size(), 2u) << k.name;
        expectPoint(e[0].points[0], {c.x + r * std::cos(k.start), c.y + r * std::sin(k.start)}, k.name);
        expectPoint(*p.currentPoint(), {c.x + r * std::cos(k.start + k.sweep), c.y + r * std::sin(k.start + k.sweep)},
                    k.name, 1e-9);
        // Every curve piece keeps within 0.03 % of the radius of the circle,
        // and its middle lies on the swept side.
        Point from = e[0].points[0];
        for (std::size_t i = 1; i < e.size(); ++i) {
            for (double t : {0.25, 0.5, 0.75}) {
                const Point q = cubicAt(from, e[i], t);
                EXPECT_NEAR(std::hypot(q.x - c.x, q.y - c.y), r, r * 3e-4) << k.name << " piece " << i;
            }
            from = e[i].points[2];
        }
        const Point mid = cubicAt(e[0].points[0], e[1], 0.5);
        const double midAngle = std::atan2(mid.y - c.y, mid.x - c.x);
        const double firstPieceSweep = k.sweep / static_cast<double>(e.size() - 1);
        EXPECT_NEAR(std::remainder(midAngle - (k.start + firstPieceSweep / 2), 2 * pi), 0, 1e-3) << k.name;
    }
}

TEST(PathTest, AddPathAppendsAndKeepsTheSource) {
    Path a;
    a.addRect({0, 0, 1, 1});
    Path b;
    b.moveTo({5, 5});
    b.lineTo({6, 6});
    a.addPath(b);
    EXPECT_EQ(pathKinds(a), "MLLLZML");
    expectPoint(*a.currentPoint(), {6, 6}, "current point of the appended path");
    EXPECT_EQ(pathKinds(b), "ML");
    a.addPath(a);
    EXPECT_EQ(pathKinds(a), "MLLLZMLMLLLZML");
    Path copy = b;
    EXPECT_TRUE(copy == b);
}

TEST(GeometryTest, RectangleQueries) {
    struct Case {
        const char* name;
        Rect a;
        Rect b;
        bool intersects;
    };
    const Case cases[] = {
        {"overlapping", {0, 0, 10, 10}, {5, 5, 10, 10}, true},
        {"inside", {0, 0, 10, 10}, {2, 2, 1, 1}, true},
        {"touching along an edge", {0, 0, 10, 10}, {10, 0, 10, 10}, false},
        {"apart", {0, 0, 10, 10}, {20, 20, 1, 1}, false},
        {"negative width is standardised", {10, 0, -10, 10}, {5, 5, 1, 1}, true},
        {"empty never intersects", {0, 0, 0, 10}, {0, 0, 10, 10}, false},
        {"NaN is empty", {0, 0, std::nan(""), 10}, {0, 0, 10, 10}, false},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(k.a.intersects(k.b), k.intersects) << k.name;
        EXPECT_EQ(k.b.intersects(k.a), k.intersects) << k.name << " (swapped)";
    }
    const Rect r{10, 20, -4, 5};
    EXPECT_EQ(r.minX(), 6);
    EXPECT_EQ(r.maxX(), 10);
    EXPECT_TRUE(r.contains({6, 20}));
    EXPECT_FALSE(r.contains({10, 22}));
    EXPECT_FALSE(r.contains({8, 25}));

    // The right half of a box, the box moved and stretched: still its right half.
    const Rect half{60, 10, 50, 20};
    EXPECT_EQ(half.movedWith({10, 10, 100, 20}, {0, 100, 200, 60}), (Rect{100, 100, 100, 60}));
    EXPECT_EQ(half.movedWith({10, 10, 0, 20}, {0, 100, 200, 60}), half) << "nothing to stretch from";
}

TEST(GeometryTest, AffineTransformsComposeInOrder) {
    const auto t = AffineTransform::translation(10, 0);
    const auto s = AffineTransform::scale(2, 3);
    // Translate first, then scale: (1, 1) -> (11, 1) -> (22, 3).
    EXPECT_EQ(AffineTransform::concat(t, s).apply({1, 1}), (Point{22, 3}));
    // Scale first, then translate: (1, 1) -> (2, 3) -> (12, 3).
    EXPECT_EQ(AffineTransform::concat(s, t).apply({1, 1}), (Point{12, 3}));
    // translated() prepends: user space moves before the transform maps it.
    EXPECT_EQ(s.translated(1, 1).apply({0, 0}), (Point{2, 3}));
    const Point turned = AffineTransform::rotation(pi / 2).apply({1, 0});
    expectPoint(turned, {0, 1}, "a quarter turn takes +x to +y");
    EXPECT_EQ(AffineTransform::scale(0, 5).determinant(), 0);
}

TEST(PathTest, BoundingBoxTakesEveryPointControlPointsIncluded) {
    EXPECT_EQ(Path().boundingBox(), Rect{});
    Path ellipse;
    ellipse.addEllipseInRect({2, 3, 10, 6});
    EXPECT_EQ(ellipse.boundingBox(), (Rect{2, 3, 10, 6}));
    Path bump;
    bump.moveTo({0, 0});
    bump.addCurveTo({0, -8}, {4, -8}, {4, 0});
    bump.lineTo({6, 1});
    EXPECT_EQ(bump.boundingBox(), (Rect{0, -8, 6, 9})) << "the controls reach above the curve";
}

TEST(PathTest, SharpestJoinIsTheLongestMiterOfAnyCorner) {
    const auto line = [](std::initializer_list<Point> points, bool closed = false) {
        Path path;
        for (const Point& p : points) path.elements().empty() ? path.moveTo(p) : path.lineTo(p);
        if (closed) path.closePath();
        return path;
    };
    EXPECT_EQ(Path().sharpestJoin(), 1);
    EXPECT_EQ(line({{0, 0}, {5, 9}}).sharpestJoin(), 1) << "one piece has no corner";
    EXPECT_NEAR(line({{0, 0}, {10, 0}, {10, 10}}).sharpestJoin(), std::numbers::sqrt2, 1e-12);
    EXPECT_EQ(line({{0, 0}, {10, 0}, {10, 0}, {20, 0}}).sharpestJoin(), 1) << "a piece of no length turns nowhere";
    EXPECT_TRUE(std::isinf(line({{0, 0}, {10, 0}, {0, 0}}).sharpestJoin())) << "turning back";
    // A thin triangle whose sharpest corner is where it closes.
    const Path thin = line({{0, 0}, {100, 5}, {100, -5}}, true);
    EXPECT_NEAR(thin.sharpestJoin(), 1 / std::sin(std::atan(0.05)), 1e-9);
    EXPECT_NEAR(line({{0, 0}, {100, 5}, {100, -5}}).sharpestJoin(), std::sqrt(2 / (1 - 5 / std::hypot(100, 5))), 1e-9)
        << "open, the corner at the start is no corner";
    // Sub-paths do not join one another.
    Path two = line({{0, 0}, {10, 0}});
    two.moveTo({10, 0});
    two.lineTo({0, 0});
    EXPECT_EQ(two.sharpestJoin(), 1);
    // Curves meet at their tangents; a circle turns nowhere.
    Path circle;
    circle.addEllipseInRect({0, 0, 10, 10});
    EXPECT_NEAR(circle.sharpestJoin(), 1, 1e-9);
    Path hook;
    hook.moveTo({0, 0});
    hook.lineTo({10, 0});
    hook.addCurveTo({10, 0}, {10, 10}, {20, 10});  // leaves downwards: its first control is its start
    EXPECT_NEAR(hook.sharpestJoin(), std::numbers::sqrt2, 1e-12);
}
