// Components: the base record and joints, straights, curves, ovals, texts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/fileformat/TaggedFile.h"
#include "engine/model/BasicGeometry.h"
#include "engine/model/ComponentFactory.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TextBIG.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/TextCalculationService.h"
#include "tests/support/GeometryChecks.h"
#include "tests/support/RecordWriter.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

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

void ExpectBaseFields(CBasicGeometry& c, int version, const std::string& what) {
    EXPECT_DOUBLE_EQ(c.GetOffsetX(), 12.5) << what;
    EXPECT_DOUBLE_EQ(c.GetOffsetY(), -7.25) << what;
    EXPECT_DOUBLE_EQ(c.GetGauge(), 16.5) << what;
    EXPECT_DOUBLE_EQ(c.GetAngle(), 33.0) << what;
    EXPECT_TRUE(c.IsJointEnabled(0)) << what;
    EXPECT_FALSE(c.IsJointEnabled(1)) << what;
    EXPECT_FALSE(c.GetJoint(1)->IsFree()) << what << ": a disabled end is not free";
    EXPECT_DOUBLE_EQ(c.GetTrackbedWidth(), 40.0) << what;
    EXPECT_DOUBLE_EQ(c.GetRailWidth(), 1.5) << what;
    EXPECT_EQ(c.GetComponentAttribute(), 7) << what;
    const CColor color = c.GetFixedColor();
    if (version >= 6) {
        EXPECT_DOUBLE_EQ(color.mRed, 0.25) << what;
        EXPECT_DOUBLE_EQ(color.mBlue, 0.75) << what;
        EXPECT_DOUBLE_EQ(color.mAlpha, 0.5) << what;
    } else {
        EXPECT_DOUBLE_EQ(color.mRed, 0.5) << what;
        EXPECT_DOUBLE_EQ(color.mAlpha, 1.0) << what;
    }
    EXPECT_EQ(c.IsColorLocked(), version >= 9) << what;
    EXPECT_EQ(c.GetComponentGeneratorID(), version >= 9 ? 42 : 0) << what;
    EXPECT_EQ(c.IsGenerated(), version >= 7) << what;
}

// --------------------------------------------------------------- joints

TEST(Joint, ConnectDisconnectCopyAndDestruction) {
    CJoint a, b, c;
    EXPECT_TRUE(a.IsFree());
    CJoint::Connect(&a, &b);
    EXPECT_EQ(a.GetPartner(), &b);
    EXPECT_EQ(b.GetPartner(), &a);
    EXPECT_FALSE(a.IsFree());
    EXPECT_FALSE(b.IsFree());

    // Re-linking a leaves no one-sided link at b.
    CJoint::Connect(&a, &c);
    EXPECT_EQ(a.GetPartner(), &c);
    EXPECT_EQ(b.GetPartner(), nullptr);
    EXPECT_TRUE(b.IsFree());

    // A copy starts unconnected; the original stays linked.
    CJoint copy(a);
    EXPECT_EQ(copy.GetPartner(), nullptr);
    EXPECT_EQ(a.GetPartner(), &c);
    EXPECT_EQ(c.GetPartner(), &a);

    c.Disconnect();
    EXPECT_EQ(a.GetPartner(), nullptr);
    EXPECT_TRUE(a.IsFree());
    EXPECT_TRUE(c.IsFree());

    {
        CJoint shortLived;
        CJoint::Connect(&a, &shortLived);
        EXPECT_FALSE(a.IsFree());
    }
    EXPECT_EQ(a.GetPartner(), nullptr) << "destroying a joint frees its partner";
    EXPECT_TRUE(a.IsFree());

    EXPECT_THROW(CJoint::Connect(&a, nullptr), std::runtime_error);
}

TEST(Joint, EdgePointsTurnAboutTheChosenPoint) {
    CJoint joint;
    joint.SetElementPoint(CPoint(10, 20, 3));
    joint.SetLayoutPoint(CPoint(110, 220, 0));
    joint.SetAngle(90);
    const auto element = joint.GetEdgePoints(2, 5);
    // (10, 15) and (10, 25) turned by 90 degrees about (10, 20).
    ExpectPoint(element.first, 15, 20, 1e-12, "element, first");
    ExpectPoint(element.second, 5, 20, 1e-12, "element, second");
    EXPECT_EQ(element.first.z, 3);
    const auto layout = joint.GetEdgePoints(1, 5);
    ExpectPoint(layout.first, 115, 220, 1e-12, "layout, first");
    ExpectPoint(layout.second, 105, 220, 1e-12, "layout, second");
}

// ----------------------------------------------------------------- base

TEST(BasicGeometry, DefaultsColourLockAndJointFlags) {
    CStraightBIG s;
    EXPECT_EQ(s.GetComponentAttribute(), 1);
    EXPECT_EQ(s.GetComponentGeneratorID(), 0);
    EXPECT_FALSE(s.IsGenerated());
    EXPECT_FALSE(s.IsColorLocked());
    EXPECT_DOUBLE_EQ(s.GetFixedColor().mRed, 0.5);
    EXPECT_DOUBLE_EQ(s.GetFixedColor().mGreen, 0.5);
    EXPECT_DOUBLE_EQ(s.GetFixedColor().mBlue, 0.5);
    EXPECT_DOUBLE_EQ(s.GetFixedColor().mAlpha, 1.0);
    EXPECT_TRUE(s.IsJointEnabled(0));
    EXPECT_TRUE(s.IsJointEnabled(1));
    EXPECT_TRUE(s.GetJoint(0)->IsFree());
    EXPECT_EQ(s.GetJoint(2), nullptr);
    EXPECT_EQ(s.GetJoint(-1), nullptr);
    EXPECT_FALSE(s.IsJointEnabled(2));
    EXPECT_EQ(s.GetLineWidth(), 0);
    s.SetLineWidth(5);
    EXPECT_EQ(s.GetLineWidth(), 0);

    s.SetFixedColor(CColor(1.0, 0.0, 0.0, 1.0));
    EXPECT_TRUE(s.IsColorLocked());
    s.SetColorLocked(false);
    EXPECT_FALSE(s.IsColorLocked());
    EXPECT_DOUBLE_EQ(s.GetFixedColor().mRed, 1.0) << "unlocking keeps the colour";

    s.SetOffsetX(3);
    s.SetOffsetY(4);
    s.MoveBy(10, -20);
    EXPECT_EQ(s.GetOffset().x, 13);
    EXPECT_EQ(s.GetOffset().y, -16);
    s.SetAngle(725);
    EXPECT_EQ(s.GetAngle(), 725) << "stored unchanged";
    s.SetTrackbedWidth(30);
    EXPECT_EQ(s.GetHalfTrackbedWidth(), 15);

    EXPECT_EQ(s.CBasicGeometry::GetSerializedSize(), 92u);
}

