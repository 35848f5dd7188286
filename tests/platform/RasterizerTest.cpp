// The rasterizer alone, without a planner: the rasters asked of it fill
// their slots and are kept under their keys, drawn together (batches,
// rows) with the pixels each would have drawn alone, and rasters made of
// parts are made once their parts are.

#include "tests/support/PixelCompare.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Path.h"
#include "platform/ui/core/GradientLayer.h"
#include "platform/ui/core/ShapeLayer.h"
#include "platform/ui/core/TextLayer.h"
#include "platform/ui/render/RasterCache.h"
#include "platform/ui/render/Rasterizer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using platform::Color;
using platform::Image;
using platform::Path;
using platform::Rect;
using namespace platform::ui;

namespace {

// A stroke of `width` points from its path alone, as a chart's segment.
RasterWork strokeWork(const Rect& box, double lineWidth, const Color& color) {
    Path path;
    path.moveTo({box.minX() + 1.3, box.minY() + 1.7});
    path.lineTo({box.maxX() - 2.1, box.maxY() - 1.2});
    return RasterWork{nullptr, std::make_shared<const Path>(path), box, 2, box, std::nullopt,
                      true,    StrokeStyle{color, lineWidth}};
}

// A filled and stroked triangle drawn from a copy of its layer.
RasterWork shapeWork(const Rect& box) {
    auto shape = ShapeLayer::make();
    shape->setFrame(box);
    Path triangle;
    triangle.moveTo({box.minX() + 0.5, box.minY() + 0.5});
    triangle.lineTo({box.maxX() - 1.3, box.minY() + box.height / 3});
    triangle.lineTo({box.minX() + 2.7, box.maxY() - 0.9});
    triangle.closePath();
    shape->setPath(triangle);
    shape->setFillColor({0.9, 0.5, 0.1, 0.8});
    shape->setStrokeColor({0, 0, 1, 1});
    shape->setLineWidth(0.75);
    return RasterWork{shape->presentationLayer(), nullptr, box, 2, box, std::nullopt, true, std::nullopt};
}

// A label on a rounded background kept in its raster.
RasterWork textWork(const Rect& box, const std::string& text) {
    auto label = TextLayer::make();
    label->setBounds({0, 0, box.width, box.height});
    label->setString(text);
    label->setFontSize(9);
    label->setForegroundColor({0.1, 0.1, 0.1, 1});
    const Rect bounds{0, 0, box.width, box.height};
    return RasterWork{label->presentationLayer(),
                      nullptr,
                      bounds,
                      2,
                      bounds,
                      KeptBackground{{1, 1, 0.8, 1}, bounds, 3},
                      true,
                      std::nullopt};
}

// A gradient over the box, large enough to be drawn in rows.
RasterWork gradientWork(const Rect& box) {
    auto gradient = GradientLayer::make();
    gradient->setBounds(box);
    gradient->setColors({{1, 0, 0, 1}, {0.2, 0.6, 0.9, 0.5}});
    return RasterWork{gradient->presentationLayer(), nullptr, box, 2, box, std::nullopt, true, std::nullopt};
}

std::shared_ptr<Image> drawnAlone(const RasterWork& work) {
    return rasterize(work.box, work.scale, [&](platform::Context& context) { drawWork(work, context); });
}

RasterKey keyOf(std::uint64_t owner) { return {owner, kRasterContent, 0}; }

}  // namespace

