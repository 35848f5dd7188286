// Element queries: the kinds of an element, its joints, placing components,
// the factory of simple elements and the operations and filters over lists
// of elements. Elements are built from real components.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <numbers>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/Layer.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TextBIG.h"
#include "tests/support/LogWatch.h"
#include "platform/foundation/OwnedList.h"

namespace {

using testsupport::CountLogged;
using testsupport::CountWarnings;

CBasicGeometry* QueryStraight(double length = 100.0) {
    auto* straight = new CStraightBIG();
    straight->SetLength(length);
    straight->SetGauge(16.5);
    return straight;
}
CBasicGeometry* QueryCurve(double radius = 360.0, double arc = 30.0) {
    auto* curve = new CCurveBIG();
    curve->SetRadius(radius);
    curve->SetArcAngle(arc);
    curve->SetGauge(16.5);
    return curve;
}
CBasicGeometry* QueryFlex() {
    return UElementComponents::CreateFlexTrackComponent(CPoint(0, 0), CPoint(200, 0), true, true, 0, 0, 500, 16.5, 30,
                                                        1);
}
CBasicGeometry* QueryPoly(std::int32_t kind) {
    return UElementComponents::CreatePolyComponent({CPoint(0, 0), CPoint(40, 0), CPoint(40, 20)}, 1, kind, 0, 0, 0);
}
CBasicGeometry* QueryCircle() { return UElementComponents::CreateCircleComponent(1, 0, 0, 25); }
CBasicGeometry* QueryText() { return new CTextBIG(); }

using tMakers = std::vector<std::function<CBasicGeometry*()>>;

// An element of fresh components; a library name of two bytes or more makes
// it a library piece.
std::unique_ptr<CCompositeGeometry> Make(const tMakers& components, std::int32_t type = 0,
                                         const char* library = "Track Library", const char* product = "") {
    auto element = std::make_unique<CCompositeGeometry>();
    for (const auto& make : components) UElementComponents::AppendComponent(element.get(), make());
    element->SetElementType(type);
    element->SetLibraryName(library);
    element->SetProductNumber(product);
    return element;
}

void AddGenerator(CCompositeGeometry& element, int generatorType) {
    element.GetGeneratorMap().emplace(generatorType, tGeneratorParameters{});
}

// An element from a string of component letters (see the kinds table).
std::unique_ptr<CCompositeGeometry> Build(const std::string& components, std::int32_t type, const char* library) {
    tMakers makers;
    for (char letter : components) {
        switch (letter) {
            case 'S': makers.push_back([] { return QueryStraight(); }); break;
            case 'C': makers.push_back([] { return QueryCurve(); }); break;
            case 'D': makers.push_back([] { return QueryCurve(400); }); break;
            case 'F': makers.push_back(QueryFlex); break;
            case 'P': makers.push_back([] { return QueryPoly(kPolyKindPolygon); }); break;
            case 'L': makers.push_back([] { return QueryPoly(kPolyKindLine); }); break;
            case 'R': makers.push_back([] { return QueryPoly(kPolyKindRectangle); }); break;
            case '4': makers.push_back([] { return QueryPoly(4); }); break;
            case 'O': makers.push_back(QueryCircle); break;
            case 'T': makers.push_back(QueryText); break;
            default: ADD_FAILURE() << "unknown component letter " << letter;
        }
    }
    return Make(makers, type, library);
}

// The kind predicates, by the short name the kinds table uses.
struct Predicate {
    const char* kind;
    const char* function;
    bool (*test)(const CCompositeGeometry*);
};
const std::vector<Predicate>& Predicates() {
    namespace I = UElementInspector;
    static const std::vector<Predicate> predicates = {
        {"generated", "IsGeneratedElement", I::IsGeneratedElement},
        {"flex", "IsFlexTrack", I::IsFlexTrack},
        {"poly", "IsPolyElement", I::IsPolyElement},
        {"line", "IsLineElement", I::IsLineElement},
        {"rect", "IsRectElement", I::IsRectElement},
        {"circle", "IsCircleElement", I::IsCircleElement},
        {"text", "IsTextElement", I::IsTextElement},
        {"user", "IsUserCreatedElement", I::IsUserCreatedElement},
        {"userFlex", "IsUserCreatedFlex", I::IsUserCreatedFlex},
        {"track", "IsTrackElement", I::IsTrackElement},
        {"single", "IsSingleTrackElement", I::IsSingleTrackElement},
        {"curved", "IsCurvedTrack", I::IsCurvedTrack},
        {"plain", "IsPlainTrack", I::IsPlainTrack},
        {"parallel", "IsParallelTrack", I::IsParallelTrack},
        {"curvedParallel", "IsCurvedParallelTrack", I::IsCurvedParallelTrack},
        {"shortable", "IsShortableTrackElement", I::IsShortableTrackElement},
    };
    return predicates;
}

std::vector<std::string> Names(const tElements& list, const std::map<const CCompositeGeometry*, std::string>& names) {
    std::vector<std::string> result;
    for (const CCompositeGeometry* element : list) result.push_back(element ? names.at(element) : "null");
    return result;
}

}  // namespace

