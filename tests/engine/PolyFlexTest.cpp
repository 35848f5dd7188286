// Polygon and flex-track components: transformed points, bounds, the Bezier
// centre line, reshaping, the record and hostile records.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/fileformat/Tag.h"
#include "engine/fileformat/TaggedFile.h"
#include "engine/geometry/BoundsAccumulator.h"
#include "engine/model/ComponentFactory.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/PolyBIG.h"
#include "tests/support/GeometryChecks.h"
#include "tests/support/LogWatch.h"
#include "tests/support/RecordWriter.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

using testsupport::CountLogged;
using testsupport::ExpectPoint;
using testsupport::ExpectRect;
using testsupport::FileWith;
using testsupport::LoadRecord;
using testsupport::ReadLeDouble;
using testsupport::ReadLeInt;
using testsupport::RecordWriter;
using testsupport::SaveBytes;
using testsupport::SetBaseFields;
using testsupport::tFile;
using testsupport::tLoadResult;

// Polygon records written in any order, for record forms Save does not make.
class PolyRecordWriter : public RecordWriter {
public:
    // 300 = type and the base tags of a version-13 record.
    void Header(std::int32_t type) {
        tags().WriteInt(300, type);
        for (std::uint16_t id = 301; id <= 304; ++id) tags().WriteDouble(id, 0);
        tags().WriteBool(305, true);
        tags().WriteBool(306, true);
        tags().WriteDouble(307, 40);
        tags().WriteDouble(308, 2);
        tags().WriteInt(309, 1);
        for (std::uint16_t id = 328; id <= 331; ++id) tags().WriteDouble(id, 1);
        tags().WriteBool(335, false);
        tags().WriteInt(334, 0);
        tags().WriteBool(333, false);
    }
    void Points(const std::vector<CPoint>& points) {
        for (const CPoint& p : points) {
            tags().WriteDouble(319, p.x);
            tags().WriteDouble(320, p.y);
        }
    }
    void Tail(std::int32_t kind, std::int32_t lineWidth) {
        tags().WriteBool(321, true);
        tags().WriteInt(322, kind);
        tags().WriteInt(323, lineWidth);
    }
};

// The record ids in file order.
std::vector<std::uint16_t> TagIds(const std::vector<std::uint8_t>& bytes) {
    tFile file = FileWith(bytes);
    std::vector<std::uint16_t> ids;
    CTag tag;
    while (tag.ReadTag(file.get())) ids.push_back(tag.GetId());
    return ids;
}

// The Bezier curve in Bernstein form, written apart from the component's
// de Casteljau through Boost.
CPoint Bernstein(const std::vector<CPoint>& controls, double t) {
    const int n = static_cast<int>(controls.size()) - 1;
    CPoint sum(0, 0, 0);
    double binomial = 1;
    for (int i = 0; i <= n; ++i) {
        const double weight = binomial * std::pow(t, i) * std::pow(1 - t, n - i);
        sum.x += weight * controls[i].x;
        sum.y += weight * controls[i].y;
        sum.z += weight * controls[i].z;
        binomial = binomial * (n - i) / (i + 1);
    }
    return sum;
}

double PolylineLength(const std::vector<CPoint>& controls, int segments) {
    double length = 0;
    CPoint previous = Bernstein(controls, 0);
    for (int i = 1; i <= segments; ++i) {
        const CPoint next = Bernstein(controls, static_cast<double>(i) / segments);
        length +=
            std::sqrt((next.x - previous.x) * (next.x - previous.x) + (next.y - previous.y) * (next.y - previous.y) +
                      (next.z - previous.z) * (next.z - previous.z));
        previous = next;
    }
    return length;
}

CFlexTrackBIG FlexWith(const std::vector<CPoint>& controls, double trackbedWidth = 0) {
    CFlexTrackBIG flex;
    flex.SetTrackbedWidth(trackbedWidth);
    flex.SetPoints(controls);
    return flex;
}

const std::vector<CPoint> kTriangle = {CPoint(0, 0), CPoint(100, 0), CPoint(100, 50)};

// ------------------------------------------------------------- polygons

TEST(PolyBIG, TransformedPointsTurnAboutTheBoxCentre) {
    struct Case {
        const char* name;
        double angle;
        double extraAngle;
        double offsetX;
        double offsetY;
        std::vector<CPoint> expected;
    };
    // Box centre (50, 25); a quarter turn maps (dx, dy) to (-dy, dx).
    const Case cases[] = {
        {"quarter turn, offset (10, 10)", 90, 0, 10, 10, {{85, -15}, {85, 85}, {35, 85}}},
        {"half in the component, half from the element", 45, 45, 10, 10, {{85, -15}, {85, 85}, {35, 85}}},
        {"no turn, offset only", 0, 0, 5, -5, {{5, -5}, {105, -5}, {105, 45}}},
        {"half turn", 180, 0, 0, 0, {{100, 50}, {0, 50}, {0, 0}}},
        {"three quarters back", 0, -90, 0, 0, {{25, 75}, {25, -25}, {75, -25}}},
    };
    for (const Case& c : cases) {
        CPolyBIG poly(kTriangle, 1, kPolyKindPolygon, c.offsetX, c.offsetY, c.angle);
        const std::vector<CPoint> points = poly.GetTransformedPoints(c.extraAngle);
        ASSERT_EQ(points.size(), 3u) << c.name;
        for (std::size_t i = 0; i < 3; ++i)
            ExpectPoint(points[i], c.expected[i].x, c.expected[i].y, 1e-9,
                        std::string(c.name) + ", point " + std::to_string(i));
        ExpectPoint(poly.GetRotationCenter(), 50, 25, 1e-12, c.name);
        ExpectPoint(poly.GetPointAt(0, c.extraAngle), c.expected[0].x, c.expected[0].y, 1e-9, c.name);
        ExpectPoint(poly.GetPointAt(2, c.extraAngle), c.expected[2].x, c.expected[2].y, 1e-9, c.name);
        ExpectPoint(poly.GetReferencePoint(c.extraAngle), c.expected[0].x, c.expected[0].y, 1e-9, c.name);
        // The stored points stay in the component's own frame.
        ExpectPoint(poly.GetPoint(2), 100, 50, 0, c.name);
    }

    // Out of range: the origin, not memory past the points.
    CPolyBIG poly(kTriangle, 1, kPolyKindPolygon, 10, 10, 90);
    ExpectPoint(poly.GetPointAt(3, 0), 0, 0, 0, "point 3 of 3");
    ExpectPoint(poly.GetPoint(99), 0, 0, 0, "stored point 99 of 3");
}

