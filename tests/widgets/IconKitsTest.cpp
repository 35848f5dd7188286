// The code-drawn icons: the design box fitted into frames, the shapes
// checked as pixels where they are simple, the same icon drawn at several
// sizes and in several frames compared as images with a tolerance, the kit
// images, and the portrait in its ring.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "platform/ui/views/Screen.h"
#include "widgets/Kits/CircularImageViewKit.h"
#include "widgets/Kits/InfoKit.h"
#include "widgets/Kits/KitResizing.h"
#include "widgets/Kits/LayersKit.h"
#include "widgets/Kits/LikeKit.h"
#include "widgets/Kits/ShareActionKit.h"
#include "widgets/Kits/VKMPaintKitImages.h"
#include "widgets/Views/VKMCircularImageView.h"

using platform::Color;
using platform::Image;
using platform::Pixel;
using platform::Rect;

namespace {

const Color kInk{0.2, 0.4, 0.8, 1};
using Draw = std::function<void(platform::Context&)>;

// What `draw` paints on a transparent bitmap of that many pixels.
std::shared_ptr<Image> render(int width, int height, double scale, const Draw& draw) {
    auto bitmap = platform::BitmapContext::create(width, height, scale);
    draw(*bitmap);
    return bitmap->makeImage();
}

int alphaAt(const Image& image, int x, int y) {
    const auto p = image.pixel(x, y);
    return p ? p->alpha : -1;
}

// Compares `small` with `large` shrunk by `factor` (boxes of factor x
// factor pixels averaged), optionally with `large` moved by (dx, dy) pixels
// of `small` first. Alpha only: every kit draws one colour.
struct Difference {
    double mean = 0;
    int worst = 0;
};
Difference compareAlpha(const Image& small, const Image& large, int factor, int dx = 0, int dy = 0) {
    Difference d;
    long total = 0;
    for (int y = 0; y < small.pixelHeight(); ++y) {
        for (int x = 0; x < small.pixelWidth(); ++x) {
            int sum = 0;
            for (int j = 0; j < factor; ++j) {
                for (int i = 0; i < factor; ++i) {
                    sum += std::max(0, alphaAt(large, (x - dx) * factor + i, (y - dy) * factor + j));
                }
            }
            const int diff = std::abs(alphaAt(small, x, y) - sum / (factor * factor));
            total += diff;
            d.worst = std::max(d.worst, diff);
        }
    }
    d.mean = double(total) / (small.pixelWidth() * small.pixelHeight());
    return d;
}

struct Spot {
    const char* name;
    int x, y;  // design units, on a 100 x 100 pixel drawing
    bool filled;
};

void expectSpots(const Image& image, const std::vector<Spot>& spots) {
    for (const Spot& s : spots) {
        const int alpha = alphaAt(image, s.x, s.y);
        if (s.filled) {
            EXPECT_EQ(alpha, 255) << s.name;
        } else {
            EXPECT_EQ(alpha, 0) << s.name;
        }
    }
}

}  // namespace

