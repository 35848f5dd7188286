// The grid over boxes that drawing and picking go through: it answers every
// box that meets an area, in order and once; drawing a rectangle through it
// gives the same pixels as walking every instruction; picking through it
// finds what looking at every element finds, also on empty space, on
// overlaps, with tunnels hidden and when the index is out of date; and tiles
// painted on several threads at once are those painted on one.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "LayoutModule/Layout/VKMLayoutElementHitTestHelper.h"
#include "LayoutView/Drawing/VKMBoxIndex.h"
#include "LayoutView/Drawing/VKMDrawingInstructionsPainter.h"
#include "LayoutView/Drawing/VKMElementIndex.h"
#include "LayoutView/Drawing/VKMLayoutRenderData.h"
#include "LayoutView/Drawing/VKMRenderDataFactory.h"
#include "engine/drawing/TransientEdits.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/Layout.h"
#include "engine/model/LayoutBounds.h"
#include "platform/foundation/Paths.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tools/layoutgen/LargeLayout.h"
#include "tools/layoutgen/LayoutFileWriter.h"

namespace {

std::unique_ptr<CLayout> Generated(std::size_t count, std::uint64_t seed) {
    layouttest::RegisterServices();
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::ComposeLargeLayout(document, count, seed, CLayout::kNewestFileVersion);
    const std::filesystem::path file = std::filesystem::path(platform::Paths::root()) / "indexed.wkst";
    if (!ULayoutFileWriter::WriteLayoutFile(file, document.FileContent())) return nullptr;
    auto layout = std::make_unique<CLayout>();
    if (layout->Load(file.string()) != kLayoutLoaded) return nullptr;
    return layout;
}

bool Meets(const VKMBoxIndex::tBox& a, const VKMBoxIndex::tBox& b) {
    return a.minX <= b.maxX && b.minX <= a.maxX && a.minY <= b.maxY && b.minY <= a.maxY;
}

// The bytes of everything drawn into a fresh white canvas by `draw`.
template <typename Draw>
std::vector<std::uint8_t> Pixels(int width, int height, Draw&& draw) {
    std::unique_ptr<platform::BitmapContext> canvas = platform::BitmapContext::create(width, height);
    canvas->setFillColor(platform::Color::white(1.0));
    canvas->fillRect({0, 0, static_cast<double>(width), static_cast<double>(height)});
    draw(*canvas);
    const std::shared_ptr<platform::Image> image = platform::BitmapContext::takeImage(std::move(canvas));
    const platform::Image::PixelRows rows = image->premultipliedRows();
    std::vector<std::uint8_t> bytes;
    for (int y = 0; y < height; ++y)
        bytes.insert(bytes.end(), rows.data + y * rows.bytesPerRow, rows.data + y * rows.bytesPerRow + width * 4);
    return bytes;
}

}  // namespace

