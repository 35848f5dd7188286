// Connection maps, shortened tracks and the circle centre of curved flex
// tracks.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <stdexcept>
#include <vector>

#include "engine/generators/ShortenedTrackGenerator.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TrackConnections.h"
#include "tests/support/LogWatch.h"
#include "tools/layoutgen/LayoutComposer.h"
#include "tools/layoutgen/LayoutGen.h"

namespace {

using ULayoutGen::CElementBuilder;
using ULayoutGen::CLayoutComposer;
using ULayoutGen::tLayoutDocument;
using ULayoutGen::tPart;

CCompositeGeometry* At(tLayoutDocument& document, std::size_t index) { return document.elements.at(index).get(); }

// Joint 1 of element a to joint 0 of element b.
void Link(CCompositeGeometry* a, CCompositeGeometry* b) {
    CJoint::Connect(a->GetJoints(kJointFilterAll).at(1), b->GetJoints(kJointFilterAll).at(0));
}

double AngleGap(double a, double b) { return std::fabs(std::remainder(a - b, 360.0)); }

TEST(TrackConnections, LoneTrackMapsToAnEmptySet) {
    tLayoutDocument document;
    CLayoutComposer composer(document);
    composer.AddStraight(tPart{}, 100.0);
    CCompositeGeometry* lone = At(document, 0);

    tTrackConnectionMap map;
    UTrackConnectionMap::GetConnectedTracks(lone, map);
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.begin()->first, lone);
    EXPECT_TRUE(map.begin()->second.empty());
    EXPECT_EQ(UTrackConnectionMap::GetStartElement(map), lone);
    EXPECT_EQ(UTrackConnectionMap::GetStartElement(tTrackConnectionMap{}), nullptr);
}

TEST(TrackConnections, LoopGivesEveryTrackTwoNeighboursAndStartsAtTheFirstKey) {
    tLayoutDocument document;
    CLayoutComposer composer(document);
    for (int i = 0; i < 4; ++i) composer.AddCurve(tPart{}, 200.0, 90.0);
    for (int i = 0; i < 4; ++i) Link(At(document, i), At(document, (i + 1) % 4));
    // A loose track nearby stays out of the map.
    composer.AddStraight(tPart{}, 50.0, ULayoutGen::tPose{1000.0, 1000.0, 0.0, 0.0});

    tTrackConnectionMap map;
    UTrackConnectionMap::GetConnectedTracks(At(document, 2), map);
    ASSERT_EQ(map.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        const auto& neighbours = map.at(At(document, i));
        EXPECT_EQ(neighbours.size(), 2u) << i;
        EXPECT_TRUE(neighbours.count(At(document, (i + 1) % 4)) && neighbours.count(At(document, (i + 3) % 4))) << i;
    }
    CCompositeGeometry* lowest = At(document, 0);
    for (int i = 1; i < 4; ++i) lowest = std::min(lowest, At(document, i));
    EXPECT_EQ(UTrackConnectionMap::GetStartElement(map), lowest);
}

TEST(TrackConnections, LongChainIsWalkedWithoutExhaustingTheStack) {
    constexpr std::size_t kCount = 100000;
    tLayoutDocument document;
    CLayoutComposer composer(document);
    for (std::size_t i = 0; i < kCount; ++i) composer.AddStraight(tPart{}, 10.0);
    for (std::size_t i = 0; i + 1 < kCount; ++i) Link(At(document, i), At(document, i + 1));

    tTrackConnectionMap map;
    UTrackConnectionMap::GetConnectedTracks(At(document, 0), map);
    ASSERT_EQ(map.size(), kCount);
    EXPECT_EQ(map.at(At(document, 0)).size(), 1u);
    EXPECT_EQ(map.at(At(document, kCount / 2)).size(), 2u);
    EXPECT_EQ(map.at(At(document, kCount - 1)).size(), 1u);
    // Both ends qualify as start; the lower key wins.
    EXPECT_EQ(UTrackConnectionMap::GetStartElement(map), std::min(At(document, 0), At(document, kCount - 1)));
}

TEST(TrackLengthEditing, CircleCenterLiesLeftOfTheChordOrAtTheMidpoint) {
    struct Case {
        const char* name;
        CPoint a, b;
        double radius;
        double x, y;
    };
    const Case cases[] = {
        {"left of a to b", {0, 0}, {10, 0}, 13.0, 5.0, 12.0},
        {"left of b to a", {10, 0}, {0, 0}, 13.0, 5.0, -12.0},
        {"half chord", {0, 0}, {10, 0}, 5.0, 5.0, 0.0},
        {"radius below half chord", {0, 0}, {10, 0}, 3.0, 5.0, 0.0},
        {"one spot", {4, 6}, {4, 6}, 20.0, 4.0, 6.0},
    };
    for (const Case& c : cases) {
        const CPoint centre = UTrackLengthEditing::GetCircleCenter(c.a, c.b, c.radius);
        EXPECT_NEAR(centre.x, c.x, 1e-9) << c.name;
        EXPECT_NEAR(centre.y, c.y, 1e-9) << c.name;
        EXPECT_EQ(centre.z, 0.0) << c.name;
    }
}