TEST(ElementQueries, EachKindIsRecognisedAndNotConfusedWithItsNeighbours) {
    // Each case names the kinds that hold; every other kind must not.
    // Components: S straight, C curve, D curve of another radius, F flex
    // track, P polygon, L line, R rectangle, 4 polygon of kind 4, O circle,
    // T text.
    struct Case {
        const char* name;
        const char* components;
        std::int32_t type;
        const char* library;
        int generator;
        int tracks;
        std::set<std::string> kinds;
    };
    const char* lib = "Track Library";
    // clang-format off
    const std::vector<Case> cases = {
        {"element without components", "", 0, "", 0, 0, {"user"}},
        {"library straight of type 1", "S", 1, lib, 0, 1, {"track", "single", "plain", "shortable"}},
        {"library curve of type 1", "C", 1, lib, 0, 1, {"track", "single", "curved", "plain", "shortable"}},
        {"generated straight", "S", 1, lib, 6, 1, {"generated", "track", "single", "plain", "shortable"}},
        // A flex track is a polygon of kind 1 underneath, and counts as one.
        {"user-created flex track (one-byte library name)", "F", 1, "x", 0, 1,
         {"flex", "poly", "user", "userFlex", "track", "single", "plain", "shortable"}},
        {"library flex track (two-byte library name)", "F", 1, "xy", 0, 1,
         {"flex", "poly", "track", "single", "plain", "shortable"}},
        {"polygon", "P", 500, "", 0, 0, {"poly", "user"}},
        {"line", "L", 500, "", 0, 0, {"line", "user"}},
        {"rectangle", "R", 500, "", 0, 0, {"rect", "user"}},
        {"polygon of kind 4", "4", 500, "", 0, 0, {"user"}},
        {"circle", "O", 500, "", 0, 0, {"circle", "user"}},
        {"text", "T", 500, "", 0, 0, {"text", "user"}},
        {"text with a second component", "TT", 500, "", 0, 0, {"user"}},
        {"text before a line", "TL", 500, "", 0, 0, {"user"}},
        {"circle before a straight", "OS", 7, lib, 0, 1, {"circle", "track", "single"}},
        {"polygon before a curve", "PC", 1, lib, 0, 1, {"poly", "track", "single", "curved", "plain"}},
        {"curve and straight", "CS", 3, lib, 0, 2, {"track"}},
        {"parallel straights of type 2", "SS", 2, lib, 0, 2, {"track", "parallel"}},
        {"parallel curves of type 2", "CD", 2, lib, 0, 2, {"track", "parallel", "curvedParallel"}},
        {"bridge of curves (type 209) with a polygon", "PCD", 209, lib, 0, 2,
         {"poly", "track", "parallel", "curvedParallel"}},
        {"parallel curve and straight", "CS", 2, lib, 0, 2, {"track", "parallel"}},
        {"two curves of type 3", "CD", 3, lib, 0, 2, {"track"}},
        {"three curves of type 2", "CDC", 2, lib, 0, 3, {"track"}},
        {"type 18 with three tracks", "SCS", 18, lib, 0, 3, {"track", "shortable"}},
        {"type 18 without components", "", 18, lib, 0, 0, {"shortable"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        const std::unique_ptr<CCompositeGeometry> element = Build(c.components, c.type, c.library);
        if (c.generator != 0) AddGenerator(*element, c.generator);
        EXPECT_EQ(UElementInspector::GetNumberOfTrackComponents(element.get()), c.tracks) << c.name;
        for (const Predicate& p : Predicates())
            EXPECT_EQ(p.test(element.get()), c.kinds.count(p.kind) != 0) << c.name << ": " << p.kind;
    }
}

TEST(ElementQueries, NullElementIsAClearErrorNamingThePredicate) {
    for (const Predicate& p : Predicates()) {
        if (std::string(p.kind) == "plain") continue;  // below
        SCOPED_TRACE(p.function);
        try {
            p.test(nullptr);
            ADD_FAILURE() << "no error for a null element";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "<<< Parameter is NULL >>>");
        }
        const std::string signature =
            std::string("static bool UElementInspector::") + p.function + "(const CCompositeGeometry *)";
        EXPECT_EQ(CountLogged(4, "An application error occured in '" + signature + "'"), 1);
    }
    EXPECT_THROW(UElementInspector::GetNumberOfTrackComponents(nullptr), std::runtime_error);
    EXPECT_EQ(CountLogged(4, "static int UElementInspector::GetNumberOfTrackComponents(const CCompositeGeometry *)"),
              1);
    // Asked of list entries unchecked: a null entry is simply no plain track.
    EXPECT_FALSE(UElementInspector::IsPlainTrack(nullptr));
}

TEST(ElementQueries, JointsInComponentOrderWithTheirOppositeEnds) {
    auto element = Make({[] { return QueryStraight(100); }, [] { return QueryPoly(1); }, [] { return QueryCurve(); }},
                        3, "Library", "5106");
    CBasicGeometry* straight = element->GetComponents()[0];
    CBasicGeometry* curve = element->GetComponents()[2];
    // The polygon's joints are disabled and do not count.
    ASSERT_EQ(UElementJointQueries::GetNumberOfJoints(element.get()), 4);
    const std::vector<CJoint*> expected = {straight->GetJoint(0), straight->GetJoint(1), curve->GetJoint(0),
                                           curve->GetJoint(1)};
    for (int index = 0; index < 4; ++index) {
        EXPECT_EQ(UElementJointQueries::GetJointWithIndex(element.get(), index), expected[index]) << index;
        EXPECT_EQ(UElementJointQueries::GetIndexOfJointInElementJointVector(element.get(), expected[index]), index);
        EXPECT_EQ(expected[index]->GetParent(), element.get()) << "joints were brought up to date";
    }
    EXPECT_EQ(UElementJointQueries::GetOppositeJoint(straight->GetJoint(0)), straight->GetJoint(1));
    EXPECT_EQ(UElementJointQueries::GetOppositeJoint(straight->GetJoint(1)), straight->GetJoint(0));
    EXPECT_EQ(UElementJointQueries::GetOppositeJoint(curve->GetJoint(1)), curve->GetJoint(0));

    EXPECT_EQ(UElementJointQueries::GetJointWithIndex(element.get(), 4), nullptr);
    EXPECT_EQ(CountWarnings("static CJoint *UElementJointQueries::GetJointWithIndex(CCompositeGeometry *, int): "
                            "Invalid index 4 for geometry 5106 with 4 joints"),
              1);
    EXPECT_EQ(UElementJointQueries::GetJointWithIndex(element.get(), -1), nullptr);
    EXPECT_EQ(CountWarnings("Invalid index -1 for geometry 5106 with 4 joints"), 1);

    auto other = Make({[] { return QueryStraight(); }});
    CJoint* foreign = other->GetComponents()[0]->GetJoint(0);
    EXPECT_EQ(UElementJointQueries::GetIndexOfJointInElementJointVector(element.get(), foreign), -1);
    EXPECT_EQ(UElementJointQueries::GetIndexOfJointInElementJointVector(element.get(), nullptr), -1);
    CJoint orphan;
    EXPECT_EQ(UElementJointQueries::GetOppositeJoint(&orphan), nullptr) << "a joint without owner";
    // A joint whose owner no longer holds it.
    orphan.SetParent(element.get());
    EXPECT_EQ(UElementJointQueries::GetOppositeJoint(&orphan), nullptr);

    auto empty = Make({});
    EXPECT_EQ(UElementJointQueries::GetNumberOfJoints(empty.get()), 0);
    EXPECT_EQ(UElementJointQueries::GetJointWithIndex(empty.get(), 0), nullptr);

    try {
        UElementJointQueries::GetOppositeJoint(nullptr);
        ADD_FAILURE() << "no error for a null joint";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "<<< Invalid joint parameter supplied >>>");
    }
    for (const auto& call : std::vector<std::function<void()>>{
             [] { UElementJointQueries::GetNumberOfJoints(nullptr); },
             [] { UElementJointQueries::GetJointWithIndex(nullptr, 0); },
             [&] { UElementJointQueries::GetIndexOfJointInElementJointVector(nullptr, foreign); }}) {
        try {
            call();
            ADD_FAILURE() << "no error for a null element";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "<<< Invalid geometry parameter supplied >>>");
        }
    }
}

