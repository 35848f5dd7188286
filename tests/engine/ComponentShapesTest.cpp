// The generators' shape kit and the point-list operations: shapes point by
// point, moving, scaling, mirroring and turning polygon components, and
// measuring and cutting paths.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "engine/generators/ComponentShapes.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/PolyBIG.h"
#include "tests/support/GeometryChecks.h"
#include "tools/layoutgen/LayoutGen.h"

using testsupport::ExpectPoint;

namespace {

void ExpectPoints(const std::vector<CPoint>& actual, const std::vector<CPoint>& expected, const std::string& what,
                  double tolerance = 1e-9) {
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ExpectPoint(actual[i], expected[i].x, expected[i].y, tolerance, what + " point " + std::to_string(i));
        EXPECT_NEAR(actual[i].z, expected[i].z, tolerance) << what << " z of point " << i;
    }
}

}  // namespace

TEST(ComponentShapes, ShapesHaveTheirPointsKindsAndFill) {
    struct Case {
        const char* name;
        std::unique_ptr<CPolyBIG> shape;
        std::vector<CPoint> points;
        std::int32_t lineWidth;
        std::int32_t kind;
        bool fill;
    };
    std::vector<Case> cases;
    cases.push_back({"rectangle",
                     std::unique_ptr<CPolyBIG>(UComponentShapes::CreateRectangle(1, 12.5, 75)),
                     {{0, 0}, {12.5, 0}, {12.5, 75}, {0, 75}},
                     1,
                     kPolyKindRectangle,
                     true});
    cases.push_back({"line keeps z",
                     std::unique_ptr<CPolyBIG>(UComponentShapes::CreateLine(2, CPoint(1, 2, 3), CPoint(4, 5, 6))),
                     {{1, 2, 3}, {4, 5, 6}},
                     2,
                     kPolyKindPolygon,
                     false});
    cases.push_back({"diamond of a negative size",
                     std::unique_ptr<CPolyBIG>(UComponentShapes::CreateDiamond(3, -8)),
                     {{0, 4}, {4, 0}, {8, 4}, {4, 8}},
                     3,
                     kPolyKindPolygon,
                     true});
    cases.push_back({"triangle apex up",
                     std::unique_ptr<CPolyBIG>(UComponentShapes::CreateTriangle(1, true, 10)),
                     {{0, 0}, {10, 0}, {5, 10}},
                     1,
                     kPolyKindPolygon,
                     true});
    cases.push_back({"triangle apex down",
                     std::unique_ptr<CPolyBIG>(UComponentShapes::CreateTriangle(1, false, 10)),
                     {{0, 10}, {10, 10}, {5, 0}},
                     1,
                     kPolyKindPolygon,
                     true});
    cases.push_back({"base-anchored triangle",
                     std::unique_ptr<CPolyBIG>(UComponentShapes::CreateBaseAnchoredTriangle(4, 10)),
                     {{5, 0}, {10, 0}, {5, 10}, {0, 0}},
                     4,
                     kPolyKindPolygon,
                     true});
    cases.push_back({"notched head",
                     std::unique_ptr<CPolyBIG>(UComponentShapes::CreateNotchedArrowHead(20, 0.25)),
                     {{5, 10}, {20, 0}, {0, 10}, {20, 20}},
                     1,
                     kPolyKindPolygon,
                     true});
    cases.push_back({"open head",
                     std::unique_ptr<CPolyBIG>(UComponentShapes::CreateOpenArrowHead(10)),
                     {{10, 0}, {0, 5}, {10, 10}},
                     1,
                     kPolyKindPolygon,
                     false});
    cases.push_back({"chevron",
                     std::unique_ptr<CPolyBIG>(UComponentShapes::CreateChevron(10)),
                     {{5, 5}, {0, 10}, {5, 15}},
                     1,
                     kPolyKindPolygon,
                     false});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectPoints(c.shape->GetPoints(), c.points, c.name);
        EXPECT_EQ(c.shape->GetLineWidth(), c.lineWidth);
        EXPECT_EQ(c.shape->GetKind(), c.kind);
        EXPECT_EQ(c.shape->GetFillFlag(), c.fill);
        EXPECT_EQ(c.shape->GetOffsetX(), 0.0);
        EXPECT_EQ(c.shape->GetOffsetY(), 0.0);
        EXPECT_EQ(c.shape->GetAngle(), 0.0);
    }
}

