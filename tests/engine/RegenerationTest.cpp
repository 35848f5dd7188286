// Regenerating an element's generated components: idempotence over the
// generated elements of a layout, elements left alone when regeneration
// fails, the line width and angle put back, and the reference position.

#include "engine/generators/Regeneration.h"

#include "engine/model/ElementComponents.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/TrackConnections.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"
#include "tools/layoutgen/LayoutGen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::LogWatch;

constexpr double kRegenerationPi = 3.14159265358979323846;

// What an element's components are, field by field, and where their joints
// lie: compared between two states of one element.
struct tComponentState {
    int type = 0;
    bool generated = false;
    int generatorID = 0;
    int attribute = 0;
    int lineWidth = 0;
    std::vector<double> values;  // offsets, angle, measures, length, points
    std::vector<double> joints;  // per enabled joint: layout x, y, angle
};

struct tElementState {
    double angle = 0.0;
    CPoint position;
    std::vector<tComponentState> components;
};

tElementState StateOf(CCompositeGeometry& element) {
    tElementState state;
    state.angle = element.GetAngle();
    state.position = element.GetPosition();
    element.UpdateJoints();
    for (CBasicGeometry* component : element.GetComponents()) {
        tComponentState c;
        c.type = component->GetType();
        c.generated = component->IsGenerated();
        c.generatorID = component->GetComponentGeneratorID();
        c.attribute = component->GetComponentAttribute();
        c.lineWidth = component->GetLineWidth();
        c.values = {component->GetOffsetX(),    component->GetOffsetY(),       component->GetAngle(),
                    component->GetGauge(),      component->GetTrackbedWidth(), component->GetRailWidth(),
                    component->GetTrackLength()};
        if (auto* poly = dynamic_cast<CPolyBIG*>(component)) {
            for (const CPoint& point : poly->GetPoints()) {
                c.values.push_back(point.x);
                c.values.push_back(point.y);
            }
        }
        for (int index = 0; index < 2; ++index) {
            CJoint* joint = component->GetJoint(index);
            if (joint == nullptr || !component->IsJointEnabled(index)) continue;
            c.joints.push_back(joint->GetLayoutPoint().x);
            c.joints.push_back(joint->GetLayoutPoint().y);
            c.joints.push_back(joint->GetAngle());
        }
        state.components.push_back(c);
    }
    return state;
}

void ExpectSameState(const tElementState& a, const tElementState& b, double tolerance, const std::string& what) {
    EXPECT_NEAR(a.angle, b.angle, tolerance) << what;
    EXPECT_NEAR(a.position.x, b.position.x, tolerance) << what;
    EXPECT_NEAR(a.position.y, b.position.y, tolerance) << what;
    ASSERT_EQ(a.components.size(), b.components.size()) << what;
    for (std::size_t i = 0; i < a.components.size(); ++i) {
        const tComponentState& x = a.components[i];
        const tComponentState& y = b.components[i];
        const std::string where = what + ", component " + std::to_string(i);
        EXPECT_EQ(x.type, y.type) << where;
        EXPECT_EQ(x.generated, y.generated) << where;
        EXPECT_EQ(x.generatorID, y.generatorID) << where;
        EXPECT_EQ(x.attribute, y.attribute) << where;
        EXPECT_EQ(x.lineWidth, y.lineWidth) << where;
        ASSERT_EQ(x.values.size(), y.values.size()) << where;
        for (std::size_t k = 0; k < x.values.size(); ++k) EXPECT_NEAR(x.values[k], y.values[k], tolerance) << where;
        ASSERT_EQ(x.joints.size(), y.joints.size()) << where;
        for (std::size_t k = 0; k < x.joints.size(); ++k) EXPECT_NEAR(x.joints[k], y.joints[k], tolerance) << where;
    }
}

ULayoutGen::tTrackMeasures H0() { return {16.5, 40.0, 1.0}; }

