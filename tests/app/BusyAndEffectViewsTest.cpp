// The small views and effects on the virtual clock: the busy indicator's
// rounds of pulses and how it stops, its placing, the progress bar, the
// offline notice, the pop-and-fade layer, the gradient, the shadow border
// and the screen flash.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "app/Utilities/Colors/UIColorCColor.h"
#include "app/Utilities/Views/UIScreenVekmont.h"
#include "app/Utilities/Views/VKMGradientLayerInserter.h"
#include "app/Utilities/Views/VKMImagePopFadeEffect.h"
#include "app/Utilities/Views/VKMNoNetworkIndicatorHelper.h"
#include "app/Utilities/Views/VKMScalableProgressBarView.h"
#include "app/Utilities/Views/VKMShadowBorderView.h"
#include "app/Utilities/Views/VKMThreeDotProgressHelper.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/views/Window.h"
#include "tests/LayoutModule/LayoutModuleTestSupport.h"
#include "tests/platform/support/VirtualTime.h"

using platform::Color;
using platform::Rect;
using platform::ui::View;

namespace {

struct Clocked {
    testsupport::VirtualTime time;
    double now = 0;  // seconds advanced

    void advanceTo(double seconds) {
        time.clock->advance(
            std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds - now)));
        now = seconds;
    }
};

// Whether the dot is swollen (its model frame grown by the diameter).
bool Swollen(const View& dot, double diameter) { return dot.frame().width > diameter + 0.5; }

}  // namespace