TEST(BasicGeometry, CopyTakesFieldsAndBuildsFreshJoints) {
    CStraightBIG source;
    SetBaseFields(source);
    source.SetLength(250);
    CStraightBIG partner;
    CJoint::Connect(source.GetJoint(0), partner.GetJoint(1));
    source.UpdateJoints(CPoint(100, 100), CGradeVector::Null(), 1, 0);

    CStraightBIG copy(source);
    ExpectBaseFields(copy, 13, "copy");
    EXPECT_EQ(copy.GetLength(), 250);
    EXPECT_EQ(copy.GetTrackLength(), 250);
    EXPECT_EQ(copy.GetJoint(0)->GetPartner(), nullptr);
    EXPECT_TRUE(copy.GetJoint(0)->IsFree()) << "enabled source joint";
    EXPECT_FALSE(copy.GetJoint(1)->IsFree()) << "disabled source joint";
    EXPECT_EQ(copy.GetJoint(0)->GetParent(), nullptr);
    ExpectPoint(copy.GetJoint(0)->GetLayoutPoint(), 0, 0, 0, "fresh joint at the origin");
    EXPECT_EQ(source.GetJoint(0)->GetPartner(), partner.GetJoint(1));

    CCurveBIG curve;
    curve.SetRadius(500);
    curve.SetArcAngle(30);
    CCurveBIG curveCopy(curve);
    EXPECT_EQ(curveCopy.GetRadius(), 500);
    EXPECT_EQ(curveCopy.GetArcAngle(), 30);
    EXPECT_NEAR(curveCopy.GetTrackLength(), 500 * 30 * kPi / 180, 1e-9);

    COvalBIG oval;
    oval.SetRadiusX(12);
    oval.SetRadiusY(7);
    oval.SetLineWidth(3);
    oval.SetStartAngle(20);
    oval.SetEndAngle(200);
    COvalBIG ovalCopy(oval);
    EXPECT_EQ(ovalCopy.GetRadiusX(), 12);
    EXPECT_EQ(ovalCopy.GetRadiusY(), 7);
    EXPECT_EQ(ovalCopy.GetLineWidth(), 3);
    EXPECT_EQ(ovalCopy.GetStartAngle(), 20);
    EXPECT_EQ(ovalCopy.GetEndAngle(), 200);

    CTextBIG text;
    text.EnableJoint(0);
    text.SetText("Station");
    CTextBIG textCopy(text);
    EXPECT_EQ(textCopy.GetText(), "Station");
    EXPECT_FALSE(textCopy.IsJointEnabled(0)) << "a text copy disables both joints";
    EXPECT_FALSE(textCopy.GetJoint(0)->IsFree());
}

TEST(BasicGeometry, HeightsFromTheGrade) {
    // Rising 10 over a run of 100 along x: slope atan(0.1).
    const CGradeVector grade(CPoint(0, 0, 0), CPoint(100, 0, 0), 10);
    const double sinSlope = 10.0 / std::sqrt(100.0 * 100.0 + 10.0 * 10.0);

    CStraightBIG s;
    s.SetLength(100);
    s.SetGauge(8);
    s.UpdateJoints(CPoint(1000, 0, 5), grade, 1, 0);
    EXPECT_NEAR(s.GetJoint(0)->GetElementPoint().z, 0, 1e-12);
    EXPECT_NEAR(s.GetJoint(1)->GetElementPoint().z, 100 * sinSlope, 1e-9);
    EXPECT_NEAR(s.GetJoint(1)->GetLayoutPoint().z, 100 * sinSlope + 5, 1e-9);

    std::vector<CPoint> path;
    s.GetParallelPathWithGrade(grade, path, 0, 0);
    ASSERT_EQ(path.size(), 2u);
    EXPECT_NEAR(path[1].z, 100 * sinSlope, 1e-9);
    EXPECT_NEAR(path[1].x, 100, 1e-9) << "x and y stay";

    s.SetTrackbedWidth(20);
    const std::vector<CPoint> corners = s.GetCorners(grade, 0);
    ASSERT_EQ(corners.size(), 4u);
    EXPECT_NEAR(corners[0].z, 0, 1e-9);
    EXPECT_NEAR(corners[3].z, 100 * sinSlope, 1e-9);

    // A grade of height 0.001 counts as level.
    const CGradeVector level(CPoint(0, 0, 0), CPoint(100, 0, 0), 0.001);
    s.UpdateJoints(CPoint(), level, 1, 0);
    EXPECT_EQ(s.GetJoint(1)->GetElementPoint().z, 0);
    s.GetParallelPathWithGrade(level, path, 0, 0);
    EXPECT_EQ(path[1].z, 0);
}

// ------------------------------------------------------------- straight