// A user-made flex track made by generator 1 (laid straight to `length`).
std::unique_ptr<CCompositeGeometry> StraightFlexElement(double builtLength, double length, double angle) {
    return ULayoutGen::CElementBuilder()
        .Catalogue("", "", "", "Flex")
        .FlexTrack(CPoint(0, 0), CPoint(builtLength, 0), 900.0, H0())
        .MarkGenerated(1)
        .Angle(angle)
        .Generator(1, {{2, std::to_string(length)},
                       {3, "0.000000"},
                       {6, "900.000000"},
                       {7, "16.500000"},
                       {8, "40.000000"},
                       {9, "1"}})
        .Build();
}

// A fixed reference the test moves by hand.
class CHandComparer : public CReferencePointComparer {
public:
    explicit CHandComparer(CCompositeGeometry* element) : CReferencePointComparer(element) {}
    CPoint GetReferencePoint() override { return point; }
    double GetReferenceAngle() override { return angle; }
    CPoint point;
    double angle = 0.0;
};

TEST(RegenerationTest, RegeneratingTheGeneratedElementsOfALayoutTwiceGivesTheSameComponents) {
    std::vector<std::unique_ptr<CCompositeGeometry>> layout;
    ULayoutGen::CRandomElementMaker maker(20261206);
    for (int i = 0; i < 300; ++i) layout.push_back(maker.Next());
    for (ULayoutGen::tSampleElement& sample : ULayoutGen::SampleElements()) layout.push_back(std::move(sample.element));
    layout.push_back(StraightFlexElement(250.0, 300.0, 25.0));
    layout.push_back(ULayoutGen::CElementBuilder()
                         .Catalogue("", "", "", "Curved flex")
                         .FlexTrack(CPoint(0, 0), CPoint(200, 0), 900.0, H0())
                         .MarkGenerated(2)
                         .Straight(50.0, H0(), {300.0, 0.0, 0.0})
                         .Angle(40.0)
                         .Generator(2, {{3, "0"}, {4, "45"}, {5, "500"}, {7, "16.5"}, {8, "40"}})
                         .Build());

    // An arrow, a dimension line and a straight with a bumper, each with
    // stale generated components.
    layout.push_back(ULayoutGen::CElementBuilder()
                         .Catalogue("", "", "", "Arrow")
                         .Line(CPoint(0, 0), CPoint(10, 0), 1)
                         .MarkGenerated(3)
                         .Angle(60.0)
                         .Generator(3, {{10, "0"}, {11, "0"}, {12, "150"}, {13, "40"}, {18, "103"}, {20, "204"}})
                         .Build());
    layout.push_back(ULayoutGen::CElementBuilder()
                         .Catalogue("", "", "", "Dimension")
                         .Line(CPoint(0, 0), CPoint(10, 0), 1)
                         .MarkGenerated(4)
                         .Generator(4, {{10, "0"}, {11, "0"}, {12, "200"}, {13, "0"}, {43, "2"}})
                         .Build());
    layout.push_back(ULayoutGen::CElementBuilder()
                         .Catalogue("S200", "Maker", "Library", "")
                         .Straight(200.0, H0())
                         .Angle(30.0)
                         .Generator(7, {{31, "1"}, {40, "1"}})
                         .Build());
    const std::size_t kComplete = layout.size() - 5;  // the straight flex

    int generatedElements = 0;
    for (std::size_t i = 0; i < layout.size(); ++i) {
        CCompositeGeometry& element = *layout[i];
        if (element.GetGeneratorMap().empty()) continue;
        ++generatedElements;
        UGeneratedElements::RegenerateComponents(&element, nullptr);
        const tElementState once = StateOf(element);
        UGeneratedElements::RegenerateComponents(&element, nullptr);
        ExpectSameState(once, StateOf(element), 1e-6, "element " + std::to_string(i));
    }
    EXPECT_GT(generatedElements, 10);

    // The two complete flex elements really were rebuilt, not left alone.
    const CCompositeGeometry& straight = *layout[kComplete];
    ASSERT_EQ(straight.GetComponents().size(), 1u);
    EXPECT_NEAR(straight.GetComponents()[0]->GetTrackLength(), 300.0, 1e-6);
    const CCompositeGeometry& curved = *layout[kComplete + 1];
    ASSERT_EQ(curved.GetComponents().size(), 2u);
    EXPECT_EQ(curved.GetComponents()[0]->GetType(), kComponentTypeStraight);
    auto* bent = dynamic_cast<CFlexTrackBIG*>(curved.GetComponents()[1]);
    ASSERT_NE(bent, nullptr);
    EXPECT_EQ(bent->GetPoints().size(), 4u);
    EXPECT_NEAR(bent->GetTrackLength(), 500.0 * kRegenerationPi / 4.0, 0.05);

    // Arrow, dimension and bumper were rebuilt by their own generators.
    const int types[] = {3, 4, 7};
    for (int k = 0; k < 3; ++k) {
        const CCompositeGeometry& element = *layout[kComplete + 2 + k];
        int made = 0;
        for (const CBasicGeometry* component : element.GetComponents())
            made += component->IsGenerated() && component->GetComponentGeneratorID() == types[k] ? 1 : 0;
        EXPECT_GT(made, 0) << "generator " << types[k];
    }
    // The bumper's element action closed the bumpered end of the track.
    CBasicGeometry* bumpered = layout.back()->GetComponents().front();
    EXPECT_EQ(bumpered->GetType(), kComponentTypeStraight);
    EXPECT_FALSE(bumpered->IsJointEnabled(1));
    EXPECT_TRUE(bumpered->IsJointEnabled(0));
}