TEST(PolyBIG, BoundsGrowByHalfTheLineWidth) {
    struct Case {
        const char* name;
        std::int32_t lineWidth;
        double elementAngle;
        double minX, minY, maxX, maxY;
    };
    // Transformed at 90 degrees: (85, -15), (85, 85), (35, 85).
    const Case cases[] = {
        {"line width 1", 1, 0, 34.5, -15.5, 85.5, 85.5},
        {"line width 4", 4, 0, 33, -17, 87, 87},
        {"line width 0", 0, 0, 35, -15, 85, 85},
        {"negative line width counts as 0", -6, 0, 35, -15, 85, 85},
        {"element angle adds to the component's", 1, 90, 9.5, 9.5, 110.5, 60.5},
    };
    for (const Case& c : cases) {
        CPolyBIG poly(kTriangle, c.lineWidth, kPolyKindLine, 10, 10, 90);
        ExpectRect(poly.CalcBoundingBox(c.elementAngle), c.minX, c.minY, c.maxX, c.maxY, 1e-9, c.name);
    }
}

TEST(PolyBIG, EmptyPolygonIsSafeEverywhere) {
    CPolyBIG poly;
    poly.SetAngle(30);
    poly.SetOffsetX(7);
    EXPECT_EQ(poly.GetNumberOfPoints(), 0u);
    EXPECT_TRUE(poly.GetTransformedPoints(45).empty());
    ExpectPoint(poly.GetPointAt(0, 45), 0, 0, 0, "first transformed point");
    ExpectPoint(poly.GetPoint(0), 0, 0, 0, "first stored point");
    ExpectPoint(poly.GetReferencePoint(45), 0, 0, 0, "reference point");
    EXPECT_EQ(poly.CalcBoundingBox(45), EmptyRect());
    EXPECT_EQ(poly.GetSerializedSize(), 92u + 18u);
    std::vector<std::uint8_t> buffer(poly.GetSerializedSize());
    EXPECT_EQ(poly.Serialize(buffer.data()) - buffer.data(), 110);
    EXPECT_EQ(ReadLeInt(buffer.data() + 96), 0);
}

TEST(PolyBIG, GeneratorShapeAndCopy) {
    CPolyBIG poly(kTriangle, 3, kPolyKindRectangle, 4, 5, 12);
    EXPECT_EQ(poly.GetType(), 3);
    EXPECT_EQ(poly.GetLineWidth(), 3);
    EXPECT_EQ(poly.GetKind(), kPolyKindRectangle);
    EXPECT_EQ(poly.GetOffsetX(), 4);
    EXPECT_EQ(poly.GetOffsetY(), 5);
    EXPECT_EQ(poly.GetAngle(), 12);
    EXPECT_EQ(poly.GetGauge(), 0);
    EXPECT_FALSE(poly.IsJointEnabled(0));
    EXPECT_FALSE(poly.IsJointEnabled(1));
    EXPECT_FALSE(poly.GetJoint(0)->IsFree());
    EXPECT_FALSE(poly.GetJoint(1)->IsFree());
    EXPECT_TRUE(poly.GetFillFlag());
    EXPECT_TRUE(poly.GetSecondFlag());

    poly.SetFillFlag(false);
    poly.SetSecondFlag(false);
    poly.SetColorLocked(true);
    CPolyBIG copy(poly);
    EXPECT_EQ(copy.GetNumberOfPoints(), 3u);
    ExpectPoint(copy.GetPoint(1), 100, 0, 0, "copied point");
    EXPECT_FALSE(copy.GetFillFlag());
    EXPECT_FALSE(copy.GetSecondFlag());
    EXPECT_EQ(copy.GetKind(), kPolyKindRectangle);
    EXPECT_EQ(copy.GetLineWidth(), 3);
    EXPECT_TRUE(copy.IsColorLocked());
    // A copy owns its points.
    poly.SetPoints({CPoint(1, 1)});
    EXPECT_EQ(copy.GetNumberOfPoints(), 3u);
}

// ----------------------------------------------------------- flex tracks

TEST(FlexTrackBIG, StraightFromItsEnds) {
    CFlexTrackBIG flex(CPoint(0, 0), CPoint(300, 0), true, false, 0, 0, 750, 16.5, 40, 1.03125);
    ASSERT_EQ(flex.GetNumberOfPoints(), 3u);
    ExpectPoint(flex.GetPoint(1), 150, 0, 0, "middle control point");
    EXPECT_NEAR(flex.GetTrackLength(), 300, 1e-9);
    EXPECT_EQ(flex.GetType(), 6);
    EXPECT_EQ(flex.GetMaxLength(), 750);
    EXPECT_EQ(flex.GetGauge(), 16.5);
    EXPECT_EQ(flex.GetTrackbedWidth(), 40);
    EXPECT_EQ(flex.GetRailWidth(), 1.03125);
    EXPECT_EQ(flex.GetAngle(), 0);
    EXPECT_TRUE(flex.IsJointEnabled(0));
    EXPECT_TRUE(flex.GetJoint(0)->IsFree());
    EXPECT_FALSE(flex.IsJointEnabled(1));
    EXPECT_FALSE(flex.GetJoint(1)->IsFree());
    EXPECT_EQ(CFlexTrackBIG().GetMaxLength(), 500);
    flex.SetLineWidth(9);
    EXPECT_EQ(flex.GetLineWidth(), 1) << "a flex track keeps its line width";
    flex.SetFillFlag(false);
    EXPECT_TRUE(flex.GetFillFlag()) << "and its fill flag";
    EXPECT_EQ(CFlexTrackBIG().GetTrackLength(), 0);

    // Joints: the ends, pointing into the track.
    const tJointPair joints = flex.GetUpdatedJoints(CPoint(1000, 2000, 5), CGradeVector::Null(), 0);
    ExpectPoint(joints.first->GetElementPoint(), 0, 0, 1e-9, "joint 0");
    ExpectPoint(joints.second->GetElementPoint(), 300, 0, 1e-9, "joint 1");
    ExpectPoint(joints.first->GetLayoutPoint(), 1000, 2000, 1e-9, "joint 0 in the layout");
    EXPECT_EQ(joints.first->GetLayoutPoint().z, 5);
    EXPECT_NEAR(joints.first->GetAngle(), 0, 1e-9);
    EXPECT_NEAR(joints.second->GetAngle(), 180, 1e-9);
    ExpectPoint(flex.GetReferencePoint(0), 0, 0, 1e-9, "reference point is joint 0");

    // Component angle 30 plus element angle 60: a quarter turn about (150, 0).
    flex.SetAngle(30);
    flex.UpdateJoints(CPoint(0, 0), CGradeVector::Null(), 2, 60);
    ExpectPoint(flex.GetJoint(0)->GetElementPoint(), 150, -150, 1e-9, "turned joint 0");
    ExpectPoint(flex.GetJoint(1)->GetElementPoint(), 150, 150, 1e-9, "turned joint 1");
    EXPECT_NEAR(flex.GetJoint(0)->GetAngle(), 90, 1e-9);
    EXPECT_NEAR(flex.GetJoint(1)->GetAngle(), 270, 1e-9);
    ExpectPoint(flex.GetJoint(0)->GetLayoutPoint(), 1000, 2000, 1e-9, "mode 2 keeps layout points");

    // A copy has its own length.
    CFlexTrackBIG copy(flex);
    EXPECT_NEAR(copy.GetTrackLength(), 300, 1e-9);
    EXPECT_EQ(copy.GetMaxLength(), 750);
    EXPECT_EQ(copy.GetNumberOfPoints(), 3u);
}

