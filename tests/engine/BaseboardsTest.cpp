// Baseboards: reading hand-built baseboard sections, writing them back, the
// border operations, bounds of rounded boards, and hostile bytes.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/fileformat/Tag.h"
#include "engine/model/Baseboard.h"
#include "engine/model/BorderSegment.h"
#include "engine/geometry/BoundsAccumulator.h"
#include "engine/model/Layer.h"
#include "engine/services/Logger.h"
#include "tests/support/EngineServices.h"
#include "tests/support/GeometryChecks.h"
#include "tests/support/LogWatch.h"
#include "tests/support/RecordBytes.h"
#include "platform/foundation/OwnedList.h"

namespace {

using testsupport::Analytics;
using testsupport::Append;
using testsupport::Bool;
using testsupport::Bytes;
using testsupport::CountLogged;
using testsupport::CountWarnings;
using testsupport::ExpectRect;
using testsupport::FileWith;
using testsupport::Int;
using testsupport::Record;
using testsupport::RecordingAnalytics;
using testsupport::Stream;
using testsupport::Text;
using testsupport::tFile;

// ------------------------------------------------ building sections by hand

// Integer part and fraction x 1e7, both toward zero; exact for the values
// the tests use.
Bytes Real(double v) {
    const double whole = std::trunc(v);
    return testsupport::Real(static_cast<std::int32_t>(whole),
                             static_cast<std::int32_t>(std::llround((v - whole) * 1e7)));
}

struct tPointSpec {
    std::string id;
    double x;
    double y;
};

struct tSegmentSpec {
    int type;
    std::string start;
    std::string end;
    bool flag722 = false;
    int integer723 = 0;
    int integer724 = 0;
    double cx = 0;
    double cy = 0;
    bool flag727 = false;
    std::optional<bool> write727 = std::nullopt;  // default: from version 12
};

struct tBoardSpec {
    std::string layer = "Boards";
    double x = 0;
    double y = 0;
    double p704 = 0;
    std::string name = "Board";
    double colors[8] = {0.75, 0.75, 0.75, 1, 0, 0, 0, 1};
    std::vector<tPointSpec> points;
    std::optional<int> pointCount;
    std::vector<tSegmentSpec> segments;
    std::optional<int> segmentCount;
};

void Board(Bytes& out, const tBoardSpec& b, int version) {
    auto put = [&out](std::uint16_t id, const Bytes& data) { Append(out, Record(id, data)); };
    put(701, Text(b.layer));
    put(702, Real(b.x));
    put(703, Real(b.y));
    put(704, Real(b.p704));
    put(705, Text(b.name));
    for (int i = 0; i < 8; ++i) put(static_cast<std::uint16_t>(706 + i), Real(b.colors[i]));
    put(714, Int(b.pointCount.value_or(static_cast<int>(b.points.size()))));
    for (const tPointSpec& p : b.points) {
        put(715, Text(p.id));
        put(716, Real(p.x));
        put(717, Real(p.y));
    }
    put(718, Int(b.segmentCount.value_or(static_cast<int>(b.segments.size()))));
    for (const tSegmentSpec& s : b.segments) {
        put(719, Int(s.type));
        put(720, Text(s.start));
        put(721, Text(s.end));
        put(722, Bool(s.flag722));
        put(723, Int(s.integer723));
        put(724, Int(s.integer724));
        if (s.type == 1) {
            put(725, Real(s.cx));
            put(726, Real(s.cy));
            if (s.write727.value_or(version >= 12)) put(727, Bool(s.flag727));
        }
    }
}

Bytes Section(const std::vector<tBoardSpec>& boards, int version, std::optional<int> count = {}) {
    Bytes out = Record(700, Int(count.value_or(static_cast<int>(boards.size()))));
    for (const tBoardSpec& b : boards) Board(out, b, version);
    return out;
}

// A 400 x 300 rectangle, counter-clockwise from A at the origin.
tBoardSpec Rectangle(const std::string& name = "Board", const std::string& layer = "Boards") {
    tBoardSpec b;
    b.name = name;
    b.layer = layer;
    b.points = {{"A", 0, 0}, {"B", 400, 0}, {"C", 400, 300}, {"D", 0, 300}};
    b.segments = {{0, "A", "B"}, {0, "B", "C"}, {0, "C", "D"}, {0, "D", "A"}};
    return b;
}

// ------------------------------------------------ running the reader

struct TestLayers {
    TestLayers() {
        boards.SetLayerType(CLayer::kBaseboardLayer);
        pictures.SetLayerType(CLayer::kImageLayer);
    }
    CLayer boards{"Boards"};
    CLayer pictures{"Pictures"};
    tFindLayerByName Finder() {
        return [this](const std::string& name) -> CLayer* {
            if (name == boards.GetName()) return &boards;
            if (name == pictures.GetName()) return &pictures;
            return nullptr;
        };
    }
};

struct tRead {
    bool ok = false;
    tBaseboardElements boards;
    ~tRead() { platform::DeleteAll(boards); }
};

// Reads from a memory stream, as the loader's handles in tests.
void ReadFromMemory(const Bytes& bytes, int version, TestLayers& layers, tRead& result) {
    const Stream stream(bytes);
    ASSERT_NE(stream.handle, nullptr);
    result.ok = UBaseboardElements::ReadBaseboards(result.boards, stream.handle, layers.Finder(), version);
}

std::vector<std::string> SegmentEnds(const CBaseboardElement& b) {
    std::vector<std::string> out;
    for (const CBorderSegment* s : b.GetBorderSegments()) out.push_back(s->GetStartPointId() + s->GetEndPointId());
    return out;
}

std::vector<std::string> PointIds(const CBaseboardElement& b) {
    std::vector<std::string> out;
    for (const auto& entry : b.GetBorderPointMap()) out.push_back(entry.first);
    return out;
}

bool IsUuid(const std::string& s) {
    if (s.size() != 36) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash != (s[i] == '-')) return false;
    }
    return true;
}

}  // namespace