TEST(StraightBIG, JointsPathsCornersAndBounds) {
    struct Case {
        const char* name;
        double angle, elementAngle;
        CPoint joint0, joint1;
        double angle0, angle1;
        tDoubleRect box;  // trackbed 20
    };
    const Case cases[] = {
        {"length 100, gauge 8, angle 0", 0, 0, {0, 8}, {100, 8}, 0, 180, {-2, 0, 18, 100}},
        {"the same turned by mAngle 90", 90, 0, {50, -42}, {50, 58}, 90, 270, {-42, 40, 58, 60}},
        {"turned by the element angle 90", 0, 90, {50, -42}, {50, 58}, 90, 270, {-42, 40, 58, 60}},
        {"turned by 45 + 135 = 180", 45, 135, {100, 8}, {0, 8}, 180, 0, {-2, 0, 18, 100}},
    };
    for (const Case& c : cases) {
        CStraightBIG s;
        s.SetLength(100);
        s.SetGauge(8);
        s.SetTrackbedWidth(20);
        s.SetAngle(c.angle);
        s.UpdateJoints(CPoint(1000, 2000, 3), CGradeVector::Null(), 1, c.elementAngle);
        ExpectPoint(s.GetJoint(0)->GetElementPoint(), c.joint0.x, c.joint0.y, 1e-9, c.name);
        ExpectPoint(s.GetJoint(1)->GetElementPoint(), c.joint1.x, c.joint1.y, 1e-9, c.name);
        EXPECT_NEAR(s.GetJoint(0)->GetAngle(), c.angle0, 1e-9) << c.name;
        EXPECT_NEAR(s.GetJoint(1)->GetAngle(), c.angle1, 1e-9) << c.name;
        ExpectPoint(s.GetJoint(0)->GetLayoutPoint(), c.joint0.x + 1000, c.joint0.y + 2000, 1e-9, c.name);
        EXPECT_EQ(s.GetJoint(0)->GetLayoutPoint().z, 3) << c.name;
        EXPECT_EQ(s.GetJoint(0)->GetMark(), 0) << c.name;
        ExpectPoint(s.GetReferencePoint(0), c.joint0.x, c.joint0.y, 1e-9, c.name);
        const tDoubleRect box = s.CalcBoundingBox(c.elementAngle);
        ExpectRect(box, c.box.minX, c.box.minY, c.box.maxX, c.box.maxY, 1e-9, c.name);
    }

    CStraightBIG s;
    s.SetLength(100);
    s.SetGauge(8);
    std::vector<CPoint> path{CPoint(9, 9), CPoint(9, 9), CPoint(9, 9)};
    s.GetParallelPath(path, 0, 4);
    ASSERT_EQ(path.size(), 2u);
    ExpectPoint(path[0], 0, 12, 1e-12, "parallel start");
    ExpectPoint(path[1], 100, 12, 1e-12, "parallel end");

    // Mode 2 leaves the layout points where they were.
    s.UpdateJoints(CPoint(5, 5), CGradeVector::Null(), 1, 0);
    s.UpdateJoints(CPoint(500, 500), CGradeVector::Null(), 2, 90);
    ExpectPoint(s.GetJoint(0)->GetLayoutPoint(), 5, 13, 1e-12, "mode 2");
    ExpectPoint(s.GetJoint(0)->GetElementPoint(), 50, -42, 1e-9, "mode 2 element point");

    // Corners: joint 0's edge points, then joint 1's.
    s.SetTrackbedWidth(20);
    const std::vector<CPoint> corners = s.GetCorners(0);
    ASSERT_EQ(corners.size(), 4u);
    ExpectPoint(corners[0], 0, -2, 1e-9, "corner 0");
    ExpectPoint(corners[1], 0, 18, 1e-9, "corner 1");
    ExpectPoint(corners[2], 100, 18, 1e-9, "corner 2");
    ExpectPoint(corners[3], 100, -2, 1e-9, "corner 3");
}

// ---------------------------------------------------------------- curve

TEST(CurveBIG, TrackLengthJointsCentreAndBounds) {
    CCurveBIG defaults;
    EXPECT_NEAR(defaults.GetTrackLength(), 94.2477796076938, 1e-12);
    EXPECT_EQ(defaults.GetType(), 2);

    // A left-hand quarter circle of radius 360 starting at (0, 8) towards
    // +x: centre (0, 368), end (360, 368) heading +y.
    CCurveBIG c;
    c.SetArcAngle(90);
    c.SetGauge(8);
    c.SetTrackbedWidth(40);
    c.UpdateJoints(CPoint(10, 20, 0), CGradeVector::Null(), 1, 0);
    ExpectPoint(c.GetJoint(0)->GetElementPoint(), 0, 8, 1e-9, "joint 0");
    ExpectPoint(c.GetJoint(1)->GetElementPoint(), 360, 368, 1e-9, "joint 1");
    EXPECT_NEAR(c.GetJoint(0)->GetAngle(), 0, 1e-12);
    EXPECT_NEAR(c.GetJoint(1)->GetAngle(), 270, 1e-12);
    EXPECT_EQ(c.GetJoint(0)->GetMark(), 1);
    EXPECT_EQ(c.GetJoint(1)->GetMark(), 0);
    ExpectPoint(c.GetJoint(1)->GetLayoutPoint(), 370, 388, 1e-9, "joint 1 in the layout");
    ExpectPoint(c.GetCenterPoint(0), 0, 368, 1e-9, "centre");
    // Bed arcs of radius 380 and 340 about the centre, from the bottom to +x.
    ExpectRect(c.CalcBoundingBox(0), 0, -12, 380, 368, 1e-9, "quarter circle");
    ExpectPoint(c.GetReferencePoint(0), 0, 8, 1e-9, "reference point is joint 0");

    // Turned and moved: both ends stay at the radius from the centre, and the
    // centre lies to the left of joint 0's direction.
    struct Case {
        const char* name;
        double angle, elementAngle, arc, offsetX, offsetY;
    };
    const Case cases[] = {
        {"30 degrees turned by 30", 30, 0, 30, 0, 0},
        {"45 degrees, element angle 200, offset", 0, 200, 45, 15, -40},
        {"negative arc angle", 10, 10, -30, 5, 5},
    };
    for (const Case& k : cases) {
        CCurveBIG curve;
        curve.SetGauge(16.5);
        curve.SetArcAngle(k.arc);
        curve.SetAngle(k.angle);
        curve.SetOffsetX(k.offsetX);
        curve.SetOffsetY(k.offsetY);
        const CPoint centre = curve.GetCenterPoint(k.elementAngle);
        curve.UpdateJoints(CPoint(), CGradeVector::Null(), 1, k.elementAngle);
        const CJoint& j0 = *curve.GetJoint(0);
        const CJoint& j1 = *curve.GetJoint(1);
        EXPECT_NEAR(j0.GetElementPoint().Distance2D(centre), 360, 1e-9) << k.name;
        EXPECT_NEAR(j1.GetElementPoint().Distance2D(centre), 360, 1e-9) << k.name;
        const double a = k.angle + k.elementAngle;
        EXPECT_NEAR(j0.GetAngle(), std::fmod(a, 360), 1e-9) << k.name;
        EXPECT_NEAR(j1.GetAngle(), std::fmod(a + k.arc + 180, 360), 1e-9) << k.name;
        const double toCentre = (a + 90) * kPi / 180;
        EXPECT_NEAR(centre.x - j0.GetElementPoint().x, 360 * std::cos(toCentre), 1e-9) << k.name;
        EXPECT_NEAR(centre.y - j0.GetElementPoint().y, 360 * std::sin(toCentre), 1e-9) << k.name;
        // The box holds every point of the centre line.
        std::vector<CPoint> line;
        curve.GetParallelPath(line, k.elementAngle, 0);
        const tDoubleRect box = curve.CalcBoundingBox(k.elementAngle);
        for (const CPoint& p : line) {
            EXPECT_GE(p.x, box.minX - 1e-9) << k.name;
            EXPECT_LE(p.x, box.maxX + 1e-9) << k.name;
            EXPECT_GE(p.y, box.minY - 1e-9) << k.name;
            EXPECT_LE(p.y, box.maxY + 1e-9) << k.name;
        }
    }
}