TEST(TrackLengthEditing, CutControlPathKeepsEitherSideOfTheSplit) {
    const std::vector<CPoint> original = {{0, 0}, {10, 0}, {10, 10}};
    struct Case {
        const char* name;
        bool keepStart;
        std::vector<CPoint> expected;
    };
    const Case cases[] = {
        {"keep start", true, {{0, 0}, {5, 0}, {7.5, 2.5}}},
        {"keep end", false, {{7.5, 2.5}, {10, 5}, {10, 10}}},
    };
    for (const Case& c : cases) {
        std::vector<CPoint> points = original;
        UTrackLengthEditing::CutControlPathAtFactor(points, c.keepStart, 0.5);
        ASSERT_EQ(points.size(), c.expected.size()) << c.name;
        for (std::size_t i = 0; i < points.size(); ++i) {
            EXPECT_NEAR(points[i].x, c.expected[i].x, 1e-12) << c.name << " " << i;
            EXPECT_NEAR(points[i].y, c.expected[i].y, 1e-12) << c.name << " " << i;
        }
    }
    std::vector<CPoint> single = {{3, 4}};
    UTrackLengthEditing::CutControlPathAtFactor(single, true, 0.5);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].x, 3.0);
}

TEST(TrackLengthEditing, ShortenedCurveKeepsItsAnchorJoint) {
    auto curve = CElementBuilder().Curve(100.0, 30.0).Position(CPoint(50, 20)).Angle(35.0).Build();
    const tConstJoints before = curve->GetJoints(kJointFilterAll);
    const CPoint anchor = before.at(1)->GetLayoutPoint();
    const double anchorAngle = before.at(1)->GetAngle();

    std::unique_ptr<CCompositeGeometry> shortened(UTrackLengthEditing::CalculateShortenedTrack(curve.get(), 1, 0.5));
    ASSERT_NE(shortened, nullptr);
    auto* arc = dynamic_cast<CCurveBIG*>(shortened->GetComponents().at(0));
    ASSERT_NE(arc, nullptr);
    EXPECT_NEAR(arc->GetArcAngle(), 15.0, 1e-9);
    EXPECT_NEAR(arc->GetTrackLength(), 26.18, 0.005);
    const tConstJoints after = shortened->GetJoints(kJointFilterAll);
    EXPECT_NEAR(after.at(1)->GetLayoutPoint().x, anchor.x, 1e-6);
    EXPECT_NEAR(after.at(1)->GetLayoutPoint().y, anchor.y, 1e-6);
    EXPECT_NEAR(AngleGap(after.at(1)->GetAngle(), anchorAngle), 0.0, 1e-6);
    // The original is untouched.
    EXPECT_NEAR(dynamic_cast<CCurveBIG*>(curve->GetComponents().at(0))->GetArcAngle(), 30.0, 1e-12);
}

TEST(TrackLengthEditing, FactorsAndAnchorsOutOfRange) {
    auto straight = CElementBuilder().Straight(100.0).Position(CPoint(10, 10)).Angle(90.0).Build();
    const CPoint joint0 = straight->GetJoints(kJointFilterAll).at(0)->GetLayoutPoint();

    {
        testsupport::LogWatch watch;
        std::unique_ptr<CCompositeGeometry> copy(UTrackLengthEditing::CalculateShortenedTrack(straight.get(), 0, 1.5));
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(watch.Count("Invalid factor 1.50 supplied to"), 1);
        EXPECT_NEAR(copy->GetTrackLength(), 100.0, 1e-9);
        EXPECT_NEAR(copy->GetJoints(kJointFilterAll).at(0)->GetLayoutPoint().x, joint0.x, 1e-6);
        EXPECT_NEAR(copy->GetJoints(kJointFilterAll).at(0)->GetLayoutPoint().y, joint0.y, 1e-6);
    }
    {
        std::unique_ptr<CCompositeGeometry> copy(UTrackLengthEditing::CalculateShortenedTrack(straight.get(), 0, 0.25));
        ASSERT_NE(copy, nullptr);
        EXPECT_NEAR(copy->GetTrackLength(), 25.0, 1e-9);
        EXPECT_NEAR(copy->GetJoints(kJointFilterAll).at(0)->GetLayoutPoint().x, joint0.x, 1e-6);
        EXPECT_NEAR(copy->GetJoints(kJointFilterAll).at(0)->GetLayoutPoint().y, joint0.y, 1e-6);
    }
    {
        testsupport::LogWatch watch;
        EXPECT_EQ(UTrackLengthEditing::CalculateShortenedTrack(straight.get(), -1, 0.5), nullptr);
        EXPECT_EQ(watch.Count("Invalid anchor joint index -1 supplied to"), 1);
    }
    auto twoTracks = CElementBuilder().Straight(100.0).Straight(50.0).Build();
    twoTracks->SetElementType(0);
    {
        testsupport::LogWatch watch;
        EXPECT_EQ(UTrackLengthEditing::CalculateShortenedTrack(twoTracks.get(), 0, 0.5), nullptr);
        EXPECT_EQ(watch.Count("Unsupported track element in"), 1);
    }
    EXPECT_THROW(UTrackLengthEditing::CalculateShortenedTrack(nullptr, 0, 0.5), std::runtime_error);
}

