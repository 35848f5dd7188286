// Gesture recognisers driven by synthetic touches on the virtual clock:
// the state sequences their targets hear for each kind, the rules between
// recognisers (waiting for another to fail, one recognition per touch,
// delegates), and what the view's own touch handlers hear.

#include "platform/dispatch/RunLoop.h"
#include "platform/ui/input/LongPressGestureRecognizer.h"
#include "platform/ui/input/PanGestureRecognizer.h"
#include "platform/ui/input/PinchGestureRecognizer.h"
#include "platform/ui/input/SwipeGestureRecognizer.h"
#include "platform/ui/input/TapGestureRecognizer.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/View.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using platform::Point;
using platform::Rect;
using platform::ui::Event;
using platform::ui::GestureRecognizer;
using platform::ui::GestureRecognizerDelegate;
using platform::ui::LongPressGestureRecognizer;
using platform::ui::PanGestureRecognizer;
using platform::ui::PinchGestureRecognizer;
using platform::ui::SwipeGestureRecognizer;
using platform::ui::SwipeGestureRecognizerDirection;
using platform::ui::TapGestureRecognizer;
using platform::ui::Touch;
using platform::ui::TouchSet;
using platform::ui::TouchSynth;
using platform::ui::View;
using platform::ui::Window;
using State = platform::ui::GestureRecognizerState;

namespace {

const char* nameOf(State s) {
    switch (s) {
        case State::possible: return "possible";
        case State::began: return "began";
        case State::changed: return "changed";
        case State::ended: return "ended";
        case State::cancelled: return "cancelled";
        case State::failed: return "failed";
    }
    return "?";
}

// What a view's own touch handlers hear.
class TouchLogView : public View {
public:
    explicit TouchLogView(const Rect& frame) : View(frame) {}
    void touchesBegan(const TouchSet& t, const Event&) override { log.push_back("began " + std::to_string(t.size())); }
    void touchesMoved(const TouchSet& t, const Event&) override { log.push_back("moved " + std::to_string(t.size())); }
    void touchesEnded(const TouchSet& t, const Event&) override { log.push_back("ended " + std::to_string(t.size())); }
    void touchesCancelled(const TouchSet& t, const Event&) override {
        log.push_back("cancelled " + std::to_string(t.size()));
    }
    std::vector<std::string> log;
};

struct Scene {
    testsupport::VirtualTime time;
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect{0, 0, 400, 400});
    std::shared_ptr<TouchLogView> view = std::make_shared<TouchLogView>(Rect{0, 0, 400, 400});
    TouchSynth synth{window};
    std::vector<std::string> heard;

    Scene() { window->addSubview(view); }

    // Adds `r` to the view; its targets' calls go to `heard` as "name state".
    template <typename R>
    std::shared_ptr<R> add(std::shared_ptr<R> r, const std::string& name) {
        r->addAction([this, name](GestureRecognizer& g) { heard.push_back(name + " " + nameOf(g.state())); });
        view->addGestureRecognizer(r);
        return r;
    }
};

class Refusing : public GestureRecognizerDelegate {
public:
    bool begin = true;
    bool receive = true;
    bool simultaneous = false;
    bool gestureRecognizerShouldBegin(GestureRecognizer&) override { return begin; }
    bool gestureRecognizerShouldReceiveTouch(GestureRecognizer&, const Touch&) override { return receive; }
    bool gestureRecognizerShouldRecognizeSimultaneously(GestureRecognizer&, GestureRecognizer&) override {
        return simultaneous;
    }
};

using Log = std::vector<std::string>;

}  // namespace

TEST(UiGesture, TapsAreRecognisedOnLiftAndFailOnMovementCountOrTime) {
    Scene s;
    auto tap = s.add(std::make_shared<TapGestureRecognizer>(), "tap");
    s.synth.tap({100, 100});
    EXPECT_EQ(s.heard, Log{"tap ended"});
    EXPECT_EQ(tap->state(), State::possible) << "reset once its touch has lifted";
    EXPECT_EQ(tap->locationInView(s.view.get()).x, 100);

    struct Case {
        const char* name;
        void (*play)(TouchSynth&);
    };
    const Case failing[] = {
        {"moved beyond the limit",
         [](TouchSynth& t) {
             t.pan({{100, 100}, {100, 115}}, 0.05);
         }},
        {"held too long",
         [](TouchSynth& t) {
             t.longPress({100, 100}, 2);
         }},
        {"two fingers for one",
         [](TouchSynth& t) {
             t.lift(t.touchesDown({{100, 100}, {120, 100}}));
         }},
    };
    for (const Case& c : failing) {
        s.heard.clear();
        c.play(s.synth);
        s.synth.wait(0);
        EXPECT_EQ(s.heard, Log{}) << c.name;
        EXPECT_EQ(tap->state(), State::possible) << c.name;
    }

    // Two fingers required: both down together, both up.
    tap->setNumberOfTouchesRequired(2);
    s.heard.clear();
    auto both = s.synth.touchesDown({{100, 100}, {140, 100}});
    s.synth.wait(0.05);
    s.synth.lift({both[0]});
    EXPECT_EQ(s.heard, Log{}) << "not until the last finger lifts";
    s.synth.lift({both[1]});
    EXPECT_EQ(s.heard, Log{"tap ended"});
}