TEST(BusyIndicator, PulsesEachDotInTurnWithAQuietTickBetweenRounds) {
    Clocked clock;
    auto host = std::make_shared<View>(Rect{0, 0, 200, 100});
    auto busy = VKMThreeDotProgressHelper::insertThreeDotProgressAt(host, 60, 8);
    EXPECT_TRUE(busy->animating());
    EXPECT_EQ(busy->leftCircle()->center(), (platform::Point{14, 30}));
    EXPECT_EQ(busy->middleCircle()->center(), (platform::Point{30, 30}));
    EXPECT_EQ(busy->rightCircle()->center(), (platform::Point{46, 30}));

    // Centred on the host, or at multiples of its centre.
    host->layoutIfNeeded();
    EXPECT_EQ(busy->center(), (platform::Point{100, 50}));
    auto offCentre = VKMThreeDotProgressHelper::insertThreeDotProgressAt(host, 20, 4, 0.5, 1.5);
    host->layoutIfNeeded();
    EXPECT_EQ(offCentre->center(), (platform::Point{50, 75}));
    offCentre->setAnimating(false);

    // The timer starts after half a step; a step is 0.4 s.
    const std::vector<View*> dots = {busy->leftCircle().get(), busy->middleCircle().get(), busy->rightCircle().get()};
    const auto swollen = [&] {
        std::vector<bool> state;
        for (View* dot : dots) state.push_back(Swollen(*dot, 8));
        return state;
    };
    clock.advanceTo(0.55);
    EXPECT_EQ(swollen(), (std::vector<bool>{false, false, false}));
    clock.advanceTo(0.65);
    EXPECT_EQ(swollen(), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(busy->leftCircle()->frame(), (Rect{6, 22, 16, 16})) << "grown by a diameter about its centre";
    clock.advanceTo(0.8);
    EXPECT_EQ(swollen(), (std::vector<bool>{false, false, false})) << "shrinking after 0.15 s";
    EXPECT_EQ(busy->leftCircle()->frame(), (Rect{10, 26, 8, 8}));
    clock.advanceTo(1.05);
    EXPECT_EQ(swollen(), (std::vector<bool>{false, true, false}));
    clock.advanceTo(1.45);
    EXPECT_EQ(swollen(), (std::vector<bool>{false, false, true}));
    clock.advanceTo(1.85);
    EXPECT_EQ(swollen(), (std::vector<bool>{false, false, false})) << "the quiet tick";
    clock.advanceTo(2.25);
    EXPECT_EQ(swollen(), (std::vector<bool>{true, false, false})) << "the next round";
}

TEST(BusyIndicator, StoppingMidRoundFinishesTheRoundAndLetsTheViewGo) {
    Clocked clock;
    std::weak_ptr<ZDThreeDotProgressView> watched;
    {
        auto busy = ZDThreeDotProgressView::make({0, 0, 60, 60}, 8, 0.4);
        watched = busy;
        clock.advanceTo(1.05);  // the middle dot has pulsed
        busy->setAnimating(false);
    }
    EXPECT_FALSE(watched.expired()) << "the timer keeps a running indicator";
    auto busy = watched.lock();
    clock.advanceTo(1.45);
    EXPECT_TRUE(Swollen(*busy->rightCircle(), 8)) << "the round is finished";
    clock.advanceTo(2.25);
    EXPECT_FALSE(Swollen(*busy->leftCircle(), 8)) << "no pulse after the round";
    clock.advanceTo(5);
    EXPECT_FALSE(Swollen(*busy->leftCircle(), 8));
    busy.reset();
    EXPECT_TRUE(watched.expired()) << "the stopped timer let go of the view";

    auto still = ZDThreeDotProgressView::make({0, 0, 60, 60}, 8, 0);
    clock.advanceTo(6);
    EXPECT_FALSE(Swollen(*still->leftCircle(), 8)) << "no step, no pulse, no failing timer";
}

TEST(ScalableProgressBar, GaugeFollowsThePercentOfTheWidth) {
    const auto draw = [](int percent) {
        auto bar = std::make_shared<VKMScalableProgressBarView>(Rect{0, 0, 101, 11});
        bar->setProgressPercent(percent);
        auto canvas = layouttest::Canvas(101, 11);
        bar->drawRect(*canvas, bar->bounds());
        return canvas;
    };
    // The gauge is the app's fill blue at 0.65 over the light grey track.
    const auto gaugeAt = [](const platform::BitmapContext& canvas, int x) {
        return canvas.pixel(x, 5)->blue > canvas.pixel(x, 5)->red + 60;
    };
    const auto empty = draw(0);
    EXPECT_FALSE(gaugeAt(*empty, 1));
    EXPECT_FALSE(gaugeAt(*empty, 50));
    EXPECT_TRUE(layouttest::PixelNear(*empty, 50, 5, 223, 223, 223, 255, 2));
    const auto half = draw(50);
    EXPECT_TRUE(gaugeAt(*half, 40));
    EXPECT_FALSE(gaugeAt(*half, 55));
    const auto full = draw(100);
    EXPECT_TRUE(gaugeAt(*full, 50));
    EXPECT_TRUE(gaugeAt(*full, 95));
    EXPECT_EQ(full->pixel(100, 5)->alpha, 0) << "the bar is a point short of the bounds";
}

TEST(NoNetworkIndicator, IconAndTitleAboveTheDescriptionInTheMiddle) {
    layouttest::RegisterServices();
    auto host = std::make_shared<View>(Rect{0, 0, 390, 600});
    auto notice = VKMNoNetworkIndicatorHelper::insertNoNetworkIndicatorAt(host);
    ASSERT_EQ(notice->arrangedSubviews().size(), 2u);
    auto row = std::dynamic_pointer_cast<platform::ui::StackView>(notice->arrangedSubviews()[0]);
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(row->arrangedSubviews().size(), 2u);
    auto icon = std::dynamic_pointer_cast<platform::ui::ImageView>(row->arrangedSubviews()[0]);
    ASSERT_NE(icon, nullptr);
    ASSERT_NE(icon->image(), nullptr) << "the bundle's cloud icon";
    EXPECT_EQ(icon->image()->renderingMode(), platform::ImageRenderingMode::alwaysTemplate);
    EXPECT_EQ(icon->frame().size(), (platform::Size{36, 36}));
    auto title = std::dynamic_pointer_cast<platform::ui::Label>(row->arrangedSubviews()[1]);
    auto description = std::dynamic_pointer_cast<platform::ui::Label>(notice->arrangedSubviews()[1]);
    ASSERT_TRUE(title && description);
    EXPECT_EQ(title->text(), "No connection");
    host->layoutIfNeeded();
    EXPECT_NEAR(notice->center().x, 195, 0.5);
    EXPECT_NEAR(notice->center().y, 300, 0.5);
}

TEST(PopFadeEffect, LayerPopsOverTheViewAndGoesAtTheEnd) {
    Clocked clock;
    auto parent = std::make_shared<View>(Rect{0, 0, 300, 300});
    auto button = std::make_shared<View>(Rect{100, 40, 40, 20});
    parent->addSubview(button);
    const std::size_t before = parent->layer()->sublayers().size();
    VKMImagePopFadeEffect::popFadeEffectFor(*button, UIColorCColor::imageFromColor(Color{1, 0, 0, 1}));
    const auto layers = parent->layer()->sublayers();
    ASSERT_EQ(layers.size(), before + 1);
    const auto& pop = layers.back();
    EXPECT_EQ(pop->position(), (platform::Point{120, 50}));
    EXPECT_EQ(pop->zPosition(), 5);
    EXPECT_EQ(pop->bounds(), (Rect{0, 0, 1, 1}));
    ASSERT_NE(pop->animationForKey("animationGroup"), nullptr);
    clock.advanceTo(0.15);
    EXPECT_LT(pop->presentationLayer()->opacity(), 1);
    clock.advanceTo(0.7);
    EXPECT_EQ(parent->layer()->sublayers().size(), before) << "removed when the group ended";

    // Without a superview nothing is shown and nothing stays.
    auto alone = std::make_shared<View>(Rect{0, 0, 10, 10});
    VKMImagePopFadeEffect::popFadeEffectFor(*alone, UIColorCColor::imageFromColor(Color{1, 0, 0, 1}));
    EXPECT_TRUE(alone->layer()->sublayers().empty());
    clock.advanceTo(2);
    EXPECT_TRUE(alone->layer()->sublayers().empty());
}

TEST(GradientAndShadowBorder, GradientGoesBehindAndTheShadowFallsInside) {
    auto layer = platform::ui::Layer::make();
    layer->addSublayer(platform::ui::Layer::make());
    const auto gradient = VKMGradientLayerInserter::addGradientLayerWithFrame({0, 0, 50, 20}, *layer, Color{1, 0, 0, 1},
                                                                              Color{0, 0, 1, 1});
    EXPECT_EQ(layer->sublayers().front(), gradient);
    EXPECT_EQ(gradient->frame(), (Rect{0, 0, 50, 20}));

    // Narrow: the shadow comes in from the left edge and fades.
    auto narrow = std::make_shared<VKMShadowBorderView>(Rect{0, 0, 40, 100});
    auto canvas = layouttest::Canvas(40, 100);
    narrow->drawRect(*canvas, narrow->bounds());
    const int edge = canvas->pixel(0, 50)->red;
    const int inner = canvas->pixel(39, 50)->red;
    EXPECT_EQ(inner, 249) << "the part list's background, white at 0.975";
    EXPECT_LT(edge, inner - 5);
    EXPECT_LT(edge, canvas->pixel(8, 50)->red);
    // Wide: from the top edge.
    auto wide = std::make_shared<VKMShadowBorderView>(Rect{0, 0, 100, 40});
    auto wideCanvas = layouttest::Canvas(100, 40);
    wide->drawRect(*wideCanvas, wide->bounds());
    EXPECT_LT(wideCanvas->pixel(50, 0)->red, wideCanvas->pixel(50, 39)->red - 5);
    EXPECT_EQ(wideCanvas->pixel(0, 39)->red, 249);
}

TEST(ScreenFlash, CoversTheFirstWindowAndFadesAwayOrDoesNothingWithoutOne) {
    Clocked clock;
    UIScreenVekmont::flashScreen();  // no window yet
    EXPECT_TRUE(platform::ui::Application::sharedApplication().windows().empty());

    auto window = std::make_shared<platform::ui::Window>();
    window->makeKeyAndVisible();
    const std::size_t before = window->subviews().size();
    UIScreenVekmont::flashScreenWithDuration(0.5, Color{1, 0, 0, 1});
    const auto views = window->subviews();
    ASSERT_EQ(views.size(), before + 1);
    const auto& flash = views.back();
    EXPECT_EQ(flash->frame(), (Rect{0, 0, 390, 844}));
    EXPECT_EQ(flash->backgroundColor(), (Color{1, 0, 0, 1}));
    clock.advanceTo(0.25);
    EXPECT_NEAR(flash->layer()->presentationLayer()->opacity(), 0.5, 0.35);
    clock.advanceTo(0.6);
    EXPECT_EQ(window->subviews().size(), before) << "gone once faded";
}