TEST(RegenerationTest, SuccessReplacesGeneratedComponentsAndRestoresAngleAndLineWidth) {
    std::unique_ptr<CCompositeGeometry> element =
        ULayoutGen::CElementBuilder()
            .Catalogue("", "", "", "Flex with marks")
            .FlexTrack(CPoint(0, 0), CPoint(250, 0), 900.0, H0())
            .MarkGenerated(1)
            .Line(CPoint(0, 30), CPoint(100, 30), 2)
            .Poly({CPoint(0, 0), CPoint(20, 0), CPoint(20, 10), CPoint(0, 10)}, 3, 5)
            .Angle(30.0)
            .Generator(1, {{2, "300"}, {3, "0"}, {7, "16.5"}, {8, "40"}})
            .Build();
    CBasicGeometry* line = element->GetComponents()[1];
    CBasicGeometry* rectangle = element->GetComponents()[2];

    LogWatch watch;
    UGeneratedElements::RegenerateComponents(element.get(), nullptr);
    EXPECT_EQ(watch.Count("returned an empty components vector"), 0);
    const tComponents& components = element->GetComponents();
    ASSERT_EQ(components.size(), 3u);
    EXPECT_EQ(components[0], line);  // kept, in order, before the new ones
    EXPECT_EQ(components[1], rectangle);
    auto* flex = dynamic_cast<CFlexTrackBIG*>(components[2]);
    ASSERT_NE(flex, nullptr);
    EXPECT_TRUE(flex->IsGenerated());
    EXPECT_EQ(flex->GetComponentGeneratorID(), 1);
    EXPECT_NEAR(flex->GetTrackLength(), 300.0, 1e-6);
    EXPECT_NEAR(element->GetAngle(), 30.0, 1e-9);
    // The largest line width the element had goes on every component.
    EXPECT_EQ(line->GetLineWidth(), 5);
    EXPECT_EQ(rectangle->GetLineWidth(), 5);
}