TEST(ElementQueries, PositioningModesPutTheChosenPointOnTheTarget) {
    // A 40 x 20 rectangle of line width 0 at offset (10, 5): box (10, 5) to
    // (50, 25), centre (30, 15).
    std::unique_ptr<CBasicGeometry> rect(UElementComponents::CreatePolyComponent(
        {CPoint(0, 0), CPoint(40, 0), CPoint(40, 20), CPoint(0, 20)}, 0, kPolyKindRectangle, 10, 5, 0));
    EXPECT_DOUBLE_EQ(UComponentPositioning::GetComponentWidth(rect.get()), 40.0);
    EXPECT_DOUBLE_EQ(UComponentPositioning::GetComponentHeight(rect.get()), 20.0);
    CPoint centre = UComponentPositioning::GetComponentCenter(rect.get());
    EXPECT_DOUBLE_EQ(centre.x, 30.0);
    EXPECT_DOUBLE_EQ(centre.y, 15.0);

    CPoint offset = UComponentPositioning::GetAdjustedComponentOffsetWithMode(rect.get(), kPositioningModeOffset, 7, 8);
    EXPECT_EQ(std::vector<double>({offset.x, offset.y, offset.z}), std::vector<double>({7, 8, 0}));
    offset = UComponentPositioning::GetAdjustedComponentOffsetWithMode(rect.get(), kPositioningModeCenter, 100, 100);
    EXPECT_DOUBLE_EQ(offset.x, 80.0);
    EXPECT_DOUBLE_EQ(offset.y, 90.0);
    EXPECT_DOUBLE_EQ(offset.z, 0.0);
    UComponentPositioning::AdjustComponentOffsetWithMode(rect.get(), kPositioningModeCenter, 100, 100);
    EXPECT_DOUBLE_EQ(rect->GetOffsetX(), 80.0);
    EXPECT_DOUBLE_EQ(rect->GetOffsetY(), 90.0);
    centre = UComponentPositioning::GetComponentCenter(rect.get());
    EXPECT_NEAR(centre.x, 100.0, 1e-9);
    EXPECT_NEAR(centre.y, 100.0, 1e-9);

    // An unsupported mode leaves the target as it is.
    offset =
        UComponentPositioning::GetAdjustedComponentOffsetWithMode(rect.get(), static_cast<PositioningMode>(7), 3, 4);
    EXPECT_EQ(std::vector<double>({offset.x, offset.y}), std::vector<double>({3, 4}));
    EXPECT_EQ(CountWarnings("Unsupported positioning mode <7> in static CPoint "
                            "UComponentPositioning::GetAdjustedComponentOffsetWithMode(CBasicGeometry *, "
                            "PositioningMode, double, double)"),
              1);
    UComponentPositioning::AdjustComponentOffsetWithMode(rect.get(), static_cast<PositioningMode>(-1), 1, 2);
    EXPECT_DOUBLE_EQ(rect->GetOffsetX(), 1.0) << "an unknown mode sets the target as offset";
    EXPECT_DOUBLE_EQ(rect->GetOffsetY(), 2.0);

    // A 100 mm straight of gauge 16.5 at offset (0, 0), turned by 90 degrees:
    // its ends lie at (50, -33.5) and (50, 66.5) about the turning centre
    // (50, 16.5), so joint 0 sits 50 to the right of and 33.5 below the
    // offset, joint 1 50 to the right and 66.5 above.
    std::unique_ptr<CBasicGeometry> straight(QueryStraight(100));
    straight->SetAngle(90);
    offset =
        UComponentPositioning::GetAdjustedComponentOffsetWithMode(straight.get(), kPositioningModeJoint0, 200, 300);
    EXPECT_NEAR(offset.x, 150.0, 1e-9);
    EXPECT_NEAR(offset.y, 333.5, 1e-9);
    offset =
        UComponentPositioning::GetAdjustedComponentOffsetWithMode(straight.get(), kPositioningModeJoint1, 200, 300);
    EXPECT_NEAR(offset.x, 150.0, 1e-9);
    EXPECT_NEAR(offset.y, 233.5, 1e-9);
    UComponentPositioning::AdjustComponentOffsetWithMode(straight.get(), kPositioningModeJoint1, 200, 300);
    const tJointPair joints = straight->GetUpdatedJoints(CPoint::Origin(), CGradeVector::Null(), 0.0);
    EXPECT_NEAR(joints.second->GetLayoutPoint().x, 200.0, 1e-9);
    EXPECT_NEAR(joints.second->GetLayoutPoint().y, 300.0, 1e-9);

    // Nothing to measure: no infinite sizes, no crash.
    std::unique_ptr<CBasicGeometry> empty(new CPolyBIG());
    EXPECT_DOUBLE_EQ(UComponentPositioning::GetComponentWidth(empty.get()), 0.0);
    EXPECT_DOUBLE_EQ(UComponentPositioning::GetComponentHeight(empty.get()), 0.0);
    offset = UComponentPositioning::GetAdjustedComponentOffsetWithMode(empty.get(), kPositioningModeCenter, 5, 6);
    EXPECT_DOUBLE_EQ(offset.x, 5.0);
    EXPECT_DOUBLE_EQ(offset.y, 6.0);
    EXPECT_DOUBLE_EQ(UComponentPositioning::GetComponentWidth(nullptr), 0.0);
    offset = UComponentPositioning::GetAdjustedComponentOffsetWithMode(nullptr, kPositioningModeCenter, 5, 6);
    EXPECT_DOUBLE_EQ(offset.x, 5.0);
    UComponentPositioning::AdjustComponentOffsetWithMode(nullptr, kPositioningModeCenter, 5, 6);
}

