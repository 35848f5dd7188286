// Points, grade vectors and the bounds accumulator.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "engine/fileformat/TaggedFile.h"
#include "engine/geometry/BoundsAccumulator.h"
#include "engine/model/GradeVector.h"
#include "engine/geometry/Point.h"
#include "tests/support/RecordBytes.h"

namespace {

using testsupport::Append;
using testsupport::Bytes;
using testsupport::Int;
using testsupport::Real;
using testsupport::Record;
using testsupport::Stream;

constexpr double kGeometryPi = 3.14159265358979323846;
double Sin(double degrees) { return std::sin(degrees * kGeometryPi / 180.0); }
double Cos(double degrees) { return std::cos(degrees * kGeometryPi / 180.0); }

void ExpectPoint(const CPoint& p, double x, double y, double z, double tolerance, const std::string& what) {
    EXPECT_NEAR(p.x, x, tolerance) << what;
    EXPECT_NEAR(p.y, y, tolerance) << what;
    EXPECT_NEAR(p.z, z, tolerance) << what;
}

void ExpectRect(const tDoubleRect& r, double minY, double minX, double maxY, double maxX, double tolerance,
                const std::string& what) {
    EXPECT_NEAR(r.minY, minY, tolerance) << what << " (min y)";
    EXPECT_NEAR(r.minX, minX, tolerance) << what << " (min x)";
    EXPECT_NEAR(r.maxY, maxY, tolerance) << what << " (max y)";
    EXPECT_NEAR(r.maxX, maxX, tolerance) << what << " (max x)";
}

// ---------------------------------------------------------------- points

TEST(Point, SetTranslateCopyAndDistances) {
    CPoint p;
    ExpectPoint(p, 0, 0, 0, 0, "default");
    EXPECT_EQ(&CPoint::Origin(), &CPoint::Origin());
    ExpectPoint(CPoint::Origin(), 0, 0, 0, 0, "origin");

    p.Set(1, 2, 3);
    p.Set(4, 5);
    ExpectPoint(p, 4, 5, 3, 0, "Set (x, y) keeps z");

    CPoint& same = p.Translate(1, -1, 0.5).Translate(1, 1, 1);
    EXPECT_EQ(&same, &p);
    ExpectPoint(p, 6, 5, 4.5, 0, "chained translation");

    CPoint copy(p);
    ExpectPoint(copy, 6, 5, 4.5, 0, "copy");
    CPoint& self = copy;
    copy = self;
    ExpectPoint(copy, 6, 5, 4.5, 0, "self-assignment");

    const CPoint a(0, 0, 0);
    EXPECT_DOUBLE_EQ(a.Distance2D(CPoint(3, 4, 100)), 5.0);  // z ignored in the plan
    EXPECT_DOUBLE_EQ(CPoint(1, 2, 3).Distance3D(CPoint(3, 5, 9)), 7.0);
    EXPECT_DOUBLE_EQ(CPoint(1, 2, 3).Distance3D(3, 5, 9), 7.0);

    ExpectPoint(CPoint::MidPoint(CPoint(1, -6, 3), CPoint(4, 2, -8)), 2.5, -2, -2.5, 0, "midpoint averages z too");
    ExpectPoint(CPoint::MidPoint(CPoint(4, 2, -8), CPoint(1, -6, 3)), 2.5, -2, -2.5, 0, "midpoint either way");
}

TEST(Point, AngleTo) {
    struct Case {
        const char* name;
        CPoint from;
        CPoint to;
        double expected;
    };
    const Case cases[] = {
        {"a point to itself", {2, 3}, {2, 3}, 90}, {"straight above", {2, 3}, {2, 8}, 90},
        {"straight below", {2, 3}, {2, -1}, -90},  {"along +x", {0, 0}, {5, 0}, 0},
        {"along -x", {0, 0}, {-5, 0}, 180},        {"down-left diagonal", {1, 1}, {0, 0}, -135},
        {"up-right diagonal", {0, 0}, {2, 2}, 45}, {"z plays no part", {0, 0, 10}, {1, 1, -10}, 45},
    };
    for (const Case& c : cases) EXPECT_NEAR(c.from.AngleTo(c.to), c.expected, 1e-12) << c.name;
}

TEST(Point, Rotations) {
    // Rotating by exactly 0 must not even round: (0.1 - 0.7) + 0.7 is not 0.1.
    CPoint p(0.1, 0.2, 0.3);
    p.RotateAroundZAxis(0.7, -1.3, 0.0);
    p.RotateAroundXAxis(0.7, -1.3, 0.0);
    p.RotateAroundYAxis(0.7, -1.3, 0.0);
    p.Rotate(0.7, -1.3, 0.0);
    p.Rotate(CPoint(0.7, -1.3), 0.0);
    EXPECT_EQ(p.x, 0.1);
    EXPECT_EQ(p.y, 0.2);
    EXPECT_EQ(p.z, 0.3);

    struct Case {
        const char* name;
        CPoint start;
        void (*turn)(CPoint&);
        CPoint expected;
    };
    const Case cases[] = {
        {"plan quarter turn about the origin", {1, 0, 7}, [](CPoint& q) { q.RotateAroundZAxis(0, 0, 90); }, {0, 1, 7}},
        {"Rotate is the plan turn", {1, 0, 7}, [](CPoint& q) { q.Rotate(0, 0, 90); }, {0, 1, 7}},
        {"about a centre point", {3, 2, 0}, [](CPoint& q) { q.Rotate(CPoint(2, 2), 90); }, {2, 3, 0}},
        {"clockwise", {3, 2, 0}, [](CPoint& q) { q.Rotate(2, 2, -90); }, {2, 1, 0}},
        {"half turn", {3, 2, 0}, [](CPoint& q) { q.Rotate(2, 2, 180); }, {1, 2, 0}},
        {"about x turns y towards z", {5, 1, 0}, [](CPoint& q) { q.RotateAroundXAxis(0, 0, 90); }, {5, 0, 1}},
        {"about y turns x towards z", {1, 5, 0}, [](CPoint& q) { q.RotateAroundYAxis(0, 0, 90); }, {0, 5, 1}},
        {"about y with a centre", {3, 5, 1}, [](CPoint& q) { q.RotateAroundYAxis(2, 1, 90); }, {2, 5, 2}},
    };
    for (const Case& c : cases) {
        CPoint q = c.start;
        c.turn(q);
        ExpectPoint(q, c.expected.x, c.expected.y, c.expected.z, 1e-12, c.name);
    }
}

TEST(Point, ScaleKeepsCentreAndScalesZ) {
    CPoint p(3, 5, 7);
    p.Scale(CPoint(1, 1, 1), 2);
    ExpectPoint(p, 5, 9, 13, 0, "scaled about (1, 1, 1)");

    CPoint centre(-4, 2.5, 8);
    CPoint c = centre;
    c.Scale(centre, 10);
    ExpectPoint(c, -4, 2.5, 8, 0, "the centre stays");

    // The centre may be the point itself.
    CPoint self(3, -2, 6);
    self.Scale(self, 3);
    ExpectPoint(self, 3, -2, 6, 0, "scaled about itself");
}

TEST(Point, IsEqual) {
    const CPoint p(1, 2, 3);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        CPoint other;
        double tolerance;
        bool expected;
    };
    const Case cases[] = {
        {"identical, tolerance 0", {1, 2, 3}, 0.0, false},
        {"identical, small tolerance", {1, 2, 3}, 1e-9, true},
        {"difference equal to the tolerance", {1.25, 2, 3}, 0.25, false},
        {"difference below the tolerance", {1.25, 2, 3}, 0.2500001, true},
        {"z counts", {1, 2, 3.5}, 0.25, false},
        {"y counts", {1, 1.5, 3}, 0.25, false},
        {"NaN coordinate", {nan, 2, 3}, 1e9, false},
    };
    for (const Case& c : cases) EXPECT_EQ(p.IsEqual(c.other, c.tolerance), c.expected) << c.name;
    EXPECT_FALSE(CPoint(nan, 0, 0).IsEqual(CPoint(nan, 0, 0), 1.0));
}

