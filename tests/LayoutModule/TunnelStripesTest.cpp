// Tunnel stripes: the dashed bands the elements layer draws over each
// visible layer's tunnel tracks.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "LayoutView/Drawing/VKMLayoutElementsPainter.h"
#include "LayoutView/Drawing/VKMTunnelTrackOverlayPainter.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/Layer.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tools/layoutgen/LayoutGen.h"
#include "platform/foundation/OwnedList.h"

namespace {

struct OwnedInstructions {
    tDrawingInstructions list;
    ~OwnedInstructions() { platform::DeleteAll(list); }
};

std::vector<CPoint> LineToPoints(const CPathDrawingInstruction& path) {
    std::vector<CPoint> points;
    for (const auto& step : path.mPathMicroInstructions) {
        if (auto* line = std::get_if<CPathLineToMicroInstruction>(&step)) points.push_back(line->mPoint);
    }
    return points;
}

TEST(TunnelStripes, ThinningKeepsTheFirstPointAndDropsCloseOnes) {
    struct Case {
        const char* name;
        std::vector<CPoint> points;
        std::vector<CPoint> kept;
    };
    const Case cases[] = {
        {"first near the origin",
         {{0.2, 0.1}, {0.4, 0.3}, {10, 0}, {10.3, 0.2}, {20, 5}},
         {{0.2, 0.1}, {10, 0}, {20, 5}}},
        {"first on the origin", {{0, 0}, {10, 0}}, {{0, 0}, {10, 0}}},
        {"all close together", {{50, 50}, {50.4, 50.4}, {50.5, 49.5}}, {{50, 50}}},
        {"one axis is enough", {{5, 5}, {5.6, 5}, {5.6, 5.51}}, {{5, 5}, {5.6, 5}, {5.6, 5.51}}},
    };
    CLayer layer("Tunnels");
    for (const Case& c : cases) {
        OwnedInstructions out;
        VKMTunnelTrackOverlayPainter::painter()->renderOutline(c.points, 8.0, CColor(0.3, 0.75), out.list, &layer);
        ASSERT_EQ(out.list.size(), 1u) << c.name;
        auto* path = dynamic_cast<CPathDrawingInstruction*>(out.list[0]);
        ASSERT_NE(path, nullptr) << c.name;
        const std::vector<CPoint> kept = LineToPoints(*path);
        ASSERT_EQ(kept.size(), c.kept.size()) << c.name;
        for (std::size_t i = 0; i < kept.size(); ++i) {
            EXPECT_DOUBLE_EQ(kept[i].x, c.kept[i].x) << c.name << " " << i;
            EXPECT_DOUBLE_EQ(kept[i].y, c.kept[i].y) << c.name << " " << i;
        }
        EXPECT_TRUE(path->mUseStroke);
        EXPECT_FALSE(path->mUseFill);
        EXPECT_EQ(path->mStrokeColor, CColor(0.3, 0.75));
        EXPECT_DOUBLE_EQ(path->mLineWidth, 8.0);
        EXPECT_TRUE(path->mDrawWithDash);
        EXPECT_DOUBLE_EQ(path->mDashPattern[0], 4.0);
        EXPECT_DOUBLE_EQ(path->mDashPattern[1], 4.0);
        ASSERT_TRUE(path->GetOwnerLayer().has_value());
        EXPECT_EQ(path->GetOwnerLayer()->mName, "Tunnels");
    }
}

TEST(TunnelStripes, LayerStripesFollowTheTunnelDisplayMode) {
    layouttest::RegisterServices();
    CLayer layer("Mountain");
    auto first = ULayoutGen::CElementBuilder().Straight(100.0).Trims(0, 100).Build();
    auto second = ULayoutGen::CElementBuilder().Straight(100.0).Position(CPoint(100, 0)).Trims(0, 100).Build();
    auto plain = ULayoutGen::CElementBuilder().Straight(100.0).Position(CPoint(0, 300)).Build();
    for (CCompositeGeometry* e : {first.get(), second.get(), plain.get()}) e->SetLayer(&layer);
    CJoint::Connect(first->GetJoints(kJointFilterAll).at(1), second->GetJoints(kJointFilterAll).at(0));
    const tElements elements = {plain.get(), first.get(), second.get()};

    struct Case {
        const char* name;
        std::int32_t trackStyle;
        std::int32_t tunnelMode;
        std::size_t stripes;
        CColor color;
        double width;
    };
    const Case cases[] = {
        {"normal", 0, 0, 1, CColor(1.0, 0.75), 16.5 * 1.025},
        {"shown, full bed", 0x20, 1, 1, CColor(0.3, 0.75), 40.0 * 1.025},
        {"hidden", 0x20, 2, 0, CColor(), 0.0},
    };
    for (const Case& c : cases) {
        OwnedInstructions out;
        VKMLayoutElementsPainter::drawOverlaysForElements(elements, c.trackStyle, c.tunnelMode, out.list);
        ASSERT_EQ(out.list.size(), c.stripes) << c.name;
        if (c.stripes == 0) continue;
        auto* path = dynamic_cast<CPathDrawingInstruction*>(out.list[0]);
        ASSERT_NE(path, nullptr) << c.name;
        EXPECT_EQ(path->mStrokeColor, c.color) << c.name;
        EXPECT_NEAR(path->mStrokeColor.mAlpha, 0.75, 1e-12) << c.name;
        EXPECT_DOUBLE_EQ(path->mLineWidth, c.width) << c.name;
        // Both tracks in one band; the shared point is kept once.
        EXPECT_EQ(LineToPoints(*path).size(), 3u) << c.name;
        EXPECT_EQ(path->GetOwnerLayer()->mName, "Mountain") << c.name;
    }

    OwnedInstructions none;
    VKMTunnelTrackOverlayPainter::painter()->drawTunnelForElements({}, false, CColor(1.0, 0.75), none.list);
    EXPECT_TRUE(none.list.empty());
}

}  // namespace