TEST(FlexTrackBIG, BezierPointsOfTheCentreLine) {
    // B(t) = (1-t)^2 P0 + 2t(1-t) P1 + t^2 P2.
    CFlexTrackBIG flex = FlexWith({CPoint(0, 0), CPoint(100, 100), CPoint(200, 0)});
    struct Case {
        const char* name;
        double t;
        double elementAngle;
        double x, y;
    };
    const Case cases[] = {
        {"start", 0, 0, 0, 0},
        {"quarter", 0.25, 0, 50, 37.5},
        {"middle", 0.5, 0, 100, 50},
        {"end", 1, 0, 200, 0},
        {"beyond the end is the end", 2, 0, 200, 0},
        {"before the start is the start", -1, 0, 0, 0},
        {"NaN is the start", std::nan(""), 0, 0, 0},
        // Turned a quarter about the box centre (100, 50).
        {"quarter at 90 degrees", 0.25, 90, 112.5, 0},
    };
    for (const Case& c : cases) ExpectPoint(flex.GetCenterLinePoint(c.t, c.elementAngle), c.x, c.y, 1e-9, c.name);
    ExpectPoint(flex.GetCenterPoint(0), 100, 50, 1e-9, "centre point");

    // The parabola's length is 100 (sqrt 2 + asinh 1); 25 chords fall short
    // of it by a little.
    const double exact = 100 * (std::sqrt(2.0) + std::asinh(1.0));
    EXPECT_LT(flex.GetTrackLength(), exact);
    EXPECT_NEAR(flex.GetTrackLength(), exact, 0.1);

    // Offset and angle move the curve, not its length.
    CFlexTrackBIG moved = FlexWith({CPoint(0, 0), CPoint(100, 100), CPoint(200, 0)});
    moved.SetOffsetX(-40);
    moved.SetOffsetY(25);
    moved.SetAngle(33);
    moved.SetPoints(moved.GetPoints());
    EXPECT_NEAR(moved.GetTrackLength(), flex.GetTrackLength(), 1e-9);
    ExpectPoint(moved.GetCenterLinePoint(0.5, -33), 60, 75, 1e-9, "moved middle");
}

TEST(FlexTrackBIG, LengthAgreesWithDenseSampling) {
    struct Case {
        const char* name;
        std::vector<CPoint> controls;
    };
    const Case cases[] = {
        {"two points", {CPoint(0, 0), CPoint(120, -50)}},
        {"parabola", {CPoint(0, 0), CPoint(100, 100), CPoint(200, 0)}},
        {"S-bend", {CPoint(0, 0), CPoint(200, 0), CPoint(100, 150), CPoint(300, 150)}},
        {"loop", {CPoint(0, 0), CPoint(400, 300), CPoint(-200, 300), CPoint(100, 0)}},
        {"climbing", {CPoint(0, 0, 0), CPoint(150, 0, 20), CPoint(300, 40, 40)}},
        {"all in one spot", {CPoint(5, 5), CPoint(5, 5), CPoint(5, 5)}},
    };
    for (const Case& c : cases) {
        CFlexTrackBIG flex = FlexWith(c.controls);
        // The same 26 samples, evaluated in Bernstein form.
        EXPECT_NEAR(flex.GetTrackLength(), PolylineLength(c.controls, 25), 1e-9) << c.name;
        // The 26 samples are among the dense ones, so their chords cannot be
        // longer than the dense polyline.
        const double dense = PolylineLength(c.controls, 25 * 400);
        EXPECT_LE(flex.GetTrackLength(), dense + 1e-9) << c.name;
        EXPECT_NEAR(flex.GetTrackLength(), dense, std::max(1e-9, dense * 3e-3)) << c.name;
        // The parallel path at offset 0 is the centre line itself.
        std::vector<CPoint> path;
        flex.GetParallelPath(path, 0, 0);
        ASSERT_EQ(path.size(), 26u) << c.name;
        for (int i = 0; i <= 25; ++i) {
            const CPoint expected = Bernstein(c.controls, i / 25.0);
            ExpectPoint(path[i], expected.x, expected.y, 1e-9, std::string(c.name) + " sample " + std::to_string(i));
        }
    }
}