TEST(Point, Dump) {
    const CPoint p(1.5, -2.25, 3);
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(&p));
    EXPECT_EQ(p.Dump(2), std::string("<CPoint ") + address + "> x: 1.50; y: -2.25; z: 3.00");
    EXPECT_EQ(p.Dump(0), std::string("<CPoint ") + address + "> x: 2; y: -2; z: 3");

    // Long texts are cut to 63 characters.
    const CPoint big(123456.0, -654321.0, 1.0);
    const std::string text = big.Dump(9);
    ASSERT_EQ(text.size(), 63u);
    char bigAddress[32];
    std::snprintf(bigAddress, sizeof bigAddress, "%p", static_cast<const void*>(&big));
    const std::string expected =
        std::string("<CPoint ") + bigAddress + "> x: 123456.000000000; y: -654321.000000000; z: 1.000000000";
    EXPECT_EQ(text, expected.substr(0, 63));
}

// A point whose operations record themselves, to see which operations are
// built on which through the virtual table.
class CRecordingPoint : public CPoint {
public:
    using CPoint::CPoint;
    using CPoint::Distance3D;
    using CPoint::Rotate;
    using CPoint::Set;

    void Set(double newX, double newY) override {
        calls += "Set2 ";
        CPoint::Set(newX, newY);
    }
    // Moves twice as far as asked.
    CPoint& Translate(double dx, double dy, double dz) override {
        calls += "Translate ";
        return CPoint::Translate(2 * dx, 2 * dy, 2 * dz);
    }
    void RotateAroundZAxis(double cx, double cy, double angle) override {
        calls += "RotateZ ";
        CPoint::RotateAroundZAxis(cx, cy, angle);
    }
    void Rotate(double cx, double cy, double angle) override {
        calls += "Rotate3 ";
        CPoint::Rotate(cx, cy, angle);
    }
    double Distance3D(const CPoint& other) const override {
        calls += "Distance3D ";
        return CPoint::Distance3D(other);
    }

