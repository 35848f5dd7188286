// Render data built from layouts that layoutgen writes: which layer of the
// render data holds what, in which order, what hidden layers add (nothing),
// and the document left exactly as it was by every build, also by one that
// throws. Layers release their instructions once, last first, off the
// caller's thread.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "LayoutView/Drawing/VKMDrawingInstructionsRenderData.h"
#include "LayoutView/Drawing/VKMImagesPainter.h"
#include "LayoutView/Drawing/VKMLayoutElementsOverlayPainter.h"
#include "LayoutView/Drawing/VKMLayoutRenderData.h"
#include "LayoutModule/Layout/VKMLayoutView.h"
#include "LayoutView/Drawing/VKMRenderDataFactory.h"
#include "engine/drawing/GraphicsStateInstruction.h"
#include "engine/drawing/ImageInstruction.h"
#include "engine/drawing/TextInstruction.h"
#include "engine/drawing/TransientEdits.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/support/TestPictures.h"

namespace {

const char* const kLayersScenario = R"(version 13
param grid off
param display-flags 0x1
layer "Top"
layer "Bottom"
layer "BoardsA" type=baseboard
layer "BoardsB" type=baseboard
layer "Plan" type=image
on "Top"
straight length=200 at=0,0 angle=0 product=TOP-1
straight length=200 product=TOP-2
rect size=100,50 at=0,300 product=SHAPE
on "Bottom"
straight length=200 at=0,600 angle=0 product=BOTTOM-1
image "Scan" at=-500,-500 size=400,300 pixels=8,6 layer="Plan"
baseboard "A1" rect=-600,-600,1000,500 layer="BoardsA"
baseboard "B1" rect=600,600,500,500 layer="BoardsB"
baseboard "A2" rect=-600,800,300,300 layer="BoardsA"
)";

// The owner layer names of the instructions, in list order.
std::vector<std::string> Owners(const tDrawingInstructions& list) {
    std::vector<std::string> names;
    for (const CDrawingInstruction* instruction : list) {
        names.emplace_back(instruction->GetOwnerLayer() ? instruction->GetOwnerLayer()->mName : "-");
    }
    return names;
}

long Count(const std::vector<std::string>& names, const std::string& name) {
    return std::count(names.begin(), names.end(), name);
}

CLayer* LayerNamed(CLayout& layout, const std::string& name) { return layout.GetLayerManager().FindLayerByName(name); }

// Applied, it drops the images and baseboards, sets a track style and puts
// an element without a drawable component at the end of the list, so the
// element pass throws half way through the build.
class CPoisonEditAction : public CTransientEditAction {
public:
    explicit CPoisonEditAction(CLayer* layer) : mPoison(std::make_unique<CCompositeGeometry>()) {
        mPoison->SetLayer(layer);
        mPoison->GetComponents().push_back(nullptr);
    }
    void Apply(CLayoutParameters& parameters, tElements& elements, tImages& images,
               tBaseboardElements& baseboards) override {
        parameters.mTrackStyle = 4;
        parameters.mShowGrid = !parameters.mShowGrid;
        images.clear();
        baseboards.clear();
        elements.push_back(mPoison.get());
    }
    const std::string& GetName() const override { return mName; }

private:
    std::unique_ptr<CCompositeGeometry> mPoison;
    std::string mName = "CPoisonEditAction";
};

// Records the order and thread of its deletion.
struct tDeletions {
    std::mutex mutex;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
};

class CCountedInstruction : public CGraphicsStateDrawingInstruction {
public:
    CCountedInstruction(int number, tDeletions& deletions)
        : CGraphicsStateDrawingInstruction(0), mNumber(number), mDeletions(deletions) {}
    ~CCountedInstruction() override {
        std::lock_guard lock(mDeletions.mutex);
        mDeletions.order.push_back(mNumber);
        mDeletions.threads.push_back(std::this_thread::get_id());
    }

private:
    int mNumber;
    tDeletions& mDeletions;
};

}  // namespace

