// Joining tunnel sections into continuous paths, and the tunnel portals.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "engine/generators/TunnelPortalGenerator.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/Layer.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/RailConstants.h"
#include "engine/model/TunnelPaths.h"
#include "engine/services/Logger.h"
#include "tests/support/LogWatch.h"
#include "tools/layoutgen/LayoutComposer.h"
#include "tools/layoutgen/LayoutGen.h"

namespace {

using ULayoutGen::CElementBuilder;
using ULayoutGen::CLayoutComposer;
using ULayoutGen::tLayoutDocument;
using ULayoutGen::tPart;
using ULayoutGen::tPose;

tPart TunnelPart(int startTrim = 0, int endTrim = 100) {
    tPart part;
    part.startTrim = startTrim;
    part.endTrim = endTrim;
    return part;
}

void LinkTracks(CCompositeGeometry* a, CCompositeGeometry* b) {
    CJoint::Connect(a->GetJoints(kJointFilterAll).at(1), b->GetJoints(kJointFilterAll).at(0));
}

tElements All(tLayoutDocument& document) {
    tElements elements;
    for (auto& element : document.elements) elements.push_back(element.get());
    return elements;
}

bool Near(const CPoint& p, double x, double y) { return std::fabs(p.x - x) < 1e-6 && std::fabs(p.y - y) < 1e-6; }

// Turns debug switch 17 on for a scope.
struct TunnelDebugLines {
    TunnelDebugLines() { CDebugFlags::Get().Set(17, true); }
    ~TunnelDebugLines() { CDebugFlags::Get().Set(17, false); }
    testsupport::ScopedLogLevel level{1};
};

TEST(TunnelPaths, TracksEndToEndFormOnePathWithTheSharedPointTwice) {
    tLayoutDocument document;
    CLayoutComposer composer(document);
    composer.AddStraight(TunnelPart(), 100.0);
    composer.AddStraight(TunnelPart(), 100.0);
    LinkTracks(document.elements[0].get(), document.elements[1].get());

    for (int widthType : {0, 1}) {
        const tTunnelSectionPaths paths = UContiguousTunnelPaths::GetPathsForTunnelTracks(All(document), widthType);
        ASSERT_EQ(paths.size(), 1u);
        const auto& points = paths[0].points;
        ASSERT_EQ(points.size(), 4u);
        EXPECT_TRUE(Near(points[1], 100, 0) && Near(points[2], 100, 0));
        EXPECT_TRUE((Near(points[0], 0, 0) && Near(points[3], 200, 0)) ||
                    (Near(points[0], 200, 0) && Near(points[3], 0, 0)));
        EXPECT_DOUBLE_EQ(paths[0].width, widthType == 0 ? 16.5 : 40.0);
    }
}

TEST(TunnelPaths, GapsBeyondAQuarterGaugeSplitThePath) {
    struct Case {
        const char* name;
        double gap;
        std::size_t paths;
    };
    // A quarter of gauge 16.5 is 4.125.
    const Case cases[] = {{"gap 3", 3.0, 1}, {"gap 5", 5.0, 2}};
    for (const Case& c : cases) {
        tLayoutDocument document;
        CLayoutComposer composer(document);
        composer.AddStraight(TunnelPart(), 100.0);
        composer.AddStraight(TunnelPart(), 100.0, tPose{100.0 + c.gap, 0.0, 0.0, 0.0});
        LinkTracks(document.elements[0].get(), document.elements[1].get());
        EXPECT_EQ(UContiguousTunnelPaths::GetPathsForTunnelTracks(All(document), 0).size(), c.paths) << c.name;
    }
}

TEST(TunnelPaths, HiddenTunnelTrackIsWalkedThroughButDrawsNothing) {
    tLayoutDocument document;
    CLayoutComposer composer(document);
    composer.AddStraight(TunnelPart(), 100.0);
    composer.AddStraight(TunnelPart(), 100.0);
    composer.AddStraight(TunnelPart(), 100.0);
    LinkTracks(document.elements[0].get(), document.elements[1].get());
    LinkTracks(document.elements[1].get(), document.elements[2].get());
    CLayer hidden("Tunnels");
    hidden.SetVisible(false);
    document.elements[1]->SetLayer(&hidden);

    TunnelDebugLines debug;
    testsupport::LogWatch watch;
    const tTunnelSectionPaths paths = UContiguousTunnelPaths::GetPathsForTunnelTracks(All(document), 0);
    ASSERT_EQ(paths.size(), 2u);
    for (const auto& path : paths) {
        ASSERT_EQ(path.points.size(), 2u);
        for (const CPoint& point : path.points) EXPECT_FALSE(point.x > 100.0 + 1e-6 && point.x < 200.0 - 1e-6);
    }
    // Both outer tracks fell into one group: the second could not be joined
    // to the first one's path.
    EXPECT_EQ(watch.Count("AppendAsContiguousPath() - Could not append to existing path with tolerance = 4.12"), 1);
    EXPECT_EQ(watch.Count("Created 2 tunnel section paths for tunnel tracks in layout"), 1);
}

TEST(TunnelPaths, NoTunnelTracksNoPathsAndNoLogLine) {
    tLayoutDocument document;
    CLayoutComposer composer(document);
    composer.AddStraight(tPart{}, 100.0);
    composer.AddCurve(tPart{}, 300.0, 30.0);
    TunnelDebugLines debug;
    testsupport::LogWatch watch;
    EXPECT_TRUE(UContiguousTunnelPaths::GetPathsForTunnelTracks(All(document), 0).empty());
    EXPECT_TRUE(UContiguousTunnelPaths::GetPathsForTunnelTracks({}, 1).empty());
    EXPECT_EQ(watch.Count("tunnel section paths"), 0);
}

TEST(TunnelPaths, PartialTunnelCoversItsShareOfTheTrack) {
    tLayoutDocument document;
    CLayoutComposer composer(document);
    composer.AddStraight(TunnelPart(25, 75), 100.0, tPose{10.0, 5.0, 0.0, 0.0});
    const tTunnelSectionPaths paths = UContiguousTunnelPaths::GetPathsForTunnelTracks(All(document), 0);
    ASSERT_EQ(paths.size(), 1u);
    ASSERT_EQ(paths[0].points.size(), 2u);
    EXPECT_TRUE(Near(paths[0].points[0], 35, 5));
    EXPECT_TRUE(Near(paths[0].points[1], 85, 5));
}

TEST(TunnelPaths, AppendJoinsAtTheNearestEnds) {
    const std::vector<CPoint> p = {{0, 0}, {10, 0}};
    struct Case {
        const char* name;
        std::vector<CPoint> q;
        std::vector<CPoint> expected;
    };
    const Case cases[] = {
        {"first to first", {{0, 0}, {-10, 0}}, {{10, 0}, {0, 0}, {0, 0}, {-10, 0}}},
        {"first to last", {{-10, 0}, {0, 0}}, {{10, 0}, {0, 0}, {0, 0}, {-10, 0}}},
        {"last to first", {{10, 0}, {20, 0}}, {{0, 0}, {10, 0}, {10, 0}, {20, 0}}},
        {"last to last", {{20, 0}, {10, 0}}, {{0, 0}, {10, 0}, {10, 0}, {20, 0}}},
        // Both ends of q touch p: the lower case wins.
        {"tie", {{0, 0}, {10, 0}}, {{10, 0}, {0, 0}, {0, 0}, {10, 0}}},
    };
    for (const Case& c : cases) {
        std::vector<std::vector<CPoint>> paths = {p};
        UContiguousTunnelPaths::AppendAsContiguousPath(paths, c.q, 0.5);
        ASSERT_EQ(paths.size(), 1u) << c.name;
        ASSERT_EQ(paths[0].size(), c.expected.size()) << c.name;
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_TRUE(Near(paths[0][i], c.expected[i].x, c.expected[i].y)) << c.name << " " << i;
        }
    }
    std::vector<std::vector<CPoint>> paths = {p};
    UContiguousTunnelPaths::AppendAsContiguousPath(paths, {{10.6, 0}, {20, 0}}, 0.5);
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(paths[0].size(), 2u);
}