TEST(SpatialIndex, AnswersEveryBoxThatMeetsTheAreaInOrderAndOnce) {
    std::mt19937_64 random(46);
    std::uniform_real_distribution<double> at(-500.0, 500.0);
    std::uniform_real_distribution<double> size(0.0, 40.0);
    std::vector<VKMBoxIndex::tBox> boxes;
    for (int i = 0; i < 3000; ++i) {
        const double x = at(random);
        const double y = at(random);
        boxes.push_back({x, y, x + size(random), y + size(random)});
    }
    // Flat, huge, far away, endless, not a number, and one never answered.
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    boxes.push_back({-10, 5, 10, 5});
    boxes.push_back({-2000, -2000, 2000, 2000});
    boxes.push_back({1e12, 1e12, 1e12 + 1, 1e12 + 1});
    boxes.push_back({-inf, 0, inf, 1});
    boxes.push_back({nan, 0, 1, 1});
    boxes.push_back({0, 0, 1, 1});
    const std::size_t never = boxes.size() - 1;
    const VKMBoxIndex index(boxes.size(), [&](std::size_t i, VKMBoxIndex::tBox& box) {
        box = boxes[i];
        if (i == never) return VKMBoxIndex::Placement::never;
        return std::isnan(boxes[i].minX) ? VKMBoxIndex::Placement::always : VKMBoxIndex::Placement::placed;
    });

    std::vector<VKMBoxIndex::tBox> areas = {
        {0, 0, 0, 0}, {-600, -600, 600, 600}, {499, -3, 499, 4}, {1e12, 1e12, 1e12, 1e12}};
    for (const auto& box : boxes) {
        if (std::isfinite(box.minX) && std::isfinite(box.maxX)) {
            areas.push_back({box.maxX, box.maxY, box.maxX, box.maxY});      // touching a corner
            areas.push_back({box.minX - 1, box.minY, box.minX, box.minY});  // touching an edge
        }
    }
    for (int i = 0; i < 300; ++i) {
        const double x = at(random);
        const double y = at(random);
        areas.push_back({x, y, x + 5 * size(random), y + 5 * size(random)});
    }
    std::vector<std::uint32_t> answer;
    std::size_t answered = 0;
    for (const auto& area : areas) {
        index.query(area, answer);
        ASSERT_TRUE(std::is_sorted(answer.begin(), answer.end()));
        ASSERT_EQ(std::adjacent_find(answer.begin(), answer.end()), answer.end());
        EXPECT_FALSE(std::binary_search(answer.begin(), answer.end(), std::uint32_t(never)));
        std::size_t missing = 0;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            if (i == never || !Meets(boxes[i], area)) continue;
            missing += !std::binary_search(answer.begin(), answer.end(), std::uint32_t(i));
        }
        EXPECT_EQ(missing, 0u) << "area " << area.minX << "," << area.minY << " - " << area.maxX << "," << area.maxY;
        // The not-a-number box is tested by its owner on every query.
        EXPECT_TRUE(std::binary_search(answer.begin(), answer.end(), std::uint32_t(never - 1)));
        answered += answer.size();
    }
    // A grid, not a list of everything: small areas get a few boxes each.
    EXPECT_LT(answered, areas.size() * boxes.size() / 10);
}

TEST(SpatialIndex, DrawingARectangleThroughTheIndexGivesThePixelsOfDrawingEverything) {
    const std::unique_ptr<CLayout> layout = Generated(1500, 4646);
    ASSERT_NE(layout, nullptr);
    VKMLayoutRenderData renderData;
    renderData.setElementsData(VKMRenderDataFactory::getElementsDataForLayout(*layout));
    renderData.setOverlayData(VKMRenderDataFactory::getOverlayDataForLayout(*layout));
    const tDrawingInstructions& elements = *renderData.elementsData()->drawingInstructions();
    const tDrawingInstructions& overlays = *renderData.overlayData()->drawingInstructions();
    const tDoubleRect content = ULayoutBounds::GetContentBoundingBox(*layout, ULayoutBounds::kBoundsModeVisible);
    const double width = content.maxX - content.minX;
    const double height = content.maxY - content.minY;
    constexpr int kSide = 160;

    // Fitted, and close up at corners, at the middle, on an edge and
    // outside, where the index leaves out most of the list.
    const struct {
        double zoom;
        double x, y;  // the view's corner, as a share of the content
    } views[] = {{1, 0, 0}, {8, 0, 0}, {8, 0.5, 0.5}, {12, 0.9, 0.1}, {6, -0.1, 0.4}, {20, 0.33, 0.77}, {8, 2, 2}};
    std::vector<std::uint32_t> candidates;
    for (const auto& view : views) {
        const double zoom = kSide / std::max(width, height) * view.zoom;
        const platform::Rect visible{content.minX + view.x * width, content.minY + view.y * height, kSide / zoom,
                                     kSide / zoom};
        SCOPED_TRACE("zoom " + std::to_string(view.zoom) + " at " + std::to_string(view.x));
        const auto indexed = Pixels(kSide, kSide, [&](platform::Context& context) {
            context.translate(-visible.x * zoom, -visible.y * zoom);
            renderData.drawWithZoom(context, zoom, visible);
        });
        const auto everything = Pixels(kSide, kSide, [&](platform::Context& context) {
            context.translate(-visible.x * zoom, -visible.y * zoom);
            context.scale(zoom, zoom);
            context.clipToRect(visible);
            // Texts from the layouts the layers keep, as the render data
            // draws them.
            VKMDrawingInstructionsPainter::draw(context, elements, nullptr, nullptr,
                                                renderData.elementsData()->keptTexts(), visible, "All");
            VKMDrawingInstructionsPainter::draw(context, overlays, nullptr, nullptr,
                                                renderData.overlayData()->keptTexts(), visible, "All");
        });
        EXPECT_TRUE(indexed == everything);
        if (view.zoom >= 8) {
            const VKMDrawingInstructionsRenderData& layer = *renderData.elementsData();
            layer.instructionIndex()->query({visible.minX(), visible.minY(), visible.maxX(), visible.maxY()},
                                            candidates);
            EXPECT_LT(candidates.size(), elements.size() / 4);
        }
    }
}

