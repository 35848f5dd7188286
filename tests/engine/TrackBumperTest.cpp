// Track bumpers: the components of each kind, how far in from the track end
// they sit, and closing and reopening the bumpered end.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "engine/generators/TrackBumperGenerator.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/StraightBIG.h"
#include "engine/services/Logger.h"
#include "tests/support/GeometryChecks.h"
#include "tests/support/LogWatch.h"
#include "platform/foundation/OwnedList.h"

using testsupport::ExpectPoint;

namespace {

// A 100 long straight of gauge 16.5 on a 45 wide trackbed with rails 1 wide:
// joint 0 at (0, 16.5) facing 0 degrees, joint 1 at (100, 16.5) facing 180.
std::unique_ptr<CCompositeGeometry> StraightTrack() {
    auto element = std::make_unique<CCompositeGeometry>();
    auto* straight = new CStraightBIG();
    straight->SetLength(100);
    straight->SetGauge(16.5);
    straight->SetTrackbedWidth(45);
    straight->SetRailWidth(1);
    EXPECT_TRUE(UElementComponents::AppendComponent(element.get(), straight));
    element->UpdateJoints();
    return element;
}

struct Generated {
    explicit Generated(tComponents list) : components(std::move(list)) {}
    ~Generated() { platform::DeleteAll(components); }
    tComponents components;
};

tGeneratorParameters Bumper(int type, int joint = 0, const char* color = "#FF102030") {
    tGeneratorParameters parameters;
    parameters.emplace(31, CGeneratorParameter(joint));
    parameters.emplace(39, CGeneratorParameter(color));
    parameters.emplace(40, CGeneratorParameter(type));
    return parameters;
}

CPoint BoxCentre(CBasicGeometry* component) {
    const tDoubleRect box = component->CalcBoundingBox(0);
    return CPoint((box.minX + box.maxX) / 2, (box.minY + box.maxY) / 2);
}

}  // namespace

TEST(TrackBumperGenerator, DefaultsAndKindsInTheirOrder) {
    CTrackBumperComponentGenerator generator;
    const tGeneratorParameters defaults = generator.DefaultParameters();
    ASSERT_EQ(defaults.size(), 3u);
    EXPECT_EQ(defaults.at(40).GetText(), "0");
    EXPECT_EQ(defaults.at(41).GetText(), "85");
    EXPECT_EQ(defaults.at(39).GetText(), "#FF999999");
    EXPECT_TRUE(generator.HasElementActions());

    const CColor chosen = CColor::FromHexString("#FF102030");
    struct Case {
        const char* name;
        int type;
        std::vector<CColor> colors;
        // "Adjusting insetMM" line: depth = 16.5 x the kind's factor, and the
        // best factor of the search (the end moves 0.1 per step).
        const char* inset;
    };
    const std::vector<Case> cases = {
        {"bracket",
         kBumperTypeBracket,
         {chosen, CColor::Gray20()},
         "insetMM = 9.9, best distance = 0.00, factor = 0.901"},
        {"hayes",
         kBumperTypeHayes,
         {chosen, CColor::Gray25(), CColor::Gray25(), CColor::Gray25(), CColor::Gray25(), CColor::Gray25()},
         "best distance = 0.03, factor = 0.876"},
        {"earthen",
         kBumperTypeEarthen,
         {chosen, CColor::Gray20()},
         "insetMM = 14.0, best distance = 0.03, factor = 0.860"},
        {"friction", kBumperTypeFriction, {chosen, chosen, CColor::Gray25(), CColor::Black()}, "factor = 0.728 (#283)"},
    };
    testsupport::ScopedLogLevel debug(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto element = StraightTrack();
        tGeneratorParameters parameters = Bumper(c.type);
        testsupport::LogWatch watch;
        Generated bumper(generator.Generate(parameters, element.get()));
        ASSERT_EQ(bumper.components.size(), c.colors.size());
        for (std::size_t i = 0; i < c.colors.size(); ++i) {
            EXPECT_NE(dynamic_cast<CPolyBIG*>(bumper.components[i]), nullptr) << i;
            EXPECT_EQ(bumper.components[i]->GetFixedColor().ToHexString(), c.colors[i].ToHexString()) << i;
        }
        EXPECT_EQ(watch.Count(c.inset), 1);
        EXPECT_EQ(watch.Count("User Bumper Inset Factor = 0.75"), 1);
    }
}

