// Alerts show their whole title and message: wrapped inside the platform's
// margins, in a box that grows with them, and scrolled above buttons that
// stay in the window when they are taller than it.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/ui/controllers/AlertController.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/ScrollView.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

using namespace platform::ui;
using platform::Rect;

namespace {

struct Shown {
    std::shared_ptr<AlertController> alert;
    Rect box;
    Rect button;  // the first action's, in the window
};

Shown Show(Window& window, ViewController& root, const std::string& title, const std::string& message) {
    auto alert = std::make_shared<AlertController>(title, message, AlertControllerStyle::alert);
    alert->addAction(std::make_shared<AlertAction>("OK", AlertActionStyle::defaultStyle));
    root.presentViewController(alert, false);
    window.layoutIfNeeded();
    const auto label = alert->titleLabel() ? alert->titleLabel() : alert->messageLabel();
    const auto box = label->superview()->superview();
    const auto ok = alert->view()->findViewWithAccessibilityIdentifier("OK");
    return {alert, box->convertRectToView(box->bounds(), nullptr), ok->convertRectToView(ok->bounds(), nullptr)};
}

bool Within(const Rect& inner, const Rect& outer) {
    return inner.minX() >= outer.minX() - 0.01 && inner.maxX() <= outer.maxX() + 0.01 &&
           inner.minY() >= outer.minY() - 0.01 && inner.maxY() <= outer.maxY() + 0.01;
}

}  // namespace

TEST(UiAlertFit, TitleAndMessageWrapAndTheBoxGrowsThenScrolls) {
    testsupport::VirtualTime time;
    Device::currentDevice().setUserInterfaceIdiom(UserInterfaceIdiom::phone);
    auto window = std::make_shared<Window>(Rect{0, 0, 390, 844});
    auto root = std::make_shared<ViewController>();
    window->setRootViewController(root);

    // One short line each.
    const Shown small = Show(*window, *root, "Operation failed", "The layout file could not be opened.");
    EXPECT_FALSE(small.alert->titleLabel()->truncatesText());
    EXPECT_FALSE(small.alert->messageLabel()->truncatesText());
    root->dismissViewController(false);

    // A long title and message take several lines each, 16 points in from
    // the box's sides, and the box grows by them.
    const std::string longTitle = "Delete the layout Harbour Town Junction with the Engine Shed from this device?";
    const std::string longMessage =
        "The layout file was saved by a newer version of the app than this one. Please update the app to open it.";
    const Shown big = Show(*window, *root, longTitle, longMessage);
    for (const auto& label : {big.alert->titleLabel(), big.alert->messageLabel()}) {
        EXPECT_FALSE(label->truncatesText()) << label->text();
        EXPECT_GE(label->rendering().layout->lines().size(), 2u) << label->text();
        const Rect frame = label->convertRectToView(label->bounds(), nullptr);
        EXPECT_NEAR(frame.minX() - big.box.minX(), 16, 0.01) << label->text();
        EXPECT_NEAR(big.box.maxX() - frame.maxX(), 16, 0.01) << label->text();
    }
    EXPECT_GT(big.box.height, small.box.height + 40);
    EXPECT_TRUE(Within(big.button, big.box));
    root->dismissViewController(false);

    // Taller than the window: the box keeps to it, the OK button stays in
    // view, and the text scrolls to its last line.
    std::string essay;
    for (int i = 0; i < 60; ++i) essay += "Sentence " + std::to_string(i) + " of a message far too long to show. ";
    const Shown huge = Show(*window, *root, "Operation failed", essay);
    EXPECT_TRUE(Within(huge.box, window->bounds()));
    EXPECT_GE(huge.box.minY(), 20 - 0.01);
    EXPECT_TRUE(Within(huge.button, huge.box));
    const auto message = huge.alert->messageLabel();
    EXPECT_FALSE(message->truncatesText());
    const auto scroll = huge.alert->textScrollView();
    ASSERT_NE(scroll, nullptr);
    EXPECT_GT(scroll->contentSize().height, scroll->bounds().height + 100);
    scroll->setContentOffset(scroll->maximumContentOffset());
    window->layoutIfNeeded();
    const Rect end = message->convertRectToView(message->bounds(), nullptr);
    const Rect seen = scroll->convertRectToView(scroll->bounds(), nullptr);
    EXPECT_LE(end.maxY(), seen.maxY() + 0.01) << "the last line scrolls into view";
    EXPECT_LE(seen.maxY(), huge.button.minY() + 0.01) << "above the button";
    root->dismissViewController(false);
    window->setRootViewController(nullptr);
}
