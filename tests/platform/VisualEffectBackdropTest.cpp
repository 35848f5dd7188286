// The backdrop of a visual effect view against the same made the long way
// with Cairo: the window beneath drawn at a pixel a point, blurred by ten
// pixels, stretched to the screen's pixels and tinted. Drawn at fewer
// pixels, it must look the same, reach its edges whole (the still's last
// pixel may lie partly outside the window), and sit where the view is.

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/Shadow.h"
#include "platform/ui/Layer.h"
#include "platform/ui/LayerRenderer.h"
#include "platform/ui/MediaTime.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/VisualEffectView.h"
#include "platform/ui/Window.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

using platform::BitmapContext;
using platform::Color;
using platform::Pixel;
using platform::Rect;
using platform::ui::BlurEffectStyle;
using platform::ui::View;
using platform::ui::VisualEffectView;

namespace {

const Color kDarkTint{0.11, 0.11, 0.11, 0.73};

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
        const auto blurred = platform::makeBlurredImage(*BitmapContext::takeImage(std::move(still)), 10);
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