// ------------------------------------------------------------ reading

TEST(Baseboards, ReadsEveryFieldOfARectangularBoard) {
    tBoardSpec spec = Rectangle("Main board");
    spec.x = 12.5;
    spec.y = -3.25;
    spec.p704 = 7.75;
    const double colors[8] = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8};
    std::copy(colors, colors + 8, spec.colors);
    spec.segments[1].flag722 = true;
    spec.segments[1].integer723 = -5;
    spec.segments[1].integer724 = 123456;

    TestLayers layers;
    tRead read;
    ReadFromMemory(Section({spec}, 12), 12, layers, read);
    ASSERT_TRUE(read.ok);
    ASSERT_EQ(read.boards.size(), 1u);
    const CBaseboardElement& b = *read.boards[0];

    EXPECT_EQ(b.GetLayer(), &layers.boards);
    EXPECT_EQ(b.GetName(), "Main board");
    EXPECT_DOUBLE_EQ(b.GetPosition().x, 12.5);
    EXPECT_DOUBLE_EQ(b.GetPosition().y, -3.25);
    EXPECT_DOUBLE_EQ(b.GetPosition().z, 0.0);
    EXPECT_DOUBLE_EQ(b.GetRealParameter704(), 7.75);
    EXPECT_NEAR(b.GetFirstColor().mRed, 0.1, 1e-7);
    EXPECT_NEAR(b.GetFirstColor().mAlpha, 0.4, 1e-7);
    EXPECT_NEAR(b.GetSecondColor().mRed, 0.5, 1e-7);
    EXPECT_NEAR(b.GetSecondColor().mAlpha, 0.8, 1e-7);
    EXPECT_FALSE(b.IsEditInProgress());
    EXPECT_EQ(b.GetSecondText(), "");
    EXPECT_TRUE(IsUuid(b.GetIdentifier()));

    // The four corners all carry segments and stay.
    EXPECT_EQ(PointIds(b), (std::vector<std::string>{"A", "B", "C", "D"}));
    ASSERT_NE(b.FindBorderPoint("C"), nullptr);
    EXPECT_DOUBLE_EQ(b.FindBorderPoint("C")->x, 400);
    EXPECT_DOUBLE_EQ(b.FindBorderPoint("C")->y, 300);
    EXPECT_EQ(b.FindBorderPoint("E"), nullptr);
    EXPECT_EQ(SegmentEnds(b), (std::vector<std::string>{"AB", "BC", "CD", "DA"}));

    const CBorderSegment& second = *b.GetBorderSegments()[1];
    EXPECT_NE(dynamic_cast<const CStraightBorderSegment*>(&second), nullptr);
    EXPECT_TRUE(second.GetFlag722());
    EXPECT_EQ(second.GetInteger723(), -5);
    EXPECT_EQ(second.GetInteger724(), 123456);
    EXPECT_FALSE(second.IsSelected());
    EXPECT_FALSE(b.GetBorderSegments()[0]->GetFlag722());
    EXPECT_TRUE(IsUuid(second.GetIdentifier()));
    EXPECT_NE(second.GetIdentifier(), b.GetBorderSegments()[0]->GetIdentifier());
}

TEST(Baseboards, OrphanedPointsAreRemovedWithAnInfoLine) {
    CLogger::Instance().SetLevel(1);
    tBoardSpec spec = Rectangle();
    spec.points.push_back({"E", 50, 50});
    spec.points.push_back({"A", 5, 6});  // a second A replaces the first
    TestLayers layers;
    tRead read;
    ReadFromMemory(Section({spec}, 12), 12, layers, read);
    ASSERT_TRUE(read.ok);
    ASSERT_EQ(read.boards.size(), 1u);
    EXPECT_EQ(PointIds(*read.boards[0]), (std::vector<std::string>{"A", "B", "C", "D"}));
    EXPECT_DOUBLE_EQ(read.boards[0]->FindBorderPoint("A")->x, 5);
    EXPECT_EQ(CountLogged(2, "Removing orphaned point <E>"), 1);
    EXPECT_EQ(CountLogged(2, "Removing orphaned point <A>"), 0);
}