    mutable std::string calls;
};

TEST(Point, OperationsDispatchThroughOverrides) {
    CRecordingPoint p(3, 3, 3);
    CPoint& base = p;

    base.Scale(CPoint(1, 1, 1), 2);
    EXPECT_EQ(p.calls, "Translate Translate ");
    // (3 - 2·1)·2 + 2·1 = 4 per coordinate; the plain point would give 5.
    ExpectPoint(p, 4, 4, 4, 0, "scale through the doubled translation");

    p.calls.clear();
    base.Set(1, 2, 9);
    EXPECT_EQ(p.calls, "Set2 ");
    ExpectPoint(p, 1, 2, 9, 0, "Set (x, y, z)");

    p.calls.clear();
    base.Rotate(CPoint(0, 0), 90);
    EXPECT_EQ(p.calls, "Rotate3 RotateZ ");
    ExpectPoint(p, -2, 1, 9, 1e-12, "Rotate (centre, angle)");

    p.calls.clear();
    EXPECT_DOUBLE_EQ(base.Distance3D(-2, 1, 0), 9.0);
    EXPECT_EQ(p.calls, "Distance3D ");
}

// ---------------------------------------------------------- grade vectors

TEST(GradeVector, AngleAndSlope) {
    const CGradeVector& null = CGradeVector::Null();
    EXPECT_EQ(&null, &CGradeVector::Null());
    ExpectPoint(null.start, 0, 0, 0, 0, "null start");
    ExpectPoint(null.end, 0, 0, 0, 0, "null end");
    EXPECT_EQ(null.height, 0.0);
    EXPECT_EQ(null.GetSlopeAngle(), 0.0);

    EXPECT_NEAR(CGradeVector({1, 1}, {2, 2}, 0).GetAngle(), 45, 1e-12);
    EXPECT_EQ(CGradeVector({1, 1}, {1, -4}, 0).GetAngle(), -90);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        CGradeVector grade;
        double expected;
    };
    const Case cases[] = {
        {"rise equal to the run", {{0, 0}, {10, 0}, 10}, 45},
        {"run measured in 3-D", {{0, 0, 0}, {0, 3, 4}, 5}, 45},
        {"vertical run", {{0, 0, 0}, {0, 0, 10}, 10}, 45},
        {"height 0.0005 is flat", {{0, 0}, {1, 0}, 0.0005}, 0},
        {"height 0.001 counts", {{0, 0}, {1, 0}, 0.001}, std::atan(0.001) * 180 / kGeometryPi},
        {"negative height is flat", {{0, 0}, {10, 0}, -5}, 0},
        {"coincident ends", {{4, 4, 1}, {4, 4, 1}, 50}, 0},
        {"NaN height", {{0, 0}, {10, 0}, nan}, 0},
    };
    for (const Case& c : cases) EXPECT_NEAR(c.grade.GetSlopeAngle(), c.expected, 1e-12) << c.name;
}

