// The transition animator stepped on the virtual clock: circles and slides
// for presentations, dismissals, pushes and pops, what shows half way, and
// how each ends.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/Image.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/core/MediaTimingFunction.h"
#include "platform/ui/controllers/NavigationController.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/core/ShapeLayer.h"
#include "platform/ui/views/View.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"
#include "widgets/Transitions/BasicAnimation.h"
#include "widgets/Transitions/TransitionAnimator.h"

using platform::Color;
using platform::Point;
using platform::Rect;
using platform::ui::TransitionKey;
using platform::ui::View;
using platform::ui::ViewController;
using platform::ui::Window;

namespace {

void advance(testsupport::VirtualTime& time, double seconds) {
    time.clock->advance(std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds)));
}

// A transition as the toolkit would hand it over, with what the animator
// reports.
class Context final : public platform::ui::ViewControllerContextTransitioning {
public:
    std::shared_ptr<View> container = std::make_shared<View>(Rect{0, 0, 400, 300});
    std::shared_ptr<ViewController> from = std::make_shared<ViewController>();
    std::shared_ptr<ViewController> to = std::make_shared<ViewController>();
    Rect fromInitial{0, 0, 400, 300};
    Rect toFinal{0, 0, 400, 300};
    std::vector<bool> completions;

    std::shared_ptr<View> containerView() const override { return container; }
    std::shared_ptr<ViewController> viewControllerForKey(TransitionKey key) const override {
        return key == TransitionKey::from ? from : to;
    }
    std::shared_ptr<View> viewForKey(TransitionKey key) const override {
        return key == TransitionKey::from ? from->view() : to->view();
    }
    Rect initialFrameForViewController(const ViewController& c) const override {
        return &c == from.get() ? fromInitial : Rect{};
    }
    Rect finalFrameForViewController(const ViewController& c) const override {
        return &c == to.get() ? toFinal : Rect{};
    }
    bool isAnimated() const override { return true; }
    bool transitionWasCancelled() const override { return false; }
    void completeTransition(bool didComplete) override { completions.push_back(didComplete); }
};

// The circle the mask shows now: its centre and radius.
struct Circle {
    Point center;
    double radius = 0;
};

Circle shownCircle(const View& view) {
    const auto mask = std::dynamic_pointer_cast<platform::ui::ShapeLayer>(view.layer()->mask());
    if (!mask) return {};
    const auto shown = std::dynamic_pointer_cast<platform::ui::ShapeLayer>(mask->presentationLayer());
    const Rect box = shown->path().boundingBox();
    return {{box.x + box.width / 2, box.y + box.height / 2}, box.width / 2};
}

std::shared_ptr<TransitionAnimator> makeAnimator(unsigned style, bool dismissing) {
    auto animator = std::make_shared<TransitionAnimator>();
    animator->setTransitionStyle(style);
    animator->setIsDismiss(dismissing);
    return animator;
}

double farthestCorner(Point c, const Rect& r) {
    double farthest = 0;
    for (const Point corner : {Point{r.x, r.y}, Point{r.x + r.width, r.y}, Point{r.x, r.y + r.height},
                               Point{r.x + r.width, r.y + r.height}}) {
        farthest = std::max(farthest, std::hypot(corner.x - c.x, corner.y - c.y));
    }
    return farthest;
}

}  // namespace