TEST(Baseboards, SegmentTypesAndTheVersionGateOfFlag727) {
    struct tCase {
        const char* name;
        int version;
        bool write727;
        bool expectedFlag;
    };
    const tCase cases[] = {
        {"version 11 has no flag 727", 11, false, false},
        {"version 11 passes over a 727 record it must not read", 11, true, false},
        {"version 12 reads flag 727", 12, true, true},
    };
    for (const tCase& c : cases) {
        tBoardSpec spec;
        spec.points = {{"A", 0, 0}, {"B", 100, 0}, {"C", 100, 100}};
        tSegmentSpec arc{1, "B", "C"};
        arc.cx = 100;
        arc.cy = 50;
        arc.flag727 = true;
        arc.write727 = c.write727;
        arc.integer723 = 2;
        spec.segments = {{0, "A", "B"}, {2, "B", "C"}, arc, {0, "C", "A"}};
        TestLayers layers;
        tRead read;
        const long unsupportedBefore = CountWarnings("Unsupported border type");
        ReadFromMemory(Section({spec}, c.version), c.version, layers, read);
        ASSERT_EQ(read.boards.size(), 1u) << c.name;
        const CBaseboardElement& b = *read.boards[0];
        // The unsupported segment is dropped and the arc after it read.
        EXPECT_EQ(CountWarnings("Unsupported border type"), unsupportedBefore + 1) << c.name;
        ASSERT_EQ(SegmentEnds(b), (std::vector<std::string>{"AB", "BC", "CA"})) << c.name;
        const auto* readArc = dynamic_cast<const CCircleArcBorderSegment*>(b.GetBorderSegments()[1]);
        ASSERT_NE(readArc, nullptr) << c.name;
        EXPECT_DOUBLE_EQ(readArc->GetCentre().x, 100) << c.name;
        EXPECT_DOUBLE_EQ(readArc->GetCentre().y, 50) << c.name;
        EXPECT_EQ(readArc->GetDirectionFlag(), c.expectedFlag) << c.name;
        EXPECT_EQ(readArc->GetInteger723(), 2) << c.name;
        EXPECT_TRUE(read.ok) << c.name;
    }
}

TEST(Baseboards, ABoardOnAnImageLayerIsKeptWithAWarningAndAnIntegrityReport) {
    RecordingAnalytics& analytics = Analytics();
    const std::size_t eventsBefore = analytics.events.size();
    const long warningsBefore = CountWarnings("Invalid layer type");
    TestLayers layers;
    tRead read;
    ReadFromMemory(Section({Rectangle("On pictures", "Pictures")}, 12), 12, layers, read);
    ASSERT_EQ(read.boards.size(), 1u);
    EXPECT_EQ(read.boards[0]->GetLayer(), &layers.pictures);
    EXPECT_EQ(PointIds(*read.boards[0]).size(), 4u);
    EXPECT_EQ(CountWarnings("Invalid layer type for 'Pictures' - expected 'Baseboard'"), warningsBefore + 1);
    ASSERT_EQ(analytics.events.size(), eventsBefore + 1);
    EXPECT_EQ(analytics.events.back().first, "IntegrityCheckFailure");
    EXPECT_EQ(analytics.events.back().second,
              (ActivityAnalyticsServiceBase::tEventProperties{
                  {"IntegrityCheckType", "InvalidLayerType.CreateBaseboardElement.UBaseboardElements"}}));

    // On its own layer there is neither.
    tRead good;
    ReadFromMemory(Section({Rectangle()}, 12), 12, layers, good);
    EXPECT_EQ(analytics.events.size(), eventsBefore + 1);
    EXPECT_EQ(CountWarnings("Invalid layer type"), warningsBefore + 1);
}

TEST(Baseboards, CreateBaseboardElementNeedsItsLayer) {
    TestLayers layers;
    const long goneBefore = CountWarnings("Layer 'Gone' not found in layout");
    const long boardsBefore = CountWarnings("Layer 'Boards' not found in layout");
    const CColor fill(0.1, 0.2, 0.3, 1.0);
    const CColor border(0.4, 0.5, 0.6, 1.0);
    auto made = UBaseboardElements::CreateBaseboardElement(CPoint(1, 2, 9), "Shelf", fill, border, "Boards",
                                                           layers.Finder(), 3.5);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetLayer(), &layers.boards);
    EXPECT_EQ(made->GetName(), "Shelf");
    EXPECT_DOUBLE_EQ(made->GetRealParameter704(), 3.5);
    EXPECT_EQ(made->GetFirstColor(), fill);
    EXPECT_EQ(made->GetSecondColor(), border);
    EXPECT_DOUBLE_EQ(made->GetPosition().y, 2);

    EXPECT_EQ(UBaseboardElements::CreateBaseboardElement(CPoint(), "x", fill, border, "Gone", layers.Finder(), 0),
              nullptr);
    EXPECT_EQ(CountWarnings("Layer 'Gone' not found in layout"), goneBefore + 1);
    EXPECT_EQ(UBaseboardElements::CreateBaseboardElement(CPoint(), "x", fill, border, "Boards", {}, 0), nullptr);
    EXPECT_EQ(CountWarnings("Layer 'Boards' not found in layout"), boardsBefore + 1);
}

// ------------------------------------------------------------ border operations

