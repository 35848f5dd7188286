// The layout view's drawing pass: the document background by the dark
// style, the grid over the workspace only when the layout asks, the render
// layers translated by the pan offset and scaled by the zoom.

#include <gtest/gtest.h>

#include <memory>

#include "LayoutModule/Layout/VKMLayoutView.h"
#include "engine/drawing/PathInstruction.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"

namespace {

int Grey(const platform::BitmapContext& canvas, int x, int y) { return canvas.pixel(x, y)->green; }

// Render data whose background layer is one red square of 10 layout units.
std::shared_ptr<VKMLayoutRenderData> RedSquare() {
    auto square =
        new CPathDrawingInstruction(kDrawingStyleFill, false, CColor(1.0, 0.0, 0.0, 1.0), CColor(1.0, 0.0, 0.0, 1.0));
    square->AddLineTo(CPoint(0, 0));
    square->AddLineTo(CPoint(10, 0));
    square->AddLineTo(CPoint(10, 10));
    square->AddLineTo(CPoint(0, 10));
    square->CalcBoundingBox();
    tDrawingInstructions list = {square};
    auto renderData = std::make_shared<VKMLayoutRenderData>();
    renderData->setBackgroundData(VKMDrawingInstructionsRenderData::renderDataWithDrawingInstructions(&list));
    return renderData;
}

}  // namespace

TEST(LayoutViewDrawing, BackgroundAndGridFollowTheDarkStyleAndTheShowGridFlag) {
    layouttest::RegisterServices();
    platform::Locale::setCurrent("de_DE");
    CLayout layout;
    layout.SetWorkspaceSize(3000, 1000);
    layout.SetZoom(0.1);  // 10 cm lines 10 points apart, main lines every 100 points
    struct Case {
        const char* name;
        bool dark;
        bool grid;
        int background;
        bool lines;  // a main line at x = 99.5
    };
    const Case cases[] = {
        {"light with grid", false, true, 255, true},
        {"dark with grid", true, true, 51, true},
        {"light without grid", false, false, 255, false},
        {"dark without grid", true, false, 51, false},
    };
    for (const Case& c : cases) {
        platform::UserDefaults::standard().setBool(VKMLayoutView::kDarkBackgroundKey, c.dark);
        layout.GetParameters().mShowGrid = c.grid;
        auto canvas = layouttest::Canvas(120, 40);
        VKMLayoutView::drawLayout(*canvas, {0, 0, 120, 40}, &layout, nullptr, {0, 0});
        EXPECT_NEAR(Grey(*canvas, 95, 20), c.background, 2) << c.name;
        if (!c.lines) {
            EXPECT_NEAR(Grey(*canvas, 99, 20), c.background, 2) << c.name;
        } else if (c.dark) {
            EXPECT_GT(Grey(*canvas, 99, 20), c.background + 40) << c.name << ": white lines";
        } else {
            EXPECT_LT(Grey(*canvas, 99, 20), c.background - 40) << c.name << ": dark grey lines";
        }
    }
    platform::UserDefaults::standard().removeObject(VKMLayoutView::kDarkBackgroundKey);
}

TEST(LayoutViewDrawing, LayersAreTranslatedByTheOffsetAndScaledByTheZoom) {
    layouttest::RegisterServices();
    CLayout layout;
    layout.GetParameters().mShowGrid = false;
    layout.SetWorkspaceSize(100, 100);
    layout.SetZoom(2.0);
    const auto renderData = RedSquare();
    // The square covers layout (0..10): view (0..20) at zoom 2, moved by
    // (-5, -5).
    auto canvas = layouttest::Canvas(40, 40);
    VKMLayoutView::drawLayout(*canvas, {0, 0, 40, 40}, &layout, renderData.get(), {-5, -5});
    EXPECT_TRUE(layouttest::PixelNear(*canvas, 2, 2, 255, 0, 0, 255));
    EXPECT_TRUE(layouttest::PixelNear(*canvas, 13, 13, 255, 0, 0, 255));
    EXPECT_TRUE(layouttest::PixelNear(*canvas, 17, 17, 255, 255, 255, 255));

    // Only the dirty rectangle is painted.
    auto part = layouttest::Canvas(40, 40);
    VKMLayoutView::drawLayout(*part, {10, 10, 30, 30}, &layout, renderData.get(), {0, 0});
    EXPECT_TRUE(layouttest::PixelNear(*part, 15, 15, 255, 0, 0, 255));
    EXPECT_TRUE(layouttest::PixelNear(*part, 5, 5, 0, 0, 0, 0));

    // Without a layout only the background is drawn.
    auto empty = layouttest::Canvas(40, 40);
    VKMLayoutView::drawLayout(*empty, {0, 0, 40, 40}, nullptr, renderData.get(), {0, 0});
    EXPECT_TRUE(layouttest::PixelNear(*empty, 5, 5, 255, 255, 255, 255));

    layout.SetZoom(0.5);
    layout.SetWorkspaceSize(3000, 1200);
    EXPECT_EQ(VKMLayoutView::intrinsicContentSize(layout), (platform::Size{1500, 600}));
}
