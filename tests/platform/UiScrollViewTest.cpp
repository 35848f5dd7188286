// Scroll views dragged, flicked and pinched with synthetic touches on the
// virtual clock: offsets held to their range or banded past it and sprung
// back, gliding, paging, zoom limits and what the delegate hears.

#include "platform/ui/input/PanGestureRecognizer.h"
#include "platform/ui/views/ScrollView.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using platform::Point;
using platform::Rect;
using platform::Size;
using platform::ui::ScrollView;
using platform::ui::ScrollViewDelegate;
using platform::ui::TouchSynth;
using platform::ui::View;
using platform::ui::Window;

namespace {

using Log = std::vector<std::string>;

class Recorder : public ScrollViewDelegate {
public:
    void scrollViewDidScroll(ScrollView&) override { ++scrolls; }
    void scrollViewDidZoom(ScrollView&) override { ++zooms; }
    void scrollViewWillBeginDragging(ScrollView&) override { log.push_back("will drag"); }
    void scrollViewDidEndDragging(ScrollView& s, bool decelerate) override {
        log.push_back(decelerate ? "end drag, decelerating" : "end drag");
        releaseOffset = s.contentOffset();
        releaseVelocity = s.panGestureRecognizer()->velocityInView(&s);
    }
    void scrollViewWillBeginDecelerating(ScrollView&) override { log.push_back("will decelerate"); }
    void scrollViewDidEndDecelerating(ScrollView&) override { log.push_back("end decelerating"); }
    void scrollViewDidEndScrollingAnimation(ScrollView&) override { log.push_back("end animation"); }
    std::shared_ptr<View> viewForZoomingInScrollView(ScrollView&) override { return zoomed; }
    void scrollViewWillBeginZooming(ScrollView&, View*) override { log.push_back("will zoom"); }
    void scrollViewDidEndZooming(ScrollView&, View*, double scale) override {
        log.push_back("end zoom at " + std::to_string(scale));
    }

    Log log;
    int scrolls = 0;
    int zooms = 0;
    Point releaseOffset;
    Point releaseVelocity;
    std::shared_ptr<View> zoomed;
};

struct Scene {
    testsupport::VirtualTime time;
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect{0, 0, 400, 400});
    std::shared_ptr<ScrollView> scroll = ScrollView::make({0, 0, 200, 200});
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    TouchSynth synth{window};

    Scene() {
        scroll->setContentSize({1000, 1000});
        scroll->setDelegate(recorder);
        window->addSubview(scroll);
    }
};

// A finger dragged from `from` to `to` over `seconds`, then held still
// before it lifts: let go without speed.
void dragAndHold(TouchSynth& synth, Point from, Point to, double seconds) {
    auto touch = synth.touchDown(from);
    const int frames = static_cast<int>(seconds / TouchSynth::kFrame);
    for (int i = 1; i <= frames; ++i) {
        synth.wait(TouchSynth::kFrame);
        const double f = static_cast<double>(i) / frames;
        synth.move({touch}, {{from.x + (to.x - from.x) * f, from.y + (to.y - from.y) * f}});
    }
    synth.wait(0.2);
    synth.lift({touch});
}

}  // namespace

TEST(UiScrollView, OffsetsKeepToTheirRangeOrBandAndSpringBack) {
    Scene s;
    s.scroll->setContentInset({20, 0, 10, 0});
    EXPECT_EQ(s.scroll->minimumContentOffset(), (Point{0, -20}));
    EXPECT_EQ(s.scroll->maximumContentOffset(), (Point{800, 810}));

    // Without bouncing a drag stops at the edge.
    s.scroll->setBounces(false);
    dragAndHold(s.synth, {100, 100}, {150, 180}, 0.5);
    s.synth.wait(2);
    EXPECT_EQ(s.scroll->contentOffset(), (Point{0, -20}));

    dragAndHold(s.synth, {100, 100}, {60, 60}, 0.5);
    s.synth.wait(2);
    EXPECT_EQ(s.scroll->contentOffset(), (Point{40, 40 - 20})) << "the content follows the finger";
    EXPECT_EQ(s.recorder->log, (Log{"will drag", "end drag", "will drag", "end drag"}))
        << "let go without speed, nothing glides";

    // Bouncing, a drag past the edge goes less far than the finger, then the
    // content springs back when let go.
    s.scroll->setBounces(true);
    s.scroll->setContentOffset({0, 0});
    s.recorder->log.clear();
    dragAndHold(s.synth, {100, 100}, {100, 180}, 0.5);
    const double banded = s.scroll->contentOffset().y;
    EXPECT_LT(banded, -20);
    EXPECT_GT(banded, -20 - 80) << "less than the finger's 80 points past the edge";
    EXPECT_TRUE(s.scroll->isDecelerating());
    s.synth.wait(2);
    EXPECT_EQ(s.scroll->contentOffset(), (Point{0, -20}));
    EXPECT_FALSE(s.scroll->isDecelerating());
    EXPECT_EQ(s.recorder->log, (Log{"will drag", "end drag, decelerating", "will decelerate", "end decelerating"}));

    // Content that fits its bounds does not move.
    s.scroll->setContentInset({});
    s.scroll->setContentSize({200, 200});
    s.scroll->setContentOffset({0, 0});
    s.synth.pan({{100, 100}, {150, 150}}, 0.3);
    EXPECT_EQ(s.scroll->contentOffset(), (Point{0, 0}));

    // A program may put the offset anywhere.
    s.scroll->setContentOffset({-50, 5000});
    EXPECT_EQ(s.scroll->contentOffset(), (Point{-50, 5000}));
    EXPECT_EQ(s.scroll->bounds().origin(), (Point{-50, 5000})) << "the offset is the bounds' origin";
}

