#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Shadow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

using platform::BitmapContext;
using platform::Color;
using platform::Pixel;
using platform::Rect;

namespace {

const Color kRed{1, 0, 0, 1};

std::uint8_t alphaAt(const BitmapContext& context, int x, int y) { return context.pixel(x, y).value_or(Pixel{}).alpha; }

}  // namespace

TEST(ShadowTest, TheBlurKeepsTheMassAndSpreadsAsTheGaussian) {
    constexpr int kSide = 121;
    constexpr double kSigma = 5;
    const auto index = [](int x, int y) { return static_cast<std::size_t>(y) * kSide + x; };

    // One bright pixel spreads with the Gaussian's variance.
    std::vector<std::uint16_t> impulse(kSide * kSide, 0);
    impulse[index(60, 60)] = 65535;
    platform::detail::blurPlane(impulse.data(), kSide, kSide, kSigma);
    double mass = 0;
    double moment = 0;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            mass += impulse[index(x, y)];
            moment += impulse[index(x, y)] * (x - 60.0) * (x - 60.0);
        }
    }
    EXPECT_NEAR(mass, 65535, 65535 * 0.02) << "nothing is lost";
    // Three boxes of whole pixels come within a few percent of sigma.
    EXPECT_NEAR(std::sqrt(moment / mass), kSigma, kSigma * 0.05) << "the spread is sigma";
    EXPECT_EQ(impulse[index(59, 60)], impulse[index(61, 60)]) << "symmetric";
    EXPECT_EQ(impulse[index(60, 60 + platform::detail::gaussianReach(kSigma) + 1)], 0) << "nothing beyond its reach";

    // A straight edge blurs to half way on the edge.
    std::vector<std::uint16_t> edge(kSide * kSide, 0);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < 60; ++x) edge[index(x, y)] = 65535;
    }
    platform::detail::blurPlane(edge.data(), kSide, kSide, kSigma);
    // Pixel 59 is the last inside, 60 the first outside: the edge lies
    // between them.
    EXPECT_NEAR((edge[index(59, 60)] + edge[index(60, 60)]) / 2.0, 32767.5, 65535 * 0.01);
    EXPECT_GT(edge[index(40, 60)], 65000);
    EXPECT_LT(edge[index(80, 60)], 500);
}

// A tall outline's plane has runs of equal rows (its middle, its empty
// margins), which the blur may pass over: it must come out as a plane
// without them does. The second plane is the first with a last column
// that differs on every row, too far away to reach the columns compared.
TEST(ShadowTest, RowsThatRepeatBlurAsRowsThatDoNot) {
    constexpr int kWidth = 160;
    constexpr int kHeight = 260;
    for (const double sigma : {1.5, 4.0, 9.0}) {
        const int reach = platform::detail::gaussianReach(sigma);
        ASSERT_LT(60 + 2 * reach, kWidth - 1 - reach);
        std::vector<std::uint16_t> runs(std::size_t{kWidth} * kHeight, 0);
        for (int y = 0; y < kHeight; ++y) {
            // Margins, a top that narrows in, a tall middle, three rows
            // alike, a bottom of single rows.
            int from = 0;
            int to = 0;
            if (y >= 20 && y < 30) {
                from = 30 - y;
                to = 30 + y;
            } else if (y >= 30 && y < 200) {
                from = 4;
                to = 60;
            } else if (y >= 200 && y < 203) {
                from = 10;
                to = 20;
            } else if (y >= 203 && y < 230) {
                from = y - 200;
                to = 60;
            }
            for (int x = from; x < to; ++x) runs[std::size_t(y) * kWidth + x] = x % 7 == 0 ? 40000 : 65535;
        }
        std::vector<std::uint16_t> distinct = runs;
        for (int y = 0; y < kHeight; ++y) distinct[std::size_t(y) * kWidth + kWidth - 1] = std::uint16_t(y + 1);
        platform::detail::blurPlane(runs.data(), kWidth, kHeight, sigma);
        platform::detail::blurPlane(distinct.data(), kWidth, kHeight, sigma);
        int differing = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth - 1 - reach; ++x) {
                if (runs[std::size_t(y) * kWidth + x] != distinct[std::size_t(y) * kWidth + x]) ++differing;
            }
        }
        EXPECT_EQ(differing, 0) << "sigma " << sigma;
        EXPECT_GT(runs[std::size_t(100) * kWidth + 30], 60000) << "sigma " << sigma << ": not blurred as a whole";
    }
}

TEST(ShadowTest, ShadowImagesAreTintedAndGrownByTheBlursReach) {
    auto source = BitmapContext::create(40, 40);
    source->setFillColor({0, 0, 0, 1});
    source->fillRect({10, 10, 20, 20});
    const auto image = source->makeImage();

    const auto sharp = platform::makeShadowImage(*image, 0, {1, 0, 0, 0.5});
    ASSERT_TRUE(sharp.image);
    EXPECT_EQ(sharp.margin, 0);
    EXPECT_EQ(sharp.image->pixel(20, 20), (Pixel{255, 0, 0, 128}));
    EXPECT_EQ(sharp.image->pixel(5, 5), Pixel{});

    const auto soft = platform::makeShadowImage(*image, 3, {0, 0, 1, 1});
    ASSERT_TRUE(soft.image);
    EXPECT_EQ(soft.margin, platform::detail::gaussianReach(3));
    EXPECT_EQ(soft.image->pixelWidth(), 40 + 2 * soft.margin);
    const int m = soft.margin;
    EXPECT_EQ(soft.image->pixel(m + 20, m + 20), (Pixel{0, 0, 255, 255})) << "deep inside: whole";
    // The square's edge lies between pixels 9 and 10.
    EXPECT_NEAR((soft.image->pixel(m + 9, m + 20)->alpha + soft.image->pixel(m + 10, m + 20)->alpha) / 2.0, 127.5, 3)
        << "on the edge: half";
    EXPECT_EQ(soft.image->pixel(0, 0)->alpha, 0) << "the margin's far corner";
}