TEST(SpatialIndex, PickingThroughTheIndexFindsWhatLookingAtEveryElementFinds) {
    // Overlaps across layers and within one, a curve's empty inside, a
    // tunnel, a hidden layer, among generated elements.
    const auto scenario = layouttest::LoadScenario(R"(version 13
param grid off
layer "Top"
rect size=100,100 at=0,0 product=A
layer "Bottom"
rect size=100,100 at=50,50 product=B
rect size=100,100 at=300,0 product=C
rect size=100,100 at=350,0 product=D
curve radius=360 sweep=90 at=0,600 angle=0 product=ARC
straight length=200 at=0,1200 angle=0 tunnel=0,100 product=TUNNEL
layer "Hidden" hidden
rect size=100,100 at=1200,1200 product=HIDDEN
)",
                                                   "picked.wkst");
    const std::unique_ptr<CLayout> generated = Generated(120, 77);
    ASSERT_NE(generated, nullptr);
    CHideTunnelsEditAction hideTunnels;
    CTracksOnlyEditAction tracksOnly;
    const tTransientEditActions editSets[] = {{}, {&hideTunnels}, {&tracksOnly}};
    for (CLayout* layout : {scenario.get(), generated.get()}) {
        for (const tTransientEditActions& actions : editSets) {
            // Made by the first search, then kept.
            std::shared_ptr<const VKMElementIndex> index;
            const tDoubleRect content = ULayoutBounds::GetContentBoundingBox(*layout, ULayoutBounds::kBoundsModeAll);
            std::vector<platform::Point> points = {{-1e6, -1e6}, {content.maxX + 50, content.maxY + 50}};
            for (int i = 0; i <= 12; ++i) {
                for (int j = 0; j <= 12; ++j) {
                    points.push_back({content.minX + (content.maxX - content.minX) * i / 12.0,
                                      content.minY + (content.maxY - content.minY) * j / 12.0});
                }
            }
            for (CCompositeGeometry* element : layout->GetElements()) {
                points.push_back({element->GetPosition().x + 1, element->GetPosition().y + 1});
            }
            int found = 0;
            for (const platform::Point point : points) {
                CCompositeGeometry* const expected =
                    VKMLayoutElementHitTestHelper::findElementAtPosition(point, *layout, actions);
                CCompositeGeometry* const indexed =
                    VKMLayoutElementHitTestHelper::findElementAtPosition(point, *layout, actions, index);
                EXPECT_EQ(indexed, expected) << point.x << ", " << point.y;
                ASSERT_NE(index, nullptr);
                found += expected != nullptr;
            }
            EXPECT_GT(found, 0);
        }
    }
}