TEST(RenderData, EachLayerHoldsItsOwnContentLastLayerFirst) {
    auto layout = layouttest::LoadScenario(kLayersScenario, "layers.wkst");
    const auto background = VKMRenderDataFactory::getBackgroundDataForLayout(*layout);
    const auto content = VKMRenderDataFactory::getElementsDataForLayout(*layout);
    const auto overlays = VKMRenderDataFactory::getOverlayDataForLayout(*layout);

    // Background: the picture of "Plan" first (last layer), then each
    // baseboard layer with only its own boards (fill and outline each).
    const std::vector<std::string> expected = {"Plan",    "BoardsB", "BoardsB", "BoardsA",
                                               "BoardsA", "BoardsA", "BoardsA"};
    EXPECT_EQ(Owners(*background->drawingInstructions()), expected);
    ASSERT_FALSE(background->drawingInstructions()->empty());
    EXPECT_NE(dynamic_cast<const CImageDrawingInstruction*>(background->drawingInstructions()->front()), nullptr);

    // Content: every instruction of "Bottom" before every one of "Top".
    const std::vector<std::string> owners = Owners(*content->drawingInstructions());
    ASSERT_GT(Count(owners, "Top"), 0);
    ASSERT_GT(Count(owners, "Bottom"), 0);
    const auto lastBottom = std::find(owners.rbegin(), owners.rend(), "Bottom");
    const auto firstTop = std::find(owners.begin(), owners.end(), "Top");
    EXPECT_LT(owners.rend() - lastBottom - 1, firstTop - owners.begin());
    EXPECT_EQ(Count(owners, "Top") + Count(owners, "Bottom"), static_cast<long>(owners.size()));
    // Each element is filled and outlined before the next begins: the
    // identifiers come in runs, in element order within a layer.
    std::vector<std::string> runs;
    for (const CDrawingInstruction* instruction : *content->drawingInstructions()) {
        if (runs.empty() || runs.back() != instruction->GetIdentifier())
            runs.emplace_back(instruction->GetIdentifier());
    }
    const tElements& elements = layout->GetElements();
    const std::vector<std::string> elementOrder = {elements[3]->GetIdentifier(), elements[0]->GetIdentifier(),
                                                   elements[1]->GetIdentifier(), elements[2]->GetIdentifier()};
    EXPECT_EQ(runs, elementOrder);

    // Overlays: the names of the elements (flag 0x1), on their layers.
    const std::vector<std::string> names = Owners(*overlays->drawingInstructions());
    EXPECT_EQ(Count(names, "Top"), 3);
    EXPECT_EQ(Count(names, "Bottom"), 1);
    for (const CDrawingInstruction* instruction : *overlays->drawingInstructions())
        EXPECT_NE(dynamic_cast<const CTextDrawingInstruction*>(instruction), nullptr);
}

TEST(RenderData, HiddenLayersContributeNothingAndEachBoardFollowsItsOwnLayer) {
    struct Case {
        const char* name;
        std::vector<std::string> hidden;
        std::vector<std::string> background;
    };
    const Case cases[] = {
        {"first board's layer hidden", {"BoardsA"}, {"Plan", "BoardsB", "BoardsB"}},
        {"second board's layer hidden", {"BoardsB", "Plan"}, {"BoardsA", "BoardsA", "BoardsA", "BoardsA"}},
        {"track layer hidden", {"Bottom"}, {"Plan", "BoardsB", "BoardsB", "BoardsA", "BoardsA", "BoardsA", "BoardsA"}},
    };
    for (const Case& c : cases) {
        auto layout = layouttest::LoadScenario(kLayersScenario, "hidden.wkst");
        for (const std::string& name : c.hidden) LayerNamed(*layout, name)->SetVisible(false);
        const auto background = VKMRenderDataFactory::getBackgroundDataForLayout(*layout);
        const auto content = VKMRenderDataFactory::getElementsDataForLayout(*layout);
        const auto overlays = VKMRenderDataFactory::getOverlayDataForLayout(*layout);
        EXPECT_EQ(Owners(*background->drawingInstructions()), c.background) << c.name;
        for (const std::string& name : c.hidden) {
            EXPECT_EQ(Count(Owners(*content->drawingInstructions()), name), 0) << c.name;
            EXPECT_EQ(Count(Owners(*overlays->drawingInstructions()), name), 0) << c.name;
        }
    }
}

