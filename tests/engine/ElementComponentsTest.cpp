// Component helpers: the component list of an element, clones, generated
// components, track measures, the generators' shapes, polygon end points and
// the big-endian colour words.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TextBIG.h"
#include "tests/support/GeometryChecks.h"
#include "tests/support/LogWatch.h"
#include "platform/foundation/OwnedList.h"

namespace {

using testsupport::CountWarnings;
using testsupport::ExpectPoint;

// A component class the factory does not know.
class CUnknownBIG : public CBasicGeometry {
public:
    std::string Dump(int) const override { return "unknown"; }
    tDoubleRect CalcBoundingBox(double) override { return {}; }
    void UpdateJoints(const CPoint&, const CGradeVector&, int, double) override {}
    int GetType() const override { return 9; }
};

CStraightBIG* Straight(double gauge = 0.0, double trackbed = 0.0, double rail = 0.0) {
    auto* straight = new CStraightBIG();
    straight->SetLength(100.0);
    straight->SetGauge(gauge);
    straight->SetTrackbedWidth(trackbed);
    straight->SetRailWidth(rail);
    return straight;
}

std::vector<int> Types(const tComponents& list) {
    std::vector<int> types;
    for (const CBasicGeometry* component : list) types.push_back(component->GetType());
    return types;
}

}  // namespace

TEST(ElementComponents, AppendTakesTheFirstAttributeUpToFiveHundred) {
    CCompositeGeometry element;
    CStraightBIG* first = Straight();
    first->SetComponentAttribute(7);
    ASSERT_TRUE(UElementComponents::AppendComponent(&element, first));
    EXPECT_EQ(first->GetComponentAttribute(), 7) << "the first keeps its own attribute";
    CStraightBIG* second = Straight();
    second->SetComponentAttribute(3);
    ASSERT_TRUE(UElementComponents::AppendComponent(&element, second));
    EXPECT_EQ(second->GetComponentAttribute(), 7);
    EXPECT_EQ(UElementComponents::GetComponentAttribute(&element), 7);

    for (int i = 2; i < 500; ++i) ASSERT_TRUE(UElementComponents::AppendComponent(&element, Straight()));
    EXPECT_EQ(element.GetComponents().size(), 500u);
    auto extra = std::make_unique<CStraightBIG>();
    const long before = CountWarnings("Failed to add component - too many components in geometry (500)");
    EXPECT_FALSE(UElementComponents::AppendComponent(&element, extra.get()));
    EXPECT_EQ(CountWarnings("Failed to add component - too many components in geometry (500)"), before + 1);
    EXPECT_EQ(element.GetComponents().size(), 500u);

    try {
        UElementComponents::AppendComponent(&element, nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("No CBasicGeometry object specified"), std::string::npos);
    }
    auto orphan = std::make_unique<CStraightBIG>();
    EXPECT_THROW(UElementComponents::AppendComponent(nullptr, orphan.get()), std::runtime_error);

    CCompositeGeometry empty;
    EXPECT_EQ(UElementComponents::GetComponentAttribute(&empty), 1);
}

TEST(ElementComponents, ReplaceAndMove) {
    CCompositeGeometry element;
    auto* a = Straight();
    auto* b = new CCurveBIG();
    auto* c = new COvalBIG();
    element.GetComponents() = {a, b, c};

    std::unique_ptr<CBasicGeometry> taken(b);
    auto* text = new CTextBIG();
    EXPECT_TRUE(UElementComponents::ReplaceComponentAt(&element, 1, text));
    EXPECT_EQ(element.GetComponents(), (tComponents{a, text, c}));
    auto* atEnd = new CPolyBIG();
    EXPECT_TRUE(UElementComponents::ReplaceComponentAt(&element, 3, atEnd));
    EXPECT_EQ(element.GetComponents(), (tComponents{a, text, c, atEnd}));
    auto refused = std::make_unique<CStraightBIG>();
    EXPECT_FALSE(UElementComponents::ReplaceComponentAt(&element, 5, refused.get()));
    EXPECT_FALSE(UElementComponents::ReplaceComponentAt(&element, -1, refused.get()));
    EXPECT_FALSE(UElementComponents::ReplaceComponentAt(&element, 0, nullptr));
    EXPECT_EQ(element.GetComponents(), (tComponents{a, text, c, atEnd}));

    struct tCase {
        const char* name;
        int from;
        int to;
        bool result;
        std::vector<int> order;  // indexes into the starting list
    };
    const tCase cases[] = {
        {"last to the front", 3, 0, true, {3, 0, 1, 2}}, {"towards the end", 0, 2, true, {1, 2, 0, 3}},
        {"first to last", 0, 3, true, {1, 2, 3, 0}},     {"onto itself", 2, 2, true, {0, 1, 2, 3}},
        {"index -1", 1, -1, false, {0, 1, 2, 3}},        {"index equal to the count", 1, 4, false, {0, 1, 2, 3}},
    };
    CStraightBIG p0, p1, p2, p3;
    const tComponents start{&p0, &p1, &p2, &p3};
    for (const tCase& c : cases) {
        tComponents list = start;
        EXPECT_EQ(UElementComponents::MoveComponent(start[c.from], list, c.to), c.result) << c.name;
        tComponents expected;
        for (int index : c.order) expected.push_back(start[index]);
        EXPECT_EQ(list, expected) << c.name;
    }
    tComponents list = start;
    CStraightBIG stranger;
    const long before = CountWarnings("Cannot move component (not found in component list)");
    EXPECT_FALSE(UElementComponents::MoveComponent(&stranger, list, 0));
    EXPECT_EQ(CountWarnings("Cannot move component (not found in component list)"), before + 1);
    EXPECT_EQ(list, start);
}