TEST(ShadowTest, ATintedEnlargementIsWhatCairoDrawsStretchedUnderTheTint) {
    // A small image of hard edges, gradients and transparency, stretched
    // six times (a backdrop from half a pixel a point to three) and by an
    // uneven factor, against the same drawn with Cairo's good filter and
    // the tint filled over it.
    constexpr int kWidth = 23;
    constexpr int kHeight = 17;
    std::vector<Pixel> pixels;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool block = x > 6 && x < 14 && y > 4;
            pixels.push_back(Pixel{static_cast<std::uint8_t>(x * 11), static_cast<std::uint8_t>(block ? 255 : y * 15),
                                   static_cast<std::uint8_t>(block ? 0 : 200),
                                   static_cast<std::uint8_t>(x < 3 ? 90 : 255)});
        }
    }
    const auto source = platform::Image::fromPixels(kWidth, kHeight, pixels, 0.5);
    const Color tint{0.11, 0.11, 0.11, 0.73};
    const struct {
        int width;
        int height;
        platform::Size cover;
    } cases[] = {{138, 102, {138, 102}}, {100, 61, {99.5, 60.2}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        const auto made = platform::makeTintedEnlargement(*source, c.width, c.height, c.cover, 3, tint);
        ASSERT_TRUE(made);
        EXPECT_EQ(made->pixelWidth(), c.width);
        EXPECT_EQ(made->pixelHeight(), c.height);
        EXPECT_EQ(made->scale(), 3);
        auto cairo = BitmapContext::create(c.width, c.height, 1);
        cairo->drawImage(*source, Rect{0, 0, c.cover.width, c.cover.height});
        cairo->setFillColor(tint);
        cairo->fillRect(Rect{0, 0, c.cover.width, c.cover.height});
        int largest = 0;
        // Cairo's last, partly covered column and row are left out.
        for (int y = 0; y < static_cast<int>(c.cover.height); ++y) {
            for (int x = 0; x < static_cast<int>(c.cover.width); ++x) {
                const Pixel a = *made->pixel(x, y);
                const Pixel b = *cairo->pixel(x, y);
                for (const int d : {a.red - b.red, a.green - b.green, a.blue - b.blue, a.alpha - b.alpha}) {
                    largest = std::max(largest, std::abs(d));
                }
            }
        }
        // Rounded three times to Cairo's two, read unpremultiplied.
        EXPECT_LE(largest, 3);
    }
    EXPECT_FALSE(platform::makeTintedEnlargement(*source, 0, 10, {10, 10}, 1, tint));
    EXPECT_FALSE(platform::makeTintedEnlargement(*source, 10, 10, {0, 10}, 1, tint));
}

TEST(ShadowTest, TransparencyLayersFadeOverlapsAsOneAndCanBeMasked) {
    // Without a layer, two half-transparent squares darken where they meet.
    auto plain = BitmapContext::create(30, 10);
    plain->setAlpha(0.5);
    plain->setFillColor(kRed);
    plain->fillRect({0, 0, 20, 10});
    plain->fillRect({10, 0, 20, 10});
    EXPECT_NEAR(alphaAt(*plain, 15, 5), 191, 1);

    // In a layer they fade as one.
    auto layered = BitmapContext::create(30, 10);
    layered->setAlpha(0.5);
    layered->beginTransparencyLayer();
    EXPECT_EQ(layered->alpha(), 1) << "inside, the alpha starts again";
    layered->setFillColor(kRed);
    layered->fillRect({0, 0, 20, 10});
    layered->save();
    layered->translate(10, 0);
    layered->fillRect({0, 0, 20, 10});
    layered->restore();
    layered->restore();  // never past the layer's begin
    layered->save();     // left open: the end closes it
    layered->scale(3, 3);
    layered->endTransparencyLayer();
    EXPECT_EQ(alphaAt(*layered, 15, 5), 128);
    EXPECT_EQ(alphaAt(*layered, 5, 5), 128);
    EXPECT_EQ(layered->alpha(), 0.5) << "the state of the begin is back";
    EXPECT_EQ(layered->transform(), platform::AffineTransform{});
    layered->endTransparencyLayer();  // without a begin: nothing
    EXPECT_EQ(alphaAt(*layered, 15, 5), 128);

    // A mask lets through what its alpha covers, only inside its rectangle.
    auto maskBitmap = BitmapContext::create(10, 10);
    maskBitmap->setFillColor({0, 0, 0, 1});
    maskBitmap->fillRect({0, 0, 5, 10});
    const auto mask = maskBitmap->makeImage();
    auto masked = BitmapContext::create(40, 20, 2);
    masked->beginTransparencyLayer();
    masked->setFillColor(kRed);
    masked->fillRect({0, 0, 20, 10});
    masked->endTransparencyLayer(*mask, Rect{0, 0, 10, 10});
    EXPECT_EQ(alphaAt(*masked, 4, 10), 255) << "under the mask's opaque half";
    EXPECT_EQ(alphaAt(*masked, 14, 10), 0) << "under its clear half";
    EXPECT_EQ(alphaAt(*masked, 30, 10), 0) << "beyond the mask's rectangle";
}
