// Element types: the names of the codes, and the type guessed from an
// element's track geometry for each rule, built from real components.

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/ElementTypes.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TextBIG.h"
#include "tests/support/EngineServices.h"

namespace {

using testsupport::RegisterLocalization;

// One component of a test element: its kind ('S' straight, 'C' curve, 'F'
// flex track, 'O' oval, 'P' polygon, 'T' text), its angle, the arc of a
// curve, and which joints are enabled.
struct Part {
    char kind;
    double angle = 0.0;
    double arc = 30.0;
    bool joint0 = true;
    bool joint1 = true;
};

CBasicGeometry* MakeComponent(const Part& part) {
    CBasicGeometry* component = nullptr;
    switch (part.kind) {
        case 'S': {
            auto* straight = new CStraightBIG();
            straight->SetLength(100.0);
            straight->SetGauge(16.5);
            component = straight;
            break;
        }
        case 'C': {
            auto* curve = new CCurveBIG();
            curve->SetRadius(360.0);
            curve->SetArcAngle(part.arc);
            curve->SetGauge(16.5);
            component = curve;
            break;
        }
        case 'F':
            component = UElementComponents::CreateFlexTrackComponent(CPoint(0, 0), CPoint(200, 0), true, true, 0, 0,
                                                                     500, 16.5, 30, 1);
            break;
        // Shapes come with both joints disabled, as the generators make them.
        case 'O': return UElementComponents::CreateCircleComponent(1, 0, 0, 25);
        case 'P':
            return UElementComponents::CreatePolyComponent({CPoint(0, 0), CPoint(40, 0), CPoint(40, 20)}, 1,
                                                           kPolyKindPolygon, 0, 0, 0);
        case 'T': {
            auto* text = new CTextBIG();
            text->DisableJoint(0);
            text->DisableJoint(1);
            return text;
        }
        default: ADD_FAILURE() << "unknown component kind " << part.kind; return nullptr;
    }
    component->SetAngle(part.angle);
    if (!part.joint0) component->DisableJoint(0);
    if (!part.joint1) component->DisableJoint(1);
    return component;
}

CCompositeGeometry* MakeElement(const std::vector<Part>& parts) {
    auto* element = new CCompositeGeometry();
    element->SetLibraryName("Track Library");
    for (const Part& part : parts) UElementComponents::AppendComponent(element, MakeComponent(part));
    return element;
}

// Joint switches for readability.
constexpr bool on = true;
constexpr bool off = false;

}  // namespace

TEST(ElementTypes, NamesEveryCodeOfTheTableAndNoOther) {
    RegisterLocalization("en");

    // The named codes, group by group.
    std::set<std::int32_t> named;
    for (std::int32_t code = 0; code <= 20; ++code) named.insert(code);
    for (std::int32_t code = 100; code <= 107; ++code) named.insert(code);
    for (std::int32_t code = 200; code <= 209; ++code) named.insert(code);
    named.insert(300);
    for (std::int32_t code = 400; code <= 406; ++code) named.insert(code);
    named.insert(500);
    named.insert(501);
    ASSERT_EQ(named.size(), 49u);

    for (std::int32_t code = -3; code <= 600; ++code) {
        SCOPED_TRACE(code);
        const char* key = UElementTypes::GetElementTypeKey(code);
        const std::string name = UElementTypes::GetElementTypeName(code);
        if (named.count(code) != 0) {
            ASSERT_NE(key, nullptr);
            EXPECT_EQ(std::string(key).rfind("ElementType_", 0), 0u);
            // A key the string table does not know would come back as itself.
            EXPECT_NE(name, key);
            EXPECT_NE(name, "???");
        } else {
            EXPECT_EQ(key, nullptr);
            EXPECT_EQ(name, "???");
        }
    }

    EXPECT_EQ(UElementTypes::GetElementTypeName(0), "Unclassified");
    EXPECT_EQ(UElementTypes::GetElementTypeName(1), "Track");
    EXPECT_EQ(UElementTypes::GetElementTypeName(203), "Commercial or industrial building");
    EXPECT_STREQ(UElementTypes::GetElementTypeKey(102), "ElementType_BicycleMotorcycleVehicle");
    EXPECT_STREQ(UElementTypes::GetElementTypeKey(209), "ElementType_RailwayBridge");
    EXPECT_STREQ(UElementTypes::GetElementTypeKey(501), "ElementType_RailwaySymbol");
}