TEST(FlexTrackBIG, LowerDegreeAfterHigherDegree) {
    // A cubic first, then quadratics and a line on the same thread: each must
    // come out as its own curve.
    CFlexTrackBIG cubic = FlexWith({CPoint(0, 0), CPoint(1, 1), CPoint(2, 1), CPoint(3, 0)});
    ExpectPoint(cubic.GetCenterLinePoint(0.5, 0), 1.5, 0.75, 1e-12, "cubic middle");
    CFlexTrackBIG straight(CPoint(0, 0), CPoint(300, 0), true, true, 0, 0, 500, 0, 0, 0);
    EXPECT_NEAR(straight.GetTrackLength(), 300, 1e-9);
    ExpectPoint(straight.GetCenterLinePoint(0.5, 0), 150, 0, 1e-12, "quadratic middle");
    CFlexTrackBIG line = FlexWith({CPoint(0, 0), CPoint(30, 40)});
    EXPECT_NEAR(line.GetTrackLength(), 50, 1e-9);
    ExpectPoint(line.GetCenterLinePoint(0.3, 0), 9, 12, 1e-12, "line");
}

TEST(FlexTrackBIG, ParallelPath) {
    CFlexTrackBIG flex(CPoint(0, 0), CPoint(300, 0), true, true, 0, 0, 500, 16.5, 40, 1);
    std::vector<CPoint> path = {CPoint(1, 1)};
    flex.GetParallelPath(path, 0, 4);
    ASSERT_EQ(path.size(), 26u);
    for (int i = 0; i <= 25; ++i) ExpectPoint(path[i], 12.0 * i, 4, 1e-9, "left of +x, point " + std::to_string(i));

    // Turned a quarter about (150, 0): travel is +y, left is -x.
    flex.GetParallelPath(path, 90, 4);
    ASSERT_EQ(path.size(), 26u);
    for (int i = 0; i <= 25; ++i)
        ExpectPoint(path[i], 146, -150 + 12.0 * i, 1e-9, "left of +y, point " + std::to_string(i));

    // Too few control points for a curve: no path.
    CFlexTrackBIG single = FlexWith({CPoint(3, 4)});
    single.GetParallelPath(path, 0, 4);
    EXPECT_TRUE(path.empty());
    CFlexTrackBIG none;
    none.GetParallelPath(path, 0, 4);
    EXPECT_TRUE(path.empty());
}

TEST(FlexTrackBIG, Bounds) {
    struct Case {
        const char* name;
        std::vector<CPoint> controls;
        double minX, minY, maxX, maxY;
    };
    const double h = 20 / std::sqrt(2.0);  // a 20 mm half bed turned 45 degrees
    const Case cases[] = {
        // Corners at the ends; no cross about the last point of three.
        {"straight of three", {CPoint(0, 0), CPoint(150, 0), CPoint(300, 0)}, 0, -20, 300, 20},
        // Ends at 45 degrees; the cross of 15 about control point 1 reaches
        // above it.
        {"arched three", {CPoint(0, 0), CPoint(150, 150), CPoint(300, 0)}, -h, -h, 300 + h, 165},
        // With four points the cross about control point 2 counts too.
        {"four, point 2 highest",
         {CPoint(0, 0), CPoint(100, 0), CPoint(200, 100), CPoint(300, 0)},
         0,
         -20,
         300 + h,
         115},
    };
    for (const Case& c : cases) {
        CFlexTrackBIG flex = FlexWith(c.controls, 40);
        ExpectRect(flex.CalcBoundingBox(0), c.minX, c.minY, c.maxX, c.maxY, 1e-9, c.name);

        // The box holds the whole centre line.
        const tDoubleRect box = flex.CalcBoundingBox(0);
        for (int i = 0; i <= 200; ++i) {
            const CPoint p = Bernstein(c.controls, i / 200.0);
            EXPECT_TRUE(p.x >= box.minX && p.x <= box.maxX && p.y >= box.minY && p.y <= box.maxY)
                << c.name << " at t = " << i / 200.0;
        }
    }

    // The box leaves the joints' layout points and angles as they were.
    CFlexTrackBIG flex = FlexWith({CPoint(0, 0), CPoint(150, 0), CPoint(300, 0)}, 40);
    flex.UpdateJoints(CPoint(1000, 0), CGradeVector::Null(), 1, 0);
    ExpectRect(flex.CalcBoundingBox(90), 130, -150, 170, 150, 1e-9, "quarter turn");
    ExpectPoint(flex.GetJoint(0)->GetLayoutPoint(), 1000, 0, 1e-9, "joint 0 layout point kept");
    ExpectPoint(flex.GetJoint(1)->GetLayoutPoint(), 1300, 0, 1e-9, "joint 1 layout point kept");
    EXPECT_NEAR(flex.GetJoint(0)->GetAngle(), 0, 1e-9);
    EXPECT_NEAR(flex.GetJoint(1)->GetAngle(), 180, 1e-9);

    CFlexTrackBIG empty;
    EXPECT_EQ(empty.CalcBoundingBox(0), EmptyRect());
    CFlexTrackBIG single = FlexWith({CPoint(3, 4)}, 10);
    const tDoubleRect box = single.CalcBoundingBox(0);
    EXPECT_TRUE(box.minX <= 3 && box.maxX >= 3 && box.minY <= 4 && box.maxY >= 4);
}

// ------------------------------------------------------------ reshaping