TEST(RenderData, TunnelTracksGetNoOverlayWhileTunnelsAreHidden) {
    const std::string scenario = R"(version 13
param display-flags 0x1
layer "Tracks"
straight length=200 at=0,0 angle=0 product=OPEN
straight length=200 product=TUNNEL tunnel=0,100
)";
    for (const int mode : {0, 1, 2}) {
        auto layout = layouttest::LoadScenario(scenario, "tunnel.wkst");
        layout->GetParameters().mTunnelDisplayMode = mode;
        const auto overlays = VKMRenderDataFactory::getOverlayDataForLayout(*layout);
        std::vector<std::string> texts;
        for (const CDrawingInstruction* instruction : *overlays->drawingInstructions()) {
            if (auto* text = dynamic_cast<const CTextDrawingInstruction*>(instruction)) texts.push_back(text->mText);
        }
        const bool tunnelNamed = std::find(texts.begin(), texts.end(), "TUNNEL") != texts.end();
        EXPECT_EQ(tunnelNamed, mode != 2) << "tunnel mode " << mode;
        EXPECT_NE(std::find(texts.begin(), texts.end(), "OPEN"), texts.end()) << "tunnel mode " << mode;
    }
    EXPECT_EQ(VKMLayoutElementsOverlayPainter::smallTextSize(10), 8);
    EXPECT_EQ(VKMLayoutElementsOverlayPainter::smallTextSize(13), 10);
    EXPECT_EQ(VKMLayoutElementsOverlayPainter::smallTextSize(24), 19);
}

TEST(RenderData, EveryBuildLeavesTheDocumentAsItWasAlsoWhenItThrows) {
    auto layout = layouttest::LoadScenario(kLayersScenario, "restore.wkst");
    const layouttest::tDocumentState before(*layout);
    CTracksOnlyEditAction tracksOnly;
    CSingleLineStyleEditAction singleLine;
    CHideTunnelsEditAction hideTunnels;
    const tTransientEditActions actions = {&tracksOnly, &singleLine, &hideTunnels};

    std::shared_ptr<VKMLayoutRenderData> renderData;
    VKMLayoutView::buildRenderData(renderData, *layout, actions, false);
    ASSERT_TRUE(renderData);
    EXPECT_TRUE(layouttest::tDocumentState(*layout) == before) << "after a full build";
    // The edits were in force while building: tracks only, so no pictures,
    // no baseboards and no shape.
    EXPECT_TRUE(renderData->backgroundData()->drawingInstructions()->empty());
    const std::string shape = layout->GetElements()[2]->GetIdentifier();
    for (const CDrawingInstruction* instruction : *renderData->elementsData()->drawingInstructions())
        EXPECT_NE(instruction->GetIdentifier(), shape);

    VKMLayoutView::buildRenderData(renderData, *layout, {}, true);
    EXPECT_TRUE(layouttest::tDocumentState(*layout) == before) << "after a background build";
    EXPECT_FALSE(renderData->backgroundData()->drawingInstructions()->empty());

    CPoisonEditAction poison(LayerNamed(*layout, "Top"));
    const auto backgroundBefore = renderData->backgroundData();
    const auto elementsBefore = renderData->elementsData();
    const auto overlaysBefore = renderData->overlayData();
    EXPECT_THROW(VKMLayoutView::buildRenderData(renderData, *layout, {&poison}, false), std::runtime_error);
    EXPECT_TRUE(layouttest::tDocumentState(*layout) == before) << "after a build that threw";
    EXPECT_EQ(renderData->backgroundData(), backgroundBefore);
    EXPECT_EQ(renderData->elementsData(), elementsBefore);
    EXPECT_EQ(renderData->overlayData(), overlaysBefore);
}