TEST(IconKits, TheDesignBoxFitsTheFrameAsTheBehaviourSays) {
    const Rect box{0, 0, 100, 100};
    struct Case {
        const char* name;
        KitResizingBehavior behavior;
        Rect target;
        Rect expected;
    };
    const Case cases[] = {
        {"equal rectangles stay", KitResizingBehavior::aspectFit, box, box},
        {"a zero target leaves the box", KitResizingBehavior::stretch, Rect{}, box},
        {"fit in a wide frame: centred across", KitResizingBehavior::aspectFit, {0, 0, 200, 100}, {50, 0, 100, 100}},
        {"fill a wide frame: centred, over the top and bottom",
         KitResizingBehavior::aspectFill,
         {0, 0, 200, 100},
         {0, -50, 200, 200}},
        {"stretch each axis", KitResizingBehavior::stretch, {10, 20, 50, 30}, {10, 20, 50, 30}},
        {"centre keeps the size", KitResizingBehavior::center, {0, 0, 50, 50}, {-25, -25, 100, 100}},
        {"a flipped frame scales by its size's magnitude",
         KitResizingBehavior::aspectFit,
         {0, 0, -50, 40},
         {-45, 0, 40, 40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(KitResizing::apply(c.behavior, box, c.target), c.expected);
    }
}

TEST(IconKits, ShapesHaveTheirPartsWhereTheOutlinesPutThem) {
    const auto share = render(100, 100, 1, [](auto& c) { ShareActionKit::drawShare(c, kInk); });
    expectSpots(*share, {{"arrow tip", 50, 5, true},
                         {"arrow shaft", 50, 40, true},
                         {"right wing of the head", 62, 16, true},
                         {"under the wing", 57, 18, false},
                         {"tray's top edge", 25, 30, true},
                         {"gap in the top edge", 44, 30, false},
                         {"left wall", 17, 60, true},
                         {"inside the tray", 30, 60, false},
                         {"bottom", 50, 97, true},
                         {"right wall", 83, 60, true},
                         {"outside", 95, 60, false}});
    EXPECT_EQ(*share->pixel(50, 40), (Pixel{51, 102, 204, 255})) << "the fill colour";

    const auto info = render(100, 100, 1, [](auto& c) { InfoKit::drawInfo(c, kInk); });
    expectSpots(*info, {{"ring at the top", 50, 5, true},
                        {"ring at the left", 5, 50, true},
                        {"inside the ring above the dot", 50, 15, false},
                        {"dot", 50, 30, true},
                        {"between dot and stem", 50, 38, false},
                        {"stem", 50, 58, true},
                        {"beside the stem", 30, 50, false},
                        {"corner", 5, 5, false}});

    const auto layers = render(100, 100, 1, [](auto& c) { LayersKit::drawLayersCanvas(c, kInk); });
    expectSpots(*layers, {{"top layer", 50, 36, true},
                          {"gap below it", 50, 80, false},
                          {"next layer's point", 50, 92, true},
                          {"next layer's side", 20, 70, true},
                          {"gap at the side", 93, 50, false},
                          {"beyond the chevron", 95, 90, false},
                          {"corner", 5, 5, false}});

    const auto heart = render(100, 100, 1, [](auto& c) { LikeKit::drawLike(c, kInk, Color{1, 0, 0, 1}); });
    EXPECT_EQ(*heart->pixel(50, 50), (Pixel{255, 0, 0, 255})) << "filled inside";
    EXPECT_EQ(*heart->pixel(2, 36), (Pixel{51, 102, 204, 255})) << "stroked outside the left lobe";
    EXPECT_EQ(*heart->pixel(8, 36), (Pixel{51, 102, 204, 255})) << "and over its inner edge";
    expectSpots(*heart, {{"left of the lower curve", 3, 80, false},
                         {"above the lobes", 27, 1, false},
                         {"below the point", 50, 98, false},
                         {"beside the point", 15, 90, false}});
}

TEST(IconKits, IconsAtSeveralSizesAgreeWithinATolerance) {
    struct Icon {
        const char* name;
        std::function<void(platform::Context&, const Rect&, KitResizingBehavior)> draw;
    };
    const Icon icons[] = {
        {"share", [](auto& c, const Rect& f, auto r) { ShareActionKit::drawShare(c, f, r, kInk); }},
        {"like", [](auto& c, const Rect& f, auto r) { LikeKit::drawLike(c, f, r, kInk, kInk); }},
        {"info", [](auto& c, const Rect& f, auto r) { InfoKit::drawInfo(c, f, r, kInk); }},
        {"layers", [](auto& c, const Rect& f, auto r) { LayersKit::drawLayersCanvas(c, f, r, kInk); }},
    };
    for (const Icon& icon : icons) {
        SCOPED_TRACE(icon.name);
        const auto full = render(200, 200, 1, [&](auto& c) {
            icon.draw(c, {0, 0, 200, 200}, KitResizingBehavior::stretch);
        });
        // Half size in a 50-point frame, against the 200-pixel drawing
        // shrunk four times; the edges' shading differs a little.
        const auto half = render(50, 50, 1, [&](auto& c) {
            icon.draw(c, {0, 0, 50, 50}, KitResizingBehavior::stretch);
        });
        auto d = compareAlpha(*half, *full, 4);
        EXPECT_LT(d.mean, 1.0);
        EXPECT_LT(d.worst, 40);
        const auto hundred = render(100, 100, 1, [&](auto& c) {
            icon.draw(c, {0, 0, 100, 100}, KitResizingBehavior::stretch);
        });
        d = compareAlpha(*hundred, *full, 2);
        EXPECT_LT(d.mean, 1.0);
        EXPECT_LT(d.worst, 40);

        // A 200 x 100 frame: fitted, a 100 x 100 icon 50 to the right;
        // filled, a 200 x 200 icon cut to its middle rows.
        const auto fit = render(200, 100, 1, [&](auto& c) {
            icon.draw(c, {0, 0, 200, 100}, KitResizingBehavior::aspectFit);
        });
        d = compareAlpha(*fit, *hundred, 1, 50, 0);
        EXPECT_LE(d.worst, 1) << "only moved by whole pixels";
        const auto fill = render(200, 100, 1, [&](auto& c) {
            icon.draw(c, {0, 0, 200, 100}, KitResizingBehavior::aspectFill);
        });
        d = compareAlpha(*fill, *full, 1, 0, -50);
        EXPECT_LE(d.worst, 1);
    }
}

TEST(IconKits, KitImagesFollowTheWidthAtTheScreensScale) {
    const double scale = platform::ui::Screen::mainScreen()->scale();
    const auto info = VKMPaintKitImages::infoImageWithSize({40, 40}, kInk);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->scale(), scale);
    EXPECT_EQ(info->size(), (platform::Size{40, 40}));
    const auto drawn =
        render(int(40 * scale), int(40 * scale), scale * 0.4, [](auto& c) { InfoKit::drawInfo(c, kInk); });
    EXPECT_LE(compareAlpha(*info, *drawn, 1).worst, 1) << "the short form scaled by 40 / 100";

    // A taller image keeps the icon's proportions: the icon fills the top.
    const auto tall = VKMPaintKitImages::likedImageWithSize({40, 80}, kInk);
    ASSERT_TRUE(tall);
    EXPECT_EQ(alphaAt(*tall, int(20 * scale), int(20 * scale)), 255) << "the heart's middle";
    EXPECT_EQ(alphaAt(*tall, int(20 * scale), int(60 * scale)), 0) << "nothing below it";
    const auto solid = VKMPaintKitImages::likedImageWithSize({40, 40}, kInk);
    EXPECT_EQ(*solid->pixel(int(20 * scale), int(20 * scale)), (Pixel{51, 102, 204, 255}));

    // The outline heart: a ring of 9 % of the width, clear inside, at
    // every size.
    for (double width : {50.0, 100.0}) {
        SCOPED_TRACE(width);
        const auto outline = VKMPaintKitImages::likedNotYetImageWithSize({width, width}, kInk);
        ASSERT_TRUE(outline);
        const int row = int(std::lround(0.36 * width * scale));  // through the lobes' widest point
        int run = 0;
        for (int x = 0; x < outline->pixelWidth() / 2; ++x) {
            if (alphaAt(*outline, x, row) > 127) ++run;
        }
        EXPECT_NEAR(run, 0.09 * width * scale, 1.0);
        EXPECT_EQ(alphaAt(*outline, outline->pixelWidth() / 2, outline->pixelHeight() / 2), 0) << "clear inside";
    }
    EXPECT_EQ(VKMPaintKitImages::getImageForSize({0, 10}, [](auto&) {}), nullptr) << "no image of no width";
}

TEST(IconKits, PortraitsSitInAWhiteRingInsideTheShorterSide) {
    std::vector<Pixel> red(16, Pixel{255, 0, 0, 255});
    const std::shared_ptr<const Image> portrait = Image::fromPixels(4, 4, red);
    ASSERT_TRUE(portrait);
    auto view = std::make_shared<VKMCircularImageView>(Rect{0, 0, 60, 40});
    view->setImage(portrait);
    const double scale = 4;
    const auto drawn = render(240, 160, scale, [&](auto& c) { view->drawRect(c, view->bounds()); });
    // A 35-point circle fitted into the bounds less 2.5 points a side:
    // centred across, at the top of that inset, the circle 0.25 in.
    const double cx = 12.5 + 0.25 + 17.5, cy = 2.5 + 0.25 + 17.5;
    auto at = [&](double x, double y) { return *drawn->pixel(int(x * scale), int(y * scale)); };
    EXPECT_EQ(at(cx, cy), (Pixel{255, 0, 0, 255})) << "the portrait in the middle";
    EXPECT_EQ(at(cx + 13, cy), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(at(cx + 17.5, cy), (Pixel{255, 255, 255, 255})) << "the ring on the circle";
    EXPECT_EQ(at(cx - 17.5, cy), (Pixel{255, 255, 255, 255}));
    EXPECT_EQ(at(cx, cy - 17.5).alpha, 255);
    EXPECT_EQ(at(cx + 21, cy).alpha, 0) << "nothing beyond the ring";
    EXPECT_EQ(at(cx + 16, cy + 16).alpha, 0) << "the portrait's corner is cut";
    // The ring is 4.5 points wide along the row through the middle.
    int run = 0;
    for (int x = int(cx * scale); x < drawn->pixelWidth(); ++x) {
        const auto p = *drawn->pixel(x, int(cy * scale));
        if (p.green > 200 && p.alpha > 200) ++run;
    }
    EXPECT_NEAR(run, 4.5 * scale, 1.5);

    // Without a portrait the ring alone.
    view->setImage(nullptr);
    const auto ring = render(240, 160, scale, [&](auto& c) { view->drawRect(c, view->bounds()); });
    EXPECT_EQ(ring->pixel(int(cx * scale), int(cy * scale))->alpha, 0);
    EXPECT_EQ(*ring->pixel(int((cx + 17.5) * scale), int(cy * scale)), (Pixel{255, 255, 255, 255}));
}