// start (1.5, -2.25, 0.125), end (10, 20.5, -3.75), height 4.0000001;
// `skip` leaves out that tag, `extra` inserts an unrelated int record before
// tag 222. Reals are their integer part and their fraction times 1e7.
Bytes GradeRecords(unsigned skip = 0, bool extra = false) {
    Bytes bytes;
    auto put = [&](std::uint16_t id, std::int32_t whole, std::int32_t fraction) {
        if (id != skip) Append(bytes, Record(id, Real(whole, fraction)));
    };
    put(219, 1, 5000000);
    put(220, -2, -2500000);
    put(221, 0, 1250000);
    if (extra) Append(bytes, Record(300, Int(2)));
    put(222, 10, 0);
    put(223, 20, 5000000);
    put(224, -3, -7500000);
    put(225, 4, 1);
    return bytes;
}

void ExpectLoaded(const CGradeVector& g, const std::string& what) {
    ExpectPoint(g.start, 1.5, -2.25, 0.125, 1e-12, what + ", start");
    ExpectPoint(g.end, 10, 20.5, -3.75, 1e-12, what + ", end");
    EXPECT_NEAR(g.height, 4.0000001, 1e-12) << what;
}

TEST(GradeVector, LoadFromTaggedRecords) {
    {
        Stream file(GradeRecords());
        ASSERT_NE(file.handle, nullptr);
        CTaggedFile reader(file.handle);
        CGradeVector g;
        EXPECT_TRUE(g.Load(reader, 3));
        ExpectPoint(g.start, 0, 0, 0, 0, "version 3, start");
        ExpectPoint(g.end, 0, 0, 0, 0, "version 3, end");
        EXPECT_EQ(g.height, 0.0);
        EXPECT_EQ(std::ftell(file.handle), 0) << "version 3 reads nothing";
    }
    for (int version : {4, 13}) {
        Stream file(GradeRecords());
        CTaggedFile reader(file.handle);
        CGradeVector g;
        EXPECT_TRUE(g.Load(reader, version));
        ExpectLoaded(g, "version " + std::to_string(version));
    }
    {
        Stream file(GradeRecords(0, true));
        CTaggedFile reader(file.handle);
        CGradeVector g;
        EXPECT_TRUE(g.Load(reader, 4));
        ExpectLoaded(g, "unrelated record skipped");
    }
    {
        Stream file(GradeRecords(225));
        CTaggedFile reader(file.handle);
        CGradeVector g({7, 7, 7}, {8, 8, 8}, 99);
        EXPECT_FALSE(g.Load(reader, 4));
        ExpectPoint(g.start, 1.5, -2.25, 0.125, 1e-12, "height missing, start");
        ExpectPoint(g.end, 10, 20.5, -3.75, 1e-12, "height missing, end");
        EXPECT_EQ(g.height, 99.0) << "a missing tag leaves its field";
    }
    {
        // Searching for the absent 222 consumes the rest of the records, so
        // every later field keeps its value too.
        Stream file(GradeRecords(222));
        CTaggedFile reader(file.handle);
        CGradeVector g({7, 7, 7}, {8, 8, 8}, 99);
        EXPECT_FALSE(g.Load(reader, 4));
        ExpectPoint(g.start, 1.5, -2.25, 0.125, 1e-12, "end x missing, start");
        ExpectPoint(g.end, 8, 8, 8, 0, "end x missing, end");
        EXPECT_EQ(g.height, 99.0);
    }
}

// ------------------------------------------------------ bounds accumulator