TEST(TransitionAnimator, CirclesGrowFromTheirPointAndCoverTheFarthestCorner) {
    struct Case {
        std::string name;
        unsigned style;
        Point center;  // in a 400 x 300 frame
    };
    const std::vector<Case> cases{
        {"centre", 1, {200, 150}},
        {"middle of the left edge", 3, {0, 150}},
        {"middle of the bottom", 5, {200, 300}},
        {"middle of the right edge", 9, {400, 150}},
        {"middle of the top", 17, {200, 0}},
    };
    const double halfWay = platform::ui::MediaTimingFunction::easeIn().valueAt(0.5);
    for (const bool dismissing : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name + (dismissing ? ", dismissing" : ", presenting"));
            testsupport::VirtualTime time;
            Context context;
            const auto animator = makeAnimator(c.style, dismissing);
            if (dismissing) context.container->addSubview(context.from->view());
            const auto view = dismissing ? context.from->view() : context.to->view();
            const double large = farthestCorner(c.center, Rect{0, 0, 400, 300});

            animator->animateTransition(context);
            EXPECT_EQ(view->superview(), context.container);
            ASSERT_NE(view->layer()->mask(), nullptr);
            // The end of the grow reaches every corner, so none pops in as
            // the mask goes.
            const auto model = std::dynamic_pointer_cast<platform::ui::ShapeLayer>(view->layer()->mask());
            const Rect end = model->path().boundingBox();
            EXPECT_NEAR(end.width / 2, dismissing ? 1.0 : large, 1e-6);

            Circle shown = shownCircle(*view);
            EXPECT_NEAR(shown.radius, dismissing ? large : 1.0, 1e-6);
            EXPECT_NEAR(shown.center.x, c.center.x, 1e-6);
            EXPECT_NEAR(shown.center.y, c.center.y, 1e-6);

            advance(time, 0.25);
            shown = shownCircle(*view);
            const double expected = dismissing ? large + (1 - large) * halfWay : 1 + (large - 1) * halfWay;
            EXPECT_NEAR(shown.radius, expected, 0.01);
            EXPECT_NEAR(shown.center.x, c.center.x, 1e-6);
            EXPECT_TRUE(context.completions.empty());

            advance(time, 0.25);
            EXPECT_EQ(view->layer()->mask(), nullptr) << "the whole view shows afterwards";
            EXPECT_EQ(context.completions, std::vector<bool>{true});
        }
    }
}

TEST(TransitionAnimator, SlidesComeFromTheirEdgeAndLeaveTowardsIt) {
    struct Case {
        std::string name;
        unsigned style;
        Point offscreen;  // origin of a 400 x 300 frame moved off
    };
    const std::vector<Case> cases{
        {"left", 2, {-400, 0}}, {"bottom", 4, {0, 300}}, {"right", 8, {400, 0}}, {"top", 16, {0, -300}}};
    const double halfWay = platform::ui::MediaTimingFunction::easeInEaseOut().valueAt(0.5);
    for (const bool dismissing : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name + (dismissing ? ", dismissing" : ", presenting"));
            testsupport::VirtualTime time;
            Context context;
            const auto animator = makeAnimator(c.style, dismissing);
            const auto view = dismissing ? context.from->view() : context.to->view();
            if (dismissing) {
                context.container->addSubview(view);
                view->setFrame(context.fromInitial);
            }
            animator->animateTransition(context);
            EXPECT_EQ(view->layer()->mask(), nullptr);
            const auto topLeft = [&] {
                const auto shown = view->layer()->presentationLayer();
                const Rect f = shown->frame();
                return Point{f.x, f.y};
            };
            const Point start = dismissing ? Point{0, 0} : c.offscreen;
            const Point end = dismissing ? c.offscreen : Point{0, 0};
            EXPECT_NEAR(topLeft().x, start.x, 1e-6);
            EXPECT_NEAR(topLeft().y, start.y, 1e-6);
            advance(time, 0.25);
            EXPECT_NEAR(topLeft().x, start.x + (end.x - start.x) * halfWay, 0.01);
            EXPECT_NEAR(topLeft().y, start.y + (end.y - start.y) * halfWay, 0.01);
            EXPECT_TRUE(context.completions.empty());
            advance(time, 0.25);
            EXPECT_EQ(view->frame(), (Rect{end.x, end.y, 400, 300}));
            EXPECT_EQ(context.completions, std::vector<bool>{true});
        }
    }
}