TEST(UiGesture, ASingleTapWaitsForADoubleTapToFail) {
    Scene s;
    auto single = s.add(std::make_shared<TapGestureRecognizer>(), "single");
    auto twice = std::make_shared<TapGestureRecognizer>();
    twice->setNumberOfTapsRequired(2);
    s.add(twice, "double");
    single->requireGestureRecognizerToFail(twice);

    s.synth.tap({100, 100});
    EXPECT_EQ(s.heard, Log{}) << "the single tap holds back while the double may come";
    EXPECT_EQ(single->state(), State::possible);
    s.synth.wait(TapGestureRecognizer::kMaximumInterval - 0.01);
    EXPECT_EQ(s.heard, Log{});
    s.synth.wait(0.02);
    EXPECT_EQ(s.heard, Log{"single ended"}) << "recognised when the double tap's wait ran out";

    s.heard.clear();
    s.synth.doubleTap({100, 100});
    s.synth.wait(1);
    EXPECT_EQ(s.heard, Log{"double ended"}) << "the double tap wins and the single one fails";

    // A second tap too far from the first is another gesture.
    s.heard.clear();
    s.synth.tap({100, 100});
    s.synth.wait(0.1);
    s.synth.tap({300, 300});
    s.synth.wait(1);
    EXPECT_EQ(s.heard, Log{"single ended"}) << "only the first single tap: the far tap came while it waited";
}

TEST(UiGesture, ALongPressBeginsOnTheClockAndFailsWhenMovedTooFar) {
    Scene s;
    auto press = s.add(std::make_shared<LongPressGestureRecognizer>(), "press");
    press->setMinimumPressDuration(0.3);

    auto touch = s.synth.touchDown({100, 100});
    s.synth.wait(0.29);
    EXPECT_EQ(s.heard, Log{});
    s.synth.wait(0.02);
    EXPECT_EQ(s.heard, Log{"press began"});
    s.synth.move({touch}, {{150, 150}});
    s.synth.lift({touch});
    EXPECT_EQ(s.heard, (Log{"press began", "press changed", "press ended"})) << "moving once begun is a change";

    s.heard.clear();
    touch = s.synth.touchDown({100, 100});
    s.synth.wait(0.1);
    s.synth.move({touch}, {{100, 109}});
    s.synth.wait(0.1);
    s.synth.move({touch}, {{100, 111}});
    EXPECT_EQ(press->state(), State::failed) << "11 points is beyond the allowable 10";
    s.synth.wait(1);
    s.synth.lift({touch});
    EXPECT_EQ(s.heard, Log{}) << "a failed press never begins, even when held";

    s.synth.longPress({100, 100}, 0.2);
    EXPECT_EQ(s.heard, Log{}) << "lifted before its time";
}

TEST(UiGesture, APanReportsTranslationAndVelocityInTheViewsCoordinates) {
    Scene s;
    auto pan = s.add(std::make_shared<PanGestureRecognizer>(), "pan");
    std::vector<Point> translations;
    Point velocity, windowVelocity;
    pan->addAction([&](GestureRecognizer&) {
        translations.push_back(pan->translationInView(s.view.get()));
        velocity = pan->velocityInView(s.view.get());
        windowVelocity = pan->velocityInView(nullptr);
    });
    s.view->setBounds({0, 0, 200, 200});
    s.view->setTransform(platform::AffineTransform::scale(2, 2));  // one view point is two window points

    // 120 window points right over 0.5 s: 60 view points, 120 per second.
    s.synth.pan({{100, 200}, {220, 200}}, 0.5);
    ASSERT_GE(s.heard.size(), 3u);
    EXPECT_EQ(s.heard.front(), "pan began");
    EXPECT_EQ(s.heard.back(), "pan ended");
    for (std::size_t i = 1; i + 1 < s.heard.size(); ++i) EXPECT_EQ(s.heard[i], "pan changed");
    EXPECT_GT(translations.front().x, 5) << "began once past the 10-point hysteresis, in window points";
    EXPECT_NEAR(translations.back().x, 60, 1e-6);
    EXPECT_NEAR(translations.back().y, 0, 1e-6);
    EXPECT_NEAR(velocity.x, 120, 1) << "as the pan ended";
    EXPECT_NEAR(windowVelocity.x, 240, 2) << "in the window's points";
    EXPECT_EQ(pan->velocityInView(nullptr).x, 0) << "reset once the finger lifted";

    // setTranslation rebases: later changes count from the value set.
    s.heard.clear();
    translations.clear();
    pan->addAction([&](GestureRecognizer& g) {
        if (g.state() == State::began) pan->setTranslation({0, 0}, s.view.get());
    });
    s.synth.pan({{100, 100}, {100, 180}}, 0.2);
    EXPECT_NEAR(translations.back().y, 40 - translations.front().y, 1e-6)
        << "translation after began is the movement since";

    // A tap is not a pan.
    s.heard.clear();
    s.synth.tap({100, 100});
    EXPECT_EQ(s.heard, Log{});
}