TEST(Baseboards, DefaultsAndPointOperations) {
    CBaseboardElement b;
    EXPECT_EQ(b.GetFirstColor(), CColor(0.75, 0.75, 0.75, 1.0));
    EXPECT_EQ(b.GetSecondColor(), CColor(0.0, 0.0, 0.0, 1.0));
    EXPECT_EQ(b.GetLayer(), nullptr);
    EXPECT_FALSE(b.IsEditInProgress());

    b.SetBorderPoint("b", CPoint(2, 20));
    b.SetBorderPoint("a", CPoint(1, 10));
    b.SetBorderPoint("c", CPoint(3, 30));
    const std::vector<CPoint> points = b.GetBorderPoints();
    ASSERT_EQ(points.size(), 3u);
    EXPECT_DOUBLE_EQ(points[0].x, 1);
    EXPECT_DOUBLE_EQ(points[1].x, 2);
    EXPECT_DOUBLE_EQ(points[2].x, 3);

    b.TranslateBorderPoint("b", 5, -5);
    b.TranslateBorderPoint("zz", 100, 100);  // unknown: nothing
    EXPECT_DOUBLE_EQ(b.FindBorderPoint("b")->x, 7);
    EXPECT_DOUBLE_EQ(b.FindBorderPoint("b")->y, 15);
    EXPECT_DOUBLE_EQ(b.FindBorderPoint("b")->z, 0);
    EXPECT_DOUBLE_EQ(b.FindBorderPoint("a")->x, 1);

    b.SetName("Shelf");
    b.RemoveBorderPoint("a");
    EXPECT_EQ(b.FindBorderPoint("a"), nullptr);
    EXPECT_EQ(CountWarnings("Invalid ID for border point"), 0);
    b.RemoveBorderPoint("a");
    EXPECT_EQ(CountWarnings("Invalid ID for border point 'a' in baseboard " + b.GetIdentifier() + " (Shelf)"), 1);

    // Segments whose ends are equal are made all the same, with a warning.
    auto* closed = new CStraightBorderSegment("b", "b");
    b.AddBorderSegment(closed);
    EXPECT_EQ(CountWarnings("Invalid parameter - Point ID b is used as both, start and end point of border " +
                            closed->GetIdentifier()),
              1);
    b.RemoveOrphanedPoints();
    EXPECT_EQ(PointIds(b), (std::vector<std::string>{"b"}));
}

TEST(Baseboards, CopiesAreDeepWithFreshIdentifiers) {
    CLayer layer("Boards");
    CBaseboardElement original(CPoint(1, 2), 4.5, "Main", CColor(0.1, 1.0), CColor(0.9, 1.0));
    original.SetLayer(&layer);
    original.SetSecondText("note");
    original.SetBorderPoint("A", CPoint(0, 0));
    original.SetBorderPoint("B", CPoint(100, 0));
    original.SetBorderPoint("C", CPoint(100, 100));
    original.AddBorderSegment(new CStraightBorderSegment("A", "B"));
    auto* arc = new CCircleArcBorderSegment("B", "C");
    arc->SetCentre(CPoint(100, 50));
    arc->SetDirectionFlag(true);
    arc->SetInteger724(7);
    original.AddBorderSegment(arc);
    original.AddBorderSegment(new CStraightBorderSegment("C", "A"));

    CBaseboardElement other;
    other.SetEditInProgress(true);
    const tBaseboardElements list{&original, &other};
    tBaseboardElements copies = UBaseboardElements::CloneBaseboards(list);
    ASSERT_EQ(copies.size(), 2u);
    const CBaseboardElement& copy = *copies[0];
    EXPECT_NE(copy.GetIdentifier(), original.GetIdentifier());
    EXPECT_TRUE(IsUuid(copy.GetIdentifier()));
    EXPECT_EQ(copy.GetName(), "Main");
    EXPECT_EQ(copy.GetSecondText(), "note");
    EXPECT_EQ(copy.GetLayer(), &layer);
    EXPECT_DOUBLE_EQ(copy.GetRealParameter704(), 4.5);
    EXPECT_EQ(PointIds(copy), PointIds(original));
    EXPECT_DOUBLE_EQ(copy.FindBorderPoint("C")->y, 100);
    EXPECT_EQ(SegmentEnds(copy), SegmentEnds(original));
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NE(copy.GetBorderSegments()[i], original.GetBorderSegments()[i]);
        EXPECT_NE(copy.GetBorderSegments()[i]->GetIdentifier(), original.GetBorderSegments()[i]->GetIdentifier());
    }
    EXPECT_NE(dynamic_cast<const CStraightBorderSegment*>(copy.GetBorderSegments()[0]), nullptr);
    const auto* copiedArc = dynamic_cast<const CCircleArcBorderSegment*>(copy.GetBorderSegments()[1]);
    ASSERT_NE(copiedArc, nullptr);
    EXPECT_DOUBLE_EQ(copiedArc->GetCentre().y, 50);
    EXPECT_TRUE(copiedArc->GetDirectionFlag());
    EXPECT_EQ(copiedArc->GetInteger724(), 7);
    EXPECT_TRUE(copies[1]->IsEditInProgress());

    // Deep: moving the copy leaves the original where it was.
    copies[0]->MoveBy(10, 10);
    EXPECT_DOUBLE_EQ(original.FindBorderPoint("A")->x, 0);
    EXPECT_DOUBLE_EQ(arc->GetCentre().x, 100);

    EXPECT_EQ(UBaseboardElements::FindBaseboardBeingEdited(list), &other);
    EXPECT_EQ(UBaseboardElements::FindBaseboardBeingEdited({&original}), nullptr);
    CLayer elsewhere("Elsewhere");
    UBaseboardElements::AssignLayer(copies, &elsewhere);
    EXPECT_EQ(copies[0]->GetLayer(), &elsewhere);
    EXPECT_EQ(copies[1]->GetLayer(), &elsewhere);
    EXPECT_EQ(original.GetLayer(), &layer);
    platform::DeleteAll(copies);
}