TEST(CurveBIG, ParallelPathAndArcSubdivision) {
    CCurveBIG c;
    c.SetArcAngle(90);
    c.SetGauge(8);
    for (double offset : {0.0, 10.0, -10.0}) {
        std::vector<CPoint> path;
        c.GetParallelPath(path, 0, offset);
        ASSERT_GE(path.size(), 2u);
        const double r = 360 + offset;
        ExpectPoint(path.front(), 0, 368 - r, 1e-9, "parallel start");
        ExpectPoint(path.back(), r, 368, 1e-9, "parallel end");
        for (const CPoint& p : path) EXPECT_NEAR(p.Distance2D(CPoint(0, 368)), r, 1e-9) << "offset " << offset;
    }

    std::vector<CPoint> points{CPoint(1, 1)};
    CCurveBIG::GetArcPoints(CPoint(5, 5), 0.0005, 30, 90, points);
    ASSERT_EQ(points.size(), 1u) << "a radius below 0.001 gives the start point alone";
    ExpectPoint(points[0], 5 + 0.0005 * std::sin(30 * kPi / 180), 5 - 0.0005 * std::cos(30 * kPi / 180), 1e-15,
                "tiny arc");

    // Half circle of radius 1000: sagitta 1000, bulge 4000, quartered six
    // times before it is at most 1: 64 chords.
    CCurveBIG::GetArcPoints(CPoint(0, 0), 1000, 0, 180, points);
    ASSERT_EQ(points.size(), 65u);
    EXPECT_EQ(points.front().x, 0);
    EXPECT_EQ(points.front().y, -1000);
    CPoint end(0, -1000);
    end.Rotate(CPoint(0, 0), 180);
    EXPECT_EQ(points.back().x, end.x) << "ends exactly at the end point";
    EXPECT_EQ(points.back().y, end.y);
    for (std::size_t i = 0; i < points.size(); ++i) {
        EXPECT_NEAR(points[i].Distance2D(CPoint(0, 0)), 1000, 1e-9) << "point " << i << " on the arc";
        // Counter-clockwise from the bottom: x rises, then falls; the angle
        // of each point is i x 180 / 64 degrees from the start.
        const double expected = i * 180.0 / 64.0 * kPi / 180.0;
        EXPECT_NEAR(points[i].x, 1000 * std::sin(expected), 1e-9) << i;
        EXPECT_NEAR(points[i].y, -1000 * std::cos(expected), 1e-9) << i;
    }

    // A 15 degree curve of radius 360: sagitta 3.08, bulge 12.3 -> 4 chords,
    // each with a sagitta below 0.25 mm.
    CCurveBIG::GetArcPoints(CPoint(0, 0), 360, 0, 15, points);
    ASSERT_EQ(points.size(), 5u);
    for (std::size_t i = 1; i < points.size(); ++i) {
        const double chord = points[i].Distance2D(points[i - 1]);
        const double sagitta = 360 - std::sqrt(360.0 * 360.0 - chord * chord / 4);
        EXPECT_LE(sagitta, 0.25);
    }

    // A clockwise sweep runs from the start to the end the other way round.
    CCurveBIG::GetArcPoints(CPoint(0, 0), 100, 90, -90, points);
    ExpectPoint(points.front(), 100, 0, 1e-9, "clockwise start");
    ExpectPoint(points.back(), 0, -100, 1e-9, "clockwise end");
    EXPECT_GT(points[1].x, 0);
    EXPECT_LT(points[1].y, 0);

    // A forged radius from a file cannot make the subdivision endless.
    CCurveBIG::GetArcPoints(CPoint(0, 0), 2.0e9, 0, 359, points);
    EXPECT_LE(points.size(), 65537u);
}

// ----------------------------------------------------------------- oval

// The oval's box by brute force: sample the turned ellipse densely.
tDoubleRect SampledOvalBox(double cx, double cy, double rx, double ry, double turnDegrees, double startDegrees,
                           double endDegrees, int samples) {
    tDoubleRect box{DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX};
    const double turn = turnDegrees * kPi / 180;
    for (int i = 0; i <= samples; ++i) {
        const double t = (startDegrees + (endDegrees - startDegrees) * i / samples) * kPi / 180;
        const double ex = rx * std::cos(t);
        const double ey = ry * std::sin(t);
        const double x = cx + ex * std::cos(turn) - ey * std::sin(turn);
        const double y = cy + ex * std::sin(turn) + ey * std::cos(turn);
        box.minX = std::min(box.minX, x);
        box.maxX = std::max(box.maxX, x);
        box.minY = std::min(box.minY, y);
        box.maxY = std::max(box.maxY, y);
    }
    return box;
}

TEST(OvalBIG, BoundsOfCirclesAndEllipses) {
    COvalBIG circle;
    circle.SetRadiusX(30);
    circle.SetRadiusY(30);
    circle.SetLineWidth(2);
    ExpectRect(circle.CalcBoundingBox(0), -1, -1, 61, 61, 1e-9, "circle of radius 30");
    ExpectRect(circle.CalcBoundingBox(77), -1, -1, 61, 61, 1e-9, "a circle ignores the angle");

    // Radii 30 and 10: the ellipse's own box, not a circle of the x radius.
    COvalBIG ellipse;
    ellipse.SetRadiusX(30);
    ellipse.SetRadiusY(10);
    ellipse.SetLineWidth(2);
    ExpectRect(ellipse.CalcBoundingBox(0), -1, -1, 61, 21, 1e-9, "ellipse 30 x 10");
    ExpectPoint(ellipse.GetReferencePoint(0), 30, 10, 1e-12, "centre");
    ExpectPoint(ellipse.GetReferencePoint(90), 30, 10, 1e-12, "centre at any angle");

    // A quarter turn swaps the extents about the centre (30, 10).
    ellipse.SetLineWidth(0);
    ExpectRect(ellipse.CalcBoundingBox(90), 20, -20, 40, 40, 1e-9, "turned by 90");
    ellipse.SetAngle(45);
    ExpectRect(ellipse.CalcBoundingBox(45), 20, -20, 40, 40, 1e-9, "turned by 45 + 45");

    // A negative line width from a damaged file does not shrink the box.
    ellipse.SetAngle(0);
    ellipse.SetLineWidth(-500);
    ExpectRect(ellipse.CalcBoundingBox(0), 0, 0, 60, 20, 1e-9, "negative line width");

    // Half circle from 0 to 180: the upper half about the centre (50, 50).
    COvalBIG arc;
    arc.SetLineWidth(0);
    arc.SetStartAngle(0);
    arc.SetEndAngle(180);
    ExpectRect(arc.CalcBoundingBox(0), 0, 50, 100, 100, 1e-9, "upper half circle");
}