TEST(UiGesture, APinchScalesWithTheDistanceBetweenTwoFingers) {
    Scene s;
    auto pinch = s.add(std::make_shared<PinchGestureRecognizer>(), "pinch");
    std::vector<double> scales;
    double velocity = 0;
    pinch->addAction([&](GestureRecognizer&) {
        scales.push_back(pinch->scale());
        velocity = pinch->velocity();
    });

    // 100 apart to 250 apart in 0.5 s.
    s.synth.pinch({150, 200}, {250, 200}, {75, 200}, {325, 200}, 0.5);
    ASSERT_GE(s.heard.size(), 3u);
    EXPECT_EQ(s.heard.front(), "pinch began");
    EXPECT_EQ(s.heard.back(), "pinch ended");
    EXPECT_GT(scales.front(), 1.08) << "began past 8 points of change";
    EXPECT_NEAR(scales.back(), 2.5, 1e-9);
    EXPECT_NEAR(velocity, 3, 0.05) << "1.5 of scale over 0.5 s, as it ended";

    // One finger alone never pinches.
    s.heard.clear();
    s.synth.pan({{100, 100}, {300, 300}}, 0.3);
    EXPECT_EQ(s.heard, Log{});
}

TEST(UiGesture, ASwipeRecognisesItsDirectionOnly) {
    Scene s;
    auto swipe = s.add(std::make_shared<SwipeGestureRecognizer>(), "swipe");
    swipe->setDirection(SwipeGestureRecognizerDirection::left | SwipeGestureRecognizerDirection::up);
    const struct {
        const char* name;
        Point from, to;
        bool recognised;
    } cases[] = {
        {"left", {300, 200}, {150, 200}, true},
        {"up", {200, 300}, {200, 150}, true},
        {"right is not allowed", {150, 200}, {300, 200}, false},
        {"too short", {300, 200}, {260, 200}, false},
        {"too slanted", {300, 200}, {200, 130}, false},
    };
    for (const auto& c : cases) {
        s.heard.clear();
        s.synth.swipe(c.from, c.to);
        s.synth.wait(1);
        EXPECT_EQ(s.heard, c.recognised ? Log{"swipe ended"} : Log{}) << c.name;
    }
    s.heard.clear();
    s.synth.pan({{300, 200}, {240, 200}}, 1.0);
    EXPECT_EQ(s.heard, Log{}) << "too slow: 50 of the 60 points take 0.83 s, beyond half a second";
}

TEST(UiGesture, DelegatesAndViewsCanRefuseAndRecognisersCanShare) {
    Scene s;
    auto delegate = std::make_shared<Refusing>();
    auto tap = s.add(std::make_shared<TapGestureRecognizer>(), "tap");
    tap->setDelegate(delegate);

    delegate->receive = false;
    s.synth.tap({100, 100});
    EXPECT_EQ(s.heard, Log{}) << "a touch the delegate refuses never reaches it";
    EXPECT_EQ(s.view->log, (Log{"began 1", "ended 1"})) << "the view gets it alone";

    delegate->receive = true;
    delegate->begin = false;
    s.view->log.clear();
    s.synth.tap({100, 100});
    EXPECT_EQ(s.heard, Log{}) << "refused to begin: it fails";
    EXPECT_EQ(s.view->log, (Log{"began 1", "ended 1"})) << "a failed recogniser cancels nothing";

    // Two recognisers on the same touch: the pan's recognition makes the
    // long press fail, unless they may recognise together.
    delegate->begin = true;
    auto pan = s.add(std::make_shared<PanGestureRecognizer>(), "pan");
    auto press = s.add(std::make_shared<LongPressGestureRecognizer>(), "press");
    s.heard.clear();
    s.synth.pan({{100, 100}, {100, 200}}, 0.2);
    EXPECT_EQ(s.heard.front(), "pan began");
    EXPECT_EQ(press->state(), State::possible);
    EXPECT_EQ(std::count(s.heard.begin(), s.heard.end(), "press began"), 0);

    auto sharing = std::make_shared<Refusing>();
    sharing->simultaneous = true;
    press->setDelegate(sharing);
    press->setAllowableMovement(1000);
    s.heard.clear();
    auto touch = s.synth.touchDown({100, 100});
    s.synth.wait(0.6);
    s.synth.move({touch}, {{100, 160}});
    s.synth.lift({touch});
    EXPECT_EQ(s.heard, (Log{"press began", "pan began", "press changed", "pan ended", "press ended"}))
        << "recognisers hear each event in the order they were added";
}