TEST(Baseboards, MovingShiftsPointsAndArcCentresButNotThePosition) {
    CBaseboardElement b(CPoint(5, 5), 0, "b", CColor(0.5, 1.0), CColor(0.0, 1.0));
    b.SetBorderPoint("A", CPoint(0, 0));
    b.SetBorderPoint("B", CPoint(10, 0));
    auto* arc = new CCircleArcBorderSegment("A", "B");
    arc->SetCentre(CPoint(5, 0));
    b.AddBorderSegment(arc);
    b.AddBorderSegment(new CStraightBorderSegment("B", "A"));

    UBaseboardElements::MoveAll({&b}, 3, -4);
    EXPECT_DOUBLE_EQ(b.FindBorderPoint("A")->x, 3);
    EXPECT_DOUBLE_EQ(b.FindBorderPoint("A")->y, -4);
    EXPECT_DOUBLE_EQ(b.FindBorderPoint("B")->x, 13);
    EXPECT_DOUBLE_EQ(arc->GetCentre().x, 8);
    EXPECT_DOUBLE_EQ(arc->GetCentre().y, -4);
    EXPECT_DOUBLE_EQ(b.GetPosition().x, 5);

    // The segment operation moves arc centres only.
    UCircleArcBorderSegments::MoveBy(b.GetBorderSegments(), 1, 1);
    EXPECT_DOUBLE_EQ(arc->GetCentre().x, 9);
    EXPECT_DOUBLE_EQ(b.FindBorderPoint("A")->x, 3);
}

// ------------------------------------------------------------ bounds

TEST(Baseboards, BoundsOfAStadiumCountTheBulgeOfItsArcsInTheirDirection) {
    // A 100 x 100 square whose right and left sides are half circles about
    // (100, 50) and (0, 50). Run with growing angle (flag clear), the arc
    // from B (angle -90) to C (angle 90) passes +x, the arc from D (90) to
    // A (270) passes -x: the stadium reaches x = 150 and x = -50. With the
    // flag set the arcs run the other way, into the square.
    struct tCase {
        const char* name;
        bool flag;
        double minX;
        double maxX;
    };
    const tCase cases[] = {{"arcs bulging out", false, -50, 150}, {"arcs bulging in", true, 0, 100}};
    for (const tCase& c : cases) {
        CBaseboardElement b;
        b.SetBorderPoint("A", CPoint(0, 0));
        b.SetBorderPoint("B", CPoint(100, 0));
        b.SetBorderPoint("C", CPoint(100, 100));
        b.SetBorderPoint("D", CPoint(0, 100));
        b.AddBorderSegment(new CStraightBorderSegment("A", "B"));
        auto* right = new CCircleArcBorderSegment("B", "C");
        right->SetCentre(CPoint(100, 50));
        right->SetDirectionFlag(c.flag);
        b.AddBorderSegment(right);
        b.AddBorderSegment(new CStraightBorderSegment("C", "D"));
        auto* left = new CCircleArcBorderSegment("D", "A");
        left->SetCentre(CPoint(0, 50));
        left->SetDirectionFlag(c.flag);
        b.AddBorderSegment(left);

        ExpectRect(UBaseboardElements::GetBoundingBox({&b}), c.minX, 0, c.maxX, 100, 1e-9, c.name);
        // The right arc alone: out to x = 150, or in to x = 50.
        ExpectRect(UCircleArcBorderSegments::GetBoundingBox(*right, b.GetBorderPointMap()), c.flag ? 50 : 100, 0,
                   c.flag ? 100 : 150, 100, 1e-9, c.name);
    }
}

TEST(Baseboards, BoundsOfArcsAgreeWithDenseSampling) {
    struct tCase {
        const char* name;
        double cx;
        double cy;
        double startAngle;  // degrees from +x
        double sweep;       // positive: growing angle (flag clear)
        double radius;
    };
    const tCase cases[] = {
        {"rounded corner, a quarter", 100, 100, -90, 90, 50}, {"small arc past no extreme", -20, 30, 10, 30, 80},
        {"two thirds past -y and +x", 0, 0, 200, 240, 37},    {"clockwise the long way", 10, -20, 30, -300, 25},
        {"clockwise over +y", 5, 5, 120, -100, 60},           {"nearly whole circle", -300, 400, 10, 350, 12.5},
    };
    constexpr double kDegrees = 3.14159265358979323846 / 180.0;
    for (const tCase& c : cases) {
        const double a1 = c.startAngle + c.sweep;
        const CPoint start(c.cx + c.radius * std::cos(c.startAngle * kDegrees),
                           c.cy + c.radius * std::sin(c.startAngle * kDegrees));
        const CPoint end(c.cx + c.radius * std::cos(a1 * kDegrees), c.cy + c.radius * std::sin(a1 * kDegrees));
        CBaseboardElement b;
        b.SetBorderPoint("S", start);
        b.SetBorderPoint("E", end);
        auto* arc = new CCircleArcBorderSegment("S", "E");
        arc->SetCentre(CPoint(c.cx, c.cy));
        arc->SetDirectionFlag(c.sweep < 0);
        b.AddBorderSegment(arc);
        b.AddBorderSegment(new CStraightBorderSegment("E", "S"));

        double minX = std::min(start.x, end.x), maxX = std::max(start.x, end.x);
        double minY = std::min(start.y, end.y), maxY = std::max(start.y, end.y);
        constexpr int kSamples = 200000;
        for (int i = 0; i <= kSamples; ++i) {
            const double a = (c.startAngle + c.sweep * i / kSamples) * kDegrees;
            const double x = c.cx + c.radius * std::cos(a);
            const double y = c.cy + c.radius * std::sin(a);
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
        }
        ExpectRect(UBaseboardElements::GetBoundingBox({&b}), minX, minY, maxX, maxY, 1e-6, c.name);
    }
}