TEST(OvalBIG, BoundsAgreeWithDenseSampling) {
    struct Case {
        const char* name;
        double rx, ry, angle, elementAngle, start, end;
    };
    const Case cases[] = {
        {"full ellipse", 40, 15, 0, 0, 0, 360},
        {"full ellipse turned 30", 40, 15, 30, 0, 0, 360},
        {"full ellipse turned 30 + 100", 40, 15, 30, 100, 0, 360},
        {"tall ellipse turned 200", 5, 70, 0, 200, 0, 360},
        {"first quadrant arc", 40, 15, 0, 0, 0, 90},
        {"arc over the top, turned", 40, 15, 25, 10, 45, 250},
        {"thin arc", 80, 20, 60, 0, 100, 110},
        {"arc past 360", 30, 12, 15, 0, 300, 420},
        {"clockwise arc", 30, 12, 0, -40, 200, 20},
        {"circle arc", 25, 25, 0, 33, 10, 100},
        {"negative radius", -30, 12, 70, 0, 0, 360},
    };
    for (const Case& c : cases) {
        COvalBIG oval;
        oval.SetOffsetX(7);
        oval.SetOffsetY(-3);
        oval.SetRadiusX(c.rx);
        oval.SetRadiusY(c.ry);
        oval.SetAngle(c.angle);
        oval.SetStartAngle(c.start);
        oval.SetEndAngle(c.end);
        oval.SetLineWidth(4);
        const tDoubleRect box = oval.CalcBoundingBox(c.elementAngle);
        const int samples = 200000;
        tDoubleRect sampled =
            SampledOvalBox(7 + c.rx, -3 + c.ry, c.rx, c.ry, c.angle + c.elementAngle, c.start, c.end, samples);
        sampled.minX -= 2;
        sampled.minY -= 2;
        sampled.maxX += 2;
        sampled.maxY += 2;
        // Sampling can only miss the true extreme by the sagitta of one step.
        const double step = std::fabs(c.end - c.start) / samples * kPi / 180;
        const double slack = std::max(std::fabs(c.rx), std::fabs(c.ry)) * step * step + 1e-9;
        EXPECT_LE(box.minX, sampled.minX + 1e-9) << c.name;
        EXPECT_LE(box.minY, sampled.minY + 1e-9) << c.name;
        EXPECT_GE(box.maxX, sampled.maxX - 1e-9) << c.name;
        EXPECT_GE(box.maxY, sampled.maxY - 1e-9) << c.name;
        EXPECT_GE(box.minX, sampled.minX - slack) << c.name;
        EXPECT_GE(box.minY, sampled.minY - slack) << c.name;
        EXPECT_LE(box.maxX, sampled.maxX + slack) << c.name;
        EXPECT_LE(box.maxY, sampled.maxY + slack) << c.name;
    }
}

TEST(OvalBIG, ArcAnglesAreNormalisedOnLoad) {
    struct Case {
        const char* name;
        double start, end;
        double expectedStart, expectedEnd;
    };
    const Case cases[] = {
        {"start 370 becomes 0", 370, 90, 0, 90},
        {"end less than 0.5 after the start", 10, 10.2, 10, 360},
        {"end above 360", 0, 400, 0, 360},
        {"negative start", -5, 180, 0, 180},
        {"start above 359", 359.5, 359.9, 0, 359.9},
        {"end below the start", 100, 50, 100, 360},
        {"end exactly 0.5 after the start", 20, 20.5, 20, 20.5},
        {"a proper arc", 45, 270, 45, 270},
    };
    for (const Case& c : cases) {
        COvalBIG source;
        source.SetStartAngle(c.start);
        source.SetEndAngle(c.end);
        const std::vector<std::uint8_t> bytes = SaveBytes(source);
        COvalBIG loaded;
        const tLoadResult result = LoadRecord(loaded, bytes, 13);
        ASSERT_TRUE(result.ok) << c.name << ": " << result.error;
        EXPECT_NEAR(loaded.GetStartAngle(), c.expectedStart, 1e-6) << c.name;
        EXPECT_NEAR(loaded.GetEndAngle(), c.expectedEnd, 1e-6) << c.name;
    }
}

// ----------------------------------------------------------------- text

class FakeTextService : public TextCalculationServiceBase {
public:
    std::string GetServiceName() const override { return "TextCalculationService"; }
    tDoubleRect GetTextBounds(std::string font, int size, std::string text, double angle) override {
        lastFont = font;
        lastSize = size;
        lastText = text;
        lastAngle = angle;
        return tDoubleRect{-1.0, -2.0, static_cast<double>(size), 10.0 * text.size()};
    }
    std::string lastFont;
    int lastSize = 0;
    std::string lastText;
    double lastAngle = 0;
};

class NotATextService : public CLocatableService {
public:
    std::string GetServiceName() const override { return "TextCalculationService"; }
};

TEST(TextBIG, SetTextDefaultsAndJoints) {
    CTextBIG t;
    EXPECT_EQ(t.GetText(), "TEXT");
    EXPECT_EQ(t.GetFontName(), "Futura-Medium");
    EXPECT_EQ(t.GetTextSize(), 24);
    EXPECT_FALSE(t.IsJointEnabled(0));
    EXPECT_FALSE(t.IsJointEnabled(1));
    EXPECT_FALSE(t.GetJoint(0)->IsFree());
    EXPECT_FALSE(t.GetJoint(1)->IsFree());
    EXPECT_EQ(t.GetLineWidth(), 0);

    t.SetText("");
    EXPECT_EQ(t.GetText(), " ");
    EXPECT_THROW(t.SetText(nullptr), std::runtime_error);
    EXPECT_EQ(t.GetText(), " ");

    const std::string longText(5000, 'x');
    t.SetText(longText.c_str());
    EXPECT_EQ(t.GetText().size(), 4095u);
    t.SetText(std::string(4095, 'y').c_str());
    EXPECT_EQ(t.GetText().size(), 4095u);

    // "é" in bytes 4094 and 4095 would be split by a cut at 4095.
    const std::string accented = std::string(4094, 'a') + "\xC3\xA9" + "tail";
    t.SetText(accented.c_str());
    EXPECT_EQ(t.GetText(), std::string(4094, 'a'));
}