TEST(UiGesture, ARecognisedGestureCancelsTheViewsTouchesUnlessToldNot) {
    Scene s;
    auto pan = s.add(std::make_shared<PanGestureRecognizer>(), "pan");
    s.synth.pan({{100, 100}, {100, 200}}, 0.2);
    ASSERT_GE(s.view->log.size(), 2u);
    EXPECT_EQ(s.view->log.front(), "began 1");
    EXPECT_EQ(s.view->log.back(), "cancelled 1") << "the pan took the touch";
    EXPECT_EQ(std::count(s.view->log.begin(), s.view->log.end(), "ended 1"), 0);

    pan->setCancelsTouchesInView(false);
    s.view->log.clear();
    s.synth.pan({{100, 100}, {100, 200}}, 0.2);
    EXPECT_EQ(s.view->log.back(), "ended 1");
    EXPECT_EQ(std::count(s.view->log.begin(), s.view->log.end(), "cancelled 1"), 0);

    // Delayed beginnings: the view hears nothing of a touch a recogniser
    // took before letting it through.
    pan->setCancelsTouchesInView(true);
    pan->setDelaysTouchesBegan(true);
    s.view->log.clear();
    s.synth.pan({{100, 100}, {100, 200}}, 0.2);
    EXPECT_EQ(s.view->log, Log{});
    s.synth.tap({100, 100});
    EXPECT_EQ(s.view->log, (Log{"began 1", "ended 1"})) << "held back, then let through when the pan failed";

    // Disabling a pan that has begun cancels it.
    s.heard.clear();
    auto touch = s.synth.touchDown({100, 100});
    s.synth.move({touch}, {{100, 150}});
    pan->setEnabled(false);
    s.synth.move({touch}, {{100, 200}});
    s.synth.lift({touch});
    EXPECT_EQ(s.heard, (Log{"pan began", "pan cancelled"}));

    // A double tap delays the view's touch ends until it fails.
    auto twice = std::make_shared<TapGestureRecognizer>();
    twice->setNumberOfTapsRequired(2);
    s.add(twice, "double");
    s.view->log.clear();
    s.synth.tap({100, 100});
    EXPECT_EQ(s.view->log, Log{"began 1"});
    s.synth.wait(1);
    EXPECT_EQ(s.view->log, (Log{"began 1", "ended 1"}));
}

TEST(UiGesture, TheLoopRunsInTheTrackingModeWhileATouchIsDown) {
    Scene s;
    auto loop = platform::RunLoop::main();
    int defaultFires = 0;
    int commonFires = 0;
    auto byDefault =
        loop->scheduleTimer(std::chrono::milliseconds(100), true, [&](platform::RunLoop::Timer&) { ++defaultFires; });
    auto always = loop->scheduleTimer(
        std::chrono::milliseconds(100), true, [&](platform::RunLoop::Timer&) { ++commonFires; },
        platform::RunLoopMode::Common);

    auto touch = s.synth.touchDown({100, 100});
    EXPECT_EQ(loop->currentMode(), platform::RunLoopMode::Tracking);
    s.synth.wait(0.55);
    EXPECT_EQ(defaultFires, 0) << "default-mode timers hold while tracking";
    EXPECT_EQ(commonFires, 5);
    s.synth.lift({touch});
    EXPECT_EQ(loop->currentMode(), platform::RunLoopMode::Default);
    s.synth.wait(0.01);
    EXPECT_EQ(defaultFires, 1) << "once lifted, the timer fires once for the fires it missed";
    EXPECT_EQ(commonFires, 5);
    byDefault.cancel();
    always.cancel();
}