TEST(Baseboards, BoundsEdgeCases) {
    EXPECT_EQ(UBaseboardElements::GetBoundingBox({}), (tDoubleRect{0, 0, 0, 0}));

    // Several boards make one union; points no segment uses count too.
    CBaseboardElement first;
    first.SetBorderPoint("A", CPoint(-10, 5));
    first.SetBorderPoint("B", CPoint(20, 5));
    first.AddBorderSegment(new CStraightBorderSegment("A", "B"));
    CBaseboardElement second;
    second.SetBorderPoint("lonely", CPoint(0, -40));
    ExpectRect(UBaseboardElements::GetBoundingBox({&first, &second}), -10, -40, 20, 5, 0, "union");

    // An arc whose ends coincide is drawn as nothing: only its point counts.
    CBaseboardElement closedArc;
    closedArc.SetBorderPoint("P", CPoint(10, 0));
    closedArc.SetBorderPoint("Q", CPoint(10.0005, 0.0005));
    auto* arc = new CCircleArcBorderSegment("P", "Q");
    arc->SetCentre(CPoint(0, 0));
    closedArc.AddBorderSegment(arc);
    ExpectRect(UBaseboardElements::GetBoundingBox({&closedArc}), 10, 0, 10.0005, 0.0005, 1e-12, "closed arc");

    // A segment whose point was removed adds only the point that is left.
    CBaseboardElement broken;
    broken.SetBorderPoint("A", CPoint(1, 2));
    broken.SetBorderPoint("B", CPoint(50, 60));
    auto* bulge = new CCircleArcBorderSegment("A", "B");
    bulge->SetCentre(CPoint(25, 30));
    broken.AddBorderSegment(bulge);
    broken.RemoveBorderPoint("B");
    ExpectRect(UCircleArcBorderSegments::GetBoundingBox(*bulge, broken.GetBorderPointMap()), 1, 2, 1, 2, 0,
               "one end left");
    broken.RemoveBorderPoint("A");
    EXPECT_EQ(UCircleArcBorderSegments::GetBoundingBox(*bulge, broken.GetBorderPointMap()), EmptyRect());
    EXPECT_EQ(UBaseboardElements::GetBoundingBox({&broken}), EmptyRect());
}

// ------------------------------------------------------------ writing

TEST(Baseboards, WriterProducesTheRecordsTheReaderTakes) {
    CLayer layer("L");
    CBaseboardElement b(CPoint(1.5, -2.25), 0.0, "N", CColor(0.75, 0.75, 0.75, 1.0), CColor(0.0, 0.0, 0.0, 1.0));
    b.SetLayer(&layer);
    b.SetBorderPoint("Q", CPoint(3, 4));
    b.SetBorderPoint("P", CPoint(-1, 0.5));
    auto* straight = new CStraightBorderSegment("P", "Q");
    straight->SetFlag722(true);
    straight->SetInteger723(-1);
    straight->SetInteger724(9);
    b.AddBorderSegment(straight);
    auto* arc = new CCircleArcBorderSegment("Q", "P");
    arc->SetCentre(CPoint(0.5, -7));
    arc->SetDirectionFlag(true);
    b.AddBorderSegment(arc);

    for (int version : {11, 12, 13}) {
        tBoardSpec spec;
        spec.layer = "L";
        spec.x = 1.5;
        spec.y = -2.25;
        spec.name = "N";
        spec.points = {{"P", -1, 0.5}, {"Q", 3, 4}};  // ID order
        tSegmentSpec expectedStraight{0, "P", "Q", true, -1, 9};
        tSegmentSpec expectedArc{1, "Q", "P"};
        expectedArc.cx = 0.5;
        expectedArc.cy = -7;
        expectedArc.flag727 = true;
        spec.segments = {expectedStraight, expectedArc};
        const Bytes expected = Section({spec}, version);

        std::FILE* file = std::tmpfile();
        ASSERT_TRUE(UBaseboardElements::WriteBaseboards({&b}, file, version)) << version;
        const long size = std::ftell(file);
        std::rewind(file);
        Bytes written(static_cast<std::size_t>(size));
        ASSERT_EQ(std::fread(written.data(), 1, written.size(), file), written.size());
        std::fclose(file);
        EXPECT_EQ(written, expected) << "version " << version;
    }
}