TEST(TextBIG, BoundsComeFromTheMeasurementService) {
    CTextBIG t;
    t.SetText("Depot");
    t.SetOffsetX(100);
    t.SetOffsetY(200);
    t.SetAngle(30);

    // The registry keeps the services for the rest of the process.
    static NotATextService other;
    CServiceLocator::Instance().RegisterService(&other);
    EXPECT_EQ(t.CalcBoundingBox(0), (tDoubleRect{0, 0, 0, 0})) << "no measurement service";
    ExpectPoint(t.GetReferencePoint(0), 0, 0, 0, "no measurement service");

    static FakeTextService service;
    CServiceLocator::Instance().RegisterService(&service);
    const tDoubleRect box = t.CalcBoundingBox(15);
    EXPECT_EQ(service.lastFont, "Futura-Medium");
    EXPECT_EQ(service.lastSize, 24);
    EXPECT_EQ(service.lastText, "Depot");
    EXPECT_EQ(service.lastAngle, 45) << "component angle plus element angle";
    ExpectRect(box, 98, 199, 150, 224, 0, "measured box moved by the offset");
    ExpectPoint(t.GetReferencePoint(15), 124, 211.5, 1e-12, "centre of the box");
}

TEST(TextBIG, FontTagsByVersion) {
    // Versions 3 to 5 keep the font as a length byte and the name in 326;
    // from 6 the font is the string 332 and 326 is passed over.
    auto writeRecord = [](const std::vector<std::uint8_t>& pascalFont, bool withFont332) {
        RecordWriter w;
        CTaggedFile& tags = w.tags();
        tags.WriteInt(300, 4);
        tags.WriteDouble(301, 1);
        tags.WriteDouble(302, 2);
        tags.WriteDouble(303, 0);
        tags.WriteDouble(304, 0);
        tags.WriteBool(305, false);
        tags.WriteBool(306, false);
        tags.WriteDouble(307, 0);
        tags.WriteDouble(308, 0);
        tags.WriteInt(309, 1);
        w.Raw(310, {1, 2, 3, 4, 5, 6});
        tags.WriteDouble(328, 0.1);
        tags.WriteDouble(329, 0.2);
        tags.WriteDouble(330, 0.3);
        tags.WriteDouble(331, 1.0);
        tags.WriteInt(324, 18);
        tags.WriteInt(325, 0);
        w.Raw(326, pascalFont);
        if (withFont332) tags.WriteString(332, "Helvetica");
        tags.WriteString(327, "Platform 3");
        return w.Contents();
    };
    const std::vector<std::uint8_t> arial{5, 'A', 'r', 'i', 'a', 'l', 'X', 'X'};

    for (int version : {3, 5}) {
        CTextBIG t;
        const tLoadResult result = LoadRecord(t, writeRecord(arial, false), version);
        ASSERT_TRUE(result.ok) << version << ": " << result.error;
        EXPECT_EQ(t.GetFontName(), "Arial") << version;
        EXPECT_EQ(t.GetText(), "Platform 3");
        EXPECT_EQ(t.GetTextSize(), 18);
    }
    {
        CTextBIG t;
        const tLoadResult result = LoadRecord(t, writeRecord(arial, true), 6);
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(t.GetFontName(), "Helvetica") << "326 is not read from version 6";
        EXPECT_EQ(t.GetText(), "Platform 3");
    }
    {
        // A length that fills the 256-byte buffer exactly.
        std::vector<std::uint8_t> longest(300, 'F');
        longest[0] = 255;
        CTextBIG t;
        const tLoadResult result = LoadRecord(t, writeRecord(longest, false), 5);
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(t.GetFontName(), std::string(255, 'F'));
    }
    {
        // The length byte claims 16 characters; the record holds 3.
        CTextBIG t;
        const tLoadResult result = LoadRecord(t, writeRecord({16, 'A', 'r', 'i'}, false), 5);
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.error.find("exceeds its record"), std::string::npos) << result.error;
        EXPECT_EQ(t.GetFontName(), "Futura-Medium") << "the font stays unchanged";
    }
}

// ------------------------------------------------------- record round trips

TEST(ComponentRecord, VersionGatesOfTheBaseTags) {
    // Every base tag with a value of its own, 310 where versions 3 to 5 have
    // it, then the straight's 311. Each version passes over what it does not
    // read.
    RecordWriter w;
    CTaggedFile& tags = w.tags();
    tags.WriteInt(300, 1);
    tags.WriteDouble(301, 12.5);
    tags.WriteDouble(302, -7.25);
    tags.WriteDouble(303, 16.5);
    tags.WriteDouble(304, 33.0);
    tags.WriteBool(305, true);
    tags.WriteBool(306, false);
    tags.WriteDouble(307, 40.0);
    tags.WriteDouble(308, 1.5);
    tags.WriteInt(309, 7);
    w.Raw(310, std::vector<std::uint8_t>(40, 0xAB));
    tags.WriteDouble(328, 0.25);
    tags.WriteDouble(329, 0.5);
    tags.WriteDouble(330, 0.75);
    tags.WriteDouble(331, 0.5);
    tags.WriteBool(335, true);
    tags.WriteInt(334, 42);
    tags.WriteBool(333, true);
    tags.WriteDouble(311, 321.5);
    const std::vector<std::uint8_t> bytes = w.Contents();

    for (int version = 3; version <= 13; ++version) {
        const std::string what = "version " + std::to_string(version);
        CStraightBIG s;
        const tLoadResult result = LoadRecord(s, bytes, version);
        ASSERT_TRUE(result.ok) << what << ": " << result.error;
        EXPECT_EQ(result.type, 1);
        ExpectBaseFields(s, version, what);
        EXPECT_DOUBLE_EQ(s.GetLength(), 321.5) << what;
        EXPECT_DOUBLE_EQ(s.GetTrackLength(), 321.5) << what;
    }

    // Without tag 310 a version-5 record is damaged: the reader runs to the
    // end looking for it.
    RecordWriter noOldColour;
    noOldColour.tags().WriteInt(300, 1);
    for (std::uint16_t id = 301; id <= 304; ++id) noOldColour.tags().WriteDouble(id, 1);
    noOldColour.tags().WriteBool(305, false);
    noOldColour.tags().WriteBool(306, true);
    for (std::uint16_t id = 307; id <= 308; ++id) noOldColour.tags().WriteDouble(id, 1);
    noOldColour.tags().WriteInt(309, 1);
    noOldColour.tags().WriteDouble(311, 100);
    CStraightBIG s;
    const tLoadResult result = LoadRecord(s, noOldColour.Contents(), 5);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("310"), std::string::npos) << result.error;
    EXPECT_FALSE(s.IsJointEnabled(0));
    EXPECT_FALSE(s.GetJoint(0)->IsFree()) << "tag 305 false: joint 0 disabled and not free";
    EXPECT_TRUE(s.GetJoint(1)->IsFree());
}