TEST(ElementQueries, FactoryMakesCirclesAndTextsOfTheirOwnKind) {
    const CColor red(1.0, 0.0, 0.0, 1.0);
    const CColor blue(0.0, 0.0, 1.0, 1.0);
    std::unique_ptr<CCompositeGeometry> empty(
        UCompositeGeometryFactory::CreateEmptyElement(CPoint(1, 2, 3), red, "Shed"));
    EXPECT_TRUE(empty->GetComponents().empty());
    EXPECT_EQ(std::vector<double>({empty->GetPosition().x, empty->GetPosition().y, empty->GetPosition().z}),
              std::vector<double>({1, 2, 3}));
    EXPECT_EQ(empty->GetFirstColor(), red);
    EXPECT_STREQ(empty->GetProductNumber(), "Shed");
    EXPECT_EQ(empty->GetElementType(), 0);

    struct OvalCase {
        const char* name;
        bool metric;
        double radius;
    };
    for (const OvalCase& c : {OvalCase{"10 cm across", true, 50.0}, OvalCase{"5 inch across", false, 63.5}}) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<CCompositeGeometry> oval(
            UCompositeGeometryFactory::CreateOval(CPoint(10, 20), red, blue, c.metric, "Pond", nullptr));
        ASSERT_EQ(oval->GetComponents().size(), 1u);
        const auto* circle = dynamic_cast<const COvalBIG*>(oval->GetComponents()[0]);
        ASSERT_NE(circle, nullptr);
        EXPECT_NEAR(circle->GetRadiusX(), c.radius, 1e-9);
        EXPECT_NEAR(circle->GetRadiusY(), c.radius, 1e-9);
        EXPECT_NEAR(circle->GetCenterPoint().x, 0.0, 1e-9) << "centred on the element's origin";
        EXPECT_NEAR(circle->GetCenterPoint().y, 0.0, 1e-9);
        EXPECT_EQ(oval->GetFirstColor(), red);
        EXPECT_EQ(oval->GetSecondColor(), blue);
        EXPECT_STREQ(oval->GetProductNumber(), "Pond");
        EXPECT_DOUBLE_EQ(oval->GetPosition().x, 10.0);
        EXPECT_EQ(oval->GetElementType(), 500);
        EXPECT_TRUE(UElementInspector::IsCircleElement(oval.get()));
        EXPECT_FALSE(UElementInspector::IsTrackElement(oval.get()));
    }

    // Into an existing element: appended last, its classified type kept.
    auto existing = Make({[] { return QueryStraight(); }}, 7);
    CCompositeGeometry* result = UCompositeGeometryFactory::CreateOval(CPoint(), red, blue, true, "", existing.get());
    EXPECT_EQ(result, existing.get());
    ASSERT_EQ(existing->GetComponents().size(), 2u);
    EXPECT_EQ(existing->GetComponents()[1]->GetType(), kComponentTypeOval);
    EXPECT_EQ(existing->GetElementType(), 7);
    EXPECT_EQ(existing->GetSecondColor(), blue);
    auto unclassified = Make({}, 0);
    UCompositeGeometryFactory::CreateOval(CPoint(), red, blue, true, "", unclassified.get());
    EXPECT_EQ(unclassified->GetElementType(), 500);
    // A full element keeps its 500 components; the circle is not leaked into it.
    auto full = Make({}, 3);
    for (int i = 0; i < 500; ++i) UElementComponents::AppendComponent(full.get(), QueryText());
    EXPECT_EQ(UCompositeGeometryFactory::CreateOval(CPoint(), red, blue, true, "", full.get()), full.get());
    EXPECT_EQ(full->GetComponents().size(), 500u);

    std::unique_ptr<CCompositeGeometry> text(
        UCompositeGeometryFactory::CreateText(CPoint(5, 6), blue, "Station", 18, "CourierNewPSMT"));
    ASSERT_EQ(text->GetComponents().size(), 1u);
    const auto* label = dynamic_cast<const CTextBIG*>(text->GetComponents()[0]);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->GetText(), "Station");
    EXPECT_EQ(label->GetTextSize(), 18);
    EXPECT_EQ(label->GetFontName(), "CourierNewPSMT");
    EXPECT_EQ(text->GetFirstColor(), blue);
    EXPECT_EQ(text->GetSecondColor(), blue);
    EXPECT_STREQ(text->GetProductNumber(), "Station");
    EXPECT_EQ(text->GetElementType(), 500);
    EXPECT_TRUE(UElementInspector::IsTextElement(text.get()));
    EXPECT_TRUE(UElementInspector::IsUserCreatedElement(text.get()));
}

