// The backdrop of a visual effect view against the same made the long way:
// the window beneath drawn at a pixel a point, blurred by ten pixels channel
// by channel with the shadows' blur, stretched to the screen's pixels and
// tinted by Cairo. Drawn at fewer
// pixels, it must look the same, reach its edges whole (the still's last
// pixel may lie partly outside the window), and sit where the view is.

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/Shadow.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/render/LayerRenderer.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/View.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/VisualEffectView.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cmath>
#include <memory>
#include <vector>

using platform::BitmapContext;
using platform::Color;
using platform::Pixel;
using platform::Rect;
using platform::ui::BlurEffectStyle;
using platform::ui::View;
using platform::ui::VisualEffectView;

namespace {

const Color kDarkTint{0.11, 0.11, 0.11, 0.73};

// The image blurred channel by channel with the shadows' blur, its edges
// extended.
std::shared_ptr<platform::Image> blurredByChannel(const platform::Image& image, double sigma) {
    const int margin = platform::detail::gaussianReach(sigma);
    const int w = image.pixelWidth();
    const int h = image.pixelHeight();
    const int pw = w + 2 * margin;
    const int ph = h + 2 * margin;
    std::vector<Pixel> pixels(static_cast<std::size_t>(w) * h);
    std::array<std::vector<std::uint16_t>, 4> planes;
    for (auto& plane : planes) plane.resize(static_cast<std::size_t>(pw) * ph);
    for (int y = 0; y < ph; ++y) {
        for (int x = 0; x < pw; ++x) {
            // Opaque throughout, so unpremultiplied values blur alike.
            const Pixel p = *image.pixel(std::clamp(x - margin, 0, w - 1), std::clamp(y - margin, 0, h - 1));
            const std::size_t at = static_cast<std::size_t>(y) * pw + x;
            planes[0][at] = static_cast<std::uint16_t>(p.red * 257);
            planes[1][at] = static_cast<std::uint16_t>(p.green * 257);
            planes[2][at] = static_cast<std::uint16_t>(p.blue * 257);
            planes[3][at] = static_cast<std::uint16_t>(p.alpha * 257);
        }
    }
    for (auto& plane : planes) platform::detail::blurPlane(plane.data(), pw, ph, sigma);
    const auto level = [&](int c, int x, int y) {
        return static_cast<std::uint8_t>((planes[c][static_cast<std::size_t>(y + margin) * pw + x + margin] + 128) /
                                         257);
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            pixels[static_cast<std::size_t>(y) * w + x] =
                Pixel{level(0, x, y), level(1, x, y), level(2, x, y), level(3, x, y)};
        }
    }
    return platform::Image::fromPixels(w, h, pixels, image.scale());
}

// A window at scale 3 of white and hard-edged stripes and blocks.
struct Striped {
    testsupport::VirtualTime time;
    std::shared_ptr<platform::ui::Screen> screen = std::make_shared<platform::ui::Screen>(platform::Size{390, 844}, 3);
    std::shared_ptr<platform::ui::Window> window = std::make_shared<platform::ui::Window>(Rect{0, 0, 390, 844});
    std::shared_ptr<platform::ui::ViewController> root = std::make_shared<platform::ui::ViewController>();

    Striped() {
        window->setScreen(screen);
        window->setRootViewController(root);
        root->view()->setBackgroundColor(Color{1, 1, 1, 1});
        for (int row = 0; row < 20; ++row) {
            auto stripe = std::make_shared<View>(Rect{10.0 + row * 3, 42.0 * row, 300, 14});
            stripe->setBackgroundColor(row % 2 ? Color{0.1, 0.3, 0.9, 1} : Color{0.9, 0.2, 0.1, 1});
            root->view()->addSubview(stripe);
        }
        auto block = std::make_shared<View>(Rect{250, 100, 120, 500});
        block->setBackgroundColor(Color{0, 0, 0, 1});
        root->view()->addSubview(block);
    }

    void advance(double seconds) {
        time.clock->advance(
            std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds)));
    }

    // The backdrop of `area` the long way, at the screen's pixels.
    std::shared_ptr<platform::Image> byHand(const Rect& area) {
        auto still = BitmapContext::createForPointSize(area.size(), 1);
        still->translate(-area.x, -area.y);
        platform::ui::renderLayerTree(*window->layer(), *still,
                                      platform::ui::RenderOptions{platform::ui::currentMediaTime(), 1});
        const auto blurred = blurredByChannel(*BitmapContext::takeImage(std::move(still)), 10);
        auto out = BitmapContext::createForPointSize(area.size(), 3);
        out->drawImage(*blurred, Rect{0, 0, area.width, area.height});
        out->setFillColor(kDarkTint);
        out->fillRect(Rect{0, 0, area.width, area.height});
        return BitmapContext::takeImage(std::move(out));
    }
};

struct Difference {
    int largest = 0;
    int opaque = 0;  // pixels of the backdrop that are opaque
};

Difference compare(const platform::Image& made, const platform::Image& reference) {
    Difference d;
    for (int y = 0; y < reference.pixelHeight(); ++y) {
        for (int x = 0; x < reference.pixelWidth(); ++x) {
            const Pixel a = *made.pixel(x, y);
            const Pixel b = *reference.pixel(x, y);
            if (a.alpha == 255) ++d.opaque;
            for (const int c : {a.red - b.red, a.green - b.green, a.blue - b.blue, a.alpha - b.alpha}) {
                d.largest = std::max(d.largest, std::abs(c));
            }
        }
    }
    return d;
}

}  // namespace

TEST(VisualEffectBackdrop, LooksAsTheWindowBlurredAtEveryPixelWholeToItsEdges) {
    // The whole window, and a panel of an odd width and height whose still
    // does not end on a whole pixel.
    for (const Rect area : {Rect{0, 0, 390, 844}, Rect{53, 161, 245, 283}}) {
        SCOPED_TRACE(area.width);
        Striped s;
        const auto reference = s.byHand(area);
        auto effect = std::make_shared<VisualEffectView>(BlurEffectStyle::dark, area);
        s.root->view()->addSubview(effect);
        s.advance(0.01);
        const auto made = effect->layer()->contents();
        ASSERT_TRUE(made);
        ASSERT_EQ(made->pixelWidth(), reference->pixelWidth());
        ASSERT_EQ(made->pixelHeight(), reference->pixelHeight());
        const Difference d = compare(*made, *reference);
        EXPECT_EQ(d.opaque, made->pixelWidth() * made->pixelHeight()) << "no edge fades to transparency";
        // The stripes' edges against white and black differ by up to 255
        // before the blur, a few levels after it; two points off show.
        EXPECT_LE(d.largest, 4);
    }
}
