// Pixels of large bitmaps are kept once let go and drawn into again,
// cleared; pixels still held are never handed out.

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/FrameBitmaps.h"
#include "platform/graphics/detail/PixelBuffers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

using platform::BitmapContext;
using platform::Color;
using platform::Image;
using platform::Pixel;
using platform::detail::PixelBuffers;

namespace {

// Sizes no other test uses, of about 1.2 MB.
constexpr int kWidth = 611;
constexpr int kHeight = 503;

std::unique_ptr<BitmapContext> filled(const Color& color, int width = kWidth, int height = kHeight) {
    auto context = BitmapContext::create(width, height);
    context->setFillColor(color);
    context->fillRect({0, 0, static_cast<double>(width), static_cast<double>(height)});
    return context;
}

const std::uint8_t* pixelsOf(const Image& image) { return image.premultipliedRows().data; }

bool allTransparent(const Image& image) {
    const auto rows = image.premultipliedRows();
    for (int y = 0; y < image.pixelHeight(); ++y) {
        const std::uint8_t* row = rows.data + static_cast<std::size_t>(y) * rows.bytesPerRow;
        if (std::any_of(row, row + 4 * image.pixelWidth(), [](std::uint8_t b) { return b != 0; })) return false;
    }
    return true;
}

}  // namespace

TEST(PixelBuffers, LetGoPixelsComeBackTransparentAndHeldOnesAreNeverHandedOut) {
    auto red = BitmapContext::takeImage(filled({1, 0, 0, 1}));
    const std::uint8_t* redPixels = pixelsOf(*red);
    const auto shared = red->withRenderingMode(platform::ImageRenderingMode::alwaysTemplate);
    red.reset();

    // Held by a copy: the next bitmap gets pixels of its own.
    auto blue = BitmapContext::takeImage(filled({0, 0, 1, 1}));
    EXPECT_NE(pixelsOf(*blue), redPixels);
    const std::uint8_t* bluePixels = pixelsOf(*blue);
    EXPECT_EQ(shared->pixel(kWidth - 1, kHeight - 1), (Pixel{255, 0, 0, 255}));

    // Let go: drawn into again, every pixel transparent.
    blue.reset();
    auto reused = BitmapContext::create(kWidth, kHeight);
    ASSERT_TRUE(reused);
    EXPECT_EQ(reused->pixel(kWidth / 2, kHeight / 2), (Pixel{})) << "read while drawing";
    reused->setFillColor({0, 1, 0, 1});
    reused->fillRect({0, 0, 3, 3});
    const auto green = BitmapContext::takeImage(std::move(reused));
    EXPECT_EQ(pixelsOf(*green), bluePixels);
    EXPECT_EQ(green->pixel(1, 1), (Pixel{0, 255, 0, 255}));
    EXPECT_EQ(green->pixel(3, 3), (Pixel{}));
    EXPECT_EQ(shared->pixel(kWidth - 1, kHeight - 1), (Pixel{255, 0, 0, 255})) << "the held pixels never changed";

    // A context still drawing holds its pixels too; an image let go at
    // once gives them back.
    const auto context = filled({0, 0, 1, 1}, kWidth, kHeight + 1);
    const std::uint8_t* contextPixels = nullptr;
    {
        auto again = filled({1, 0, 0, 1}, kWidth, kHeight + 1);
        contextPixels = pixelsOf(*BitmapContext::takeImage(std::move(again)));
    }
    const auto cleared = BitmapContext::takeImage(BitmapContext::create(kWidth, kHeight + 1));
    EXPECT_EQ(pixelsOf(*cleared), contextPixels);
    EXPECT_TRUE(allTransparent(*cleared));
    EXPECT_EQ(context->pixel(kWidth - 1, kHeight), (Pixel{0, 0, 255, 255}));

    // Copies are made in such pixels too, whole, and give them back.
    const std::uint8_t* copyPixels = nullptr;
    {
        const auto copy = filled({1, 0, 0, 1}, kWidth, kHeight + 2)->makeImage();
        EXPECT_EQ(copy->pixel(kWidth - 1, kHeight + 1), (Pixel{255, 0, 0, 255}));
        copyPixels = pixelsOf(*copy);
    }
    const auto afterCopy = BitmapContext::takeImage(BitmapContext::create(kWidth, kHeight + 2));
    EXPECT_EQ(pixelsOf(*afterCopy), copyPixels);
    EXPECT_TRUE(allTransparent(*afterCopy));
}

TEST(PixelBuffers, KeptPixelsDrawTheSameAsFreshOnes) {
    // Cairo draws into a bitmap it knows to be clear by another road, with
    // its own rounding: kept pixels must be known clear too.
    const auto draw = [](BitmapContext& c) {
        c.setStrokeColor({0.2, 0.5, 0.9, 0.6});
        c.setLineWidth(1.3);
        c.addEllipseInRect({3.3, 4.1, 80.2, 70.7});
        c.stroke();
        c.setFillColor({0.9, 0.1, 0.3, 0.7});
        c.addEllipseInRect({20.6, 10.2, 40.1, 50.3});
        c.fill();
    };
    const auto rowsOf = [](const Image& image, int width, int height) {
        const auto rows = image.premultipliedRows();
        std::vector<std::uint8_t> bytes;
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* row = rows.data + static_cast<std::size_t>(y) * rows.bytesPerRow;
            bytes.insert(bytes.end(), row, row + 4 * width);
        }
        return bytes;
    };
    auto small = BitmapContext::create(100, 100);  // too small to keep
    draw(*small);
    const auto expected = rowsOf(*BitmapContext::takeImage(std::move(small)), 100, 100);
    for (const char* pixels : {"fresh", "kept"}) {
        auto large = BitmapContext::create(kWidth, kHeight + 3);
        draw(*large);
        EXPECT_EQ(rowsOf(*BitmapContext::takeImage(std::move(large)), 100, 100), expected) << pixels;
        filled({1, 0, 0, 1}, kWidth, kHeight + 3).reset();
    }
}

