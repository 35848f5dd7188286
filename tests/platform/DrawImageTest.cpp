// Images put down pixel on pixel are copied straight onto the bitmap's
// pixels; anything else goes through the drawing library. The two must
// give the same bytes.

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/FrameBitmaps.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/Path.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using platform::BitmapContext;
using platform::Color;
using platform::Image;
using platform::Pixel;
using platform::Rect;

namespace {

// A raster with see-through, half-covered and opaque pixels.
std::shared_ptr<Image> patchy(int width, int height) {
    auto bitmap = BitmapContext::create(width, height);
    bitmap->setFillColor({0.9, 0.2, 0.1, 0.55});
    bitmap->fillRect({0, 0, width * 0.6, static_cast<double>(height)});
    bitmap->setFillColor({0.1, 0.3, 0.9, 1});
    platform::Path disc;
    disc.addEllipseInRect({width * 0.3, 1.5, width * 0.6, height - 3.0});
    bitmap->fillPath(disc);
    return BitmapContext::takeImage(std::move(bitmap));
}

std::shared_ptr<Image> opaque(int width, int height) {
    auto bitmap = BitmapContext::create(width, height);
    bitmap->setFillColor({0.2, 0.8, 0.4, 1});
    bitmap->fillRect({0, 0, static_cast<double>(width), static_cast<double>(height)});
    bitmap->setFillColor({0.8, 0.1, 0.4, 1});
    bitmap->fillRect({2, 2, 3.5, 4.5});
    return BitmapContext::takeImage(std::move(bitmap));
}

// The first pixel where two bitmaps of one size differ, as text; empty
// when they are the same.
std::string firstDifference(const BitmapContext& a, const BitmapContext& b) {
    if (a.pixelWidth() != b.pixelWidth() || a.pixelHeight() != b.pixelHeight()) return "sizes differ";
    for (int y = 0; y < a.pixelHeight(); ++y) {
        for (int x = 0; x < a.pixelWidth(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) return "at " + std::to_string(x) + "," + std::to_string(y);
        }
    }
    return {};
}

// A clip that covers the whole bitmap but is no rectangle: images drawn
// under it take the drawing library's way.
void clipToHugeDisc(BitmapContext& context) {
    platform::Path disc;
    disc.addEllipseInRect({-500, -500, 1100, 1100});
    context.clipToPath(disc);
}

// The same drawing, through the drawing library when `throughLibrary`.
void scene(BitmapContext& context, bool throughLibrary, const Image& see, const Image& solid) {
    context.setFillColor({0.5, 0.5, 0.2, 0.7});
    context.fillRect({0, 0, 40, 30});
    if (throughLibrary) clipToHugeDisc(context);
    context.drawImage(see, {3.5, 2, 12, 9});      // 24 x 18 pixels at scale 2
    context.drawImage(see, {-4, -3, 12, 9});      // partly off the top left
    context.drawImage(see, {33, 25, 12, 9});      // partly off the bottom right
    context.drawImage(solid, {10, 12, 5, 4});     // opaque over what is there
    context.drawImage(see, {20.25, 4, 12, 9});    // a quarter point: half a pixel off, resampled
    context.drawImage(see, {1, 16, 12, 9}, 0.5);  // faded
    context.save();
    context.clipToRect({6, 15, 10, 8});
    context.drawImage(see, {2, 13, 12, 9});  // cut by a clip on whole pixels
    context.restore();
}

}  // namespace