namespace {

// The fill colours of the text instructions of `list`, as "r g b a".
std::vector<std::string> TextColors(const tDrawingInstructions& list) {
    std::vector<std::string> colors;
    for (const CDrawingInstruction* instruction : list) {
        if (const auto* text = dynamic_cast<const CTextDrawingInstruction*>(instruction)) {
            const CColor& c = text->mFillColor;
            colors.push_back(std::to_string(c.mRed) + " " + std::to_string(c.mGreen) + " " + std::to_string(c.mBlue) +
                             " " + std::to_string(c.mAlpha));
        }
    }
    return colors;
}

}  // namespace

TEST(RenderData, NamesAndHeightLabelsAreWhiteOnTheDarkBackground) {
    // Names and height labels on.
    std::string scenario = kLayersScenario;
    scenario.replace(scenario.find("display-flags 0x1"), 17, "display-flags 0x11");
    auto layout = layouttest::LoadScenario(scenario, "dark.wkst");
    const std::string black = "0.000000 0.000000 0.000000 1.000000";
    const std::string white = "1.000000 1.000000 1.000000 1.000000";
    const auto paper = TextColors(*VKMRenderDataFactory::getOverlayDataForLayout(*layout)->drawingInstructions());
    ASSERT_GE(paper.size(), 4u) << "names and height labels";
    EXPECT_EQ(paper, std::vector<std::string>(paper.size(), black));
    const auto dark = TextColors(*VKMRenderDataFactory::getOverlayDataForLayout(*layout, true)->drawingInstructions());
    EXPECT_EQ(dark, std::vector<std::string>(paper.size(), white));

    // The view builds for the background the user chose.
    auto& defaults = platform::UserDefaults::standard();
    std::shared_ptr<VKMLayoutRenderData> renderData;
    defaults.setBool(VKMLayoutView::kDarkBackgroundKey, true);
    VKMLayoutView::buildRenderData(renderData, *layout, {}, false);
    defaults.removeObject(VKMLayoutView::kDarkBackgroundKey);
    EXPECT_EQ(TextColors(*renderData->overlayData()->drawingInstructions()), dark);
    VKMLayoutView::buildRenderData(renderData, *layout, {}, false);
    EXPECT_EQ(TextColors(*renderData->overlayData()->drawingInstructions()), paper);
}

TEST(RenderData, ABackgroundOnlyRefreshKeepsTheOtherLayers) {
    auto layout = layouttest::LoadScenario(kLayersScenario, "background.wkst");
    std::shared_ptr<VKMLayoutRenderData> renderData;
    VKMLayoutView::buildRenderData(renderData, *layout, {}, false);
    const auto background = renderData->backgroundData();
    const auto elements = renderData->elementsData();
    const auto overlays = renderData->overlayData();
    VKMLayoutView::buildRenderData(renderData, *layout, {}, true);
    EXPECT_NE(renderData->backgroundData(), background);
    EXPECT_EQ(renderData->elementsData(), elements);
    EXPECT_EQ(renderData->overlayData(), overlays);
}