TEST(Flextrack, BendToCurve) {
    // From the straight (0, 0)-(300, 0): a quarter circle of radius 360.
    CFlexTrackBIG flex(CPoint(0, 0), CPoint(300, 0), true, true, 0, 0, 1000, 0, 0, 0);
    ASSERT_TRUE(UFlextrack::BendToCurve(&flex, 360, 90));
    ASSERT_EQ(flex.GetNumberOfPoints(), 4u);
    // k = 4/3 tan(22.5 degrees); the arc frame's points (360, 0), (360, 360k),
    // (360k, 360), (0, 360) turned -90 about (-360, 0) and moved by (-360, 0).
    const double k = 4.0 / 3.0 * std::tan(kPi / 8);
    ExpectPoint(flex.GetPoint(0), -720, -720, 1e-9, "control point 0");
    ExpectPoint(flex.GetPoint(1), -720 + 360 * k, -720, 1e-9, "control point 1");
    ExpectPoint(flex.GetPoint(2), -360, -360 - 360 * k, 1e-9, "control point 2");
    ExpectPoint(flex.GetPoint(3), -360, -360, 1e-9, "control point 3");
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(flex.GetPoint(i).z, 0);

    // Leaves along +x, turns left: every centre-line point lies on the
    // circle about (-720, -360) within the cubic's error.
    std::vector<CPoint> controls = flex.GetPoints();
    for (int i = 0; i <= 100; ++i) {
        const CPoint p = Bernstein(controls, i / 100.0);
        EXPECT_NEAR(std::hypot(p.x + 720, p.y + 360), 360, 0.1) << "t = " << i / 100.0;
    }
    EXPECT_NEAR(flex.GetTrackLength(), 360 * kPi / 2, 0.5);
    flex.UpdateJoints(CPoint(), CGradeVector::Null(), 2, 0);
    EXPECT_NEAR(flex.GetJoint(0)->GetAngle(), 0, 1e-9);
    EXPECT_NEAR(flex.GetJoint(1)->GetAngle(), 270, 1e-9) << "joint 1 points back down into the arc";

    // Four points bend again from the first point (x0, y0) = (-720, -720):
    // the turn about (x0 - R, y0) and the move by it put the start at
    // (2 x0 - 2R - y0, x0 - 2R + 2 y0) and the end 2R further along +y.
    ASSERT_TRUE(UFlextrack::BendToCurve(&flex, 100, 180));
    ExpectPoint(flex.GetPoint(0), -920, -2360, 1e-9, "half circle start");
    ExpectPoint(flex.GetPoint(3), -920, -2160, 1e-9, "half circle end");
    EXPECT_NEAR(flex.GetTrackLength(), PolylineLength(flex.GetPoints(), 25), 1e-9);
    EXPECT_NEAR(flex.GetTrackLength(), 100 * kPi, 5);

    // Two points: refused, unchanged.
    CFlexTrackBIG two = FlexWith({CPoint(0, 0), CPoint(50, 0)});
    const int before = CountLogged(
        "Invalid control point count in static bool "
        "UFlextrack::BendToCurve(CFlexTrackBIG *, double, double)");
    EXPECT_FALSE(UFlextrack::BendToCurve(&two, 360, 30));
    EXPECT_EQ(CountLogged("Invalid control point count in static bool "
                          "UFlextrack::BendToCurve(CFlexTrackBIG *, double, double)"),
              before + 1);
    EXPECT_EQ(two.GetNumberOfPoints(), 2u);
    EXPECT_NEAR(two.GetTrackLength(), 50, 1e-9);
    EXPECT_FALSE(UFlextrack::BendToCurve(nullptr, 360, 30));
}

TEST(Flextrack, MakeStraightAndInsertMidPoint) {
    struct Case {
        const char* name;
        std::vector<CPoint> controls;
        std::vector<CPoint> expected;
    };
    const Case cases[] = {
        {"two points", {CPoint(10, 20), CPoint(0, 0)}, {CPoint(10, 20), CPoint(110, 20)}},
        {"three points",
         {CPoint(10, 20), CPoint(70, 90), CPoint(0, 0)},
         {CPoint(10, 20), CPoint(60, 20), CPoint(110, 20)}},
        {"four points",
         {CPoint(10, 20), CPoint(70, 90), CPoint(5, 5), CPoint(0, 0, 3)},
         {CPoint(10, 20), CPoint(10 + 100.0 / 3, 20), CPoint(10 + 200.0 / 3, 20), CPoint(110, 20, 3)}},
    };
    for (const Case& c : cases) {
        CFlexTrackBIG flex = FlexWith(c.controls);
        UFlextrack::MakeStraight(&flex, 100);
        ASSERT_EQ(flex.GetNumberOfPoints(), c.expected.size()) << c.name;
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            ExpectPoint(flex.GetPoint(i), c.expected[i].x, c.expected[i].y, 1e-9, c.name);
            EXPECT_EQ(flex.GetPoint(i).z, c.expected[i].z) << c.name;
        }
        if (c.expected.back().z == 0) {
            EXPECT_NEAR(flex.GetTrackLength(), 100, 1e-9) << c.name;
        }
    }
    CFlexTrackBIG single = FlexWith({CPoint(4, 4)});
    UFlextrack::MakeStraight(&single, 100);
    ExpectPoint(single.GetPoint(0), 4, 4, 0, "a single point stays");
    UFlextrack::MakeStraight(nullptr, 100);

    CFlexTrackBIG flex = FlexWith({CPoint(0, 0), CPoint(100, 0, 10), CPoint(100, 100)});
    UFlextrack::InsertMidPoint(&flex, 2);  // after the last: towards point 0
    ASSERT_EQ(flex.GetNumberOfPoints(), 4u);
    ExpectPoint(flex.GetPoint(3), 50, 50, 0, "midpoint of the last and the first");
    UFlextrack::InsertMidPoint(&flex, 0);
    ASSERT_EQ(flex.GetNumberOfPoints(), 5u);
    ExpectPoint(flex.GetPoint(1), 50, 0, 0, "midpoint of 0 and 1");
    EXPECT_EQ(flex.GetPoint(1).z, 5);
    UFlextrack::InsertMidPoint(&flex, 5);
    EXPECT_EQ(flex.GetNumberOfPoints(), 5u) << "index past the end";
}

// -------------------------------------------------------------- records

void ExpectFields(CPolyBIG& c, int version, const std::string& what) {
    EXPECT_EQ(c.GetOffsetX(), 12.5) << what;
    EXPECT_EQ(c.GetOffsetY(), -7.25) << what;
    EXPECT_EQ(c.GetGauge(), 16.5) << what;
    EXPECT_EQ(c.GetAngle(), 33) << what;
    EXPECT_TRUE(c.IsJointEnabled(0)) << what;
    EXPECT_FALSE(c.IsJointEnabled(1)) << what;
    EXPECT_FALSE(c.GetJoint(1)->IsFree()) << what;
    EXPECT_EQ(c.GetTrackbedWidth(), 40) << what;
    EXPECT_EQ(c.GetComponentAttribute(), 7) << what;
    EXPECT_EQ(c.GetFixedColor().mBlue, 0.75) << what;
    EXPECT_EQ(c.IsColorLocked(), version >= 9) << what;
    EXPECT_EQ(c.GetComponentGeneratorID(), version >= 9 ? 42 : 0) << what;
    EXPECT_EQ(c.IsGenerated(), version >= 7) << what;
}

