// Images made from straight pixels: read back as given, and refused when
// the pixels do not fill the size.

#include "platform/graphics/Image.h"

#include <gtest/gtest.h>

#include <vector>

using platform::Image;
using platform::Pixel;

TEST(ImageFromPixels, ReadsBackRowByRowAndRefusesWrongCounts) {
    const std::vector<Pixel> pixels = {{255, 0, 0, 255},  {0, 255, 0, 128}, {0, 0, 0, 0},
                                       {10, 20, 30, 255}, {0, 0, 255, 255}, {200, 100, 50, 64}};
    const auto image = Image::fromPixels(3, 2, pixels, 2.0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), (platform::Size{1.5, 1}));
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            const Pixel expected = pixels[static_cast<std::size_t>(y * 3 + x)];
            const Pixel read = *image->pixel(x, y);
            // Kept premultiplied: a faint pixel comes back within rounding.
            const int tolerance = expected.alpha == 255 ? 0 : 2;
            EXPECT_NEAR(read.red, expected.red, tolerance) << x << "," << y;
            EXPECT_NEAR(read.green, expected.green, tolerance) << x << "," << y;
            EXPECT_NEAR(read.blue, expected.blue, tolerance) << x << "," << y;
            EXPECT_EQ(read.alpha, expected.alpha) << x << "," << y;
        }
    }
    EXPECT_EQ(Image::fromPixels(3, 3, pixels), nullptr);
    EXPECT_EQ(Image::fromPixels(0, 0, {}), nullptr);
    EXPECT_EQ(Image::fromPixels(-3, -2, pixels), nullptr);
}