TEST(RenderData, TurnedPicturesAreCulledByTheBoxTheyCover) {
    auto layout = layouttest::LoadScenario(kLayersScenario, "turned.wkst");
    CImageElement* image = layout->GetImages().at(0);  // 400 x 300 at (-500, -500)
    struct Case {
        double angle;
        double width;
        double height;
    };
    const double diagonal = 700 * std::sqrt(0.5);
    const Case cases[] = {{0, 400, 300}, {90, 400, 300}, {180, 400, 300}, {45, diagonal, diagonal}};
    for (const Case& c : cases) {
        image->SetParameter606(c.angle);
        tDrawingInstructions list;
        VKMImagesPainter::drawImages(layout->GetImages(), LayerNamed(*layout, "Plan"), list);
        ASSERT_EQ(list.size(), 1u);
        const tDoubleRect box = list[0]->mBounds;
        EXPECT_NEAR(box.Width(), c.width, 1e-6) << c.angle;
        EXPECT_NEAR(box.Height(), c.height, 1e-6) << c.angle;
        EXPECT_NEAR((box.minX + box.maxX) / 2, -300, 1e-6) << "turned about its centre";
        EXPECT_NEAR((box.minY + box.maxY) / 2, -350, 1e-6);
        delete list[0];
    }
    // Elements on other layers, and pictures without size, are skipped.
    tDrawingInstructions none;
    VKMImagesPainter::drawImages(layout->GetImages(), LayerNamed(*layout, "Top"), none);
    image->SetWidth(0);
    VKMImagesPainter::drawImages(layout->GetImages(), LayerNamed(*layout, "Plan"), none);
    EXPECT_TRUE(none.empty());
}

TEST(RenderData, APictureOverTheBudgetIsDrawnReducedWithAWarning) {
    layouttest::RegisterServices();
    // One pixel wider than 4096 x 4096: half the pixels each way, the same
    // size on the layout.
    const auto png = testsupport::PlainPng(4097, 4096, 0, {90});
    CImageElement element(png.data(), static_cast<int>(png.size()));
    element.SetWidth(400);
    element.SetHeight(300);
    element.SetName("Scan");
    const long before = layouttest::CountWarnings("Layout image ");
    const auto picture = VKMImagesPainter::getImageForImageElement(element);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->pixelWidth(), 2049);
    EXPECT_EQ(picture->pixelHeight(), 2048);
    EXPECT_TRUE(layouttest::PixelNear(*picture, 2048, 2047, 90, 90, 90, 255, 0));
    EXPECT_EQ(layouttest::CountWarnings("Layout image \"Scan\" (1 of 1): a picture of 4097 x 4096 pixels is over the "
                                        "budget of 16777216: decoded at 2049 x 2048") -
                  before,
              1);
    // Decoded once: asked again, the element's own picture.
    EXPECT_EQ(VKMImagesPainter::getImageForImageElement(element), picture);
    // Within the budget: whole, and nothing logged.
    const auto small = testsupport::PlainPng(64, 48, 2, {1, 2, 3});
    CImageElement within(small.data(), static_cast<int>(small.size()));
    within.SetWidth(64);
    within.SetHeight(48);
    ASSERT_NE(VKMImagesPainter::getImageForImageElement(within), nullptr);
    EXPECT_EQ(layouttest::CountWarnings("Layout image ") - before, 1);
}

TEST(RenderData, ReleasingALayerDeletesEveryInstructionOnceLastFirstInTheBackground) {
    tDeletions deletions;
    tDrawingInstructions list;
    for (int i = 0; i < 5; ++i) list.push_back(new CCountedInstruction(i, deletions));
    auto layer = VKMDrawingInstructionsRenderData::renderDataWithDrawingInstructions(&list);
    EXPECT_TRUE(list.empty()) << "the layer took the instructions over";
    EXPECT_EQ(layer->drawingInstructions()->size(), 5u);

    VKMLayoutRenderData renderData;
    renderData.setElementsData(layer);
    renderData.setElementsData(layer);  // the same layer: nothing happens
    EXPECT_EQ(renderData.elementsData(), layer);
    layer.reset();
    renderData.setElementsData(nullptr);
    VKMDrawingInstructionsRenderData::waitForPendingReleases();

    std::lock_guard lock(deletions.mutex);
    EXPECT_EQ(deletions.order, (std::vector<int>{4, 3, 2, 1, 0}));
    for (const std::thread::id& thread : deletions.threads) EXPECT_NE(thread, std::this_thread::get_id());
}