TEST(TrackLengthEditing, ShortenedFlexTrackKeepsTheAnchoredEnd) {
    auto flex = CElementBuilder().FlexTrack(CPoint(0, 0), CPoint(100, 0), 500.0).Position(CPoint(30, 40)).Build();
    const tConstJoints joints = flex->GetJoints(kJointFilterAll);
    const CPoint start = joints.at(0)->GetLayoutPoint();
    const CPoint end = joints.at(1)->GetLayoutPoint();
    for (int anchor : {0, 1}) {
        std::unique_ptr<CCompositeGeometry> copy(UTrackLengthEditing::CalculateShortenedTrack(flex.get(), anchor, 0.3));
        ASSERT_NE(copy, nullptr) << anchor;
        EXPECT_NEAR(copy->GetTrackLength(), 30.0, 1e-6) << anchor;
        const CPoint kept = copy->GetJoints(kJointFilterAll).at(anchor)->GetLayoutPoint();
        const CPoint& expected = anchor == 0 ? start : end;
        EXPECT_NEAR(kept.x, expected.x, 1e-6) << anchor;
        EXPECT_NEAR(kept.y, expected.y, 1e-6) << anchor;
    }
}

TEST(ShortenedTrackGenerator, ParametersDescribeAndRebuildTheShortenedPiece) {
    CShortenedTrackComponentGenerator generator;
    auto curve = CElementBuilder().Catalogue("C30", "maker", "lib", "curve").Curve(100.0, 30.0).Build();
    tGeneratorParameters parameters = generator.DefaultParameters(curve.get());
    EXPECT_EQ(parameters.at(4).GetText(), "30.000000");
    EXPECT_EQ(parameters.at(35).GetText(), "30.000000");
    EXPECT_EQ(parameters.at(7).GetText(), "16.500000");
    EXPECT_EQ(parameters.at(8).GetText(), "40.000000");
    EXPECT_EQ(parameters.at(0).GetText(), "lib");
    EXPECT_EQ(parameters.at(1).GetText(), "C30");
    EXPECT_FALSE(parameters.count(2));

    parameters[4] = CGeneratorParameter("15");
    std::unique_ptr<CBasicGeometry> piece(
        CShortenedTrackComponentGenerator::ShortenedComponent(parameters, curve.get()));
    auto* arc = dynamic_cast<CCurveBIG*>(piece.get());
    ASSERT_NE(arc, nullptr);
    EXPECT_NEAR(arc->GetTrackLength(), 26.18, 0.005);
    parameters.erase(4);
    EXPECT_EQ(CShortenedTrackComponentGenerator::ShortenedComponent(parameters, curve.get()), nullptr);

    auto straight = CElementBuilder().Catalogue("S100", "maker", "lib", "straight").Straight(100.0).Build();
    const tGeneratorParameters straightParameters = generator.DefaultParameters(straight.get());
    EXPECT_EQ(straightParameters.at(2).GetText(), "100.000000");
    EXPECT_EQ(straightParameters.at(34).GetText(), "100.000000");
    EXPECT_FALSE(straightParameters.count(4));

    {
        testsupport::LogWatch watch;
        EXPECT_TRUE(generator.DefaultParameters(nullptr).empty());
        EXPECT_EQ(watch.Count("No proto library flex track provided to"), 1);
    }
    {
        testsupport::LogWatch watch;
        tGeneratorParameters missing;
        EXPECT_TRUE(generator.Generate(missing, nullptr).empty());
        EXPECT_EQ(watch.Count("Parameters missing for libraryName/elementName in"), 1);
    }
    EXPECT_THROW(generator.DefaultParameters(), std::runtime_error);
    EXPECT_TRUE(generator.HasElementActions());
}

TEST(ShortenedTrackGenerator, ElementActionMovesTheTrackComponent) {
    CShortenedTrackComponentGenerator generator;
    auto element = CElementBuilder().Poly({{0, 0}, {10, 0}, {10, 10}}, 1).Straight(40.0).Build();
    CBasicGeometry* track = element->GetComponents().at(1);
    tGeneratorParameters parameters{{42, CGeneratorParameter("0")}};
    generator.PerformElementActions(parameters, element.get());
    EXPECT_EQ(element->GetComponents().at(0), track);

    testsupport::LogWatch watch;
    tGeneratorParameters negative{{42, CGeneratorParameter("-2")}};
    generator.PerformElementActions(negative, element.get());
    EXPECT_EQ(watch.Count("Invalid component index -2"), 1);
    EXPECT_EQ(element->GetComponents().at(0), track);
}

}  // namespace