TEST(ElementComponents, ClonesByTypeCode) {
    CStraightBIG straight;
    straight.SetLength(188.0);
    straight.SetComponentAttribute(4);
    straight.DisableJoint(1);
    CCurveBIG curve;
    curve.SetRadius(437.5);
    CPolyBIG polygon({CPoint(1, 2), CPoint(3, 4)}, 3, kPolyKindRectangle, 0.0, 0.0, 0.0);
    CTextBIG text;
    text.SetText("Halle");
    COvalBIG oval;
    oval.SetRadiusX(12.0);
    CFlexTrackBIG flex(CPoint(0, 0), CPoint(120, 0), true, false, 0.0, 0.0, 800.0, 9.0, 20.0, 0.5);
    CUnknownBIG unknown;
    const tComponents list{&straight, &curve, &polygon, &unknown, &text, &oval, &flex};

    const long before = CountWarnings(
        "static CBasicGeometry *UElementComponents::CloneComponent(CBasicGeometry *): Constructor "
        "failed to create element: Unknown type 9 requested");
    tComponents copies = UElementComponents::CloneComponents(list);
    EXPECT_EQ(CountWarnings("static CBasicGeometry *UElementComponents::CloneComponent(CBasicGeometry "
                            "*): Constructor failed to create element: Unknown type 9 requested"),
              before + 1);
    ASSERT_EQ(Types(copies), (std::vector<int>{1, 2, 3, 4, 5, 6}));
    for (std::size_t i = 0; i < copies.size(); ++i) EXPECT_NE(copies[i], list[i < 3 ? i : i + 1]);
    auto* straightCopy = dynamic_cast<CStraightBIG*>(copies[0]);
    ASSERT_NE(straightCopy, nullptr);
    EXPECT_EQ(straightCopy->GetLength(), 188.0);
    EXPECT_EQ(straightCopy->GetComponentAttribute(), 4);
    EXPECT_FALSE(straightCopy->IsJointEnabled(1));
    EXPECT_EQ(dynamic_cast<CCurveBIG*>(copies[1])->GetRadius(), 437.5);
    EXPECT_EQ(dynamic_cast<CPolyBIG*>(copies[2])->GetKind(), kPolyKindRectangle);
    EXPECT_EQ(dynamic_cast<CTextBIG*>(copies[3])->GetText(), "Halle");
    EXPECT_EQ(dynamic_cast<COvalBIG*>(copies[4])->GetRadiusX(), 12.0);
    auto* flexCopy = dynamic_cast<CFlexTrackBIG*>(copies[5]);
    ASSERT_NE(flexCopy, nullptr);
    EXPECT_EQ(flexCopy->GetMaxLength(), 800.0);
    EXPECT_EQ(flexCopy->GetNumberOfPoints(), 3u);
    platform::DeleteAll(copies);

    EXPECT_EQ(UElementComponents::CloneComponent(nullptr), nullptr);
    EXPECT_EQ(UElementComponents::CloneComponent(&unknown), nullptr);
}