TEST(DrawImage, CopiedPixelOnPixelAsTheDrawingLibraryDrawsIt) {
    const auto see = patchy(24, 18);
    const auto solid = opaque(10, 8);
    auto direct = BitmapContext::create(80, 60, 2);
    auto library = BitmapContext::create(80, 60, 2);
    scene(*direct, false, *see, *solid);
    scene(*library, true, *see, *solid);
    EXPECT_EQ(firstDifference(*direct, *library), "");
    // Not vacuous: the images are there, and the clip cut the last one.
    EXPECT_EQ(direct->pixel(2 * 10 + 1, 2 * 12 + 1), (Pixel{51, 204, 102, 255}));
    EXPECT_NE(direct->pixel(2 * 7, 2 * 17), direct->pixel(2 * 7, 2 * 14));

    // Reused frames are cleared lazily: an opaque image covers what it hides,
    // any other clears first.
    platform::FrameBitmaps frames;
    const auto reusedFrame = [&](bool throughLibrary) {
        {
            auto old = frames.context({40, 30}, 2);
            old->setFillColor({1, 0, 0, 1});
            old->fillRect({0, 0, 40, 30});
            frames.image(std::move(old));
        }
        auto frame = frames.context({40, 30}, 2);
        if (throughLibrary) clipToHugeDisc(*frame);
        frame->drawImage(*solid, {10, 12, 5, 4});
        frame->drawImage(*see, {3.5, 2, 12, 9});
        return frames.image(std::move(frame));
    };
    const auto copied = reusedFrame(false);
    const auto drawn = reusedFrame(true);
    auto a = BitmapContext::create(80, 60);
    auto b = BitmapContext::create(80, 60);
    a->drawImage(*copied, {0, 0, 80, 60});
    b->drawImage(*drawn, {0, 0, 80, 60});
    EXPECT_EQ(firstDifference(*a, *b), "");
    EXPECT_EQ(a->pixel(70, 50)->alpha, 0) << "the old frame was cleared";
}

TEST(DrawImage, ALargeImageMostlyClearLeavesWhatItsClearPixelsCover) {
    // Ink in a few places only: near the corners, across a run of rows at
    // its edges, in the last rows (a run cut short), and a long line; the
    // copy passes over the clear columns of each run of rows, and must
    // still put down every pixel of ink, wherever the image lands.
    constexpr int kWidth = 700;
    constexpr int kHeight = 455;
    auto ink = BitmapContext::create(kWidth, kHeight);
    ink->setFillColor({0.8, 0.1, 0.1, 0.6});
    for (const Rect& r : {Rect{0, 0, 1, 1}, Rect{kWidth - 1, 3, 1, 2}, Rect{311.5, 15, 2, 3}, Rect{40, 160, 3, 1},
                          Rect{650, 161, 7, 1}, Rect{3, kHeight - 1, 2, 1}, Rect{kWidth - 2, kHeight - 2, 2, 2}}) {
        ink->fillRect(r);
    }
    ink->setStrokeColor({0.1, 0.2, 0.9, 1});
    ink->setLineWidth(1.5);
    ink->beginPath();
    ink->moveTo({10, 300});
    ink->lineTo({690, 250.5});
    ink->stroke();
    const auto image = BitmapContext::takeImage(std::move(ink));
    for (const auto& [x, y] : {std::pair{0.0, 0.0}, {-37.0, 11.0}, {120.0, -200.0}, {-5.0, 300.0}}) {
        const auto draw = [&](bool throughLibrary) {
            auto context = BitmapContext::create(800, 600);
            context->setFillColor({0.3, 0.6, 0.3, 0.8});
            context->fillRect({0, 0, 800, 600});
            // A band: the image starts above its rows too.
            auto band = context->band(33, 600);
            if (throughLibrary) {
                platform::Path disc;
                disc.addEllipseInRect({-2000, -2000, 5000, 5000});
                band->clipToPath(disc);
            }
            band->drawImage(*image, {x, y, kWidth, kHeight});
            band.reset();
            return context;
        };
        const auto copied = draw(false);
        EXPECT_EQ(firstDifference(*copied, *draw(true)), "") << "at " << x << ", " << y;
        // The band draws in the bitmap's own coordinates, from row 33 on.
        EXPECT_NE(copied->pixel(static_cast<int>(x) + 350, static_cast<int>(y) + 275),
                  copied->pixel(static_cast<int>(x) + 350, static_cast<int>(y) + 230))
            << "the line is there";
    }
}
