// Image utilities checked pixel by pixel: colours of single pixels (not
// premultiplied), grey scale, crops at the image's own scale, circles and
// scaling; and pictures of layout elements wherever the elements lie, in
// the outline colour asked for.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/Utilities/Images/UIImageCCompositeGeometry.h"
#include "app/Utilities/Images/UIImageZDUtils.h"
#include "engine/drawing/DrawingOptions.h"
#include "engine/model/Layout.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/support/LogWatch.h"

using platform::Color;
using platform::Image;
using platform::Pixel;

namespace {

const Pixel kRed{255, 0, 0, 255};
const Pixel kGreen{0, 255, 0, 255};
const Pixel kBlue{0, 0, 255, 255};

// Columns of colours, `widths` pixels each, `height` high, at `scale`.
std::shared_ptr<Image> Stripes(const std::vector<std::pair<Pixel, int>>& columns, int height, double scale) {
    int width = 0;
    for (const auto& column : columns) width += column.second;
    std::vector<Pixel> pixels;
    for (int y = 0; y < height; ++y) {
        for (const auto& [pixel, count] : columns) pixels.insert(pixels.end(), count, pixel);
    }
    return Image::fromPixels(width, height, pixels, scale);
}

int CountOpaque(const Image& image) {
    int count = 0;
    for (int y = 0; y < image.pixelHeight(); ++y) {
        for (int x = 0; x < image.pixelWidth(); ++x) count += image.pixel(x, y)->alpha > 128 ? 1 : 0;
    }
    return count;
}

}  // namespace

TEST(ImageUtilities, PixelColoursAreReadStraightAndOnlyInside) {
    // 4 x 3 pixels: red but one half transparent red pixel at (2, 1).
    std::vector<Pixel> pixels(12, kRed);
    pixels[1 * 4 + 2] = Pixel{255, 0, 0, 128};
    pixels[2 * 4 + 3] = kBlue;
    const auto image = Image::fromPixels(4, 3, pixels);
    ASSERT_NE(image, nullptr);

    const auto half = UIImageZDUtils::colorAtPixel(*image, {2.5, 1.7});
    ASSERT_TRUE(half.has_value());
    EXPECT_NEAR(half->red, 1.0, 1.0 / 255) << "not premultiplied by its alpha";
    EXPECT_NEAR(half->alpha, 128.0 / 255, 1e-9);
    EXPECT_EQ(UIImageZDUtils::colorAtPixel(*image, {3.9, 2.9}), (Color{0, 0, 1, 1}));

    EXPECT_EQ(UIImageZDUtils::colorAtPixel(*image, {-0.1, 1}), std::nullopt);
    EXPECT_EQ(UIImageZDUtils::colorAtPixel(*image, {1, -1}), std::nullopt);
    EXPECT_EQ(UIImageZDUtils::colorAtPixel(*image, {4, 1}), std::nullopt) << "x = width is outside";
    EXPECT_EQ(UIImageZDUtils::colorAtPixel(*image, {1, 3}), std::nullopt);

    EXPECT_EQ(UIImageZDUtils::normalizedImage(image).get(), image.get());
}

TEST(ImageUtilities, GreyLevelsAreOpaqueAtScaleOne) {
    const auto image = Stripes({{kRed, 2}, {kGreen, 2}, {Pixel{}, 2}}, 2, 2.0);  // 3 x 1 points
    const auto grey = UIImageZDUtils::grayscaleImage(*image);
    ASSERT_NE(grey, nullptr);
    EXPECT_EQ(grey->scale(), 1);
    EXPECT_EQ(grey->pixelWidth(), 3);
    EXPECT_EQ(grey->pixelHeight(), 1);
    EXPECT_EQ(grey->pixel(0, 0), (Pixel{76, 76, 76, 255}));
    EXPECT_EQ(grey->pixel(1, 0), (Pixel{150, 150, 150, 255}));
    EXPECT_EQ(grey->pixel(2, 0), (Pixel{0, 0, 0, 255})) << "transparency over black";

    const auto tiny = Image::fromPixels(1, 1, std::vector<Pixel>{kRed}, 2.0);  // half a point
    EXPECT_EQ(UIImageZDUtils::grayscaleImage(*tiny), nullptr);
}

TEST(ImageUtilities, CropsCutAtTheImagesOwnScale) {
    // 300 x 200 points at scale 2: red, blue, green columns of 100, 400
    // and 100 pixels. The centred square is the blue part exactly.
    const auto image = Stripes({{kRed, 100}, {kBlue, 400}, {kGreen, 100}}, 400, 2.0);
    const auto square = UIImageZDUtils::cropToSquare(*image);
    ASSERT_NE(square, nullptr);
    EXPECT_EQ(square->size(), (platform::Size{200, 200}));
    EXPECT_EQ(square->scale(), 2);
    EXPECT_EQ(square->pixel(0, 0), kBlue);
    EXPECT_EQ(square->pixel(399, 399), kBlue);
    EXPECT_EQ(layouttest::CountNear(*square, 0, 0, 400, 400, 0, 0, 255, 0), 400 * 400);

    const auto middle = UIImageZDUtils::imageCroppedToFitSize(*image, {250, 100});
    ASSERT_NE(middle, nullptr);
    EXPECT_EQ(middle->pixelWidth(), 500);
    EXPECT_EQ(middle->pixel(0, 0), kRed) << "starts 25 points (50 pixels) in";
    EXPECT_EQ(middle->pixel(49, 0), kRed);
    EXPECT_EQ(middle->pixel(50, 0), kBlue);
    EXPECT_EQ(middle->pixel(450, 0), kGreen);

    const auto whole = UIImageZDUtils::imageCroppedToFitSize(*image, {1000, 1000});
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->pixelWidth(), 600) << "nothing beyond the image";
    EXPECT_EQ(UIImageZDUtils::imageCroppedToFitSize(*image, {0, 0}), nullptr);
}