TEST(BoundsAccumulator, PointsAndRects) {
    tDoubleRect r{1, 2, 3, 4};
    CBoundsAccumulator acc(r);
    EXPECT_EQ(r, (tDoubleRect{DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX})) << "emptied when made";
    EXPECT_EQ(EmptyRect(), r);

    acc.AddPoint(CPoint(-5, -3, 100));
    EXPECT_EQ(r, (tDoubleRect{-3, -5, -3, -5}));
    acc.AddPoints({CPoint(1, 2), CPoint(-7, 0), CPoint(0, 9)});
    EXPECT_EQ(r, (tDoubleRect{-3, -7, 9, 1}));

    struct Case {
        const char* name;
        tDoubleRect added;
        tDoubleRect expected;
    };
    const Case cases[] = {
        {"10 by 10 at the origin", {0, 0, 10, 10}, {0, 0, 10, 10}},
        {"0.0005 wide is ignored", {-50, -50, 50, -49.9995}, EmptyRect()},
        {"0.0005 high is ignored", {-50, -50, -49.9995, 50}, EmptyRect()},
        {"exactly 0.001 wide counts", {0, 0, 5, 0.001}, {0, 0, 5, 0.001}},
        {"the empty rectangle is ignored", EmptyRect(), EmptyRect()},
        {"inverted is ignored", {10, 10, 0, 0}, EmptyRect()},
    };
    for (const Case& c : cases) {
        tDoubleRect target;
        CBoundsAccumulator a(target);
        a.AddRect(c.added);
        EXPECT_EQ(target, c.expected) << c.name;
    }

    tDoubleRect grown;
    CBoundsAccumulator g(grown);
    g.AddRect({0, 0, 10, 10});
    g.AddRect({-1, 5, 2, 20});
    EXPECT_EQ(grown, (tDoubleRect{-1, 0, 10, 20}));

    // No minimum extent when taking another accumulator's bounds.
    tDoubleRect single, empty;
    CBoundsAccumulator s(single), e(empty);
    s.AddPoint(CPoint(30, -40));
    g.AddBoundsOf(e);
    EXPECT_EQ(grown, (tDoubleRect{-1, 0, 10, 20})) << "an empty accumulator adds nothing";
    g.AddBoundsOf(s);
    EXPECT_EQ(grown, (tDoubleRect{-40, 0, 10, 30}));
}

// Bounds of the arc found by walking it in steps of at most 0.01 degrees;
// the point at angle t is (cx + r sin t, cy - r cos t).
tDoubleRect SampledArcBounds(double cx, double cy, double start, double sweep, double r) {
    const int steps = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / 0.01)));
    tDoubleRect b{DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX};
    for (int i = 0; i <= steps; ++i) {
        const double t = start + sweep * i / steps;
        const double x = cx + r * Sin(t);
        const double y = cy - r * Cos(t);
        b.minY = std::min(b.minY, y);
        b.minX = std::min(b.minX, x);
        b.maxY = std::max(b.maxY, y);
        b.maxX = std::max(b.maxX, x);
    }
    return b;
}