TEST(ComponentRecord, UnsupportedVersionsReadNothing) {
    CStraightBIG source;
    SetBaseFields(source);
    source.SetLength(10);
    const std::vector<std::uint8_t> bytes = SaveBytes(source);
    for (int version : {-1, 0, 2, 14, 99}) {
        tFile file = FileWith(bytes, bytes.size());
        {
            CTaggedFile reader(file.get());
            std::int32_t type = 0;
            ASSERT_TRUE(reader.ReadInt(300, type));
        }
        const long before = std::ftell(file.get());
        CStraightBIG s;
        std::string error;
        EXPECT_FALSE(s.Load(file.get(), version, error)) << version;
        EXPECT_EQ(error, "Unsupported file format (version " + std::to_string(version) + ")");
        EXPECT_EQ(std::ftell(file.get()), before) << "nothing read for version " << version;
        EXPECT_EQ(s.GetOffsetX(), 0);
        EXPECT_EQ(s.GetLength(), 0);
    }
}

TEST(ComponentRecord, SaveThenLoadEveryTypeAcrossVersions) {
    for (int version : {6, 7, 8, 9, 12, 13}) {
        const std::string what = "version " + std::to_string(version);

        CStraightBIG straight;
        SetBaseFields(straight);
        straight.SetLength(250.125);
        CStraightBIG straightLoaded;
        tLoadResult r = LoadRecord(straightLoaded, SaveBytes(straight), version);
        ASSERT_TRUE(r.ok) << what << ": " << r.error;
        EXPECT_EQ(r.type, 1);
        ExpectBaseFields(straightLoaded, version, "straight, " + what);
        EXPECT_DOUBLE_EQ(straightLoaded.GetLength(), 250.125);
        EXPECT_DOUBLE_EQ(straightLoaded.GetTrackLength(), 250.125);

        CCurveBIG curve;
        SetBaseFields(curve);
        curve.SetRadius(437.5);
        curve.SetArcAngle(22.5);
        CCurveBIG curveLoaded;
        r = LoadRecord(curveLoaded, SaveBytes(curve), version);
        ASSERT_TRUE(r.ok) << what << ": " << r.error;
        EXPECT_EQ(r.type, 2);
        ExpectBaseFields(curveLoaded, version, "curve, " + what);
        EXPECT_DOUBLE_EQ(curveLoaded.GetRadius(), 437.5);
        EXPECT_DOUBLE_EQ(curveLoaded.GetArcAngle(), 22.5);
        EXPECT_NEAR(curveLoaded.GetTrackLength(), 437.5 * 22.5 * kPi / 180, 1e-9);

        COvalBIG oval;
        SetBaseFields(oval);
        oval.SetRadiusX(31.5);
        oval.SetRadiusY(11.25);
        oval.SetLineWidth(3);
        oval.SetStartAngle(30);
        oval.SetEndAngle(300);
        COvalBIG ovalLoaded;
        r = LoadRecord(ovalLoaded, SaveBytes(oval), version);
        ASSERT_TRUE(r.ok) << what << ": " << r.error;
        EXPECT_EQ(r.type, 5);
        ExpectBaseFields(ovalLoaded, version, "oval, " + what);
        EXPECT_DOUBLE_EQ(ovalLoaded.GetRadiusX(), 31.5);
        EXPECT_DOUBLE_EQ(ovalLoaded.GetRadiusY(), 11.25);
        EXPECT_EQ(ovalLoaded.GetLineWidth(), 3);
        EXPECT_DOUBLE_EQ(ovalLoaded.GetStartAngle(), version >= 13 ? 30 : 0) << what;
        EXPECT_DOUBLE_EQ(ovalLoaded.GetEndAngle(), version >= 13 ? 300 : 360) << what;

        CTextBIG text;
        SetBaseFields(text);
        text.EnableJoint(0);
        text.DisableJoint(1);
        text.SetText("Großstadt-Hbf");
        text.SetFontName("Helvetica-Bold");
        text.SetTextSize(36);
        CTextBIG textLoaded;
        r = LoadRecord(textLoaded, SaveBytes(text), version);
        ASSERT_TRUE(r.ok) << what << ": " << r.error;
        EXPECT_EQ(r.type, 4);
        ExpectBaseFields(textLoaded, version, "text, " + what);
        EXPECT_EQ(textLoaded.GetText(), "Großstadt-Hbf");
        EXPECT_EQ(textLoaded.GetFontName(), "Helvetica-Bold");
        EXPECT_EQ(textLoaded.GetTextSize(), 36);
    }
}

TEST(ComponentRecord, TruncatedAndDamagedRecordsFail) {
    CStraightBIG straight;
    SetBaseFields(straight);
    straight.SetLength(100);
    CCurveBIG curve;
    COvalBIG oval;
    CTextBIG text;
    text.SetText("Engine shed");
    struct Case {
        const char* name;
        CBasicGeometry* source;
    };
    const Case cases[] = {{"straight", &straight}, {"curve", &curve}, {"oval", &oval}, {"text", &text}};
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> bytes = SaveBytes(*c.source);
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            std::unique_ptr<CBasicGeometry> loaded(UComponentFactory::CreateComponent(c.source->GetType()));
            ASSERT_NE(loaded, nullptr);
            const tLoadResult result = LoadRecord(*loaded, bytes, 13, length);
            EXPECT_FALSE(result.ok) << c.name << " cut to " << length << " of " << bytes.size();
            EXPECT_FALSE(result.error.empty()) << c.name << " cut to " << length;
        }
        std::unique_ptr<CBasicGeometry> loaded(UComponentFactory::CreateComponent(c.source->GetType()));
        EXPECT_TRUE(LoadRecord(*loaded, bytes, 13).ok) << c.name << " whole";
    }

    // A tag too short for its value.
    RecordWriter w;
    w.tags().WriteInt(300, 1);
    for (std::uint16_t id = 301; id <= 304; ++id) w.tags().WriteDouble(id, 1);
    w.tags().WriteBool(305, true);
    w.tags().WriteBool(306, true);
    w.tags().WriteDouble(307, 2);
    w.tags().WriteDouble(308, 3);
    w.Raw(309, {0, 1});
    w.tags().WriteDouble(311, 100);
    CStraightBIG s;
    const tLoadResult result = LoadRecord(s, w.Contents(), 5);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "Failed to read component tag 309 (TooShort)");
    EXPECT_EQ(s.GetRailWidth(), 3) << "fields before the damage are kept";
    EXPECT_EQ(s.GetComponentAttribute(), 1);
}