TEST(ElementQueries, LineWidthOfEveryComponentAndHeightsOnAGrade) {
    auto element = Make({[] { return QueryPoly(1); }, QueryCircle, [] { return QueryStraight(); }});
    UElementComponents::SetLineWidth(element.get(), 4);
    EXPECT_EQ(element->GetComponents()[0]->GetLineWidth(), 4);
    EXPECT_EQ(element->GetComponents()[1]->GetLineWidth(), 4);
    EXPECT_EQ(element->GetComponents()[2]->GetLineWidth(), 0) << "track pieces keep no line width";
    UElementComponents::SetLineWidth(nullptr, 4);

    // A grade rising 10 over a 100 mm run: the slope angle is atan(0.1), so a
    // point 50 along the run lies 50 sin(atan 0.1) = 50 x 0.1 / sqrt(1.01) up.
    const double halfway = 50.0 * 0.1 / std::sqrt(1.01);
    struct GradeCase {
        const char* name;
        CGradeVector grade;
        CPoint point;
        double z;
    };
    const std::vector<GradeCase> cases = {
        {"along x", CGradeVector(CPoint(0, 0), CPoint(100, 0), 10), CPoint(50, 7, 99), halfway},
        {"along y", CGradeVector(CPoint(0, 0), CPoint(0, 100), 10), CPoint(-3, 50, 99), halfway},
        {"from a start off the origin", CGradeVector(CPoint(20, 20), CPoint(120, 20), 10), CPoint(70, 0), halfway},
        {"at the start", CGradeVector(CPoint(20, 20), CPoint(120, 20), 10), CPoint(20, 20, 5), 0.0},
        {"no height", CGradeVector(CPoint(0, 0), CPoint(100, 0), 0), CPoint(50, 0, 8), 0.0},
    };
    for (const GradeCase& c : cases) {
        CPoint point = c.point;
        UElementGeometry::ApplyGradeToPoint(point, c.grade);
        EXPECT_NEAR(point.z, c.z, 1e-9) << c.name;
        EXPECT_EQ(point.x, c.point.x) << c.name << ": x stays";
        EXPECT_EQ(point.y, c.point.y) << c.name << ": y stays";
    }
}

