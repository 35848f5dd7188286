#include <gtest/gtest.h>

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Image.h"
#include "widgets/Kits/ScalableProgressBarKit.h"

TEST(ScalableProgressBarKit, GaugeOverTrackWithRoundEnds) {
    auto bitmap = platform::BitmapContext::create(100, 20);
    ASSERT_NE(bitmap, nullptr);
    ScalableProgressBarKit::drawProgressBarWithBackground(*bitmap, platform::Color{1, 0, 0, 1},
                                                          platform::Color{0, 0, 1, 1}, 100, 20, 40);
    const platform::Pixel red{255, 0, 0, 255};
    const platform::Pixel blue{0, 0, 255, 255};
    EXPECT_EQ(bitmap->pixel(20, 10), blue);
    EXPECT_EQ(bitmap->pixel(70, 10), red);
    // The ends are half circles: the corners stay empty.
    EXPECT_EQ(bitmap->pixel(0, 0)->alpha, 0);
    EXPECT_EQ(bitmap->pixel(99, 19)->alpha, 0);
    // The gauge's round end leaves the track showing at its corner.
    EXPECT_EQ(bitmap->pixel(39, 1), red);
}

TEST(ScalableProgressBarKit, AnEmptyGaugeShowsTheTrackAndAFullOneCoversIt) {
    const platform::Pixel red{255, 0, 0, 255};
    const platform::Pixel blue{0, 0, 255, 255};
    auto empty = platform::BitmapContext::create(100, 20);
    ScalableProgressBarKit::drawProgressBarWithBackground(*empty, platform::Color{1, 0, 0, 1},
                                                          platform::Color{0, 0, 1, 1}, 100, 20, 0);
    EXPECT_EQ(empty->pixel(2, 10), red);
    EXPECT_EQ(empty->pixel(50, 10), red);
    auto full = platform::BitmapContext::create(100, 20);
    ScalableProgressBarKit::drawProgressBarWithBackground(*full, platform::Color{1, 0, 0, 1},
                                                          platform::Color{0, 0, 1, 1}, 100, 20, 100);
    for (int x : {2, 50, 97}) EXPECT_EQ(full->pixel(x, 10), blue) << x;
    EXPECT_EQ(full->pixel(0, 0)->alpha, 0) << "round ends as before";
}