TEST(BoundsAccumulator, Arcs) {
    const double h = 10 * Sin(45);
    struct Case {
        const char* name;
        double cx, cy, start, sweep, r;
        tDoubleRect expected;
    };
    const Case cases[] = {
        {"quarter bottom to right", 0, 0, 0, 90, 10, {-10, 0, 0, 10}},
        {"quarter right to top", 0, 0, 90, 90, 10, {0, 0, 10, 10}},
        {"quarter top to left", 0, 0, 180, 90, 10, {0, -10, 10, 0}},
        {"quarter left to bottom", 0, 0, 270, 90, 10, {-10, -10, 0, 0}},
        {"half circle bottom to top", 0, 0, 0, 180, 10, {-10, 0, 10, 10}},
        {"half circle right to left", 0, 0, 90, 180, 10, {0, -10, 10, 10}},
        {"crossing 0 from -45", 0, 0, -45, 90, 10, {-10, -h, -h, h}},
        {"crossing 0 from 315", 0, 0, 315, 90, 10, {-10, -h, -h, h}},
        {"crossing 0 from 675", 0, 0, 675, 90, 10, {-10, -h, -h, h}},
        {"crossing 0 from -405", 0, 0, -405, 90, 10, {-10, -h, -h, h}},
        {"three quarters from 180", 0, 0, 180, 270, 10, {-10, -10, 10, 10}},
        {"clockwise quarter bottom to left", 0, 0, 0, -90, 10, {-10, -10, 0, 0}},
        {"clockwise from 100 over 200", 0, 0, 100, -200, 10, {-10, -10, -10 * Cos(100), 10}},
        {"full circle", 0, 0, 30, 360, 10, {-10, -10, 10, 10}},
        {"full circle clockwise", 0, 0, 30, -360, 10, {-10, -10, 10, 10}},
        {"more than a turn", 0, 0, 30, 450, 10, {-10, -10, 10, 10}},
        {"zero sweep", 0, 0, 90, 0, 10, {0, 10, 0, 10}},
        {"small arc off centre",
         100,
         -50,
         10,
         20,
         2.5,
         {-50 - 2.5 * Cos(10), 100 + 2.5 * Sin(10), -50 - 2.5 * Cos(30), 100 + 2.5 * Sin(30)}},
        {"quarter off centre crossing 90",
         100,
         -50,
         45,
         90,
         2.5,
         {-50 - 2.5 * Cos(45), 100 + 2.5 * Sin(45), -50 - 2.5 * Cos(135), 102.5}},
        {"negative radius", 0, 0, 0, 90, -10, {0, -10, 10, 0}},
    };
    for (const Case& c : cases) {
        tDoubleRect r;
        CBoundsAccumulator acc(r);
        acc.AddArc(CPoint(c.cx, c.cy), c.start, c.sweep, c.r);
        ExpectRect(r, c.expected.minY, c.expected.minX, c.expected.maxY, c.expected.maxX, 1e-9, c.name);
        const tDoubleRect sampled = SampledArcBounds(c.cx, c.cy, c.start, c.sweep, c.r);
        ExpectRect(r, sampled.minY, sampled.minX, sampled.maxY, sampled.maxX, 1e-6,
                   std::string(c.name) + " vs sampled");
    }

    // Centre (0, 0), radius 10, start 0, sweep 90.
    tDoubleRect golden;
    CBoundsAccumulator g(golden);
    g.AddArc(CPoint(0, 0), 0, 90, 10);
    ExpectRect(golden, -10, 0, 0, 10, 1e-12, "golden quarter");
}

TEST(BoundsAccumulator, ArcsGrowTheRectangle) {
    tDoubleRect r;
    CBoundsAccumulator acc(r);
    acc.AddPoint(CPoint(50, 50));
    acc.AddArc(CPoint(0, 0), 0, 90, 10);
    ExpectRect(r, -10, 0, 50, 50, 1e-12, "point then arc");

    // Inner and outer arcs of a track bed: the union of both.
    tDoubleRect bed;
    CBoundsAccumulator b(bed);
    b.AddArc(CPoint(0, 0), 90, 90, 12);
    b.AddArc(CPoint(0, 0), 90, 90, 8);
    ExpectRect(bed, 0, 0, 12, 12, 1e-12, "bed of a quarter");

    // An arc inside what is already held changes nothing.
    tDoubleRect big;
    CBoundsAccumulator c(big);
    c.AddRect({-100, -100, 100, 100});
    c.AddArc(CPoint(0, 0), 0, 360, 10);
    EXPECT_EQ(big, (tDoubleRect{-100, -100, 100, 100}));
}

TEST(BoundsAccumulator, UnusableArcsAreHarmless) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        CPoint centre;
        double start, sweep, r;
    };
    const Case ignored[] = {
        {"NaN start", {0, 0}, nan, 90, 10},  {"infinite start", {0, 0}, -inf, 90, 10},
        {"NaN sweep", {0, 0}, 0, nan, 10},   {"infinite radius", {0, 0}, 0, 90, inf},
        {"NaN centre", {nan, 0}, 0, 90, 10},
    };
    for (const Case& c : ignored) {
        tDoubleRect r;
        CBoundsAccumulator acc(r);
        acc.AddPoint(CPoint(1, 2));
        acc.AddArc(c.centre, c.start, c.sweep, c.r);
        EXPECT_EQ(r, (tDoubleRect{2, 1, 2, 1})) << c.name;
    }

    // A start angle so large that adding 360 no longer changes it: the
    // result is some point of the circle, found without looping for ever.
    tDoubleRect r;
    CBoundsAccumulator acc(r);
    acc.AddArc(CPoint(0, 0), -1e20, 90, 10);
    for (double side : {r.minY, r.minX, r.maxY, r.maxX}) {
        EXPECT_TRUE(std::isfinite(side));
        EXPECT_LE(std::fabs(side), 10.0 + 1e-9);
    }
}

}  // namespace
