// Frame bitmaps: an image handed out keeps its pixels while held, and the
// pixels of one let go are drawn into again, cleared, by a later frame.

#include "platform/graphics/FrameBitmaps.h"
#include "platform/graphics/Path.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

using platform::Color;
using platform::FrameBitmaps;
using platform::Image;
using platform::Pixel;
using platform::Rect;
using platform::Size;

namespace {

constexpr Size kPoints{20, 10};

// A frame of the bitmaps filled with one colour.
std::shared_ptr<Image> filled(FrameBitmaps& frames, const Color& color, Size size = kPoints) {
    auto context = frames.context(size, 2);
    if (!context) return nullptr;
    context->setFillColor(color);
    context->fillRect({0, 0, size.width, size.height});
    return frames.image(std::move(context));
}

const std::uint8_t* pixelsOf(const Image& image) { return image.premultipliedRows().data; }

}  // namespace

TEST(FrameBitmaps, HeldImagesKeepTheirPixelsAndLetGoOnesAreReusedCleared) {
    FrameBitmaps frames;
    auto red = filled(frames, {1, 0, 0, 1});
    ASSERT_TRUE(red);
    EXPECT_EQ(red->pixelWidth(), 40);
    EXPECT_EQ(red->pixelHeight(), 20);
    EXPECT_EQ(red->scale(), 2);
    const std::uint8_t* redPixels = pixelsOf(*red);

    // Held: the next frame is drawn elsewhere.
    auto blue = filled(frames, {0, 0, 1, 1});
    ASSERT_TRUE(blue);
    EXPECT_NE(pixelsOf(*blue), redPixels);
    EXPECT_EQ(red->pixel(5, 5), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(blue->pixel(5, 5), (Pixel{0, 0, 255, 255}));

    // Let go: its pixels come back, cleared to transparency.
    red.reset();
    auto context = frames.context(kPoints, 2);
    ASSERT_TRUE(context);
    context->setFillColor({0, 1, 0, 1});
    context->fillRect({0, 0, 5, 5});
    EXPECT_EQ(context->pixel(39, 19), (Pixel{})) << "read while drawing";
    const auto next = frames.image(std::move(context));
    EXPECT_EQ(pixelsOf(*next), redPixels) << "the let-go frame's pixels are drawn into again";
    EXPECT_EQ(next->pixel(2, 2), (Pixel{0, 255, 0, 255}));
    for (const auto& [x, y] : {std::pair{39, 19}, std::pair{20, 10}, std::pair{10, 0}}) {
        EXPECT_EQ(next->pixel(x, y), (Pixel{})) << x << ", " << y << ": what was red is transparent";
    }
    EXPECT_EQ(blue->pixel(39, 19), (Pixel{0, 0, 255, 255}));
}

TEST(FrameBitmaps, PixelsSharedOrOfAnotherSizeOrLetGoElsewhereAreHandledSafely) {
    // A copy that shares the pixels keeps them from being drawn into.
    {
        FrameBitmaps frames;
        auto red = filled(frames, {1, 0, 0, 1});
        const auto templated = red->withRenderingMode(platform::ImageRenderingMode::alwaysTemplate);
        red.reset();
        const auto blue = filled(frames, {0, 0, 1, 1});
        EXPECT_NE(pixelsOf(*blue), pixelsOf(*templated));
        EXPECT_EQ(templated->pixel(5, 5), (Pixel{255, 0, 0, 255}));
    }
    // A frame of another size gets a bitmap of its own size.
    {
        FrameBitmaps frames;
        filled(frames, {1, 0, 0, 1}).reset();
        const auto larger = filled(frames, {0, 0, 1, 1}, {30, 10});
        ASSERT_TRUE(larger);
        EXPECT_EQ(larger->pixelWidth(), 60);
        EXPECT_EQ(larger->pixel(59, 19), (Pixel{0, 0, 255, 255}));
        // Spares of the old size make way for those of the new one.
        auto first = filled(frames, {1, 0, 0, 1});
        filled(frames, {1, 0, 0, 1}).reset();
        first.reset();
        auto resized = filled(frames, {1, 0, 0, 1}, {30, 10});
        const std::uint8_t* resizedPixels = pixelsOf(*resized);
        resized.reset();
        // Would take the freed pixels, had they not been kept.
        const auto elsewhere = platform::BitmapContext::create(60, 20, 2);
        EXPECT_EQ(pixelsOf(*filled(frames, {0, 1, 0, 1}, {30, 10})), resizedPixels);
        EXPECT_FALSE(frames.context({0, 10}, 2));
        EXPECT_FALSE(frames.image(nullptr));
    }
    // Let go on another thread, the pixels still come back.
    {
        FrameBitmaps frames;
        auto red = filled(frames, {1, 0, 0, 1});
        const std::uint8_t* redPixels = pixelsOf(*red);
        std::thread([held = std::move(red)]() mutable { held.reset(); }).join();
        const auto blue = filled(frames, {0, 0, 1, 1});
        EXPECT_EQ(pixelsOf(*blue), redPixels);
    }
    // An image outliving its bitmaps stays whole.
    std::shared_ptr<Image> survivor;
    {
        FrameBitmaps frames;
        survivor = filled(frames, {0, 1, 0, 1});
    }
    EXPECT_EQ(survivor->pixel(39, 19), (Pixel{0, 255, 0, 255}));
}

TEST(FrameBitmaps, AReusedBitmapShowsOnlyWhatIsDrawnWhereverOpaqueImagesCoverIt) {
    // Opaque and half-transparent tiles of 10 x 10 pixels.
    const auto tile = [](const Color& color) {
        auto context = platform::BitmapContext::create(10, 10, 2);
        context->setFillColor(color);
        context->fillRect({0, 0, 5, 5});
        return context->makeImage();
    };
    const auto green = tile({0, 1, 0, 1});
    const auto faint = tile({0, 0, 1, 0.5});
    const Pixel kGreen{0, 255, 0, 255};
    const Pixel kNothing{};

    struct Case {
        const char* name;
        std::function<void(platform::BitmapContext&)> draw;
        std::vector<std::pair<std::pair<int, int>, Pixel>> expected;
    };
    const std::vector<Case> cases = {
        {"an opaque tile pixel on pixel, then a fill beside it",
         [&](platform::BitmapContext& c) {
             c.drawImage(*green, {0, 0, 5, 5});
             c.drawImage(*green, {5, 5, 5, 5});
             c.setFillColor({0, 0, 1, 1});
             c.fillRect({15, 0, 5, 5});
         },
         {{{2, 2}, kGreen},
          {{12, 12}, kGreen},
          {{12, 2}, kNothing},
          {{2, 12}, kNothing},
          {{32, 2}, {0, 0, 255, 255}},
          {{39, 19}, kNothing},
          {{25, 15}, kNothing}}},
        {"opaque tiles only, read back",
         [&](platform::BitmapContext& c) {
             c.drawImage(*green, {10, 0, 5, 5});
             c.drawImage(*green, {12, 2, 5, 5});
         },
         {{{22, 2}, kGreen}, {{33, 13}, kGreen}, {{2, 2}, kNothing}, {{38, 2}, kNothing}, {{22, 15}, kNothing}}},
        {"an opaque tile off whole pixels",
         [&](platform::BitmapContext& c) {
             c.drawImage(*green, {0.25, 0, 5, 5});
         },
         {{{5, 5}, kGreen}, {{0, 5}, {0, 255, 0, 127}}, {{20, 5}, kNothing}}},
        {"a half-transparent tile",
         [&](platform::BitmapContext& c) {
             c.drawImage(*faint, {0, 0, 5, 5});
         },
         {{{5, 5}, {0, 0, 255, 128}}, {{20, 5}, kNothing}}},
        {"an opaque tile in a transparency layer",
         [&](platform::BitmapContext& c) {
             c.beginTransparencyLayer();
             c.drawImage(*green, {0, 0, 5, 5});
             c.endTransparencyLayer();
         },
         {{{5, 5}, kGreen}, {{20, 5}, kNothing}}},
        // Opaque fills of rectangles: what they cover on whole pixels is
        // theirs, the rest shows nothing.
        {"an opaque fill on whole pixels, then a half-transparent one beside it",
         [&](platform::BitmapContext& c) {
             c.setFillColor({0, 1, 0, 1});
             c.fillRect({0, 0, 10, 5});
             c.setFillColor({0, 0, 1, 0.5});
             c.fillRect({10, 5, 5, 5});
         },
         {{{0, 0}, kGreen}, {{19, 9}, kGreen}, {{25, 15}, {0, 0, 255, 128}}, {{5, 15}, kNothing}, {{35, 5}, kNothing}}},
        {"an opaque fill within a clip of whole pixels",
         [&](platform::BitmapContext& c) {
             c.clipToRect({5, 0, 5, 5});
             c.setFillColor({0, 1, 0, 1});
             c.fillRect({0, 0, 20, 10});
         },
         {{{12, 5}, kGreen}, {{5, 5}, kNothing}, {{25, 5}, kNothing}, {{12, 15}, kNothing}}},
        {"an opaque fill within a round clip",
         [&](platform::BitmapContext& c) {
             platform::Path round;
             round.addEllipseInRect({0, 0, 10, 10});
             c.clipToPath(round);
             c.setFillColor({0, 1, 0, 1});
             c.fillRect({0, 0, 20, 10});
         },
         {{{10, 10}, kGreen}, {{0, 0}, kNothing}, {{19, 19}, kNothing}, {{30, 10}, kNothing}}},
        {"an opaque fill off whole pixels",
         [&](platform::BitmapContext& c) {
             c.setFillColor({0, 1, 0, 1});
             c.fillRect({0.25, 0, 5, 5});
         },
         {{{5, 5}, kGreen}, {{0, 5}, {0, 255, 0, 127}}, {{10, 5}, {0, 255, 0, 127}}, {{20, 5}, kNothing}}},
        {"an opaque fill turned",
         [&](platform::BitmapContext& c) {
             c.translate(10, 0);
             c.rotate(0.5);
             c.setFillColor({0, 1, 0, 1});
             c.fillRect({0, 0, 5, 5});
         },
         {{{20, 6}, kGreen}, {{0, 0}, kNothing}, {{39, 0}, kNothing}, {{0, 19}, kNothing}}},
        {"an opaque fill of a shape that is not a rectangle",
         [&](platform::BitmapContext& c) {
             platform::Path wedge;
             wedge.moveTo({0, 0});
             wedge.lineTo({10, 0});
             wedge.lineTo({10, 10});
             wedge.lineTo({0, 0});
             wedge.closePath();
             c.setFillColor({0, 1, 0, 1});
             c.fillPath(wedge);
         },
         {{{18, 2}, kGreen}, {{2, 18}, kNothing}, {{30, 10}, kNothing}}},
        {"an opaque fill in a transparency layer at half alpha",
         [&](platform::BitmapContext& c) {
             c.setAlpha(0.5);
             c.beginTransparencyLayer();
             c.setFillColor({0, 1, 0, 1});
             c.fillRect({0, 0, 20, 10});
             c.endTransparencyLayer();
         },
         {{{5, 5}, {0, 255, 0, 128}}}},
        {"an opaque fill at half alpha",
         [&](platform::BitmapContext& c) {
             c.setAlpha(0.5);
             c.setFillColor({0, 1, 0, 1});
             c.fillRect({0, 0, 20, 10});
         },
         {{{5, 5}, {0, 255, 0, 128}}}},
    };
    for (const Case& test : cases) {
        FrameBitmaps frames;
        filled(frames, {1, 0, 0, 1}).reset();  // red pixels to be reused
        auto context = frames.context(kPoints, 2);
        ASSERT_TRUE(context) << test.name;
        test.draw(*context);
        const auto image = frames.image(std::move(context));
        for (const auto& [at, pixel] : test.expected) {
            const auto p = image->pixel(at.first, at.second);
            ASSERT_TRUE(p) << test.name;
            EXPECT_LE(std::abs(p->green - pixel.green) + std::abs(p->blue - pixel.blue) + std::abs(p->red - pixel.red) +
                          std::abs(p->alpha - pixel.alpha),
                      4)
                << test.name << " at " << at.first << ", " << at.second << ": " << int(p->red) << " " << int(p->green)
                << " " << int(p->blue) << " " << int(p->alpha);
        }
    }
}