TEST(ElementTypes, NamesFollowTheUsersLanguage) {
    RegisterLocalization("de");
    EXPECT_EQ(UElementTypes::GetElementTypeName(1), "Gleis");
    EXPECT_EQ(UElementTypes::GetElementTypeName(209),
              "Eisenbahnbr\xC3\xBC"
              "cke");
    EXPECT_EQ(UElementTypes::GetElementTypeName(108), "???");
}

TEST(ElementTypes, GuessesTheTypeFromTheTrackGeometry) {
    struct Case {
        const char* name;
        std::vector<Part> parts;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"one straight with one joint: bumper track", {{'S', 0, 0, on, off}}, 4},
        {"one flex track with one joint: bumper track", {{'F', 0, 0, off, on}}, 4},
        {"bumper with a polygon beside it", {{'S', 0, 0, on, off}, {'P'}}, 4},
        {"one straight with two joints: plain track", {{'S'}}, 1},
        {"one curve: plain track", {{'C'}}, 1},
        {"one flex track: plain track", {{'F'}}, 1},
        {"curve with one joint is no bumper", {{'C', 0, 30, on, off}}, 0},
        {"straight without joints", {{'S', 0, 0, off, off}}, 0},
        {"two straights side by side: parallel track", {{'S', 15}, {'S', 15}}, 2},
        {"two curves side by side: parallel track", {{'C', 0}, {'C', 0}}, 2},
        {"angles 0.0005 apart still parallel", {{'S', 10.0}, {'S', 10.0005}}, 2},
        {"two straights at 30 degrees: crossing", {{'S', 0}, {'S', 30}}, 12},
        {"angles 0.002 apart: crossing", {{'S', 10.0}, {'S', 10.002}}, 12},
        {"two straights and two curves with four joints: double slip",
         {{'S', 0, 0, on, off}, {'S', 30, 0, on, off}, {'C', 0, 30, on, off}, {'C', 30, 30, on, off}},
         13},
        {"straight then curve open at its start: plain left turnout", {{'S'}, {'C', 0, 30, on, off}}, 6},
        {"straight open at its start then whole curve: plain left turnout", {{'S', 0, 0, on, off}, {'C'}}, 6},
        {"straight then curve open at its end: plain right turnout", {{'S'}, {'C', 0, 30, off, on}}, 7},
        {"two curves bending apart: wye turnout", {{'C', 150, 30}, {'C', 0, 30, on, off}}, 10},
        {"wye within 0.0005", {{'C', 150.0005, 30}, {'C', 0, 30, on, off}}, 10},
        {"two curves, the second open at its start: curved left turnout", {{'C', 0, 30}, {'C', 0, 15, on, off}}, 8},
        {"two curves, the second open at its end: curved right turnout", {{'C', 0, 30}, {'C', 0, 15, off, on}}, 9},
        {"straight and two curves with four joints: triple turnout",
         {{'S'}, {'C', 0, 30, off, on}, {'C', 20, 30, off, on}},
         11},
        {"four straights and two ovals with five joints: turntable",
         {{'S', 0, 0, on, off}, {'S', 90, 0, on, off}, {'S', 180, 0, on, off}, {'S', 270}, {'O'}, {'O'}},
         15},
        {"the same with one oval: custom turnout",
         {{'S', 0, 0, on, off}, {'S', 90, 0, on, off}, {'S', 180, 0, on, off}, {'S', 270}, {'O'}},
         14},
        {"three straights: custom turnout", {{'S', 0}, {'S', 10}, {'S', 20}}, 14},
        {"two curves at different angles with four joints: custom turnout", {{'C', 0}, {'C', 40}}, 14},
        {"one straight and one curve with four joints", {{'S'}, {'C'}}, 0},
        {"only the first and the last track decide left: left turnout",
         {{'S'}, {'C', 0, 30, off, off}, {'S', 5, 0, on, off}},
         6},
        {"text only", {{'T'}}, 0},
        {"oval only", {{'O'}}, 0},
        {"no components", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CCompositeGeometry* element = MakeElement(c.parts);
        EXPECT_EQ(UElementTypes::GuessElementType(element), c.expected);
        // The guess only proposes.
        EXPECT_EQ(element->GetElementType(), 0);
        delete element;
    }
    EXPECT_EQ(UElementTypes::GuessElementType(nullptr), 0);
}