TEST(TransitionAnimator, StylesOutsideTheNineEndAtOnce) {
    for (const unsigned style : {0u, 6u, 7u, 32u, 33u, 31u}) {
        for (const bool dismissing : {false, true}) {
            SCOPED_TRACE(std::to_string(style) + (dismissing ? ", dismissing" : ", presenting"));
            testsupport::VirtualTime time;
            Context context;
            const auto animator = makeAnimator(style, dismissing);
            animator->animateTransition(context);
            EXPECT_EQ(context.completions, std::vector<bool>{true});
            if (!dismissing) {
                EXPECT_EQ(context.to->view()->frame(), context.toFinal);
            }
            advance(time, 1);
            EXPECT_EQ(context.completions.size(), 1u);
        }
    }
}

TEST(TransitionAnimator, AnEmptyFinalFrameIsTheScreen) {
    testsupport::VirtualTime time;
    Context context;
    context.toFinal = Rect{};
    auto animator = std::make_shared<TransitionAnimator>();
    animator->setTransitionStyle(TransitionAnimator::kCircle);
    animator->animateTransition(context);
    const Rect screen = platform::ui::Screen::mainScreen()->bounds();
    EXPECT_EQ(context.to->view()->frame(), screen);
    const Circle shown = shownCircle(*context.to->view());
    EXPECT_NEAR(shown.center.x, screen.width / 2, 1e-6);
    EXPECT_NEAR(shown.center.y, screen.height / 2, 1e-6);
    advance(time, 0.5);
    EXPECT_EQ(context.completions, std::vector<bool>{true});
}

TEST(TransitionAnimator, ANewAnimatorPresentsWithAHalfSecondSlideFromTheLeft) {
    testsupport::VirtualTime time;
    auto window = std::make_shared<Window>(Rect{0, 0, 390, 844});
    auto root = std::make_shared<ViewController>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    auto animator = std::make_shared<TransitionAnimator>();
    EXPECT_EQ(animator->transitionDuration(nullptr), 0.5);
    EXPECT_EQ(animator->transitionStyle(), TransitionAnimator::kLeft);

    auto presented = std::make_shared<ViewController>();
    presented->setTransitioningDelegate(animator);
    animator->setIsDismiss(true);
    animator->setIsNavigationTransition(true);
    int presentedCount = 0;
    root->presentViewController(presented, true, [&] { ++presentedCount; });
    EXPECT_FALSE(animator->isDismiss());
    EXPECT_FALSE(animator->isNavigationTransition());
    const auto shownX = [&] { return presented->view()->layer()->presentationLayer()->frame().x; };
    EXPECT_NEAR(shownX(), -390, 1e-6);
    advance(time, 0.25);
    EXPECT_NEAR(shownX(), -195, 0.01);
    EXPECT_EQ(presentedCount, 0);
    advance(time, 0.25);
    EXPECT_EQ(presentedCount, 1);
    EXPECT_EQ(root->presentedViewController(), presented);

    bool dismissed = false;
    presented->dismissViewController(true, [&] { dismissed = true; });
    EXPECT_TRUE(animator->isDismiss());
    advance(time, 0.5);
    EXPECT_TRUE(dismissed);
    window->setRootViewController(nullptr);
}

