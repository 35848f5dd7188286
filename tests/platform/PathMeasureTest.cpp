#include "platform/graphics/PathMeasure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

using platform::Path;
using platform::PathMeasure;
using platform::Point;
using Type = platform::Path::ElementType;

namespace {

std::string kinds(const Path& path) {
    std::string out;
    for (const auto& e : path.elements()) {
        out += e.type == Type::moveTo ? 'M' : e.type == Type::lineTo ? 'L' : e.type == Type::curveTo ? 'C' : 'Z';
    }
    return out;
}

Point endOf(const Path::Element& e) { return e.type == Type::curveTo ? e.points[2] : e.points[0]; }

}  // namespace

TEST(PathMeasureTest, LengthsOfLinesCurvesAndSubpaths) {
    struct Case {
        const char* name;
        void (*build)(Path&);
        double length;
        double tolerance;
    };
    const Case cases[] = {
        {"a line",
         [](Path& p) {
             p.moveTo({0, 0}), p.lineTo({3, 4});
         },
         5, 1e-12},
        {"a rectangle counts its closing side",
         [](Path& p) {
             p.addRect({0, 0, 10, 20});
         },
         60, 1e-12},
        {"two sub-paths add up",
         [](Path& p) {
             p.moveTo({0, 0}), p.lineTo({0, 7});
             p.moveTo({5, 5}), p.lineTo({8, 9});
         },
         12, 1e-12},
        {"a move alone measures nothing",
         [](Path& p) {
             p.moveTo({4, 4});
         },
         0, 0},
        {"a straight cubic with even controls",
         [](Path& p) {
             p.moveTo({0, 0}), p.addCurveTo({1, 0}, {2, 0}, {3, 0});
         },
         3, 1e-12},
        {"a straight cubic that lingers at its ends",
         [](Path& p) {
             p.moveTo({0, 0}), p.addCurveTo({0, 0}, {3, 0}, {3, 0});
         },
         3, 1e-9},
        // Four cubics stand for the circle, within 0.03 % of its radius.
        {"a circle of radius 10",
         [](Path& p) {
             p.addEllipseInRect({0, 0, 20, 20});
         },
         20 * std::numbers::pi, 0.02},
    };
    for (const auto& c : cases) {
        Path path;
        c.build(path);
        EXPECT_NEAR(PathMeasure(path).length(), c.length, c.tolerance) << c.name;
    }
}

TEST(PathMeasureTest, SegmentsCutAtLengthsAndKeepWholeSubpathsClosed) {
    Path square;
    square.addRect({0, 0, 10, 10});
    const PathMeasure measure(square);

    const Path half = measure.segment(0, 20);
    EXPECT_EQ(kinds(half), "MLL");
    EXPECT_EQ(endOf(half.elements().back()), (Point{10, 10}));

    EXPECT_EQ(measure.segment(0, 40), square) << "the whole square stays closed";
    EXPECT_EQ(measure.segment(-5, 99), square) << "lengths are clamped";

    const Path lastSide = measure.segment(35, 40);
    EXPECT_EQ(kinds(lastSide), "ML") << "part of the closing side is a line";
    EXPECT_EQ(lastSide.elements()[0].points[0], (Point{0, 5}));
    EXPECT_EQ(lastSide.elements()[1].points[0], (Point{0, 0}));

    EXPECT_TRUE(measure.segment(20, 20).isEmpty());
    EXPECT_TRUE(measure.segment(30, 10).isEmpty());

    Path two;
    two.moveTo({0, 0});
    two.lineTo({10, 0});
    two.moveTo({0, 5});
    two.lineTo({10, 5});
    const Path bridge = PathMeasure(two).segment(5, 15);
    EXPECT_EQ(kinds(bridge), "MLML") << "each sub-path touched is a piece of its own";
    EXPECT_EQ(bridge.elements()[0].points[0], (Point{5, 0}));
    EXPECT_EQ(bridge.elements()[3].points[0], (Point{5, 5}));

    // Curves are cut where their length is, not where their parameter is.
    Path lingering;
    lingering.moveTo({0, 0});
    lingering.addCurveTo({0, 0}, {3, 0}, {3, 0});
    const Path firstHalf = PathMeasure(lingering).segment(0, 1.5);
    ASSERT_EQ(kinds(firstHalf), "MC");
    EXPECT_NEAR(endOf(firstHalf.elements()[1]).x, 1.5, 1e-9);
    const Path middle = PathMeasure(lingering).segment(1, 2);
    ASSERT_EQ(kinds(middle), "MC");
    EXPECT_NEAR(middle.elements()[0].points[0].x, 1, 1e-9);
    EXPECT_NEAR(endOf(middle.elements()[1]).x, 2, 1e-9);
    EXPECT_NEAR(PathMeasure(middle).length(), 1, 1e-9);

    // A quarter of a circle's length ends a quarter turn on.
    Path circle;
    circle.addArc({0, 0}, 10, 0, 2 * std::numbers::pi, true);
    const PathMeasure round(circle);
    const Point quarter = endOf(round.segment(0, round.length() / 4).elements().back());
    EXPECT_NEAR(quarter.x, 0, 1e-9);
    EXPECT_NEAR(quarter.y, 10, 1e-9);
    const Point third = endOf(round.segment(0, round.length() / 3).elements().back());
    EXPECT_NEAR(std::atan2(third.y, third.x), 2 * std::numbers::pi / 3, 1e-3);
}