TEST(ElementQueries, ListOperationsKeepOrderAndSkipNullEntries) {
    auto a = Make({[] { return QueryStraight(100); }}, 1, "Lib", "A");
    auto b = Make({[] { return QueryCurve(300, 30); }}, 1, "Lib", "B");
    auto c = Make({QueryText}, 0, "", "C");
    b->SetPosition(CPoint(10, 20, 5));
    const tElements list = {a.get(), nullptr, b.get(), c.get()};

    // Copies: deep, in order, each with its own identity.
    tElements copies = UElementVectorOperations::CloneElements(list);
    ASSERT_EQ(copies.size(), 3u);
    const std::vector<const CCompositeGeometry*> sources = {a.get(), b.get(), c.get()};
    for (std::size_t i = 0; i < copies.size(); ++i) {
        EXPECT_NE(copies[i], sources[i]);
        EXPECT_STREQ(copies[i]->GetProductNumber(), sources[i]->GetProductNumber());
        EXPECT_NE(copies[i]->GetIdentifier(), sources[i]->GetIdentifier());
        ASSERT_EQ(copies[i]->GetComponents().size(), 1u);
        EXPECT_NE(copies[i]->GetComponents()[0], sources[i]->GetComponents()[0]);
    }
    platform::DeleteAll(copies);

    // 100 + 300 x pi / 6 (a 30 degree arc of radius 300) + 0 for the text.
    EXPECT_NEAR(UElementVectorOperations::GetOverallTrackLength(list), 100.0 + 50.0 * std::numbers::pi, 1e-9);
    EXPECT_DOUBLE_EQ(UElementVectorOperations::GetOverallTrackLength({}), 0.0);

    UElementVectorOperations::TranslateElements(list, 5, -7);
    EXPECT_EQ(std::vector<double>({b->GetPosition().x, b->GetPosition().y, b->GetPosition().z}),
              std::vector<double>({15, 13, 5}));
    EXPECT_DOUBLE_EQ(a->GetPosition().x, 5.0);
    const CJoint* joint = a->GetComponents()[0]->GetJoint(0);
    EXPECT_NEAR(joint->GetLayoutPoint().x, 5.0, 1e-9) << "joints follow the element";
    EXPECT_NEAR(joint->GetLayoutPoint().y, 16.5 - 7.0, 1e-9);

    EXPECT_TRUE(UElementVectorOperations::ContainsUnclassifiedElements(list));
    EXPECT_FALSE(UElementVectorOperations::ContainsUnclassifiedElements({a.get(), nullptr, b.get()}));
    EXPECT_FALSE(UElementVectorOperations::ContainsUnclassifiedElements({}));

    const std::map<const CCompositeGeometry*, std::string> names = {{a.get(), "A"}, {b.get(), "B"}, {c.get(), "C"}};
    using tNames = std::vector<std::string>;
    EXPECT_EQ(Names(UElementVectorOperations::SubtractElements(list, list), names), tNames{});
    EXPECT_EQ(Names(UElementVectorOperations::SubtractElements(list, {}), names), (tNames{"A", "null", "B", "C"}));
    EXPECT_EQ(Names(UElementVectorOperations::SubtractElements({}, list), names), tNames{});
    EXPECT_EQ(Names(UElementVectorOperations::SubtractElements({c.get(), a.get(), b.get(), a.get()}, {b.get()}), names),
              (tNames{"C", "A", "A"}));
    // A copy is another element.
    std::unique_ptr<CCompositeGeometry> copyOfA(new CCompositeGeometry(*a));
    EXPECT_EQ(Names(UElementVectorOperations::SubtractElements({a.get()}, {copyOfA.get()}), names), tNames{"A"});
}