TEST(ElementComponents, GeneratedComponentsAreMarkedAndRemoved) {
    auto* user1 = Straight();
    auto* arrow1 = new CPolyBIG();
    auto* user2 = new CCurveBIG();
    auto* dimension = new CPolyBIG();
    auto* arrow2 = new CPolyBIG();
    tComponents generated3{arrow1, arrow2};
    UElementComponents::MarkAsGenerated(generated3, 3);
    tComponents generated4{dimension};
    UElementComponents::MarkAsGenerated(generated4, 4);
    EXPECT_TRUE(arrow2->IsGenerated());
    EXPECT_EQ(arrow2->GetComponentGeneratorID(), 3);
    EXPECT_EQ(dimension->GetComponentGeneratorID(), 4);
    EXPECT_FALSE(user1->IsGenerated());

    CCompositeGeometry element;
    element.GetComponents() = {user1, arrow1, user2, dimension, arrow2};
    UElementComponents::RemoveGeneratedComponents(element.GetComponents(), 3);
    EXPECT_EQ(element.GetComponents(), (tComponents{user1, user2, dimension}));
    UElementComponents::RemoveGeneratedComponents(element.GetComponents(), 7);
    EXPECT_EQ(element.GetComponents().size(), 3u);
    UElementComponents::RemoveGeneratedComponents(element.GetComponents(), 0);
    EXPECT_EQ(element.GetComponents(), (tComponents{user1, user2}));

    EXPECT_EQ(UElementComponents::GetComponentIndex(&element, user2), 1);
    CStraightBIG stranger;
    const long before = CountWarnings("Component not found in component list");
    EXPECT_EQ(UElementComponents::GetComponentIndex(&element, &stranger), -1);
    EXPECT_EQ(CountWarnings("Component not found in component list"), before + 1);
}

TEST(ElementComponents, TrackComponentsAndLargestMeasures) {
    CCompositeGeometry element;
    EXPECT_EQ(UElementComponents::GetFirstTrackComponent(&element), nullptr);
    EXPECT_EQ(UElementComponents::GetMaxGauge(&element), 0.0);
    EXPECT_EQ(UElementComponents::GetMaxTrackbedWidth(&element), 0.0);
    EXPECT_EQ(UElementComponents::GetMaxRailWidth(&element), 0.0);
    EXPECT_EQ(UElementComponents::GetMaxLineWidth(&element), 0);

    auto* oval = UElementComponents::CreateCircleComponent(-4, 0.0, 0.0, 5.0);
    auto* curve = new CCurveBIG();
    curve->SetGauge(16.5);
    curve->SetTrackbedWidth(30.0);
    curve->SetRailWidth(1.0);
    auto* polygon = UElementComponents::CreatePolyComponent({CPoint(0, 0)}, -2, 1, 0, 0, 0);
    CStraightBIG* straight = Straight(9.0, 42.0, 1.5);
    auto* flex = new CFlexTrackBIG(CPoint(0, 0), CPoint(10, 0), true, true, 0, 0, 500, 12.0, 20.0, 2.25);
    element.GetComponents() = {oval, curve, polygon, straight, flex};

    EXPECT_EQ(UElementComponents::GetTrackComponents(&element), (tComponents{curve, straight, flex}));
    EXPECT_EQ(UElementComponents::GetFirstTrackComponent(&element), curve);
    EXPECT_EQ(UElementComponents::GetMaxGauge(&element), 16.5);
    EXPECT_EQ(UElementComponents::GetMaxTrackbedWidth(&element), 42.0);
    EXPECT_EQ(UElementComponents::GetMaxRailWidth(&element), 2.25);
    // Line widths -4 and -2, the flex track's polygon width 1, the other
    // tracks' 0.
    EXPECT_EQ(UElementComponents::GetMaxLineWidth(&element), 1);
    CCompositeGeometry negative;
    negative.GetComponents() = {UElementComponents::CreateCircleComponent(-4, 0.0, 0.0, 5.0),
                                UElementComponents::CreatePolyComponent({CPoint(0, 0)}, -2, 1, 0, 0, 0)};
    EXPECT_EQ(UElementComponents::GetMaxLineWidth(&negative), 0) << "never below 0";
    oval->SetLineWidth(5);
    polygon->SetLineWidth(3);
    EXPECT_EQ(UElementComponents::GetMaxLineWidth(&element), 5);

    CCompositeGeometry tracks;
    tracks.GetComponents() = {Straight(), new CCurveBIG()};
    EXPECT_EQ(UElementComponents::GetMaxLineWidth(&tracks), 0);

    CCompositeGeometry shapes;
    shapes.GetComponents() = {new CTextBIG(), new COvalBIG()};
    EXPECT_TRUE(UElementComponents::GetTrackComponents(&shapes).empty());
    EXPECT_EQ(UElementComponents::GetFirstTrackComponent(&shapes), nullptr);
}