TEST(PolyFlexRecord, SaveThenLoadAcrossVersions) {
    const std::vector<CPoint> shape = {CPoint(0, 0), CPoint(250.125, -3.5), CPoint(-80, 19.75), CPoint(1e6, -1e6)};
    const std::vector<CPoint> controls = {CPoint(0, 0), CPoint(120.5, 40), CPoint(300, 0)};
    for (int version : {6, 7, 8, 9, 12, 13}) {
        const std::string what = "version " + std::to_string(version);

        CPolyBIG poly(shape, 3, kPolyKindLine, 0, 0, 0);
        SetBaseFields(poly);
        poly.SetFillFlag(false);
        CPolyBIG polyLoaded;
        tLoadResult r = LoadRecord(polyLoaded, SaveBytes(poly), version);
        ASSERT_TRUE(r.ok) << what << ": " << r.error;
        EXPECT_EQ(r.type, 3);
        ExpectFields(polyLoaded, version, "polygon, " + what);
        ASSERT_EQ(polyLoaded.GetNumberOfPoints(), shape.size()) << what;
        for (std::size_t i = 0; i < shape.size(); ++i)
            ExpectPoint(polyLoaded.GetPoint(i), shape[i].x, shape[i].y, 0, what);
        EXPECT_FALSE(polyLoaded.GetFillFlag());
        EXPECT_TRUE(polyLoaded.GetSecondFlag()) << "not in the record: the default";
        EXPECT_EQ(polyLoaded.GetKind(), kPolyKindLine);
        EXPECT_EQ(polyLoaded.GetLineWidth(), 3);

        CFlexTrackBIG flex;
        SetBaseFields(flex);
        flex.SetPoints(controls);
        flex.SetMaxLength(812.5);
        CFlexTrackBIG flexLoaded;
        r = LoadRecord(flexLoaded, SaveBytes(flex), version);
        ASSERT_TRUE(r.ok) << what << ": " << r.error;
        EXPECT_EQ(r.type, 6);
        ExpectFields(flexLoaded, version, "flex, " + what);
        EXPECT_EQ(flexLoaded.GetMaxLength(), 812.5);
        ASSERT_EQ(flexLoaded.GetNumberOfPoints(), 3u);
        ExpectPoint(flexLoaded.GetPoint(1), 120.5, 40, 0, what);
        EXPECT_NEAR(flexLoaded.GetTrackLength(), PolylineLength(controls, 25), 1e-9) << what;
    }
}

TEST(PolyFlexRecord, TagOrder) {
    CFlexTrackBIG flex(CPoint(0, 0), CPoint(100, 0), true, true, 0, 0, 500, 0, 0, 0);
    const std::vector<std::uint16_t> expected = {300, 300, 301, 302, 303, 304, 305, 306, 307, 308,
                                                 309, 328, 329, 330, 331, 335, 334, 333, 318, 319,
                                                 320, 319, 320, 319, 320, 321, 322, 323, 314};
    EXPECT_EQ(TagIds(SaveBytes(flex)), expected);
    CPolyBIG poly({CPoint(1, 2)}, 1, 1, 0, 0, 0);
    const std::vector<std::uint16_t> expectedPoly = {300, 301, 302, 303, 304, 305, 306, 307, 308, 309, 328, 329,
                                                     330, 331, 335, 334, 333, 318, 319, 320, 321, 322, 323};
    EXPECT_EQ(TagIds(SaveBytes(poly)), expectedPoly);
}

TEST(PolyFlexRecord, NaNAndNegativeValues) {
    // Written over NaN: the polygon itself is repaired first.
    CPolyBIG poly({CPoint(1, 2), CPoint(std::nan(""), 5), CPoint(3, std::nan(""))}, 1, 1, 0, 0, 0);
    const int warnings = CountLogged("Detected invalid point coordinates when writing to file: <CPoint");
    const int fixes = CountLogged("Auto-fixing coordinates for point");
    const std::vector<std::uint8_t> bytes = SaveBytes(poly);
    EXPECT_EQ(CountLogged("Detected invalid point coordinates when writing to file: <CPoint"), warnings + 2);
    EXPECT_EQ(CountLogged("Auto-fixing coordinates for point"), fixes + 2);
    ExpectPoint(poly.GetPoint(1), 0, 0, 0, "repaired in the component");
    ExpectPoint(poly.GetPoint(2), 0, 0, 0, "repaired in the component");
    CPolyBIG loaded;
    ASSERT_TRUE(LoadRecord(loaded, bytes, 13).ok);
    ExpectPoint(loaded.GetPoint(0), 1, 2, 0, "kept");
    ExpectPoint(loaded.GetPoint(1), 0, 0, 0, "written as the origin");

    // Infinity cannot be written: the save fails.
    CPolyBIG infinite({CPoint(std::numeric_limits<double>::infinity(), 0)}, 1, 1, 0, 0, 0);
    tFile file(std::tmpfile());
    EXPECT_FALSE(infinite.Save(file.get()));

    // A negative kind or line width read from a file becomes 1.
    PolyRecordWriter w;
    w.Header(3);
    w.tags().WriteInt(318, 1);
    w.Points({CPoint(4, 5)});
    w.Tail(-2, -7);
    CPolyBIG negative;
    const tLoadResult r = LoadRecord(negative, w.Contents(), 13);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(negative.GetKind(), 1);
    EXPECT_EQ(negative.GetLineWidth(), 1);
}