TEST(TrackBumperGenerator, BracketSitsInFromTheEnd) {
    CTrackBumperComponentGenerator generator;
    // s = 45 / 90 = 0.5: the outline is 14.6315 wide; the bar 6.25 wide sits
    // 3.125 + 7.31575 further along the bumper's direction.
    struct Case {
        const char* name;
        int joint;
        const char* percent;  // key 41, null when absent
        double x;             // where the shortened end lies
        double angle;
    };
    const std::vector<Case> cases = {
        // Inset 0.099 (depth 9.9 of 100); factor 0.75 - 0.099 leaves joint 0
        // at 100 x (1 - 0.651).
        {"joint 0, default inset", 0, nullptr, 34.9, 0},
        {"joint 0, 85 percent", 0, "85", 24.9, 0},
        {"joint 0, 50 percent raised to 60", 0, "50", 49.9, 0},
        {"joint 1, default inset", 1, nullptr, 65.1, 180},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto element = StraightTrack();
        tGeneratorParameters parameters = Bumper(kBumperTypeBracket, c.joint);
        if (c.percent != nullptr) parameters.emplace(41, CGeneratorParameter(c.percent));
        Generated bumper(generator.Generate(parameters, element.get()));
        ASSERT_EQ(bumper.components.size(), 2u);
        EXPECT_NEAR(bumper.components[0]->GetAngle(), c.angle, 1e-9);
        ExpectPoint(BoxCentre(bumper.components[0]), c.x, 16.5, 1e-6, "outline");
        const tDoubleRect outline = bumper.components[0]->CalcBoundingBox(0);
        EXPECT_NEAR(outline.maxX - outline.minX, 14.6315, 1e-6);
        EXPECT_NEAR(outline.maxY - outline.minY, 31.5, 1e-6);
        const double along = c.angle == 0 ? 10.44075 : -10.44075;
        ExpectPoint(BoxCentre(bumper.components[1]), c.x + along, 16.5, 1e-6, "bar");
    }
}

TEST(TrackBumperGenerator, TurnedTrackKeepsTheBumperOnItsLine) {
    CTrackBumperComponentGenerator generator;
    for (double turn : {90.0, 210.0}) {
        SCOPED_TRACE(turn);
        auto element = StraightTrack();
        element->SetAngle(turn);
        element->UpdateJoints();
        const tConstJoints joints = element->GetJoints(kJointFilterAll);
        ASSERT_EQ(joints.size(), 2u);
        const CPoint from = joints[1]->GetLayoutPoint();
        const CPoint to = joints[0]->GetLayoutPoint();
        // Joint 1 with the default inset: 34.9 of the 100 in from its end.
        tGeneratorParameters parameters = Bumper(kBumperTypeBracket, 1);
        Generated bumper(generator.Generate(parameters, element.get()));
        ASSERT_EQ(bumper.components.size(), 2u);
        ExpectPoint(BoxCentre(bumper.components[0]), from.x + (to.x - from.x) * 0.349, from.y + (to.y - from.y) * 0.349,
                    1e-6, "outline");
        EXPECT_NEAR(std::remainder(bumper.components[0]->GetAngle() - joints[1]->GetAngle(), 360.0), 0.0, 1e-9);
    }
}