TEST(ElementQueries, RadiiOfCurvedTracksAscendingWithoutNearDuplicates) {
    auto r300 = Make({[] { return QueryCurve(300); }}, 1);
    auto r300b = Make({[] { return QueryCurve(300.0005); }}, 1);
    auto r250 = Make({[] { return QueryCurve(250); }}, 1);
    auto r600withText = Make({QueryText, [] { return QueryCurve(600); }}, 7);
    auto parallel = Make({[] { return QueryCurve(100); }, [] { return QueryCurve(200); }}, 2);
    auto straight = Make({[] { return QueryStraight(); }}, 1);
    auto empty = Make({});
    const std::vector<double> radii =
        UElementVectorOperations::GetListOfRadii({r300.get(), straight.get(), r300b.get(), nullptr, r250.get(),
                                                  parallel.get(), r600withText.get(), empty.get()});
    ASSERT_EQ(radii.size(), 3u);
    EXPECT_DOUBLE_EQ(radii[0], 250.0);
    EXPECT_DOUBLE_EQ(radii[1], 300.0) << "the first of the near-equal radii stays";
    EXPECT_DOUBLE_EQ(radii[2], 600.0);
    auto r300c = Make({[] { return QueryCurve(300.002); }}, 1);
    EXPECT_EQ(UElementVectorOperations::GetListOfRadii({r300.get(), r300c.get()}).size(), 2u);
    EXPECT_TRUE(UElementVectorOperations::GetListOfRadii({}).empty());
}