TEST(ComponentShapes, ScaleMirrorTurnAndMoveComponents) {
    std::unique_ptr<CPolyBIG> shape(UComponentShapes::CreateLine(1, CPoint(1, 2, 7), CPoint(3, -4, 7)));
    shape->SetOffsetX(2);
    shape->SetOffsetY(3);

    UComponentShapes::ScaleComponent(shape.get(), 2.0, false);
    ExpectPoints(shape->GetPoints(), {{2, 4, 7}, {6, -8, 7}}, "scaled, offset kept");
    EXPECT_EQ(shape->GetOffsetX(), 2.0);
    EXPECT_EQ(shape->GetOffsetY(), 3.0);

    UComponentShapes::ScaleComponent(shape.get(), 0.5, 3.0, true);
    ExpectPoints(shape->GetPoints(), {{1, 12, 7}, {3, -24, 7}}, "scaled apart, offset too");
    EXPECT_EQ(shape->GetOffsetX(), 1.0);
    EXPECT_EQ(shape->GetOffsetY(), 9.0);

    UComponentShapes::MirrorY(shape.get());
    ExpectPoints(shape->GetPoints(), {{1, -12, 7}, {3, 24, 7}}, "mirrored");

    // A 2 x 2 square turned about its corner (0, 0) by 90 degrees.
    std::unique_ptr<CPolyBIG> square(UComponentShapes::CreateRectangle(0, 2, 2));
    UComponentShapes::RotateAroundPoint(square.get(), CPoint(0, 0), 90);
    EXPECT_EQ(square->GetAngle(), 90.0);
    ExpectPoints(square->GetTransformedPoints(0), {{0, 0}, {0, 2}, {-2, 2}, {-2, 0}}, "square turned about corner");

    // The same about a far centre: the whole square swings round it.
    std::unique_ptr<CPolyBIG> far(UComponentShapes::CreateRectangle(0, 2, 2));
    UComponentShapes::RotateAroundPoint(far.get(), CPoint(10, 0), 180);
    ExpectPoints(far->GetTransformedPoints(0), {{20, 0}, {18, 0}, {18, -2}, {20, -2}}, "square swung round (10, 0)");

    // A line at 90 degrees turns about its box centre (5, 0): (5, -5), (5, 5).
    std::unique_ptr<CPolyBIG> line(UComponentShapes::CreateLine(1, CPoint(0, 0), CPoint(10, 0)));
    line->SetAngle(90);
    UComponentShapes::MovePointTo(CPoint(0, 0), line.get(), 1);
    ExpectPoints(line->GetTransformedPoints(0), {{0, -10}, {0, 0}}, "point 1 moved onto the origin");
    UComponentShapes::MovePointTo(CPoint(50, 50), line.get(), 9);
    ExpectPoints(line->GetTransformedPoints(0), {{0, -10}, {0, 0}}, "a missing point moves nothing");
}

TEST(ComponentShapes, PointAtDistance) {
    struct Case {
        const char* name;
        CPoint from;
        CPoint toward;
        double distance;
        CPoint expected;
    };
    const std::vector<Case> cases = {
        {"along x", {0, 0}, {10, 0}, 4, {4, 0}},
        {"negative lies behind the start", {0, 0}, {10, 0}, -5, {-5, 0}},
        {"beyond the target", {0, 0}, {0, 10}, 15, {0, 15}},
        {"3-D distance, z interpolated", {0, 0, 0}, {0, 3, 4}, 2.5, {0, 1.5, 2}},
        // The start itself, not the origin.
        {"coinciding points", {2, 3, 4}, {2, 3, 4}, 5, {2, 3, 4}},
    };
    for (const Case& c : cases) {
        const CPoint p = UComponentShapes::GetPointAtDistance(c.from, c.toward, c.distance);
        ExpectPoint(p, c.expected.x, c.expected.y, 1e-12, c.name);
        EXPECT_NEAR(p.z, c.expected.z, 1e-12) << c.name;
    }
}

TEST(PointListOperations, TransformsAndPathLength) {
    std::vector<CPoint> points = {{1, 2, 3}, {-1, 0, 0}};
    UPointListOperations::Translate(points, 1, -2, 0.5);
    ExpectPoints(points, {{2, 0, 3.5}, {0, -2, 0.5}}, "translated");

    UPointListOperations::Scale(points, 2);
    ExpectPoints(points, {{4, 0, 7}, {0, -4, 1}}, "scaled about the origin, z too");

    std::vector<CPoint> plan = {{2, 0, 5}, {1, 0, 0}};
    UPointListOperations::RotateAroundZAxis(plan, CPoint(1, 0), 90);
    ExpectPoints(plan, {{1, 1, 5}, {1, 0, 0}}, "turned in plan about (1, 0)", 1e-12);

    UPointListOperations::RotateAroundZAxis(plan, CPoint(0, 0), 0.00005);
    ExpectPoints(plan, {{1, 1, 5}, {1, 0, 0}}, "a tiny plan angle changes nothing", 0.0);

    std::vector<CPoint> side = {{1, 7, 0}};
    UPointListOperations::RotateAroundYAxis(side, CPoint(0, 99, 0), 90);
    EXPECT_NEAR(side[0].x, 0.0, 1e-12);
    EXPECT_NEAR(std::fabs(side[0].z), 1.0, 1e-12);
    EXPECT_EQ(side[0].y, 7.0);
    const std::vector<CPoint> before = side;
    UPointListOperations::RotateAroundYAxis(side, CPoint(0, 0, 0), -0.00005);
    ExpectPoints(side, before, "a tiny side angle changes nothing", 0.0);

    struct Case {
        const char* name;
        std::vector<CPoint> path;
        double length;
    };
    const std::vector<Case> cases = {
        {"empty", {}, 0},
        {"one point", {{5, 5}}, 0},
        {"two bends", {{0, 0}, {3, 4}, {3, 10}}, 11},
        {"rising", {{0, 0, 0}, {0, 0, 5}, {0, 3, 9}}, 10},
    };
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(UPointListOperations::GetPathLength(c.path), c.length) << c.name;
}