TEST(TunnelPortalGenerator, DefaultsAndStyles) {
    CTunnelPortalComponentGenerator generator;
    const tGeneratorParameters defaults = generator.DefaultParameters();
    ASSERT_EQ(defaults.size(), 2u);
    EXPECT_EQ(defaults.at(27).GetText(), "2");
    EXPECT_EQ(defaults.at(28).GetText(), "#FF999999");

    ASSERT_DOUBLE_EQ(URailConstants::GetGaugeForModelScale(16), 16.5);
    // Bed width twice the H0 gauge keeps the table's size.
    auto element = CElementBuilder().Straight(100.0, {16.5, 33.0, 1.0}).Build();
    const CPoint joint0 = element->GetJoints(kJointFilterAll).at(0)->GetLayoutPoint();

    // Angle -90 cancels the quarter turn: the points are the table less the anchor.
    tGeneratorParameters parameters = defaults;
    parameters[29] = CGeneratorParameter("-90");
    parameters[32] = CGeneratorParameter("7");
    parameters[33] = CGeneratorParameter("-3");
    tComponents made = generator.Generate(parameters, element.get());
    ASSERT_EQ(made.size(), 1u);
    std::unique_ptr<CBasicGeometry> owned(made[0]);
    auto* polygon = dynamic_cast<CPolyBIG*>(made[0]);
    ASSERT_NE(polygon, nullptr);
    const auto& points = polygon->GetPoints();
    ASSERT_EQ(points.size(), 13u);
    EXPECT_NEAR(points[0].x, -35.0, 1e-9);
    EXPECT_NEAR(points[0].y, 69.75, 1e-9);
    EXPECT_NEAR(points[4].x, 35.0, 1e-9);
    EXPECT_NEAR(points[4].y, 19.75, 1e-9);
    EXPECT_NEAR(polygon->GetOffsetX(), joint0.x + 7.0, 1e-9);
    EXPECT_NEAR(polygon->GetOffsetY(), joint0.y - 3.0, 1e-9);
    EXPECT_TRUE(polygon->IsColorLocked());
    EXPECT_EQ(polygon->GetFixedColor(), CColor(0.6, 1.0));

    // Angle 0: a quarter turn, so the 70-unit width lies along y.
    parameters[29] = CGeneratorParameter("0");
    parameters[31] = CGeneratorParameter("9");  // no such joint: offset only
    parameters[28] = CGeneratorParameter("grey");
    made = generator.Generate(parameters, element.get());
    ASSERT_EQ(made.size(), 1u);
    owned.reset(made[0]);
    polygon = dynamic_cast<CPolyBIG*>(made[0]);
    EXPECT_NEAR(polygon->GetPoints()[0].x, -69.75, 1e-9);
    EXPECT_NEAR(polygon->GetPoints()[0].y, -35.0, 1e-9);
    EXPECT_NEAR(polygon->GetOffsetX(), 7.0, 1e-9);
    EXPECT_NEAR(polygon->GetOffsetY(), -3.0, 1e-9);
    EXPECT_EQ(polygon->GetFixedColor(), CColor(1.0, 1.0));

    const std::size_t counts[] = {33, 13, 9, 38};
    for (int style = 1; style <= 4; ++style) {
        parameters[27] = CGeneratorParameter(style);
        made = generator.Generate(parameters, element.get());
        ASSERT_EQ(made.size(), 1u) << style;
        owned.reset(made[0]);
        EXPECT_EQ(dynamic_cast<CPolyBIG*>(made[0])->GetPoints().size(), counts[style - 1]) << style;
    }
    owned.reset();
    for (int style : {0, 5}) {
        parameters[27] = CGeneratorParameter(style);
        EXPECT_TRUE(generator.Generate(parameters, element.get()).empty()) << style;
    }
}

}  // namespace
