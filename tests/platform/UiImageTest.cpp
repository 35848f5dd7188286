#include "platform/foundation/Bundle.h"
#include "platform/foundation/TemporaryFolder.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/NamedColors.h"
#include "platform/ui/views/NamedImages.h"
#include "platform/ui/views/SymbolImages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using platform::BitmapContext;
using platform::ImageRenderingMode;
using platform::Pixel;

namespace {

void writeSquare(const std::filesystem::path& path, int pixels, double scale) {
    auto c = BitmapContext::create(pixels, pixels, scale);
    c->setFillColor({0, 1, 0, 1});
    c->fillRect({0, 0, pixels / scale, pixels / scale});
    ASSERT_TRUE(c->makeImage()->writePNG(path));
}

}  // namespace

TEST(UiImageTest, NamedImagesComeFromTheBundleAtTheirScale) {
    platform::TemporaryFolder root("named-images");
    std::filesystem::create_directories(root.path() / "images");
    writeSquare(root.path() / "images" / "visibility_on@2x.png", 48, 2);
    writeSquare(root.path() / "images" / "visibility_on.png", 24, 1);
    writeSquare(root.path() / "images" / "cloud_off_36dp.png", 36, 1);
    platform::Bundle bundle(root.path());

    const auto twice = platform::ui::imageNamed("visibility_on", bundle);
    ASSERT_NE(twice, nullptr);
    EXPECT_EQ(twice->scale(), 2) << "the scale screens are drawn at wins";
    EXPECT_EQ(twice->size(), (platform::Size{24, 24}));
    EXPECT_EQ(platform::ui::imageNamed("visibility_on", bundle), twice) << "kept once loaded";
    const auto plain = platform::ui::imageNamed("cloud_off_36dp", bundle);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->scale(), 1);
    EXPECT_EQ(plain->renderingMode(), ImageRenderingMode::automatic);

    for (const char* name : {"missing", "", "../images/cloud_off_36dp", "images/cloud_off_36dp", ".hidden"}) {
        EXPECT_EQ(platform::ui::imageNamed(name, bundle), nullptr) << name;
    }

    const auto tinted = plain->withRenderingMode(ImageRenderingMode::alwaysTemplate);
    EXPECT_EQ(tinted->renderingMode(), ImageRenderingMode::alwaysTemplate);
    EXPECT_EQ(plain->renderingMode(), ImageRenderingMode::automatic) << "the original keeps its mode";
    EXPECT_EQ(tinted->pixel(5, 5), plain->pixel(5, 5));
}

TEST(UiImageTest, NamedColoursComeFromTheBundlesColourList) {
    platform::TemporaryFolder root("named-colours");
    std::ofstream(root.path() / "Colors.txt") << "// a comment\n"
                                                 "TitleLabelColor #FF8000\n"
                                                 "\n"
                                                 "Half #00000080\n"
                                                 "Short #FFF\n"
                                                 "NotHex #GG0000\n"
                                                 "Extra #000000 more\n";
    platform::Bundle bundle(root.path());
    EXPECT_EQ(platform::ui::colorNamed("TitleLabelColor", bundle), (platform::Color{1, 128 / 255.0, 0, 1}));
    EXPECT_EQ(platform::ui::colorNamed("Half", bundle), (platform::Color{0, 0, 0, 128 / 255.0}));
    for (const char* name : {"Short", "NotHex", "Extra", "missing", "// a comment"}) {
        EXPECT_EQ(platform::ui::colorNamed(name, bundle), std::nullopt) << name;
    }
    platform::Bundle empty(root.path() / "nowhere");
    EXPECT_EQ(platform::ui::colorNamed("TitleLabelColor", empty), std::nullopt);

    // The app's own list has the colours its screens name.
    for (const char* name : {"TitleLabelColor", "TextDescriptionLabelColor"}) {
        EXPECT_NE(platform::ui::colorNamed(name), std::nullopt) << name;
    }
}

TEST(UiImageTest, TemplateMasksFillWithTheColourThroughTheirAlpha) {
    // A mask: opaque left half, half-transparent right half.
    auto maskContext = BitmapContext::create(10, 10);
    maskContext->setFillColor({0, 0, 0, 1});
    maskContext->fillRect({0, 0, 5, 10});
    maskContext->setFillColor({0.3, 0.3, 0.3, 0.5});
    maskContext->fillRect({5, 0, 5, 10});
    const auto mask = maskContext->makeImage();

    auto c = BitmapContext::create(40, 20);
    c->setFillColor({1, 0, 0, 1});
    c->fillMask(*mask, {10, 0, 20, 20});  // stretched twice
    EXPECT_EQ(*c->pixel(12, 10), (Pixel{255, 0, 0, 255}));
    const Pixel half = *c->pixel(27, 10);
    EXPECT_EQ(half.red, 255);
    EXPECT_NEAR(half.alpha, 128, 1);
    EXPECT_EQ(c->pixel(5, 10)->alpha, 0) << "nothing outside the rectangle";
    EXPECT_EQ(c->pixel(35, 10)->alpha, 0);
}

