// The toolkit's doors check their thread in builds with VEKMONT_THREAD_CHECKS
// (the tests' builds): a change from another thread aborts, naming the door,
// before it can race the main thread's drawing.

#include "platform/ui/core/Layer.h"
#include "platform/ui/views/View.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>

using platform::Rect;
using platform::ui::Layer;
using platform::ui::View;

TEST(UiThreadChecks, ChangesOffTheMainThreadAbortNamingTheDoor) {
#if !(defined(VEKMONT_THREAD_CHECKS) && VEKMONT_THREAD_CHECKS)
    GTEST_SKIP() << "built without VEKMONT_THREAD_CHECKS";
#else
    // A child that starts afresh: the thread below is its only other one.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto onAnotherThread = [](const std::function<void()>& block) { std::thread(block).join(); };
    auto layer = Layer::make();
    auto view = std::make_shared<View>(Rect{0, 0, 100, 100});
    auto subview = std::make_shared<View>(Rect{0, 0, 10, 10});

    EXPECT_DEATH(onAnotherThread([&] { layer->setOpacity(0.5); }),
                 "Layer property change \\(opacity\\) entered off the main thread");
    EXPECT_DEATH(onAnotherThread([&] { layer->setValueForKeyPath("position.x", 3.0); }),
                 "Layer property change \\(position.x\\) entered off the main thread");
    EXPECT_DEATH(onAnotherThread([&] { view->setNeedsDisplay(); }),
                 "View::setNeedsDisplay entered off the main thread");
    EXPECT_DEATH(onAnotherThread([&] { view->setNeedsLayout(); }), "View::setNeedsLayout entered off the main thread");
    EXPECT_DEATH(onAnotherThread([&] { view->addSubview(subview); }),
                 "View::addSubview/insertSubview entered off the main thread");

    // On the main thread the same changes go through.
    layer->setOpacity(0.5);
    EXPECT_EQ(layer->opacity(), 0.5);
    view->addSubview(subview);
    view->setNeedsLayout();
    view->setNeedsDisplay();
    EXPECT_EQ(subview->superview(), view);
    EXPECT_TRUE(view->layer()->needsDisplay());
#endif
}
