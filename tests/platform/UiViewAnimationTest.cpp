// Block animations of views on the virtual clock: the model changes at
// once, the presentation follows the curve, the completion comes when the
// animations end (true) or are cut (false), in time order.

#include "platform/ui/core/Layer.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/views/View.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using platform::Color;
using platform::Point;
using platform::Rect;
using platform::ui::currentMediaTime;
using platform::ui::View;
using platform::ui::ViewAnimationOptions;

namespace {

struct AnimationScene {
    testsupport::VirtualTime time;
    std::shared_ptr<View> view = std::make_shared<View>(Rect{0, 0, 100, 100});
    double start = currentMediaTime();

    void advanceTo(double seconds) {
        const double now = currentMediaTime() - start;
        time.clock->advance(
            std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds - now)));
    }
    Point shownCentre(double seconds) const { return view->layer()->presentationLayer(start + seconds)->position(); }
    double shownAlpha(double seconds) const { return view->layer()->presentationLayer(start + seconds)->opacity(); }
};

}  // namespace

TEST(UiViewAnimation, ChangesInABlockAnimateFromWhatWasShownToTheNewModel) {
    AnimationScene s;
    s.view->setCenter({50, 50});
    bool done = false;
    View::animate(
        1.0, 0, ViewAnimationOptions::curveLinear,
        [&] {
            s.view->setCenter({150, 50});
            s.view->setAlpha(0);
            s.view->setHidden(false);  // not animatable, and no change anyway
        },
        [&](bool finished) { done = finished; });

    EXPECT_EQ(s.view->center().x, 150) << "the model changes at once";
    EXPECT_EQ(s.view->alpha(), 0);
    EXPECT_EQ(s.view->layer()->animationKeys(), (std::vector<std::string>{"position", "opacity"}));
    EXPECT_NEAR(s.shownCentre(0.25).x, 75, 1e-9);
    EXPECT_NEAR(s.shownAlpha(0.25), 0.75, 1e-9);
    EXPECT_NEAR(s.shownCentre(0.5).x, 100, 1e-9);
    EXPECT_NEAR(s.shownCentre(2).x, 150, 1e-9) << "after the end the model shows";

    // The default curve eases in and out: at 0.274375 of the time it has
    // made 0.15625 of the change (a point of that Bezier curve).
    View::animate(1.0, [&] { s.view->setCenter({250, 50}); });
    const double begun = currentMediaTime() - s.start;
    EXPECT_NEAR(s.shownCentre(begun + 0.274375).x, 50 + 0.15625 * 200, 1e-6)
        << "from what was shown: 50, where the replaced animation was at its start";
    EXPECT_FALSE(done);
    s.advanceTo(0.01);
    EXPECT_FALSE(done) << "the first block's animations were cut: its completion heard false";

    // Frames animate as position and bounds; a delay shows the old value.
    s.advanceTo(5);
    s.view->layer()->removeAllAnimations();
    View::animate(1.0, 0.5, ViewAnimationOptions::curveLinear, [&] { s.view->setFrame({0, 0, 200, 100}); });
    const double t = currentMediaTime() - s.start;
    const auto early = s.view->layer()->presentationLayer(s.start + t + 0.25);
    EXPECT_EQ(early->bounds().width, 100) << "during the delay";
    const auto half = s.view->layer()->presentationLayer(s.start + t + 1.0);
    EXPECT_NEAR(half->bounds().width, 150, 1e-9);
    EXPECT_NEAR(half->position().x, 175, 1e-9) << "the centre from 250 to 100";
}