TEST(UiImageTest, SymbolsAreTemplatesDrawnByOurOwnCode) {
    ASSERT_TRUE(platform::ui::hasSymbol("xmark.circle.fill"));
    const auto clear = platform::ui::systemImage("xmark.circle.fill", 20, 2);
    ASSERT_NE(clear, nullptr);
    EXPECT_EQ(clear->renderingMode(), ImageRenderingMode::alwaysTemplate);
    EXPECT_EQ(clear->pixelWidth(), 40);
    EXPECT_EQ(clear->size(), (platform::Size{20, 20}));
    EXPECT_EQ(clear->pixel(20, 20)->alpha, 0) << "the cross is cut out of the disc";
    EXPECT_EQ(*clear->pixel(20, 8), (Pixel{0, 0, 0, 255})) << "between the cross's arms the disc is solid";
    EXPECT_EQ(clear->pixel(1, 1)->alpha, 0) << "outside the disc";
    EXPECT_EQ(platform::ui::systemImage("no.such.symbol"), nullptr);
    EXPECT_EQ(platform::ui::systemImage("xmark.circle.fill", 0), nullptr);

    platform::ui::registerSymbol("test.square", [](platform::Context& context, const platform::Rect& box) {
        context.fillRect({box.x + box.width / 4, box.y + box.height / 4, box.width / 2, box.height / 2});
    });
    auto c = BitmapContext::create(20, 20);
    c->setFillColor({0, 0, 1, 1});
    EXPECT_TRUE(platform::ui::drawSymbol("test.square", *c, {0, 0, 20, 20}));
    EXPECT_FALSE(platform::ui::drawSymbol("no.such.symbol", *c, {0, 0, 20, 20}));
    EXPECT_EQ(*c->pixel(10, 10), (Pixel{0, 0, 255, 255}));
    EXPECT_EQ(c->pixel(2, 2)->alpha, 0);
}

TEST(UiImageTest, SymbolImagesAreMadeOnceAndAgainWhenTheSymbolIsReplaced) {
    const auto square = [](double inset) {
        return [inset](platform::Context& context, const platform::Rect& box) {
            context.fillRect({box.x + inset, box.y + inset, box.width - 2 * inset, box.height - 2 * inset});
        };
    };
    platform::ui::registerSymbol("test.kept", square(2));
    const auto first = platform::ui::systemImage("test.kept", 10, 2);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(platform::ui::systemImage("test.kept", 10, 2), first) << "the same image again";
    const auto larger = platform::ui::systemImage("test.kept", 12, 2);
    ASSERT_NE(larger, nullptr);
    EXPECT_EQ(larger->pixelWidth(), 24) << "another size is another image";
    EXPECT_EQ(platform::ui::systemImage("test.kept", 10, 3)->pixelWidth(), 30) << "and another scale";
    EXPECT_EQ(first->pixel(2, 2)->alpha, 0);

    // Replaced, the symbol draws anew at every size.
    platform::ui::registerSymbol("test.kept", square(0));
    const auto replaced = platform::ui::systemImage("test.kept", 10, 2);
    ASSERT_NE(replaced, nullptr);
    EXPECT_EQ(replaced->pixel(2, 2)->alpha, 255);
    EXPECT_EQ(platform::ui::systemImage("test.kept", 12, 2)->pixel(2, 2)->alpha, 255);
    EXPECT_EQ(first->pixel(2, 2)->alpha, 0) << "an image handed out never changes";
}

TEST(UiImageTest, ContentModesPlaceContentInTheBounds) {
    using platform::Rect;
    using platform::ui::ViewContentMode;
    const Rect bounds{10, 20, 200, 100};
    const platform::Size image{50, 25};  // half as high as wide, like the bounds
    const platform::Size tall{20, 40};
    struct Case {
        const char* name;
        ViewContentMode mode;
        platform::Size size;
        Rect expected;
    };
    const Case cases[] = {
        {"fill stretches", ViewContentMode::scaleToFill, tall, bounds},
        {"fit of the same shape fills", ViewContentMode::scaleAspectFit, image, bounds},
        {"fit of a tall one: the height, centred", ViewContentMode::scaleAspectFit, tall, {85, 20, 50, 100}},
        {"fill of a tall one: the width, centred", ViewContentMode::scaleAspectFill, tall, {10, -130, 200, 400}},
        {"centre", ViewContentMode::center, image, {85, 57.5, 50, 25}},
        {"top", ViewContentMode::top, image, {85, 20, 50, 25}},
        {"bottom right", ViewContentMode::bottomRight, image, {160, 95, 50, 25}},
        {"left", ViewContentMode::left, image, {10, 57.5, 50, 25}},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::ui::placeContent(c.size, bounds, c.mode), c.expected) << c.name;

    // An image view sizes to its image and shows the highlighted one while
    // highlighted.
    auto plain = BitmapContext::create(30, 10)->makeImage();
    auto lit = BitmapContext::create(4, 4)->makeImage();
    platform::ui::ImageView view(plain, lit);
    EXPECT_EQ(view.frame(), (Rect{0, 0, 30, 10}));
    EXPECT_EQ(view.intrinsicContentSize(), (platform::Size{30, 10}));
    EXPECT_EQ(view.displayedImage(), plain);
    view.setHighlighted(true);
    EXPECT_EQ(view.displayedImage(), lit);
    view.setHighlightedImage(nullptr);
    EXPECT_EQ(view.displayedImage(), plain) << "without a highlighted image the image shows";
    view.setImage(nullptr);
    EXPECT_EQ(view.intrinsicContentSize().width, platform::ui::kViewNoIntrinsicMetric);
}