TEST(SpatialIndex, PickingWithAnIndexOfAnotherListLooksAtEveryElement) {
    const auto layout = layouttest::LoadScenario(R"(version 13
param grid off
layer "Top"
rect size=100,100 at=0,0 product=A
rect size=100,100 at=500,0 product=B
)",
                                                 "stale.wkst");
    // Made while B was missing from the list, then B comes back: the index
    // does not know it, so it must be made again.
    tElements& elements = layout->GetElementList();
    CCompositeGeometry* const b = elements.back();
    elements.pop_back();
    std::shared_ptr<const VKMElementIndex> index = std::make_shared<VKMElementIndex>(*layout);
    elements.push_back(b);
    const tDoubleRect box = UElementVectorOperations::GetBoundingBox({b});
    const platform::Point inB{(box.minX + box.maxX) / 2, (box.minY + box.maxY) / 2};
    EXPECT_EQ(VKMLayoutElementHitTestHelper::findElementAtPosition(inB, *layout, {}, index), b);
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->listSize(), 2u);
    // An element swapped for another at the same place in the list: every
    // element is looked at, and the index is dropped.
    std::swap(elements.front(), elements.back());
    index = std::make_shared<VKMElementIndex>(*layout);
    std::swap(elements.front(), elements.back());
    EXPECT_EQ(VKMLayoutElementHitTestHelper::findElementAtPosition(inB, *layout, {}, index), b);
    EXPECT_EQ(index, nullptr);
}

TEST(SpatialIndex, TilesPaintedOnSeveralThreadsAtOnceAreThoseOfOneThread) {
    const std::unique_ptr<CLayout> layout = Generated(800, 4747);
    ASSERT_NE(layout, nullptr);
    const tDoubleRect content = ULayoutBounds::GetContentBoundingBox(*layout, ULayoutBounds::kBoundsModeVisible);
    constexpr int kSide = 96;
    constexpr int kTiles = 4;
    const double zoom = kSide / std::max(content.maxX - content.minX, content.maxY - content.minY) * 6;
    auto tile = [&](VKMLayoutRenderData& renderData, int i) {
        // About an element spread along the list, so that each tile shows
        // something.
        const CPoint& at = layout->GetElements()[layout->GetElements().size() * i / kTiles]->GetPosition();
        const platform::Rect visible{at.x - kSide / zoom / 2, at.y - kSide / zoom / 2, kSide / zoom, kSide / zoom};
        return Pixels(kSide, kSide, [&](platform::Context& context) {
            context.translate(-visible.x * zoom, -visible.y * zoom);
            renderData.drawWithZoom(context, zoom, visible);
        });
    };
    // One layer painted first on this thread, tile after tile; another,
    // never painted, by four threads at once (the first of them makes its
    // grid while the others wait for it).
    VKMLayoutRenderData alone;
    alone.setElementsData(VKMRenderDataFactory::getElementsDataForLayout(*layout));
    VKMLayoutRenderData shared;
    shared.setElementsData(VKMRenderDataFactory::getElementsDataForLayout(*layout));
    std::vector<std::vector<std::uint8_t>> expected;
    for (int i = 0; i < kTiles; ++i) expected.push_back(tile(alone, i));
    std::vector<std::vector<std::uint8_t>> painted(kTiles);
    std::vector<std::thread> threads;
    for (int i = 0; i < kTiles; ++i) threads.emplace_back([&, i] { painted[i] = tile(shared, i); });
    for (std::thread& thread : threads) thread.join();
    int drawnOn = 0;
    for (int i = 0; i < kTiles; ++i) {
        EXPECT_TRUE(painted[i] == expected[i]) << "tile " << i;
        drawnOn += std::any_of(expected[i].begin(), expected[i].end(), [](std::uint8_t b) { return b != 0xFF; });
    }
    EXPECT_GE(drawnOn, 3);
}