TEST(TransitionAnimator, APushRevealsAndAPopShrinksAway) {
    testsupport::VirtualTime time;
    auto window = std::make_shared<Window>(Rect{0, 0, 390, 844});
    auto first = std::make_shared<ViewController>();
    auto navigation = platform::ui::NavigationController::make(first);
    window->setRootViewController(navigation);
    window->makeKeyAndVisible();
    advance(time, 0.1);
    auto animator = std::make_shared<TransitionAnimator>();
    animator->setTransitionStyle(TransitionAnimator::kCircle | TransitionAnimator::kRight);
    navigation->setDelegate(animator);

    auto second = std::make_shared<ViewController>();
    navigation->pushViewController(second, true);
    EXPECT_FALSE(animator->isDismiss()) << "a push presents";
    EXPECT_TRUE(animator->isNavigationTransition());
    const Circle growing = shownCircle(*second->view());
    EXPECT_NEAR(growing.radius, 1, 1e-6);
    advance(time, 0.25);
    EXPECT_GT(shownCircle(*second->view()).radius, growing.radius);
    advance(time, 0.25);
    EXPECT_EQ(second->view()->layer()->mask(), nullptr);
    EXPECT_EQ(navigation->topViewController(), second);

    navigation->popViewController(true);
    EXPECT_TRUE(animator->isDismiss()) << "a pop dismisses";
    EXPECT_TRUE(animator->isNavigationTransition());
    const auto container = second->view()->superview();
    ASSERT_NE(container, nullptr);
    const auto order = container->subviews();
    ASSERT_GE(order.size(), 2u);
    EXPECT_EQ(order.back(), second->view()) << "the leaving view on top";
    EXPECT_EQ(order[order.size() - 2], first->view());
    const Circle shrinking = shownCircle(*second->view());
    advance(time, 0.25);
    EXPECT_LT(shownCircle(*second->view()).radius, shrinking.radius);
    advance(time, 0.25);
    EXPECT_EQ(navigation->topViewController(), first);
    EXPECT_EQ(second->view()->superview(), nullptr);
    window->setRootViewController(nullptr);
}

TEST(TransitionAnimator, TheRevealShowsTheCentreFirstAndTheCornersLast) {
    testsupport::VirtualTime time;
    auto window = std::make_shared<Window>(Rect{0, 0, 200, 100});
    auto root = std::make_shared<ViewController>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    root->view()->setBackgroundColor(Color{1, 1, 1, 1});
    auto animator = std::make_shared<TransitionAnimator>();
    animator->setTransitionStyle(TransitionAnimator::kCircle);
    auto presented = std::make_shared<ViewController>();
    presented->view()->setBackgroundColor(Color{1, 0, 0, 1});
    presented->setModalPresentationStyle(platform::ui::ModalPresentationStyle::overFullScreen);
    presented->setTransitioningDelegate(animator);
    root->presentViewController(presented, true);

    const auto red = [](const platform::Image& shot, int x, int y) {
        const auto p = shot.pixel(x, y);
        return p && p->red > 230 && p->green < 25 && p->blue < 25;
    };
    advance(time, 0.25);
    auto shot = window->snapshot();
    ASSERT_NE(shot, nullptr);
    EXPECT_TRUE(red(*shot, 200, 100)) << "the centre, at scale 2";
    EXPECT_FALSE(red(*shot, 2, 2)) << "a corner still shows the screen beneath";
    EXPECT_FALSE(red(*shot, 397, 197));
    advance(time, 0.25);
    shot = window->snapshot();
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {399, 0}, {0, 199}, {399, 199}}) {
        EXPECT_TRUE(red(*shot, x, y)) << x << ", " << y;
    }
    window->setRootViewController(nullptr);
}

TEST(BasicAnimation, RunsItsBlocksAtTheStartAndTheEnd) {
    testsupport::VirtualTime time;
    auto layer = platform::ui::Layer::make();
    std::vector<std::string> heard;
    auto animation = ::BasicAnimation::animationWithKeyPath("opacity");
    EXPECT_EQ(animation->timingFunction(), platform::ui::MediaTimingFunction::easeIn());
    animation->setToValue(0.0);
    animation->setDuration(0.2);
    animation->setStart([&] { heard.push_back("start"); });
    animation->setCompletion([&](bool finished) { heard.push_back(finished ? "finished" : "cut short"); });
    layer->addAnimation(animation, "fade");
    EXPECT_TRUE(heard.empty()) << "never from inside the call";
    advance(time, 0.1);
    EXPECT_EQ(heard, (std::vector<std::string>{"start"}));
    advance(time, 0.1);
    EXPECT_EQ(heard, (std::vector<std::string>{"start", "finished"}));
}