TEST(ImageUtilities, CirclesAndScaling) {
    const auto image = Stripes({{kRed, 20}}, 10, 1.0);  // 20 x 10 points
    const auto circle = UIImageZDUtils::cropToCircle(*image);
    ASSERT_NE(circle, nullptr);
    EXPECT_EQ(circle->size(), (platform::Size{20, 10})) << "the image's full size";
    EXPECT_EQ(circle->pixel(5, 5), kRed);
    EXPECT_EQ(circle->pixel(0, 0)->alpha, 0) << "outside the circle";
    EXPECT_EQ(circle->pixel(9, 0)->alpha, 0);
    EXPECT_EQ(circle->pixel(15, 5)->alpha, 0) << "beside the square";

    const auto scaled = UIImageZDUtils::scaleImageToSize(*image, {40, 5});
    ASSERT_NE(scaled, nullptr);
    EXPECT_EQ(scaled->size(), (platform::Size{40, 5}));
    EXPECT_EQ(scaled->scale(), 2) << "the main screen's";
    EXPECT_EQ(scaled->pixel(40, 5), kRed);
}

TEST(ElementImages, ElementsAwayFromTheOriginAreDrawnWhole) {
    const auto layout = layouttest::LoadScenario(R"(version 13
layer "Tracks"
straight length=200 at=3000,1500 angle=90 color=1,0,0
rect size=100,50 at=-800,-400 width=2 color=0,1,0 color2=0,0,1
)",
                                                 "away.wkst");
    const tElements& elements = layout->GetElements();
    ASSERT_EQ(elements.size(), 2u);
    const int style = layout->GetParameters().mTrackStyle;

    const auto track = UIImageCCompositeGeometry::imageFromCCompositeGeometry(elements[0], 0.5f, style);
    ASSERT_NE(track, nullptr);
    EXPECT_GT(CountOpaque(*track), track->pixelWidth() * track->pixelHeight() / 3) << "not blank";
    EXPECT_NEAR(track->size().height, 100, 2) << "200 long at half scale, upright";

    const auto shape = UIImageCCompositeGeometry::imageFromCCompositeGeometry(elements[1], 1.0f, style);
    ASSERT_NE(shape, nullptr);
    EXPECT_NEAR(shape->size().width, 100, 3);
    EXPECT_GT(layouttest::CountNear(*shape, 0, 0, shape->pixelWidth(), shape->pixelHeight(), 0, 255, 0), 1000)
        << "filled in its own colour";
}

TEST(ElementImages, OutlinesTakeTheColourAskedFor) {
    const auto layout = layouttest::LoadScenario(R"(version 13
layer "Shapes"
rect size=100,50 at=200,300 width=6 color=1,1,1 color2=0,0,1
)",
                                                 "outline.wkst");
    CCompositeGeometry* rect = layout->GetElements().at(0);
    const int style = layout->GetParameters().mTrackStyle;
    const auto count = [](const Image& image, int r, int g, int b) {
        return layouttest::CountNear(image, 0, 0, image.pixelWidth(), image.pixelHeight(), r, g, b, 30);
    };
    const auto red = UIImageCCompositeGeometry::imageFromCCompositeGeometry(rect, 1.0f, style, Color{1, 0, 0, 1});
    ASSERT_NE(red, nullptr);
    EXPECT_GT(count(*red, 255, 0, 0), 100);
    EXPECT_EQ(count(*red, 0, 0, 255), 0) << "not its own blue";
    const auto black = UIImageCCompositeGeometry::imageFromCCompositeGeometries({rect}, 1.0f, style);
    ASSERT_NE(black, nullptr);
    EXPECT_GT(count(*black, 0, 0, 0), 100) << "black unless told";
    EXPECT_EQ(count(*black, 0, 0, 255), 0);
    EXPECT_EQ(rect->GetSecondColor(), CColor(0.0, 0.0, 1.0, 1.0)) << "the element is left as it was";
}

TEST(ElementImages, ThinAndEmptyLists) {
    const auto layout = layouttest::LoadScenario(R"(version 13
layer "Lines"
line to=500,100 at=500,0 width=0
)",
                                                 "thin.wkst");
    const auto thin = UIImageCCompositeGeometry::imageFromCCompositeGeometry(layout->GetElements().at(0), 1.0f, 0);
    ASSERT_NE(thin, nullptr);
    EXPECT_GE(thin->size().width, 1);

    testsupport::LogWatch log;
    EXPECT_EQ(UIImageCCompositeGeometry::imageFromCCompositeGeometries({}, 1.0f, 0), nullptr);
    EXPECT_EQ(UIImageCCompositeGeometry::imageFromCCompositeGeometry(nullptr, 1.0f, 0), nullptr);
    EXPECT_EQ(log.Count("No elements provided in +[UIImage(CCompositeGeometry) "
                        "imageFromCCompositeGeometries:usingScale:drawingStyle:outlineColor:]"),
              2);
}