TEST(TrackBumperGenerator, CurveAndFlexEndsCanBeShortened) {
    CTrackBumperComponentGenerator generator;
    auto curved = std::make_unique<CCompositeGeometry>();
    auto* curve = new CCurveBIG();
    curve->SetRadius(360);
    curve->SetArcAngle(30);
    curve->SetGauge(16.5);
    curve->SetTrackbedWidth(45);
    ASSERT_TRUE(UElementComponents::AppendComponent(curved.get(), curve));
    auto flexed = std::make_unique<CCompositeGeometry>();
    ASSERT_TRUE(UElementComponents::AppendComponent(
        flexed.get(), UElementComponents::CreateFlexTrackComponent(CPoint(0, 0), CPoint(200, 0), true, true, 0, 0, 500,
                                                                   16.5, 45, 1)));
    for (CCompositeGeometry* element : {curved.get(), flexed.get()}) {
        for (int joint : {0, 1}) {
            element->UpdateJoints();
            const CPoint end = element->GetJoints(kJointFilterAll)[joint]->GetLayoutPoint();
            tGeneratorParameters parameters = Bumper(kBumperTypeFriction, joint);
            testsupport::LogWatch watch;
            Generated bumper(generator.Generate(parameters, element));
            EXPECT_EQ(bumper.components.size(), 4u);
            EXPECT_EQ(watch.Count("Failed to"), 0);
            EXPECT_EQ(watch.Count("Unsupported track element"), 0);
            // The block sits in from the end, well inside the track.
            const double distance = BoxCentre(bumper.components[2]).Distance2D(end);
            EXPECT_GT(distance, 20.0) << joint;
            EXPECT_LT(distance, element->GetTrackLength() * 0.6) << joint;
        }
    }
}

TEST(TrackBumperGenerator, RefusalsGiveNothing) {
    CTrackBumperComponentGenerator generator;
    auto element = StraightTrack();

    testsupport::ScopedLogLevel debug(1);
    testsupport::LogWatch watch;
    tGeneratorParameters unknown = Bumper(4);
    EXPECT_TRUE(Generated(generator.Generate(unknown, element.get())).components.empty());
    EXPECT_EQ(watch.Count("Bumper type <4> not supported by"), 1);
    // The search has run, with depth 0.
    EXPECT_EQ(watch.Count("Adjusting insetMM for bumper location: insetMM = 0.0"), 1);

    tGeneratorParameters third = Bumper(kBumperTypeBracket, 2);
    EXPECT_TRUE(Generated(generator.Generate(third, element.get())).components.empty());
    tGeneratorParameters none = Bumper(kBumperTypeBracket);
    EXPECT_TRUE(Generated(generator.Generate(none, nullptr)).components.empty());
}

TEST(TrackBumperGenerator, ElementActionsCloseAndReopenTheEnd) {
    CTrackBumperComponentGenerator generator;
    auto element = StraightTrack();
    CBasicGeometry* track = element->GetComponents().front();
    tGeneratorParameters parameters = Bumper(kBumperTypeBracket, 1);

    generator.PerformElementActions(parameters, element.get());
    EXPECT_FALSE(track->IsJointEnabled(1));
    EXPECT_FALSE(track->GetJoint(1)->IsFree());
    EXPECT_TRUE(track->IsJointEnabled(0));
    EXPECT_TRUE(track->GetJoint(0)->IsFree());

    generator.ResetElementActions(parameters, element.get());
    EXPECT_TRUE(track->IsJointEnabled(1));
    EXPECT_TRUE(track->GetJoint(1)->IsFree());

    // An index from a file that names no end: one warning, and no joint is
    // touched.
    for (int index : {2, -1, 7}) {
        SCOPED_TRACE(index);
        tGeneratorParameters bad = Bumper(kBumperTypeBracket, index);
        testsupport::LogWatch watch;
        generator.PerformElementActions(bad, element.get());
        generator.ResetElementActions(bad, element.get());
        EXPECT_EQ(watch.Count("Invalid joint index " + std::to_string(index)), 2);
        EXPECT_EQ(watch.Count("Could not retrieve joint"), 0);
        EXPECT_EQ(watch.Count("could not retrieve track component"), 0);
        for (int j : {0, 1}) {
            EXPECT_TRUE(track->IsJointEnabled(j)) << j;
            EXPECT_TRUE(track->GetJoint(j)->IsFree()) << j;
        }
    }

    testsupport::LogWatch watch;
    CCompositeGeometry empty;
    generator.PerformElementActions(parameters, &empty);
    EXPECT_EQ(watch.Count("Error - could not retrieve track component from element in virtual void "
                          "CTrackBumperComponentGenerator::PerformElementActions"),
              1);
}
