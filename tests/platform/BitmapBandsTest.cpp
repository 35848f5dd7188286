// A bitmap drawn in bands of rows, one thread a band, is the bitmap drawn in
// one piece; the band that ends last is told so once, and only then is the
// picture whole.

#include "platform/graphics/BitmapBands.h"
#include "platform/graphics/Path.h"
#include "tests/support/PixelCompare.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using platform::BandRows;
using platform::BitmapBands;
using platform::BitmapContext;
using platform::Image;

namespace {

// A scene with edges across every band and off the pixel grid.
void drawScene(platform::Context& context) {
    context.setFillColor({0.9, 0.2, 0.1, 1});
    context.fillRect({10.25, 5.5, 70, 90});
    context.setStrokeColor({0.1, 0.3, 0.9, 0.8});
    context.setLineWidth(3);
    platform::Path path;
    path.moveTo({12, 98});
    path.lineTo({95, 7});
    path.lineTo({60, 64.5});
    context.strokePath(path);
}

}  // namespace

TEST(BitmapBands, EvenBandsCoverEveryRowOnceTopToBottom) {
    struct Case {
        const char* name;
        int height;
        int count;
        std::vector<BandRows> expected;
    };
    const Case cases[] = {
        {"three even bands", 9, 3, {{0, 3}, {3, 6}, {6, 9}}},
        {"rows left over go to the lower bands", 10, 3, {{0, 3}, {3, 6}, {6, 10}}},
        {"no more bands than rows", 2, 8, {{0, 1}, {1, 2}}},
        {"at least one band", 5, 0, {{0, 5}}},
        {"none for no rows", 0, 4, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::evenBands(c.height, c.count), c.expected) << c.name;
}

TEST(BitmapBands, DrawnOnThreadsTheyAreTheBitmapDrawnInOnePieceAndTheLastToEndIsToldOnce) {
    constexpr double kScale = 1.5;
    const platform::Point origin{4.5, -2};
    auto whole = BitmapContext::create(150, 160, kScale);
    whole->translate(-origin.x, -origin.y);
    drawScene(*whole);
    const auto expected = BitmapContext::takeImage(std::move(whole));

    for (int round = 0; round < 20; ++round) {
        BitmapBands bands = BitmapBands::make(150, 160, kScale, origin, platform::evenBands(160, 7));
        std::atomic<int> lasts{0};
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < bands.size(); ++i)
            threads.emplace_back([&, i] {
                drawScene(bands[i]);
                lasts += bands.end(i) ? 1 : 0;
            });
        for (auto& thread : threads) thread.join();
        ASSERT_EQ(lasts.load(), 1) << "round " << round;
        const auto image = bands.takeImage();
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(bands.takeImage(), nullptr) << "taken once";
        EXPECT_EQ(testsupport::DifferingPixels(*image, *expected), 0) << "round " << round;
    }
}

TEST(BitmapBands, OverTheCallersBitmapTheyDrawIntoItAndRefuseWhatCannotBeSplit) {
    auto bitmap = BitmapContext::create(40, 40);
    {
        BitmapBands bands = BitmapBands::over(*bitmap, platform::evenBands(40, 2));
        ASSERT_EQ(bands.size(), 2u);
        bands[1].setFillColor({0, 0, 1, 1});
        bands[1].fillRect({0, 0, 40, 40});
        EXPECT_EQ(bands.takeImage(), nullptr) << "the bitmap is the caller's";
    }
    EXPECT_EQ(bitmap->pixel(5, 30)->blue, 255);
    EXPECT_EQ(bitmap->pixel(5, 10)->alpha, 0) << "rows 0-19 cleared, drawn by no band";

    EXPECT_TRUE(BitmapBands::over(*bitmap, std::vector<BandRows>{{0, 20}, {20, 41}}).empty()) << "a band past it";
    EXPECT_TRUE(BitmapBands::make(0, 10, 1, {0, 0}, platform::evenBands(10, 2)).empty()) << "no bitmap";
}