TEST(RegenerationTest, FailedRegenerationLeavesTheElementAsItWas) {
    struct Case {
        const char* name;
        int type;
        std::map<int, std::string> parameters;
        const char* warning;
    };
    const Case cases[] = {
        {"straight flex without angle or gauge",
         1,
         {{2, "100"}},
         "Generator (1) returned an empty components vector w/ parameters: [ 2 ] = 100"},
        {"curved flex without radius",
         2,
         {{3, "0"}, {4, "30"}, {7, "16.5"}, {8, "40"}},
         "Generator (2) returned an empty components vector w/ parameters: [ 3 ] = 0, [ 4 ] = 30, [ 7 ] = 16.5, "
         "[ 8 ] = 40"},
        {"unknown generator", 9, {{1, "x"}}, "Generator (9) returned an empty components vector"},
    };
    for (const Case& c : cases) {
        std::unique_ptr<CCompositeGeometry> element = ULayoutGen::CElementBuilder()
                                                          .Catalogue("", "", "", "Broken")
                                                          .FlexTrack(CPoint(0, 0), CPoint(250, 0), 900.0, H0())
                                                          .MarkGenerated(c.type)
                                                          .Line(CPoint(0, 30), CPoint(100, 30), 2)
                                                          .Angle(30.0)
                                                          .Position(CPoint(120, 80))
                                                          .Generator(c.type, c.parameters)
                                                          .Build();
        const tComponents before = element->GetComponents();
        const tElementState state = StateOf(*element);

        LogWatch watch;
        const CPoint offset = UGeneratedElements::RegenerateComponents(element.get(), nullptr);
        EXPECT_EQ(watch.Count(c.warning), 1) << c.name;
        EXPECT_EQ(element->GetComponents(), before) << c.name;
        ExpectSameState(state, StateOf(*element), 0.0, c.name);
        EXPECT_EQ(offset.x, 0.0) << c.name;
        EXPECT_EQ(offset.y, 0.0) << c.name;
    }
}

TEST(RegenerationTest, GeneratedComponentsWithoutGeneratorsAreKeptAndReported) {
    testsupport::RecordingAnalytics& analytics = testsupport::Analytics();
    analytics.events.clear();
    std::unique_ptr<CCompositeGeometry> element = ULayoutGen::CElementBuilder()
                                                      .Catalogue("", "", "", "Orphan")
                                                      .FlexTrack(CPoint(0, 0), CPoint(250, 0), 900.0, H0())
                                                      .MarkGenerated(1)
                                                      .Angle(10.0)
                                                      .Build();
    const tComponents before = element->GetComponents();
    const tElementState state = StateOf(*element);
    LogWatch watch;
    UGeneratedElements::RegenerateComponents(element.get(), nullptr);
    EXPECT_EQ(watch.Count("Found generated component(s) but no generators present in element"), 1);
    ASSERT_EQ(analytics.events.size(), 1u);
    EXPECT_EQ(analytics.events[0].first, "IntegrityCheckFailure");
    EXPECT_EQ(analytics.events[0].second.at("IntegrityCheckType"),
              "MissingGenerator.RegenerateComponents.UGeneratedElements");
    EXPECT_EQ(element->GetComponents(), before);
    ExpectSameState(state, StateOf(*element), 0.0, "orphan");
}