TEST(ElementComponents, ShapesForTheGenerators) {
    std::unique_ptr<CPolyBIG> polygon(UElementComponents::CreatePolyComponent(
        {CPoint(0, 0), CPoint(10, 0), CPoint(10, 5)}, 3, kPolyKindLine, 12.5, -4.0, 30.0));
    EXPECT_EQ(polygon->GetType(), 3);
    EXPECT_EQ(polygon->GetNumberOfPoints(), 3u);
    EXPECT_EQ(polygon->GetLineWidth(), 3);
    EXPECT_EQ(polygon->GetKind(), kPolyKindLine);
    EXPECT_EQ(polygon->GetOffsetX(), 12.5);
    EXPECT_EQ(polygon->GetOffsetY(), -4.0);
    EXPECT_EQ(polygon->GetAngle(), 30.0);
    EXPECT_EQ(polygon->GetGauge(), 0.0);

    std::unique_ptr<COvalBIG> circle(UElementComponents::CreateCircleComponent(2, 40.0, 60.0, 25.0));
    EXPECT_EQ(circle->GetLineWidth(), 2);
    EXPECT_EQ(circle->GetOffsetX(), 40.0);
    EXPECT_EQ(circle->GetOffsetY(), 60.0);
    EXPECT_EQ(circle->GetRadiusX(), 25.0);
    EXPECT_EQ(circle->GetRadiusY(), 25.0);
    EXPECT_EQ(circle->GetGauge(), 0.0);
    // The offset is the box corner: the centre lies a radius further.
    ExpectPoint(circle->GetCenterPoint(), 65.0, 85.0, 0.0, "circle centre");

    for (CBasicGeometry* shape :
         {static_cast<CBasicGeometry*>(polygon.get()), static_cast<CBasicGeometry*>(circle.get())}) {
        for (int index = 0; index < 2; ++index) {
            EXPECT_FALSE(shape->IsJointEnabled(index));
            EXPECT_FALSE(shape->GetJoint(index)->IsFree());
        }
    }

    std::unique_ptr<CFlexTrackBIG> flex(UElementComponents::CreateFlexTrackComponent(
        CPoint(0, 0), CPoint(300, 0), true, false, 5.0, 6.0, 900.0, 16.5, 40.0, 1.25));
    ASSERT_EQ(flex->GetNumberOfPoints(), 3u);
    ExpectPoint(flex->GetPoint(1), 150.0, 0.0, 0.0, "midpoint");
    EXPECT_NEAR(flex->GetTrackLength(), 300.0, 1e-9);
    EXPECT_EQ(flex->GetAngle(), 0.0);
    EXPECT_EQ(flex->GetMaxLength(), 900.0);
    EXPECT_EQ(flex->GetGauge(), 16.5);
    EXPECT_EQ(flex->GetTrackbedWidth(), 40.0);
    EXPECT_EQ(flex->GetRailWidth(), 1.25);
    EXPECT_EQ(flex->GetOffsetX(), 5.0);
    EXPECT_TRUE(flex->IsJointEnabled(0));
    EXPECT_TRUE(flex->GetJoint(0)->IsFree());
    EXPECT_FALSE(flex->IsJointEnabled(1));
    EXPECT_FALSE(flex->GetJoint(1)->IsFree());
}