TEST(ComponentRecord, SaveRefusesValuesTheFormatCannotHold) {
    CStraightBIG s;
    s.SetLength(std::numeric_limits<double>::infinity());
    tFile file(std::tmpfile());
    EXPECT_FALSE(s.Save(file.get()));
    COvalBIG o;
    o.SetRadiusX(1e12);
    tFile other(std::tmpfile());
    EXPECT_FALSE(o.Save(other.get()));
}

TEST(ComponentRecord, PackedRecordLayout) {
    CStraightBIG s;
    SetBaseFields(s);
    s.SetLength(250.5);
    ASSERT_EQ(s.GetSerializedSize(), 104u);
    std::vector<std::uint8_t> buffer(s.GetSerializedSize() + 8, 0xEE);
    std::uint8_t* end = s.Serialize(buffer.data());
    EXPECT_EQ(end - buffer.data(), 104);
    EXPECT_EQ(buffer[104], 0xEE) << "nothing written past the record";
    const std::uint8_t* base = buffer.data() + 4;
    EXPECT_EQ(ReadLeInt(buffer.data()), 1);
    EXPECT_EQ(ReadLeDouble(base + 0), 12.5);
    EXPECT_EQ(ReadLeDouble(base + 8), -7.25);
    EXPECT_EQ(ReadLeDouble(base + 16), 16.5);
    EXPECT_EQ(ReadLeDouble(base + 24), 33.0);
    EXPECT_EQ(base[32], 1);
    EXPECT_EQ(base[33], 0);
    EXPECT_EQ(ReadLeDouble(base + 34), 40.0);
    EXPECT_EQ(ReadLeDouble(base + 42), 1.5);
    EXPECT_EQ(ReadLeInt(base + 50), 7);
    EXPECT_EQ(base[54], 1);
    EXPECT_EQ(ReadLeInt(base + 55), 42);
    EXPECT_EQ(ReadLeDouble(base + 59), 0.25);
    EXPECT_EQ(ReadLeDouble(base + 67), 0.5);
    EXPECT_EQ(ReadLeDouble(base + 75), 0.75);
    EXPECT_EQ(ReadLeDouble(base + 83), 0.5);
    EXPECT_EQ(base[91], 1);
    EXPECT_EQ(ReadLeDouble(base + 92), 250.5);

    CCurveBIG c;
    std::vector<std::uint8_t> curveBuffer(c.GetSerializedSize());
    EXPECT_EQ(curveBuffer.size(), 112u);
    EXPECT_EQ(c.Serialize(curveBuffer.data()) - curveBuffer.data(), 112);
    EXPECT_EQ(ReadLeInt(curveBuffer.data()), 2);
    EXPECT_EQ(ReadLeDouble(curveBuffer.data() + 96), 360.0);
    EXPECT_EQ(ReadLeDouble(curveBuffer.data() + 104), 15.0);

    COvalBIG o;
    o.SetLineWidth(9);
    std::vector<std::uint8_t> ovalBuffer(o.GetSerializedSize());
    EXPECT_EQ(ovalBuffer.size(), 132u);
    EXPECT_EQ(o.Serialize(ovalBuffer.data()) - ovalBuffer.data(), 132);
    EXPECT_EQ(ReadLeInt(ovalBuffer.data()), 5);
    EXPECT_EQ(ReadLeDouble(ovalBuffer.data() + 96), 50.0);
    EXPECT_EQ(ReadLeDouble(ovalBuffer.data() + 120), 360.0);
    EXPECT_EQ(ReadLeInt(ovalBuffer.data() + 128), 9);

    CTextBIG t;
    t.SetText("Hi");
    std::vector<std::uint8_t> textBuffer(t.GetSerializedSize());
    EXPECT_EQ(textBuffer.size(), 92u + 16 + 13 + 2);
    EXPECT_EQ(t.Serialize(textBuffer.data()) - textBuffer.data(), static_cast<std::ptrdiff_t>(textBuffer.size()));
    EXPECT_EQ(ReadLeInt(textBuffer.data()), 4);
    EXPECT_EQ(ReadLeInt(textBuffer.data() + 96), 24);
    EXPECT_EQ(ReadLeInt(textBuffer.data() + 100), 13);
    EXPECT_EQ(std::string(textBuffer.begin() + 104, textBuffer.begin() + 117), "Futura-Medium");
    EXPECT_EQ(ReadLeInt(textBuffer.data() + 117), 2);
    EXPECT_EQ(std::string(textBuffer.begin() + 121, textBuffer.end()), "Hi");
}

TEST(ComponentRecord, DebugTexts) {
    CStraightBIG s;
    s.SetOffsetX(1.54);
    s.SetOffsetY(-2);
    s.SetAngle(90);
    s.SetLength(100);
    const std::string dump = s.Dump(1);
    EXPECT_EQ(dump.rfind("<CStraightBIG", 0), 0u) << dump;
    EXPECT_NE(dump.find("> mOffsetX: 1.5, mOffsetY: -2.0, mAngle: 90.0, mRailWidth: 0.0, mGauge: 0.0, "
                        "mTrackbedWidth: 0.0, mIsGenerated: 0, mComponentGeneratorID: 0, "
                        "mColorLocked: 0, mFixedColor: CColor { R: 0.50, G: 0.50, B: 0.50, A: 1.00 }, "
                        "mLength: 100.0 "),
              std::string::npos)
        << dump;

    CCurveBIG c;
    EXPECT_NE(c.Dump(1).find("mArcAngle: 15.00; mRadius: 360.0 "), std::string::npos) << c.Dump(1);
    EXPECT_EQ(c.Dump(1).rfind("<CCurveBIG", 0), 0u);
    COvalBIG o;
    EXPECT_NE(o.Dump(1).find("mLineWidth: 1, mRadiusX: 50.0 "), std::string::npos) << o.Dump(1);
    CTextBIG t;
    EXPECT_NE(t.Dump(1).find("mFontName: Futura-Medium, mTextSize: 24, mText: 'TEXT'"), std::string::npos) << t.Dump(1);
}

TEST(ComponentFactory, CreatesByTypeCode) {
    for (int type : {1, 2, 4, 5}) {
        std::unique_ptr<CBasicGeometry> component(UComponentFactory::CreateComponent(type));
        ASSERT_NE(component, nullptr) << type;
        EXPECT_EQ(component->GetType(), type);
    }
    for (int type : {-1, 0, 7, 1000}) EXPECT_EQ(UComponentFactory::CreateComponent(type), nullptr) << type;
}

}  // namespace