TEST(PolyFlexRecord, HostilePolygonRecords) {
    struct Case {
        const char* name;
        std::int32_t count;
        std::vector<CPoint> points;
        bool tail;
        std::size_t padding;  // bytes of an unrelated tag after the record
        const char* error;
        std::size_t pointsKept;
    };
    const Case cases[] = {
        {"negative count", -3, {}, true, 0, "Polygon without points", 0},
        {"zero points", 0, {}, true, 0, "Polygon without points", 0},
        {"negative count before real points", -1, {CPoint(1, 1)}, true, 0, "Polygon without points", 0},
        {"count above the maximum", 2147483647, {CPoint(1, 1)}, true, 0, "Too many polygon points (2147483647)", 0},
        {"count the file cannot hold",
         900000,
         {CPoint(1, 1), CPoint(2, 2)},
         true,
         0,
         "Polygon point count 900000 exceeds the",
         0},
        {"truncated point list",
         3,
         {CPoint(1, 1), CPoint(2, 2)},
         true,
         64,
         "Failed to read component tag 319 (EndOfFile)",
         2},
        {"truncated point list, no tail",
         4,
         {CPoint(1, 1)},
         false,
         96,
         "Failed to read component tag 319 (EndOfFile)",
         1},
    };
    for (const Case& c : cases) {
        PolyRecordWriter w;
        w.Header(3);
        w.tags().WriteInt(318, c.count);
        w.Points(c.points);
        if (c.tail) w.Tail(2, 3);
        if (c.padding > 0) w.Raw(999, std::vector<std::uint8_t>(c.padding, 0));
        CPolyBIG poly;
        const tLoadResult r = LoadRecord(poly, w.Contents(), 13);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_EQ(r.error.rfind(c.error, 0), 0u) << c.name << ": " << r.error;
        EXPECT_EQ(poly.GetNumberOfPoints(), c.pointsKept) << c.name;
        // Whatever was left, the polygon answers safely.
        poly.CalcBoundingBox(0);
        poly.GetPointAt(0, 0);

        std::unique_ptr<CBasicGeometry> flex(UComponentFactory::CreateComponent(6));
        PolyRecordWriter fw;
        fw.tags().WriteInt(300, 6);
        fw.Header(3);
        fw.tags().WriteInt(318, c.count);
        fw.Points(c.points);
        if (c.tail) fw.Tail(1, 1);
        fw.tags().WriteDouble(314, 500);
        if (c.padding > 0) fw.Raw(999, std::vector<std::uint8_t>(c.padding, 0));
        const tLoadResult fr = LoadRecord(*flex, fw.Contents(), 13);
        EXPECT_FALSE(fr.ok) << "flex, " << c.name;
        EXPECT_EQ(fr.error.rfind(c.error, 0), 0u) << "flex, " << c.name << ": " << fr.error;
    }

    // A point tag too short for its value.
    PolyRecordWriter w;
    w.Header(3);
    w.tags().WriteInt(318, 2);
    w.Points({CPoint(1, 1)});
    w.Raw(319, {0, 0, 0, 1});
    w.tags().WriteDouble(320, 2);
    w.Tail(1, 1);
    CPolyBIG poly;
    const tLoadResult r = LoadRecord(poly, w.Contents(), 13);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "Failed to read component tag 319 (TooShort)");
    EXPECT_EQ(poly.GetNumberOfPoints(), 1u);
}

TEST(PolyFlexRecord, FlexControlPointCounts) {
    struct Case {
        const char* name;
        std::vector<CPoint> points;
        bool ok;
    };
    const Case cases[] = {
        {"one control point", {CPoint(5, 5)}, false},
        {"two", {CPoint(0, 0), CPoint(30, 40)}, true},
        {"four", {CPoint(0, 0), CPoint(1, 1), CPoint(2, 1), CPoint(3, 0)}, true},
        {"five", {CPoint(0, 0), CPoint(1, 1), CPoint(2, 1), CPoint(3, 0), CPoint(4, 4)}, false},
    };
    for (const Case& c : cases) {
        PolyRecordWriter w;
        w.tags().WriteInt(300, 6);
        w.Header(3);
        w.tags().WriteInt(318, static_cast<std::int32_t>(c.points.size()));
        w.Points(c.points);
        w.Tail(1, 1);
        w.tags().WriteDouble(314, 640);
        CFlexTrackBIG flex;
        const tLoadResult r = LoadRecord(flex, w.Contents(), 13);
        EXPECT_EQ(r.ok, c.ok) << c.name << ": " << r.error;
        if (!c.ok) {
            EXPECT_EQ(r.error,
                      "Flex track with " + std::to_string(c.points.size()) + " control points (2 to 4 expected)")
                << c.name;
        }
        EXPECT_EQ(flex.GetMaxLength(), 640) << c.name;
        // Safe to use whatever came of it.
        std::vector<CPoint> path;
        flex.GetParallelPath(path, 0, 2);
        flex.CalcBoundingBox(0);
        flex.UpdateJoints(CPoint(), CGradeVector::Null(), 1, 0);
        EXPECT_EQ(path.size(), c.ok ? 26u : c.points.size() < 2 ? 0u : 26u) << c.name;
    }
    CFlexTrackBIG one;
    PolyRecordWriter w;
    w.tags().WriteInt(300, 6);
    w.Header(3);
    w.tags().WriteInt(318, 1);
    w.Points({CPoint(5, 5)});
    w.Tail(1, 1);
    w.tags().WriteDouble(314, 640);
    LoadRecord(one, w.Contents(), 13);
    EXPECT_EQ(one.GetTrackLength(), 0);
    ExpectPoint(one.GetCenterPoint(0), 5, 5, 0, "centre of a single point");
}

TEST(PolyFlexRecord, TruncatedRecordsAndVersions) {
    CPolyBIG poly(kTriangle, 2, 1, 0, 0, 0);
    CFlexTrackBIG flex(CPoint(0, 0), CPoint(300, 0), true, true, 0, 0, 500, 16.5, 40, 1);
    struct Case {
        const char* name;
        CBasicGeometry* source;
    };
    const Case cases[] = {{"polygon", &poly}, {"flex", &flex}};
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> bytes = SaveBytes(*c.source);
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            std::unique_ptr<CBasicGeometry> loaded(UComponentFactory::CreateComponent(c.source->GetType()));
            const tLoadResult result = LoadRecord(*loaded, bytes, 13, length);
            EXPECT_FALSE(result.ok) << c.name << " cut to " << length << " of " << bytes.size();
            EXPECT_FALSE(result.error.empty()) << c.name << " cut to " << length;
        }
        std::unique_ptr<CBasicGeometry> loaded(UComponentFactory::CreateComponent(c.source->GetType()));
        EXPECT_TRUE(LoadRecord(*loaded, bytes, 13).ok) << c.name << " whole";
    }

    // Versions outside 3 to 13 read nothing.
    const std::vector<std::uint8_t> bytes = SaveBytes(flex);
    for (int version : {2, 14}) {
        const int before = CountLogged(
            "virtual bool CFlexTrackBIG::Load(FILE *, int): Unsupported "
            "file format (version " +
            std::to_string(version) + ")");
        tFile file(std::tmpfile());
        std::fwrite(bytes.data(), 1, bytes.size(), file.get());
        std::rewind(file.get());
        CFlexTrackBIG loaded;
        std::string error;
        EXPECT_FALSE(loaded.Load(file.get(), version, error));
        EXPECT_EQ(std::ftell(file.get()), 0) << version;
        EXPECT_EQ(error, "Unsupported file format (version " + std::to_string(version) + ")");
        EXPECT_EQ(CountLogged("virtual bool CFlexTrackBIG::Load(FILE *, int): Unsupported "
                              "file format (version " +
                              std::to_string(version) + ")"),
                  before + 1);
    }
}