TEST(PixelBuffers, KeepsAtMostItsBoundDroppingTheOldestFirst) {
    const auto pool = PixelBuffers::make({1000, 3, 20000});
    const auto makeAndLetGo = [&](int width, int height) {
        const auto made = pool->surface(width, height, PixelBuffers::Clearing::lazily);
        EXPECT_TRUE(made.surface);
        cairo_surface_destroy(made.surface);
        return made.stale;
    };
    // 4 bytes a pixel: 10 x 10 is below the smallest kept, 100 x 60 above
    // all the pool keeps.
    EXPECT_FALSE(makeAndLetGo(10, 10));
    EXPECT_FALSE(makeAndLetGo(100, 60));
    EXPECT_EQ(pool->keptBuffers(), 0u);
    for (int height = 10; height <= 15; ++height) EXPECT_FALSE(makeAndLetGo(100, height));
    EXPECT_EQ(pool->keptBuffers(), 3u);
    EXPECT_EQ(pool->keptBytes(), 400u * (13 + 14 + 15));
    EXPECT_TRUE(makeAndLetGo(100, 15));
    EXPECT_FALSE(makeAndLetGo(100, 10)) << "the oldest went first";
    // The bytes bound: 3 buffers of 8,000 bytes do not fit in 20,000.
    for (int i = 0; i < 3; ++i) {
        const auto a = pool->surface(100, 20, PixelBuffers::Clearing::none);
        const auto b = pool->surface(100, 20, PixelBuffers::Clearing::none);
        const auto c = pool->surface(100, 20, PixelBuffers::Clearing::none);
        for (const auto& made : {a, b, c}) cairo_surface_destroy(made.surface);
    }
    EXPECT_LE(pool->keptBytes(), 20000u);
    EXPECT_EQ(pool->keptBuffers(), 2u);

    // A surface outliving its pool frees its pixels.
    auto outliving = PixelBuffers::make({0, 1, 1 << 20})->surface(50, 50, PixelBuffers::Clearing::now);
    cairo_surface_destroy(outliving.surface);

    // The process's own, after screens of many sizes.
    std::vector<std::unique_ptr<BitmapContext>> screens;
    for (int i = 0; i < 12; ++i) screens.push_back(BitmapContext::create(2048 - i, 1536));
    screens.clear();
    EXPECT_LE(PixelBuffers::shared().keptBuffers(), 8u);
    EXPECT_LE(PixelBuffers::shared().keptBytes(), 64u << 20);
}

TEST(PixelBuffers, BitmapsMadeAndLetGoOnManyThreadsNeverShareHeldPixels) {
    constexpr int kThreads = 6;
    // A square at one of three places, the others left transparent.
    struct Drawn {
        std::shared_ptr<Image> image;
        Pixel color;
        int place = 0;
    };
    // Each thread hands its images to the next, which checks and lets
    // them go: pixels come back on a thread other than the one that made them.
    struct Mailbox {
        std::mutex mutex;
        std::vector<Drawn> images;
    };
    platform::FrameBitmaps frames;
    std::vector<Mailbox> mailboxes(kThreads);
    std::vector<int> wrong(kThreads, 0);
    const auto intact = [](const Drawn& d) {
        for (int place = 0; place < 3; ++place) {
            if (d.image->pixel(100 * place + 2, 2) != (place == d.place ? d.color : Pixel{})) return false;
        }
        return true;
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::vector<Drawn> held;
            for (int i = 0; i < 16; ++i) {
                auto context =
                    i % 2 ? frames.context({kWidth / 2.0, kHeight / 2.0}, 2) : BitmapContext::create(kWidth, kHeight);
                const int place = (t + i) % 3;
                const double scale = context->contentScale();
                context->setFillColor({t / 8.0, 1 - t / 8.0, i / 16.0, 1});
                context->fillRect({100 * place / scale, 0, 5 / scale, 5 / scale});
                const Pixel color = *context->pixel(100 * place + 2, 2);
                auto image = i % 2 ? frames.image(std::move(context)) : BitmapContext::takeImage(std::move(context));
                held.push_back({std::move(image), color, place});
                if (held.size() > 2) {
                    Mailbox& next = mailboxes[(t + 1) % kThreads];
                    const std::lock_guard lock(next.mutex);
                    next.images.push_back(std::move(held.front()));
                    held.erase(held.begin());
                }
                std::vector<Drawn> received;
                {
                    const std::lock_guard lock(mailboxes[t].mutex);
                    received.swap(mailboxes[t].images);
                }
                for (const Drawn& d : held) wrong[t] += intact(d) ? 0 : 1;
                for (const Drawn& d : received) wrong[t] += intact(d) ? 0 : 1;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
}