TEST(Rasterizer, RequestsFillTheirSlotsWithThePixelsEachWouldHaveAloneAndAreKept) {
    struct Case {
        std::string name;
        RasterWork work;
    };
    std::vector<Case> cases{
        {"a small stroke, batched with strokes of its style", strokeWork({3.5, 2.25, 12, 9}, 1.5, {0.1, 0.3, 0.8, 1})},
        {"another of that style", strokeWork({0.5, 0.5, 20, 6}, 1.5, {0.1, 0.3, 0.8, 1})},
        {"a stroke of another colour, in a batch of its own", strokeWork({1, 1, 9, 14}, 1.5, {0.8, 0.2, 0.1, 0.7})},
        {"a small shape, batched apart from strokes", shapeWork({2.25, 4.5, 14, 11})},
        {"a label on its background", textWork({0, 0, 30, 12}, "1234")},
        {"a shape too large for a batch, one job", shapeWork({0, 0, 120, 90})},
        {"a gradient of 256 Ki pixels and more, in rows", gradientWork({0, 0, 400, 330})},
    };
    Rasterizer rasters{RenderTuning{}};
    std::vector<RasterSlot*> slots;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        slots.push_back(rasters.request(cases[i].work, keyOf(i + 1), RasterEntry{nullptr, cases[i].work.box, 2, i, 0}));
        ASSERT_NE(slots.back(), nullptr) << cases[i].name;
    }
    EXPECT_EQ(rasters.request(shapeWork({0, 0, 6e5, 10}), keyOf(99), {}), nullptr) << "wider than a bitmap may be";
    EXPECT_EQ(rasters.requested(), cases.size());
    EXPECT_TRUE(rasters.hasRastersToKeep());

    RasterCache cache;
    rasters.finish(&cache);
    EXPECT_FALSE(rasters.drawsSomeInPlace());
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        ASSERT_NE(slots[i]->shown, nullptr);
        const auto alone = drawnAlone(cases[i].work);
        ASSERT_NE(alone, nullptr);
        EXPECT_EQ(testsupport::DifferingPixels(*slots[i]->shown, *alone), 0);
        const RasterEntry* kept = cache.find(keyOf(i + 1));
        ASSERT_NE(kept, nullptr);
        EXPECT_EQ(kept->image.get(), slots[i]->shown);
        EXPECT_EQ(kept->version, i);
        EXPECT_EQ(kept->rect, cases[i].work.box);
        bytes += kept->image->byteCount();
    }
    EXPECT_EQ(cache.bytes(), bytes) << "each counted at its own pixels, not its batch's";
    EXPECT_EQ(cache.find(keyOf(99)), nullptr);
}

// A raster too wide for a bitmap though not for its size check: nothing is
// made, its content is drawn in its place, and no stale raster is kept.
TEST(Rasterizer, ARasterThatCannotBeMadeLeavesItsContentToBeDrawnInItsPlace) {
    RasterCache cache;
    cache.store(keyOf(1), RasterEntry{drawnAlone(shapeWork({0, 0, 10, 10})), {0, 0, 10, 10}, 2, 0, 0});
    Rasterizer rasters{RenderTuning{}};
    RasterSlot* slot = rasters.request(shapeWork({0, 0, 40000, 10}), keyOf(1), RasterEntry{});
    ASSERT_NE(slot, nullptr);
    rasters.finish(&cache);
    EXPECT_EQ(slot->shown, nullptr);
    EXPECT_TRUE(slot->fallback);
    EXPECT_TRUE(rasters.drawsSomeInPlace());
    EXPECT_EQ(cache.find(keyOf(1)), nullptr);
}

// A whole is made by the job that made its parts, after them; a shadow's
// parts go side by side, the last one making it; content asked for within
// a shadow's parts is found again, the rest is not.
TEST(Rasterizer, RastersMadeOfPartsAreMadeAfterThemAndAShadowsPartsAreFound) {
    // What the wholes and shadows are made into: layers are made on the
    // main thread only.
    const std::shared_ptr<Image> made = drawnAlone(shapeWork({0, 0, 30, 30}));
    Rasterizer rasters{RenderTuning{}};
    RasterSlot* outside = rasters.request(strokeWork({0, 0, 10, 10}, 1, {0, 0, 0, 1}), keyOf(1), {});

    RasterSlot* part = nullptr;
    Rasterizer::Parts wholeParts = rasters.partsOf(false, [&] {
        part = rasters.request(shapeWork({0, 0, 20, 20}), keyOf(2), {});
        EXPECT_TRUE(rasters.madeForShadows().empty()) << "a whole's part is no shadow's";
    });
    std::atomic<bool> partsBeforeWhole{false};
    RasterSlot& whole = rasters.makeWhole(std::move(wholeParts),
                                          [&] {
                                              partsBeforeWhole = part->shown != nullptr;
                                              return made;
                                          },
                                          {3, kRasterWhole, 0}, {});

    std::vector<RasterSlot*> rows;
    RasterSlot* inner = nullptr;
    Rasterizer::Parts parts = rasters.partsOf(true, [&] {
        for (std::uint64_t i = 0; i < 4; ++i)
            rows.push_back(rasters.request(textWork({0, 0, 40, 12}, "row"), keyOf(10 + i), {}));
        // A shadow within the drawing: its parts go with it, by one job.
        Rasterizer::Parts innerParts = rasters.partsOf(true, [&] {
            inner = rasters.request(shapeWork({0, 0, 8, 8}), keyOf(20), {});
        });
        rasters.makeShadow(std::move(innerParts), [&] { return made; }, {21, kRasterShadow, 0}, {});
    });
    ASSERT_FALSE(parts.empty());
    std::atomic<int> rowsBeforeShadow{-1};
    RasterSlot& shadow = rasters.makeShadow(std::move(parts),
                                            [&] {
                                                int done = 0;
                                                for (RasterSlot* row : rows) done += row->shown != nullptr;
                                                rowsBeforeShadow = done + (inner->shown != nullptr);
                                                return made;
                                            },
                                            {30, kRasterShadow, 0}, {});
    // Parts of nothing after all are drawn with the rest.
    RasterSlot* apart = nullptr;
    rasters.drawApart(rasters.partsOf(false, [&] {
        apart = rasters.request(shapeWork({0, 0, 12, 12}), keyOf(40), {});
    }));

    std::vector<std::uint64_t> found;
    for (const auto& asked : rasters.madeForShadows()) found.push_back(asked.key.owner);
    EXPECT_EQ(found, (std::vector<std::uint64_t>{10, 11, 12, 13, 20})) << "content asked for within shadows only";
    RasterCache cache;
    rasters.finish(&cache);
    EXPECT_TRUE(partsBeforeWhole) << "the whole was made before its part";
    EXPECT_EQ(rowsBeforeShadow, 5) << "the shadow was made before its parts";
    for (RasterSlot* slot : {outside, part, &whole, &shadow, inner, apart}) EXPECT_NE(slot->shown, nullptr);
    for (const std::uint64_t owner : {1u, 2u, 10u, 13u, 20u, 40u}) {
        EXPECT_NE(cache.find(keyOf(owner)), nullptr) << owner;
    }
    EXPECT_NE(cache.find({3, kRasterWhole, 0}), nullptr);
    EXPECT_NE(cache.find({21, kRasterShadow, 0}), nullptr);
    EXPECT_TRUE(rasters.madeForShadows().empty()) << "forgotten once kept";
}