TEST(ElementQueries, FiltersKeepTheMatchingElementsInOrder) {
    CLayer track("Track");
    CLayer scenery("Scenery");
    auto straight = Make({[] { return QueryStraight(); }}, 1, "Lib", "5106");
    auto curve = Make({[] { return QueryCurve(); }}, 1, "Lib", "5100");
    auto flex = Make({QueryFlex}, 1, "x", "5106");
    auto bentFlex = Make({QueryFlex}, 1, "x", "FLEX");
    AddGenerator(*bentFlex, kGeneratorTypeCurvedFlexTrack);
    auto arrowFlex = Make({QueryFlex}, 1, "x", "ARROW");
    AddGenerator(*arrowFlex, 3);
    auto parallel = Make({[] { return QueryCurve(); }, [] { return QueryCurve(400); }}, 2, "Lib", "5200");
    auto turnout = Make({[] { return QueryStraight(); }, [] { return QueryCurve(); }}, 3, "Lib", "5137");
    auto text = Make({QueryText}, 500, "", "Station");
    auto circle = Make({QueryCircle}, 0, "", "Pond");
    auto curve7 = Make({[] { return QueryCurve(); }}, 7, "Lib", "5205");
    auto bentNotPlain = Make({QueryFlex}, 5, "x", "BENT5");
    AddGenerator(*bentNotPlain, kGeneratorTypeCurvedFlexTrack);
    straight->SetManufacturer("Maker");
    curve->SetManufacturer("Maker");
    parallel->SetManufacturer("Maker ");
    turnout->SetManufacturer("maker");
    straight->SetLayer(&track);
    curve->SetLayer(&track);
    turnout->SetLayer(&track);
    text->SetLayer(&scenery);

    const std::map<const CCompositeGeometry*, std::string> names = {{straight.get(), "straight"},
                                                                    {curve.get(), "curve"},
                                                                    {flex.get(), "flex"},
                                                                    {bentFlex.get(), "bentFlex"},
                                                                    {arrowFlex.get(), "arrowFlex"},
                                                                    {parallel.get(), "parallel"},
                                                                    {turnout.get(), "turnout"},
                                                                    {text.get(), "text"},
                                                                    {circle.get(), "circle"},
                                                                    {curve7.get(), "curve7"},
                                                                    {bentNotPlain.get(), "bentNotPlain"}};
    const tElements list = {text.get(),    straight.get(), nullptr,        curve.get(),
                            flex.get(),    bentFlex.get(), parallel.get(), arrowFlex.get(),
                            turnout.get(), circle.get(),   curve7.get(),   bentNotPlain.get()};
    using tNames = std::vector<std::string>;
    namespace V = UElementVectorOperations;
    const std::vector<std::pair<const char*, std::pair<tElements, tNames>>> cases = {
        {"of layer Track", {V::GetElementsOfLayer(list, &track), {"straight", "curve", "turnout"}}},
        {"of layer Scenery", {V::GetElementsOfLayer(list, &scenery), {"text"}}},
        {"without layer",
         {V::GetElementsOfLayer(list, nullptr),
          {"flex", "bentFlex", "parallel", "arrowFlex", "circle", "curve7", "bentNotPlain"}}},
        {"track elements",
         {V::GetTrackElements(list),
          {"straight", "curve", "flex", "bentFlex", "parallel", "arrowFlex", "turnout", "curve7", "bentNotPlain"}}},
        {"product number 5106", {V::GetElementsWithProductNumber(list, "5106"), {"straight", "flex"}}},
        {"product number 510 (no prefix match)", {V::GetElementsWithProductNumber(list, "510"), {}}},
        {"manufacturer Maker (exact bytes)", {V::GetElementsOfManufacturer(list, "Maker"), {"straight", "curve"}}},
        {"type 1", {V::GetElementsOfType(list, 1), {"straight", "curve", "flex", "bentFlex", "arrowFlex"}}},
        {"type 0", {V::GetElementsOfType(list, 0), {"circle"}}},
        {"types 2 to 5", {V::GetElementsWithTypeInRange(list, 2, 5), {"parallel", "turnout", "bentNotPlain"}}},
        {"types 3 to 3", {V::GetElementsWithTypeInRange(list, 3, 3), {"turnout"}}},
        {"types 5 to 2 (empty range)", {V::GetElementsWithTypeInRange(list, 5, 2), {}}},
        {"single curved tracks", {V::GetSingleCurvedTracks(list), {"curve", "curve7"}}},
        {"straight plain tracks", {V::GetStraightPlainTracks(list), {"straight"}}},
        {"curved plain tracks", {V::GetCurvedPlainTracks(list), {"curve"}}},
        {"plain flex tracks", {V::GetPlainFlexTracks(list), {"flex", "bentFlex", "arrowFlex"}}},
        {"curved flex tracks", {V::GetCurvedFlexTracks(list), {"bentFlex"}}},
    };
    for (const auto& [name, result] : cases) EXPECT_EQ(Names(result.first, names), result.second) << name;
    EXPECT_TRUE(V::GetTrackElements({}).empty());
    EXPECT_TRUE(V::GetTrackElements({nullptr}).empty());
}