TEST(Baseboards, RoundTripKeepsEveryStoredField) {
    TestLayers layers;
    CBaseboardElement first(CPoint(12.5, -3.25), 7.75, "Main board", CColor(0.1, 0.2, 0.3, 0.4),
                            CColor(0.5, 0.6, 0.7, 0.8));
    first.SetLayer(&layers.boards);
    first.SetBorderPoint("A", CPoint(0, 0));
    first.SetBorderPoint("B", CPoint(100, 0));
    first.SetBorderPoint("C", CPoint(100, 100));
    first.AddBorderSegment(new CStraightBorderSegment("A", "B"));
    auto* arc = new CCircleArcBorderSegment("B", "C");
    arc->SetCentre(CPoint(200, -40.5));
    arc->SetDirectionFlag(true);
    arc->SetFlag722(true);
    arc->SetInteger723(-5);
    arc->SetInteger724(123456);
    first.AddBorderSegment(arc);
    first.AddBorderSegment(new CStraightBorderSegment("C", "A"));
    CBaseboardElement second(CPoint(), 0, "Empty", CColor(1.0, 1.0), CColor(0.0, 1.0));
    second.SetLayer(&layers.pictures);

    for (int version : {11, 12}) {
        std::FILE* file = std::tmpfile();
        ASSERT_TRUE(UBaseboardElements::WriteBaseboards({&first, &second}, file, version));
        std::rewind(file);
        tRead read;
        read.ok = UBaseboardElements::ReadBaseboards(read.boards, file, layers.Finder(), version);
        std::fclose(file);
        ASSERT_TRUE(read.ok);
        ASSERT_EQ(read.boards.size(), 2u);
        const CBaseboardElement& b = *read.boards[0];
        EXPECT_EQ(b.GetLayer(), &layers.boards);
        EXPECT_EQ(b.GetName(), "Main board");
        EXPECT_DOUBLE_EQ(b.GetPosition().x, 12.5);
        EXPECT_DOUBLE_EQ(b.GetPosition().y, -3.25);
        EXPECT_DOUBLE_EQ(b.GetRealParameter704(), 7.75);
        EXPECT_EQ(b.GetFirstColor(), CColor(0.1, 0.2, 0.3, 0.4));
        EXPECT_EQ(b.GetSecondColor(), CColor(0.5, 0.6, 0.7, 0.8));
        EXPECT_EQ(PointIds(b), PointIds(first));
        EXPECT_EQ(SegmentEnds(b), SegmentEnds(first));
        const auto* readArc = dynamic_cast<const CCircleArcBorderSegment*>(b.GetBorderSegments()[1]);
        ASSERT_NE(readArc, nullptr);
        EXPECT_DOUBLE_EQ(readArc->GetCentre().x, 200);
        EXPECT_DOUBLE_EQ(readArc->GetCentre().y, -40.5);
        // Version 11 has no place for the direction flag.
        EXPECT_EQ(readArc->GetDirectionFlag(), version >= 12) << version;
        EXPECT_TRUE(readArc->GetFlag722());
        EXPECT_EQ(readArc->GetInteger723(), -5);
        EXPECT_EQ(readArc->GetInteger724(), 123456);
        EXPECT_EQ(read.boards[1]->GetName(), "Empty");
        EXPECT_EQ(read.boards[1]->GetLayer(), &layers.pictures);
        EXPECT_TRUE(read.boards[1]->GetBorderSegments().empty());
    }
}

TEST(Baseboards, WriterRefusesWhatItCannotWrite) {
    CBaseboardElement far(CPoint(1e12, 0), 0, "far", CColor(1.0, 1.0), CColor(0.0, 1.0));
    CBaseboardElement fine;
    struct tCase {
        const char* name;
        tBaseboardElements list;
        int version;
        bool expectNothingWritten;
    };
    const tCase cases[] = {
        {"a version before baseboards", {&fine}, 10, true},
        {"a null baseboard", {&fine, nullptr}, 12, true},
        {"a position beyond 32 bits", {&far}, 12, false},
    };
    for (const tCase& c : cases) {
        std::FILE* file = std::tmpfile();
        EXPECT_FALSE(UBaseboardElements::WriteBaseboards(c.list, file, c.version)) << c.name;
        if (c.expectNothingWritten) {
            EXPECT_EQ(std::ftell(file), 0) << c.name;
        }
        std::fclose(file);
    }
}

// ------------------------------------------------------------ hostile bytes

TEST(Baseboards, ABoardWithAMissingLayerIsSkippedAndTheNextOneStillRead) {
    tBoardSpec lost = Rectangle("Lost", "Gone");
    tBoardSpec third;
    third.name = "Third";
    third.points = {{"X", 1, 1}, {"Y", 2, 1}, {"Z", 2, 2}};
    third.segments = {{0, "X", "Y"}, {0, "Y", "Z"}, {0, "Z", "X"}};
    TestLayers layers;
    const long goneBefore = CountWarnings("Layer 'Gone' not found in layout");
    tRead read;
    ReadFromMemory(Section({Rectangle("First"), lost, third}, 12), 12, layers, read);
    EXPECT_TRUE(read.ok);
    ASSERT_EQ(read.boards.size(), 2u);
    EXPECT_EQ(read.boards[0]->GetName(), "First");
    EXPECT_EQ(read.boards[1]->GetName(), "Third");
    EXPECT_EQ(PointIds(*read.boards[1]), (std::vector<std::string>{"X", "Y", "Z"}));
    EXPECT_EQ(SegmentEnds(*read.boards[1]), (std::vector<std::string>{"XY", "YZ", "ZX"}));
    EXPECT_EQ(CountWarnings("Layer 'Gone' not found in layout"), goneBefore + 1);
}

TEST(Baseboards, ASegmentNamingAMissingPointIsDropped) {
    tBoardSpec spec = Rectangle();
    spec.segments.insert(spec.segments.begin() + 1, tSegmentSpec{0, "B", "nowhere"});
    tSegmentSpec arc{1, "ghost", "C"};
    arc.cx = 1;
    spec.segments.insert(spec.segments.begin() + 2, arc);
    TestLayers layers;
    tRead read;
    ReadFromMemory(Section({spec, Rectangle("Next")}, 12), 12, layers, read);
    EXPECT_TRUE(read.ok);
    ASSERT_EQ(read.boards.size(), 2u);
    EXPECT_EQ(SegmentEnds(*read.boards[0]), (std::vector<std::string>{"AB", "BC", "CD", "DA"}));
    EXPECT_EQ(CountWarnings("names unknown border point 'nowhere' - skipping"), 1);
    EXPECT_EQ(CountWarnings("names unknown border point 'ghost' - skipping"), 1);
    EXPECT_EQ(read.boards[1]->GetName(), "Next");
    EXPECT_EQ(SegmentEnds(*read.boards[1]).size(), 4u);
}