// At once, each raster is made before its request returns and kept at
// once, with the pixels each would have alone (which jobs on the pool make,
// as the test above shows); a whole's parts are made as they are asked for,
// and a raster of its frame alone stays in its slot.
TEST(Rasterizer, RastersMadeAtOnceHoldThePixelsJobsMake) {
    const std::vector<std::pair<std::string, RasterWork>> cases{
        {"a small stroke", strokeWork({3.5, 2.25, 12, 9}, 1.5, {0.1, 0.3, 0.8, 1})},
        {"a small shape", shapeWork({2.25, 4.5, 14, 11})},
        {"a label on its background", textWork({0, 0, 30, 12}, "1234")},
        {"a shape too large for a batch", shapeWork({0, 0, 120, 90})},
        {"a gradient in rows on the pool", gradientWork({0, 0, 400, 330})},
    };
    RasterCache cache;
    Rasterizer atOnce{Rasterizer::AtOnce{&cache}};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].first);
        const RasterSlot* made = atOnce.request(cases[i].second, keyOf(i + 1), {nullptr, cases[i].second.box, 2, i, 0});
        ASSERT_NE(made, nullptr);
        ASSERT_NE(made->shown, nullptr) << "not made when the request returned";
        EXPECT_EQ(testsupport::DifferingPixels(*made->shown, *drawnAlone(cases[i].second)), 0);
        const RasterEntry* kept = cache.find(keyOf(i + 1));
        ASSERT_NE(kept, nullptr) << "not kept at once";
        EXPECT_EQ(kept->image.get(), made->shown);
        EXPECT_EQ(kept->version, i);
    }
    EXPECT_EQ(atOnce.request(shapeWork({0, 0, 6e5, 10}), keyOf(99), {}), nullptr) << "wider than a bitmap may be";

    const std::shared_ptr<Image> drawn = drawnAlone(shapeWork({0, 0, 30, 30}));
    Rasterizer::Parts parts = atOnce.partsOf(false, [&] {
        RasterSlot* part = atOnce.request(shapeWork({0, 0, 20, 20}), keyOf(50), {});
        ASSERT_NE(part, nullptr);
        EXPECT_NE(part->shown, nullptr) << "a part waited for its whole";
    });
    EXPECT_TRUE(parts.empty());
    RasterSlot& whole = atOnce.makeWhole(std::move(parts), [&] { return drawn; }, {51, kRasterWhole, 0}, {});
    EXPECT_EQ(whole.shown, drawn.get());
    EXPECT_NE(cache.find({51, kRasterWhole, 0}), nullptr);
    const std::size_t count = cache.count();
    RasterSlot& alone = atOnce.request([&] { return drawn; }, kKeptNowhere, {});
    EXPECT_EQ(alone.image, drawn) << "let go of before the plan showing it";
    EXPECT_EQ(cache.count(), count) << "a raster of its frame alone was kept";
}