TEST(UiScrollView, ADragAlongAnAxisTheContentDoesNotFillIsLeftToTheViewsAbove) {
    Scene s;
    s.scroll->setContentSize({200, 1000});  // scrolls down only
    auto outer = std::make_shared<platform::ui::PanGestureRecognizer>();
    int outerBegan = 0;
    outer->addAction([&](platform::ui::GestureRecognizer& r) {
        if (r.state() == platform::ui::GestureRecognizerState::began) ++outerBegan;
    });
    s.window->addGestureRecognizer(outer);

    dragAndHold(s.synth, {150, 100}, {30, 110}, 0.5);
    s.synth.wait(1);
    EXPECT_EQ(outerBegan, 1) << "sideways: the window's pan";
    EXPECT_TRUE(s.recorder->log.empty()) << "the scroll view did not drag";
    EXPECT_EQ(s.scroll->contentOffset(), (Point{0, 0}));

    dragAndHold(s.synth, {100, 150}, {110, 50}, 0.5);
    s.synth.wait(1);
    EXPECT_EQ(outerBegan, 1);
    EXPECT_EQ(s.scroll->contentOffset().y, 100) << "down the text: the scroll view";
}

TEST(UiScrollView, AFlickGlidesAsFarAsItsSpeedCarriesIt) {
    Scene s;
    s.synth.swipe({100, 150}, {100, 50});
    ASSERT_TRUE(s.scroll->isDecelerating());
    const double speed = -s.recorder->releaseVelocity.y;
    ASSERT_GT(speed, 200);
    // Speed falls by the rate each millisecond: the distance is
    // v / (1000 ln(1 / rate)), less the crawl below the rest speed.
    const double expected = speed / (1000 * std::log(1 / ScrollView::kDecelerationRateNormal));
    s.synth.wait(10);
    EXPECT_FALSE(s.scroll->isDecelerating());
    const double travelled = s.scroll->contentOffset().y - s.recorder->releaseOffset.y;
    EXPECT_NEAR(travelled, expected, 5 / (1000 * std::log(1 / ScrollView::kDecelerationRateNormal)) + 0.5);
    EXPECT_EQ(s.recorder->log.back(), "end decelerating");

    // A fast rate stops sooner.
    s.scroll->setDecelerationRate(ScrollView::kDecelerationRateFast);
    s.scroll->setContentOffset({0, 0});
    s.synth.swipe({100, 150}, {100, 50});
    s.synth.wait(10);
    EXPECT_LT(s.scroll->contentOffset().y, travelled);

    // A touch catches a gliding view.
    s.scroll->setDecelerationRate(ScrollView::kDecelerationRateNormal);
    s.scroll->setContentOffset({0, 0});
    s.synth.swipe({100, 150}, {100, 50});
    s.synth.wait(0.1);
    const double before = s.scroll->contentOffset().y;
    auto touch = s.synth.touchDown({100, 100});
    s.synth.wait(0.2);
    s.synth.move({touch}, {{100, 111}});
    s.synth.wait(0.2);
    s.synth.lift({touch});
    const double caught = s.scroll->contentOffset().y;
    EXPECT_LT(caught, before + 60) << "held by the touch, not glided on";
    s.synth.wait(2);
    EXPECT_EQ(s.scroll->contentOffset().y, caught);
}