TEST(Baseboards, CountsBeyondTheRecordsStopAtTheFirstFailedRead) {
    struct tCase {
        const char* name;
        std::optional<int> boardCount;
        std::optional<int> pointCount;
        std::optional<int> segmentCount;
        std::size_t boards;
        std::size_t points;
        std::size_t segments;
    };
    const tCase cases[] = {
        // Only one board follows a count of 3: one board, not three.
        {"baseboard count 3, one board", 3, {}, {}, 1, 4, 4},
        // Six segments announced, four present: the four, nothing more.
        {"segment count 6, four segments", {}, {}, 6, 1, 4, 4},
        // Points announced beyond those present: the missing point records
        // pass over the segment section, nothing else is invented.
        {"point count 9, four points", {}, 9, {}, 1, 0, 0},
    };
    for (const tCase& c : cases) {
        tBoardSpec spec = Rectangle();
        spec.pointCount = c.pointCount;
        spec.segmentCount = c.segmentCount;
        TestLayers layers;
        tRead read;
        ReadFromMemory(Section({spec}, 12, c.boardCount), 12, layers, read);
        EXPECT_FALSE(read.ok) << c.name;
        ASSERT_EQ(read.boards.size(), c.boards) << c.name;
        EXPECT_EQ(read.boards[0]->GetBorderPointMap().size(), c.points) << c.name;
        EXPECT_EQ(read.boards[0]->GetBorderSegments().size(), c.segments) << c.name;
    }
}

TEST(Baseboards, NegativeAndHugeCountsAreBounded) {
    TestLayers layers;
    {
        // A negative segment count reads none and keeps the reader in step
        // for the next board.
        tBoardSpec spec = Rectangle("Negative");
        spec.segmentCount = -3;
        spec.segments.clear();
        tRead read;
        ReadFromMemory(Section({spec, Rectangle("After")}, 12), 12, layers, read);
        EXPECT_FALSE(read.ok);
        ASSERT_EQ(read.boards.size(), 2u);
        EXPECT_TRUE(read.boards[0]->GetBorderSegments().empty());
        EXPECT_TRUE(read.boards[0]->GetBorderPointMap().empty());
        EXPECT_EQ(SegmentEnds(*read.boards[1]).size(), 4u);
        EXPECT_EQ(CountWarnings("Negative border segment count -3 read as 0"), 1);
    }
    {
        tRead read;
        ReadFromMemory(Section({Rectangle()}, 12, -1), 12, layers, read);
        EXPECT_FALSE(read.ok);
        EXPECT_TRUE(read.boards.empty());
        EXPECT_EQ(CountWarnings("Negative baseboard count -1 read as 0"), 1);
    }
    {
        // A count of 2^31 - 1 is cut to what the bytes after it can hold:
        // each board takes at least 158 bytes.
        const Bytes bytes = Section({Rectangle()}, 12, INT_MAX);
        const std::size_t bound = (bytes.size() - 8) / 158;
        tRead read;
        ReadFromMemory(bytes, 12, layers, read);
        EXPECT_FALSE(read.ok);
        EXPECT_EQ(read.boards.size(), 1u);
        EXPECT_EQ(CountWarnings("Too large baseboard count 2147483647 - reading at most " + std::to_string(bound)), 1);
    }
    {
        tBoardSpec spec = Rectangle();
        spec.pointCount = INT_MAX;
        spec.segmentCount = INT_MAX;
        tRead read;
        ReadFromMemory(Section({spec}, 12), 12, layers, read);
        EXPECT_FALSE(read.ok);
        ASSERT_EQ(read.boards.size(), 1u);
        EXPECT_EQ(CountWarnings("Too large border point count 2147483647"), 1);
    }
}

TEST(Baseboards, EveryTruncationReadsSafelyAndKeepsSegmentsConsistent) {
    tBoardSpec rounded;
    rounded.points = {{"A", 0, 0}, {"B", 100, 0}, {"C", 100, 100}};
    tSegmentSpec arc{1, "B", "C"};
    arc.cx = 100;
    arc.cy = 50;
    arc.flag727 = true;
    rounded.segments = {{0, "A", "B"}, arc, {0, "C", "A"}};
    const Bytes whole = Section({Rectangle("First"), rounded}, 12);
    TestLayers layers;
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(length));
        const tFile file = FileWith(cut);
        tRead read;
        read.ok = UBaseboardElements::ReadBaseboards(read.boards, file.get(), layers.Finder(), 12);
        EXPECT_EQ(read.ok, length == whole.size()) << length;
        EXPECT_LE(read.boards.size(), 2u) << length;
        for (const CBaseboardElement* b : read.boards) {
            for (const CBorderSegment* s : b->GetBorderSegments()) {
                EXPECT_NE(b->FindBorderPoint(s->GetStartPointId()), nullptr) << length;
                EXPECT_NE(b->FindBorderPoint(s->GetEndPointId()), nullptr) << length;
            }
        }
        if (length == whole.size()) {
            ASSERT_EQ(read.boards.size(), 2u);
            ExpectRect(UBaseboardElements::GetBoundingBox(read.boards), 0, 0, 400, 300, 1e-9, "whole file");
            ExpectRect(UBaseboardElements::GetBoundingBox({read.boards[1]}), 0, 0, 100, 100, 1e-9, "inward arc");
        }
    }
}
