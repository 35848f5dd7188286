// Images made from straight pixels: read back as given, and refused when
// the pixels do not fill the size; parts of them shared without a copy.

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
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

TEST(ImageFromPixels, ACroppedPartSharesThePixelsAndOutlivesTheWhole) {
    std::vector<Pixel> pixels;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x)
            pixels.push_back({static_cast<std::uint8_t>(40 * x), static_cast<std::uint8_t>(70 * y), 9, 255});
    }
    auto whole = Image::fromPixels(4, 3, pixels, 2.0);
    ASSERT_NE(whole, nullptr);
    const auto part = whole->cropped(1, 1, 3, 2);
    ASSERT_NE(part, nullptr);
    whole.reset();
    EXPECT_EQ(part->pixelWidth(), 3);
    EXPECT_EQ(part->pixelHeight(), 2);
    EXPECT_EQ(part->size(), (platform::Size{1.5, 1}));
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(*part->pixel(x, y), pixels[static_cast<std::size_t>((y + 1) * 4 + x + 1)]);
    }
    EXPECT_FALSE(part->pixel(3, 0)) << "nothing of the whole beyond the part";

    // Drawn pixel on pixel, its rows are read a whole row of the image apart.
    auto bitmap = platform::BitmapContext::create(3, 2, 2.0);
    bitmap->drawImage(*part, {0, 0, 1.5, 1});
    EXPECT_EQ(*bitmap->pixel(2, 1), pixels[11]);
    EXPECT_EQ(*bitmap->pixel(0, 0), pixels[5]);
    const auto again = Image::fromData(part->pngData());
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(*again->pixel(1, 1), pixels[10]);

    for (const auto& [x, y, w, h] : {std::array{-1, 0, 2, 2},
                                     {0, 0, 0, 1},
                                     {2, 0, 3, 1},
                                     {0, 1, 1, 3},
                                     {std::numeric_limits<int>::max(), 0, 1, 1},
                                     {1, 1, std::numeric_limits<int>::max(), 1}}) {
        EXPECT_EQ(part->cropped(x, y, w, h), nullptr) << x << "," << y << " " << w << "x" << h;
    }
}