TEST(UiViewAnimation, CompletionsComeInTimeOrderAndSayWhetherTheyFinished) {
    AnimationScene s;
    auto other = std::make_shared<View>(Rect{0, 0, 10, 10});
    std::vector<std::string> heard;
    auto note = [&](const char* name) {
        return [&heard, name](bool finished) { heard.push_back(std::string(name) + (finished ? " true" : " false")); };
    };
    View::animate(
        0.6, [&] { s.view->setAlpha(0.5); }, note("long"));
    View::animate(
        0.3, [&] { other->setAlpha(0.5); }, note("short"));
    View::animate(
        0.3, [] {}, note("empty"));
    s.advanceTo(0);
    EXPECT_EQ(heard, std::vector<std::string>{"empty true"}) << "nothing to animate: the next turn";
    s.advanceTo(0.29);
    EXPECT_EQ(heard.size(), 1u);
    s.advanceTo(0.31);
    EXPECT_EQ(heard.back(), "short true");
    s.advanceTo(0.61);
    EXPECT_EQ(heard.back(), "long true");

    // Cut: another change of the same property replaces the animation.
    heard.clear();
    View::animate(
        1.0, 0, ViewAnimationOptions::curveLinear, [&] { s.view->setAlpha(0); }, note("fade"));
    s.advanceTo(1.11);  // half way: 0.5 to 0 over 1 s, now at 0.25
    EXPECT_NEAR(s.shownAlpha(1.11), 0.25, 1e-6);
    View::animate(
        0.2, 0, ViewAnimationOptions::curveLinear, [&] { s.view->setAlpha(1); }, note("back"));
    EXPECT_NEAR(s.shownAlpha(1.21), 0.625, 1e-6) << "from the 0.25 shown when cut";
    EXPECT_EQ(heard, std::vector<std::string>{});
    s.advanceTo(1.12);
    EXPECT_EQ(heard, std::vector<std::string>{"fade false"});
    s.advanceTo(1.32);
    EXPECT_EQ(heard, (std::vector<std::string>{"fade false", "back true"}));

    // Removing the animations cuts them too.
    heard.clear();
    View::animate(
        1.0,
        [&] {
            other->setCenter({40, 40});
        },
        note("moved"));
    other->layer()->removeAllAnimations();
    s.advanceTo(1.33);
    EXPECT_EQ(heard, std::vector<std::string>{"moved false"});
}

TEST(UiViewAnimation, ChangesMadeWithoutAnimationAreImmediate) {
    AnimationScene s;
    View::animate(1.0, [&] {
        View::performWithoutAnimation([&] { s.view->setAlpha(0.5); });
        s.view->setBackgroundColor(Color{1, 0, 0, 1});
    });
    EXPECT_EQ(s.view->layer()->animationKeys(), std::vector<std::string>{"backgroundColor"});

    s.view->layer()->removeAllAnimations();
    View::setAnimationsEnabled(false);
    bool finished = false;
    View::animate(
        1.0, [&] { s.view->setAlpha(0.2); }, [&](bool f) { finished = f; });
    View::setAnimationsEnabled(true);
    EXPECT_TRUE(s.view->layer()->animationKeys().empty());
    s.advanceTo(0);
    EXPECT_TRUE(finished);

    s.view->setCenter({10, 10});
    EXPECT_TRUE(s.view->layer()->animationKeys().empty()) << "outside a block views change at once";
}

TEST(UiViewAnimation, SpringsSettleAsTheDurationEnds) {
    for (const double damping : {1.0, 0.3}) {
        AnimationScene s;
        s.view->setCenter({0, 0});
        View::animate(0.5, 0, damping, 0, ViewAnimationOptions::none, [&] { s.view->setCenter({100, 0}); });
        double most = 0;
        double previous = 0;
        bool monotonic = true;
        for (int i = 1; i <= 50; ++i) {
            const double x = s.shownCentre(0.5 * i / 50 - 1e-9).x;
            most = std::max(most, x);
            monotonic = monotonic && x >= previous - 1e-9;
            previous = x;
        }
        EXPECT_NEAR(previous, 100, 0.1 + 1e-6) << "within a thousandth as it ends, damping " << damping;
        if (damping == 1.0) {
            EXPECT_TRUE(monotonic) << "critically damped: no swing";
            EXPECT_LE(most, 100 + 1e-6);
        } else {
            EXPECT_GT(most, 130) << "lightly damped: it overshoots (by e^(-0.3 pi / sqrt(0.91)), about 37%)";
        }
    }
}