TEST(PolygonPoints, EndSelectionAndRangeWarnings) {
    CCompositeGeometry element;
    // Offset (10, 20), no turn: the transformed points are the points moved.
    auto* polygon = new CPolyBIG({CPoint(0, 0), CPoint(10, 0), CPoint(10, 10), CPoint(0, 10), CPoint(5, 15)}, 1,
                                 kPolyKindPolygon, 10.0, 20.0, 0.0);
    element.GetComponents().push_back(polygon);
    struct tCase {
        int end;
        double x;
        double y;
        const char* warning;
    };
    const tCase cases[] = {
        {1, 10.0, 20.0, nullptr},
        {0, 15.0, 35.0, nullptr},
        {5, 10.0, 20.0, nullptr},
        {-2, 10.0, 20.0, nullptr},
        {6, 0.0, 0.0, "Range error (6 of 5) for polygon point"},
    };
    for (const tCase& c : cases) {
        const long before = c.warning != nullptr ? CountWarnings(c.warning) : 0;
        ExpectPoint(UPolygonPoints::GetPoint(&element, polygon, c.end), c.x, c.y, 1e-12,
                    "end " + std::to_string(c.end));
        if (c.warning != nullptr) {
            EXPECT_EQ(CountWarnings(c.warning), before + 1) << c.end;
        }
    }

    // At an element angle of 90 the points turn about their box centre
    // (5, 7.5): (0, 0) lands on (12.5, 2.5), then the offset is added.
    element.SetAngle(90.0);
    ExpectPoint(UPolygonPoints::GetPoint(&element, polygon, 1), 22.5, 22.5, 1e-9, "turned first point");

    CPolyBIG single({CPoint(3, 4)}, 1, kPolyKindPolygon, 0.0, 0.0, 0.0);
    CCompositeGeometry plain;
    ExpectPoint(UPolygonPoints::GetPoint(&plain, &single, 0), 3.0, 4.0, 0.0, "single point, end 0");

    CPolyBIG empty;
    const long before = CountWarnings("Polygon is empty ?");
    ExpectPoint(UPolygonPoints::GetPoint(&plain, &empty, 0), 0.0, 0.0, 0.0, "empty");
    EXPECT_EQ(CountWarnings("Polygon is empty ?"), before + 1);
}

TEST(PolygonPoints, SetPointMovesTheElement) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct tCase {
        const char* name;
        CPoint target;
        double x;
        double y;
    };
    // A line (0, 0)..(50, 0) of width 1: moved to origin its box starts at
    // (-0.5, -0.5), so its last point stands at (50.5, 0.5).
    const tCase cases[] = {
        {"both axes", CPoint(60.0, 10.0), 109.5, 109.5},
        {"x NaN keeps x", CPoint(nan, 10.0), 100.0, 109.5},
        {"no x difference keeps x", CPoint(50.5, -0.5), 100.0, 99.0},
    };
    for (const tCase& c : cases) {
        CCompositeGeometry element;
        auto* line = new CPolyBIG({CPoint(0, 0), CPoint(50, 0)}, 1, kPolyKindLine, 0.0, 0.0, 0.0);
        element.GetComponents().push_back(line);
        element.SetPosition(CPoint(100.0, 100.0, 3.0));
        UPolygonPoints::SetPoint(&element, line, 0, c.target);
        ExpectPoint(element.GetPosition(), c.x, c.y, 1e-9, c.name);
        EXPECT_EQ(element.GetPosition().z, 3.0) << c.name;
        ExpectPoint(line->GetPointAt(1, 0.0), 50.5, 0.5, 1e-9, c.name);
    }

    CCompositeGeometry element;
    auto* line = new CPolyBIG({CPoint(0, 0), CPoint(50, 0)}, 1, kPolyKindLine, 7.0, 7.0, 0.0);
    element.GetComponents().push_back(line);
    element.SetPosition(CPoint(100.0, 100.0, 0.0));
    const long range = CountWarnings("Range error for polygon point");
    UPolygonPoints::SetPoint(&element, line, 3, CPoint(0.0, 0.0));
    EXPECT_EQ(CountWarnings("Range error for polygon point"), range + 1);
    CPolyBIG empty;
    const long emptyBefore = CountWarnings("Polygon is empty ?");
    UPolygonPoints::SetPoint(&element, &empty, 0, CPoint(0.0, 0.0));
    EXPECT_EQ(CountWarnings("Polygon is empty ?"), emptyBefore + 1);
    ExpectPoint(element.GetPosition(), 100.0, 100.0, 0.0, "unchanged position");
    EXPECT_EQ(line->GetOffsetX(), 7.0) << "not moved to origin";
}

TEST(ColorWords, BigEndianWordsToHostOrder) {
    const std::uint8_t raw[8] = {0x12, 0x34, 0xAB, 0xCD, 0xFF, 0x00, 0x00, 0x01};
    std::uint16_t triple[3];
    std::memcpy(triple, raw, sizeof triple);
    UColorWords::BigEndianTripleToHost(triple);
    EXPECT_EQ(triple[0], 0x1234);
    EXPECT_EQ(triple[1], 0xABCD);
    EXPECT_EQ(triple[2], 0xFF00);
    std::uint16_t quadruple[4];
    std::memcpy(quadruple, raw, sizeof quadruple);
    UColorWords::BigEndianQuadrupleToHost(quadruple);
    EXPECT_EQ(quadruple[0], 0x1234);
    EXPECT_EQ(quadruple[3], 0x0001);
}