TEST(RegenerationTest, ElementWithoutGeneratorsComesThroughSilently) {
    testsupport::RecordingAnalytics& analytics = testsupport::Analytics();
    analytics.events.clear();
    std::unique_ptr<CCompositeGeometry> element = ULayoutGen::CElementBuilder()
                                                      .Catalogue("S200", "Maker", "Library", "")
                                                      .Straight(200.0, H0())
                                                      .Angle(15.0)
                                                      .Build();
    CBasicGeometry* straight = element->GetComponents().front();
    const tElementState state = StateOf(*element);
    LogWatch watch;
    UGeneratedElements::RegenerateComponents(element.get(), nullptr);
    ASSERT_EQ(element->GetComponents().size(), 1u);
    EXPECT_EQ(element->GetComponents().front(), straight);
    EXPECT_NEAR(element->GetAngle(), 15.0, 1e-9);
    EXPECT_TRUE(analytics.events.empty());
    EXPECT_EQ(watch.Count("Components empty"), 0);
    // Turned to 0 and back, moved to the origin and back: its ends stay put.
    ExpectSameState(state, StateOf(*element), 1e-6, "plain straight");

    // An element with nothing at all is reported as empty.
    CCompositeGeometry empty;
    LogWatch emptyWatch;
    UGeneratedElements::RegenerateComponents(&empty, nullptr);
    EXPECT_EQ(emptyWatch.Count("Components empty after regenerating in static CPoint "
                               "UGeneratedElements::RegenerateComponents(CCompositeGeometry *, "
                               "CReferencePointComparer *)"),
              1);
    bool reported = false;
    for (const auto& event : analytics.events)
        reported = reported ||
                   event.second.at("IntegrityCheckType") == "EmptyComponents.RegenerateComponents.UGeneratedElements";
    EXPECT_TRUE(reported);
}

TEST(RegenerationTest, ComparerPutsTheElementBackAtItsReference) {
    std::unique_ptr<CCompositeGeometry> element = StraightFlexElement(300.0, 300.0, 20.0);
    element->SetPosition(CPoint(200.0, 100.0));
    element->UpdateJoints();
    const CPoint before = element->GetJoints(kJointFilterAll).front()->GetLayoutPoint();

    // The reference moved by (5, 0) and turned by 10 degrees.
    CHandComparer comparer(element.get());
    comparer.StoreReference();
    comparer.point = CPoint(5.0, 0.0);
    comparer.angle = 10.0;
    UGeneratedElements::RestoreReferencePosition(element.get(), &comparer);

    EXPECT_NEAR(element->GetAngle(), 10.0, 1e-9);
    // Joint 0 turned about the origin by -10 degrees, then moved back 5 in x.
    const double turn = -10.0 * kRegenerationPi / 180.0;
    const CPoint after = element->GetJoints(kJointFilterAll).front()->GetLayoutPoint();
    EXPECT_NEAR(after.x, before.x * std::cos(turn) - before.y * std::sin(turn) - 5.0, 1e-6);
    EXPECT_NEAR(after.y, before.x * std::sin(turn) + before.y * std::cos(turn), 1e-6);

    // Through a regeneration: only the offset differs from one without it.
    std::unique_ptr<CCompositeGeometry> plain = StraightFlexElement(300.0, 300.0, 20.0);
    std::unique_ptr<CCompositeGeometry> moved = StraightFlexElement(300.0, 300.0, 20.0);
    CHandComparer shift(moved.get());
    shift.StoreReference();
    shift.point = CPoint(5.0, 0.0);
    UGeneratedElements::RegenerateComponents(plain.get(), nullptr);
    UGeneratedElements::RegenerateComponents(moved.get(), &shift);
    EXPECT_NEAR(moved->GetPosition().x, plain->GetPosition().x - 5.0, 1e-9);
    EXPECT_NEAR(moved->GetPosition().y, plain->GetPosition().y, 1e-9);
    EXPECT_NEAR(moved->GetAngle(), plain->GetAngle(), 1e-9);
}

TEST(RegenerationTest, GeneratorDoubleOfAnElement) {
    std::unique_ptr<CCompositeGeometry> element = StraightFlexElement(300.0, 300.0, 0.0);
    EXPECT_DOUBLE_EQ(UGeneratorParameters::GetGeneratorDouble(element.get(), 1, 7), 16.5);
    EXPECT_DOUBLE_EQ(UGeneratorParameters::GetGeneratorDouble(element.get(), 1, 5), 0.0);
    EXPECT_DOUBLE_EQ(UGeneratorParameters::GetGeneratorDouble(element.get(), 2, 7), 0.0);
    EXPECT_DOUBLE_EQ(UGeneratorParameters::GetGeneratorDouble(nullptr, 1, 7), 0.0);
}

}  // namespace