TEST(UiScrollView, PagingSettlesOnAWholePage) {
    Scene s;
    s.scroll->setContentSize({600, 200});
    s.scroll->setPagingEnabled(true);

    dragAndHold(s.synth, {150, 100}, {30, 100}, 1);  // past half a page
    s.synth.wait(2);
    EXPECT_EQ(s.scroll->contentOffset(), (Point{200, 0}));
    dragAndHold(s.synth, {150, 100}, {100, 100}, 1);  // less than half
    s.synth.wait(2);
    EXPECT_EQ(s.scroll->contentOffset(), (Point{200, 0}));
    s.synth.swipe({150, 100}, {110, 100});  // a quick flick goes on
    s.synth.wait(2);
    EXPECT_EQ(s.scroll->contentOffset(), (Point{400, 0}));
    s.synth.swipe({150, 100}, {50, 100});  // not past the last page
    s.synth.wait(2);
    EXPECT_EQ(s.scroll->contentOffset(), (Point{400, 0}));
    s.synth.swipe({50, 100}, {90, 100});
    s.synth.wait(2);
    EXPECT_EQ(s.scroll->contentOffset(), (Point{200, 0}));
    EXPECT_EQ(std::count(s.recorder->log.begin(), s.recorder->log.end(), "end decelerating"), 5)
        << "each drag ended moving to its page";
}

TEST(UiScrollView, AnimatedOffsetsMoveOnTheClock) {
    Scene s;
    s.scroll->setContentOffset({0, 300}, true);
    EXPECT_EQ(s.scroll->contentOffset(), (Point{0, 0})) << "nothing moves before the first frame";
    s.synth.wait(ScrollView::kAnimationDuration / 2);
    EXPECT_NEAR(s.scroll->contentOffset().y, 150, 20);
    const int scrollsHalfway = s.recorder->scrolls;
    EXPECT_GT(scrollsHalfway, 5) << "told of each frame";
    s.synth.wait(ScrollView::kAnimationDuration);
    EXPECT_EQ(s.scroll->contentOffset(), (Point{0, 300}));
    EXPECT_EQ(s.recorder->log, (Log{"end animation"}));
}

TEST(UiScrollView, ZoomKeepsToItsLimitsAndTheContentUnderTheFingers) {
    Scene s;
    auto content = std::make_shared<View>(Rect{0, 0, 400, 400});
    s.scroll->addSubview(content);
    s.scroll->setContentSize({400, 400});
    s.recorder->zoomed = content;

    s.scroll->setZoomScale(2);
    EXPECT_EQ(s.scroll->zoomScale(), 1) << "the range is 1 to 1 until it is set";
    s.scroll->setMinimumZoomScale(0.5);
    s.scroll->setMaximumZoomScale(3);
    s.scroll->setZoomScale(5);
    EXPECT_EQ(s.scroll->zoomScale(), 3);
    EXPECT_EQ(content->frame(), (Rect{0, 0, 1200, 1200}));
    EXPECT_EQ(s.scroll->contentSize(), (Size{1200, 1200}));
    s.scroll->setZoomScale(0.1);
    EXPECT_EQ(s.scroll->zoomScale(), 0.5);
    EXPECT_EQ(s.recorder->zooms, 2);

    // Pinching apart from the middle: twice the distance, twice the scale,
    // the content point between the fingers stays between them.
    s.scroll->setZoomScale(1);
    s.scroll->setContentOffset({100, 100});
    const Point middle{100, 100};  // in the window; content point (200, 200)
    s.synth.pinch({80, 100}, {120, 100}, {60, 100}, {140, 100}, 0.5);
    EXPECT_NEAR(s.scroll->zoomScale(), 2, 0.01);
    const Point offset = s.scroll->contentOffset();
    EXPECT_NEAR(200 * s.scroll->zoomScale() - offset.x, middle.x, 0.5);
    EXPECT_NEAR(200 * s.scroll->zoomScale() - offset.y, middle.y, 0.5);
    EXPECT_EQ(s.recorder->log, (Log{"will zoom", "end zoom at " + std::to_string(s.scroll->zoomScale())}));

    // Far past the maximum: held there.
    s.synth.pinch({95, 100}, {105, 100}, {20, 100}, {180, 100}, 0.5);
    EXPECT_EQ(s.scroll->zoomScale(), 3);

    // Without a view for zooming a pinch does nothing.
    s.recorder->zoomed = nullptr;
    s.synth.pinch({60, 100}, {140, 100}, {95, 100}, {105, 100}, 0.5);
    EXPECT_EQ(s.scroll->zoomScale(), 3);
}