TEST(PolyFlexRecord, PackedRecordLayout) {
    CPolyBIG poly({CPoint(1.5, -2.5), CPoint(300, 40)}, 7, kPolyKindLine, 0, 0, 0);
    poly.SetSecondFlag(false);
    ASSERT_EQ(poly.GetSerializedSize(), 92u + 32u + 18u);
    std::vector<std::uint8_t> buffer(poly.GetSerializedSize() + 4, 0xEE);
    EXPECT_EQ(poly.Serialize(buffer.data()) - buffer.data(), 142);
    EXPECT_EQ(buffer[142], 0xEE);
    EXPECT_EQ(ReadLeInt(buffer.data()), 3);
    EXPECT_EQ(buffer[4 + 32], 0) << "joint 0 disabled in the base part";
    EXPECT_EQ(ReadLeInt(buffer.data() + 96), 2);
    EXPECT_EQ(ReadLeDouble(buffer.data() + 100), 1.5);
    EXPECT_EQ(ReadLeDouble(buffer.data() + 108), -2.5);
    EXPECT_EQ(ReadLeDouble(buffer.data() + 116), 300);
    EXPECT_EQ(ReadLeDouble(buffer.data() + 124), 40);
    EXPECT_EQ(buffer[132], 1);
    EXPECT_EQ(buffer[133], 0);
    EXPECT_EQ(ReadLeInt(buffer.data() + 134), kPolyKindLine);
    EXPECT_EQ(ReadLeInt(buffer.data() + 138), 7);

    CFlexTrackBIG flex(CPoint(0, 0), CPoint(300, 0), true, true, 0, 0, 640.25, 0, 0, 0);
    ASSERT_EQ(flex.GetSerializedSize(), 92u + 48u + 18u + 12u);
    std::vector<std::uint8_t> flexBuffer(flex.GetSerializedSize());
    EXPECT_EQ(flex.Serialize(flexBuffer.data()) - flexBuffer.data(), 170);
    EXPECT_EQ(ReadLeInt(flexBuffer.data()), 6);
    EXPECT_EQ(ReadLeInt(flexBuffer.data() + 4), 3);
    EXPECT_EQ(ReadLeInt(flexBuffer.data() + 100), 3);
    EXPECT_EQ(ReadLeDouble(flexBuffer.data() + 104 + 16), 150);
    EXPECT_EQ(ReadLeDouble(flexBuffer.data() + 162), 640.25);
}

TEST(PolyFlexRecord, DebugTextsAndFactory) {
    CPolyBIG poly({CPoint(1, 2), CPoint(3.25, -4)}, 2, 1, 0, 0, 0);
    const std::string dump = poly.Dump(1);
    EXPECT_EQ(dump.rfind("<CPolyBIG", 0), 0u) << dump;
    const std::size_t own = dump.find("mLineWidth: 2,mPoints [ 2 ]:\n    + <CPoint ");
    ASSERT_NE(own, std::string::npos) << dump;
    EXPECT_NE(dump.find("> x: 1.000; y: 2.000; z: 0.000,\n    + <CPoint ", own), std::string::npos) << dump;
    EXPECT_TRUE(dump.ends_with("> x: 3.250; y: -4.000; z: 0.000,\n")) << dump;

    CFlexTrackBIG flex(CPoint(0, 0), CPoint(300, 0), true, true, 0, 0, 500, 0, 0, 0);
    const std::string flexDump = flex.Dump(1);
    EXPECT_EQ(flexDump.rfind("<CFlexTrackBIG", 0), 0u) << flexDump;
    EXPECT_NE(flexDump.find("mFixedColor: CColor { R: 0.50, G: 0.50, B: 0.50, A: 1.00 }, mMaxLength: 500.0 "),
              std::string::npos)
        << flexDump;
    EXPECT_TRUE(flexDump.ends_with(", mPoints [ 3 ]")) << flexDump;

    for (int type : {3, 6}) {
        std::unique_ptr<CBasicGeometry> component(UComponentFactory::CreateComponent(type));
        ASSERT_NE(component, nullptr) << type;
        EXPECT_EQ(component->GetType(), type);
    }
    std::unique_ptr<CBasicGeometry> made(UComponentFactory::CreateComponent(6));
    EXPECT_NE(dynamic_cast<CPolyBIG*>(made.get()), nullptr) << "a flex track is a polygon";
}

TEST(PolyFlexRecord, NonFiniteCoordinatesInCode) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::nan("");
    CFlexTrackBIG flex = FlexWith({CPoint(0, 0), CPoint(inf, 5), CPoint(nan, 0)}, 40);
    EXPECT_FALSE(std::isfinite(flex.GetTrackLength()));
    std::vector<CPoint> path;
    flex.GetParallelPath(path, 30, 4);
    EXPECT_EQ(path.size(), 26u);
    flex.UpdateJoints(CPoint(), CGradeVector::Null(), 1, 30);
    flex.CalcBoundingBox(30);
    flex.GetCenterPoint(30);
    UFlextrack::MakeStraight(&flex, inf);
    UFlextrack::BendToCurve(&flex, nan, 90);
    EXPECT_EQ(flex.GetNumberOfPoints(), 4u);

    CPolyBIG poly({CPoint(nan, nan), CPoint(inf, -inf), CPoint(1, 1)}, 1, 1, 0, 0, 45);
    poly.CalcBoundingBox(0);
    EXPECT_EQ(poly.GetTransformedPoints(0).size(), 3u);
}

}  // namespace