TEST(PointListOperations, SubPathsFollowTheTrueSegmentLengths) {
    const std::vector<CPoint> even = {{0, 0}, {10, 0}, {20, 0}, {30, 0}};
    const std::vector<CPoint> uneven = {{0, 0}, {1, 0}, {11, 0}};
    struct Case {
        const char* name;
        std::vector<CPoint> path;
        double start;
        double end;
        std::vector<CPoint> expected;
    };
    const std::vector<Case> cases = {
        {"whole even path", even, 0, 100, even},
        {"first half", even, 0, 50, {{0, 0}, {10, 0}, {15, 0}}},
        {"middle half", even, 25, 75, {{7.5, 0}, {10, 0}, {20, 0}, {22.5, 0}}},
        {"inside one segment", even, 40, 50, {{12, 0}, {15, 0}}},
        {"last tenth", even, 90, 100, {{27, 0}, {30, 0}}},
        {"z follows", {{0, 0, 0}, {0, 0, 10}}, 0, 50, {{0, 0, 0}, {0, 0, 5}}},
        // Segments of different lengths each count with their own length.
        {"uneven, first half", uneven, 0, 50, {{0, 0}, {1, 0}, {5.5, 0}}},
        {"uneven, second half", uneven, 50, 100, {{5.5, 0}, {11, 0}}},
        // A first segment of length 0 must not stop the cut.
        {"zero-length first segment", {{0, 0}, {0, 0}, {10, 0}}, 50, 100, {{5, 0}, {10, 0}}},
        {"zero-length first segment, end cut", {{0, 0}, {0, 0}, {10, 0}}, 0, 30, {{0, 0}, {0, 0}, {3, 0}}},
        {"one point", {{4, 4}}, 20, 30, {{4, 4}}},
    };
    for (const Case& c : cases) {
        ExpectPoints(UPointListOperations::GetSubPath(c.path, c.start, c.end), c.expected, c.name, 1e-9);
    }
}

TEST(ElementComponents, WidthsOfAllComponentsAreSetAndNothingElse) {
    const ULayoutGen::tTrackMeasures measures{16.5, 40.0, 1.0};
    std::unique_ptr<CCompositeGeometry> element =
        ULayoutGen::CElementBuilder()
            .Straight(188.3, measures)
            .Curve(437.5, 24.28, measures)
            .Poly({CPoint(0, 0), CPoint(50, 0), CPoint(25, 40)}, kPolyKindPolygon, 2)
            .Build();
    ASSERT_EQ(element->GetComponents().size(), 3u);

    std::vector<double> railWidths;
    for (const CBasicGeometry* component : element->GetComponents()) railWidths.push_back(component->GetRailWidth());
    EXPECT_DOUBLE_EQ(railWidths[0], 1.0);

    UElementComponents::SetTrackbedWidthOfAll(element.get(), 55.5);
    for (std::size_t i = 0; i < 3; ++i) {
        const CBasicGeometry* component = element->GetComponents()[i];
        EXPECT_DOUBLE_EQ(component->GetTrackbedWidth(), 55.5) << "component " << i;
        EXPECT_DOUBLE_EQ(component->GetRailWidth(), railWidths[i]) << "rail width of component " << i << " kept";
    }
    EXPECT_DOUBLE_EQ(element->GetComponents()[0]->GetGauge(), 16.5);

    UElementComponents::SetRailWidthOfAll(element.get(), 2.25);
    for (std::size_t i = 0; i < 3; ++i) {
        const CBasicGeometry* component = element->GetComponents()[i];
        EXPECT_DOUBLE_EQ(component->GetRailWidth(), 2.25) << "component " << i;
        EXPECT_DOUBLE_EQ(component->GetTrackbedWidth(), 55.5) << "trackbed of component " << i << " kept";
    }
    EXPECT_DOUBLE_EQ(element->GetComponents()[1]->GetGauge(), 16.5);

    // No element: nothing to set, and no crash.
    UElementComponents::SetTrackbedWidthOfAll(nullptr, 1.0);
    UElementComponents::SetRailWidthOfAll(nullptr, 1.0);
}

TEST(PathStrings, LastPathComponentIsThePartAfterTheLastSlash) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"Libraries/H0/C track.gleis", "C track.gleis"},
        {"C track.gleis", "C track.gleis"},
        {"/C track.gleis", "C track.gleis"},
        {"Libraries/H0/", ""},
        {"/", ""},
        {"", ""},
        {"a//b", "b"},
        // Only "/" separates; a backslash is part of the name.
        {"Libraries\\H0", "Libraries\\H0"},
        {"Gleise/B\xC3\xB6gen", "B\xC3\xB6gen"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UPathStrings::GetLastPathComponent(c.text), c.expected) << c.text;
    }
}
