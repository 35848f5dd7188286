// Finger marks: off unless a screen is mirrored (or they are asked for),
// placed under each finger and moved with it, faded out growing as the
// finger lifts, and swept when the end of a touch never reaches the window.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "platform/graphics/Image.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/input/SwipeGestureRecognizer.h"
#include "platform/ui/views/TableViewCell.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/controllers/ViewController.h"
#include "tests/platform/support/VirtualTime.h"
#include "widgets/TouchMarks/TouchMarkOverlayWindow.h"
#include "widgets/TouchMarks/TouchMarkView.h"
#include "widgets/TouchMarks/TouchMarkWindow.h"

using platform::Point;
using platform::Rect;
using platform::ui::Screen;
using platform::ui::TouchSynth;

namespace {

struct MirrorStage {
    testsupport::VirtualTime time;
    std::shared_ptr<TouchMarkWindow> window = std::make_shared<TouchMarkWindow>(Rect{0, 0, 390, 844});
    std::shared_ptr<platform::ui::ViewController> root = std::make_shared<platform::ui::ViewController>();
    TouchSynth synth{window};

    MirrorStage() {
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }
    ~MirrorStage() { window->setRootViewController(nullptr); }

    std::vector<std::shared_ptr<TouchMarkView>> marks() const {
        std::vector<std::shared_ptr<TouchMarkView>> found;
        const auto overlay = window->existingOverlayWindow();
        if (!overlay) return found;
        for (const auto& view : overlay->subviews()) {
            if (auto mark = std::dynamic_pointer_cast<TouchMarkView>(view)) found.push_back(mark);
        }
        return found;
    }
};

Point centerOf(const Rect& r) { return {r.x + r.width / 2, r.y + r.height / 2}; }

}  // namespace

TEST(TouchMarkWindow, WithoutAMirroredScreenEventsPassUntouched) {
    MirrorStage stage;
    EXPECT_FALSE(stage.window->isActive());
    auto button = platform::ui::Button::make();
    button->setFrame({20, 20, 100, 44});
    stage.root->view()->addSubview(button);
    int taps = 0;
    button->addAction([&](platform::ui::Control&) { ++taps; }, platform::ui::ControlEvents::touchUpInside);
    stage.synth.tap({50, 40});
    stage.synth.wait(1);
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(stage.window->existingOverlayWindow(), nullptr) << "no overlay is made";
}

TEST(TouchMarkWindow, AMirroredDisplaySwitchesMarksOnAndOff) {
    MirrorStage stage;
    auto external = std::make_shared<Screen>(platform::Size{1920, 1080}, 1);
    external->setMirroredScreen(Screen::mainScreen());
    Screen::connectScreen(external);
    EXPECT_TRUE(stage.window->isActive()) << "without a restart";
    stage.synth.touchDown({100, 100});
    EXPECT_EQ(stage.marks().size(), 1u);

    Screen::disconnectScreen(external);
    EXPECT_FALSE(stage.window->isActive());
    stage.synth.touchDown({200, 200});
    EXPECT_EQ(stage.marks().size(), 1u) << "none for new touches";

    // A screen of its own is no mirror.
    auto separate = std::make_shared<Screen>(platform::Size{1920, 1080}, 1);
    Screen::connectScreen(separate);
    EXPECT_FALSE(stage.window->isActive());
    Screen::disconnectScreen(separate);
}

TEST(TouchMarkWindow, TheEnvironmentSwitchTurnsMarksOn) {
    // A process of its own: the switch is read once per process.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("DEBUG_TOUCH_MARKS_WINDOW", " YES", 1);
            auto window = std::make_shared<TouchMarkWindow>();
            std::exit(window->isActive() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            setenv("DEBUG_TOUCH_MARKS_WINDOW", "0", 1);
            auto window = std::make_shared<TouchMarkWindow>();
            std::exit(window->isActive() ? 0 : 1);
        },
        testing::ExitedWithCode(1), "");
}

TEST(TouchMarkWindow, MarksAppearUnderFingersAndFollowThem) {
    MirrorStage stage;
    stage.window->setAlwaysShowTouches(true);
    EXPECT_TRUE(stage.window->isActive());
    auto fingers = stage.synth.touchesDown({{100, 100}, {300, 500}});
    auto marks = stage.marks();
    ASSERT_EQ(marks.size(), 2u);
    const auto overlay = stage.window->existingOverlayWindow();
    EXPECT_FALSE(overlay->isUserInteractionEnabled());
    EXPECT_EQ(overlay->windowLevel(), platform::ui::kWindowLevelStatusBar);
    EXPECT_EQ(overlay->frame(), stage.window->frame());
    EXPECT_EQ(overlay->rootViewController(), stage.root) << "follows the main window";

    EXPECT_EQ(marks[0]->center(), (Point{100, 100}));
    EXPECT_EQ(marks[1]->center(), (Point{300, 500}));
    EXPECT_EQ(marks[0]->alpha(), 0.5);
    EXPECT_EQ(marks[0]->bounds().width, TouchMarkWindow::kMarkSide);
    EXPECT_EQ(marks[0]->tag(), static_cast<std::int64_t>(fingers[0]->identifier()));
    EXPECT_FALSE(marks[0]->shouldAutomaticallyRemoveAfterTimeout());

    stage.synth.move(fingers, {{120, 140}, {280, 450}});
    ASSERT_EQ(stage.marks().size(), 2u);
    EXPECT_EQ(stage.marks()[0], marks[0]) << "the same mark moves";
    EXPECT_EQ(marks[0]->center(), (Point{120, 140}));
    EXPECT_EQ(marks[1]->center(), (Point{280, 450}));
    EXPECT_EQ(marks[0]->timestamp(), fingers[0]->timestamp());

    // Held fingers keep their marks, however long.
    stage.synth.wait(2);
    EXPECT_EQ(stage.marks().size(), 2u);
    EXPECT_FALSE(marks[0]->isFadingOut());
    stage.synth.lift(fingers);
    stage.synth.wait(0.31);
    EXPECT_TRUE(stage.marks().empty());
}

TEST(TouchMarkWindow, ATapLeavesAMarkThatGrowsAsItFades) {
    MirrorStage stage;
    stage.window->setAlwaysShowTouches(true);
    auto finger = stage.synth.touchDown({50, 60});
    ASSERT_EQ(stage.marks().size(), 1u);
    const auto mark = stage.marks()[0];
    stage.synth.lift({finger});
    EXPECT_TRUE(mark->isFadingOut());
    EXPECT_EQ(mark->frame(), (Rect{50 - 42, 60 - 42, 84, 84})) << "twice the size about the same centre";

    stage.synth.wait(0.15);
    const auto shown = mark->layer()->presentationLayer();
    EXPECT_GT(shown->opacity(), 0.0);
    EXPECT_LT(shown->opacity(), 0.5);
    EXPECT_GT(shown->bounds().width, 42);
    EXPECT_LT(shown->bounds().width, 84);
    EXPECT_EQ(centerOf(shown->frame()), (Point{50, 60}));
    EXPECT_EQ(stage.marks().size(), 1u);

    stage.synth.wait(0.15);
    EXPECT_TRUE(stage.marks().empty()) << "gone after the fade";
    EXPECT_EQ(mark->superview(), nullptr);
}

TEST(TouchMarkWindow, ATouchLostInATableCellIsSweptAndComesBackWhenItMoves) {
    MirrorStage stage;
    stage.window->setAlwaysShowTouches(true);
    auto cell = std::make_shared<platform::ui::TableViewCell>();
    cell->setFrame({0, 100, 390, 44});
    cell->addGestureRecognizer(std::make_shared<platform::ui::SwipeGestureRecognizer>());
    stage.root->view()->addSubview(cell);

    auto finger = stage.synth.touchDown({30, 120});
    stage.synth.wait(TouchSynth::kFrame);
    stage.synth.move({finger}, {{32, 121}});
    // The end of the touch never comes.
    ASSERT_EQ(stage.marks().size(), 1u);
    const auto mark = stage.marks()[0];
    EXPECT_TRUE(mark->shouldAutomaticallyRemoveAfterTimeout());
    stage.synth.wait(0.15);
    EXPECT_FALSE(mark->isFadingOut()) << "not stale yet";
    stage.synth.wait(0.15);
    EXPECT_TRUE(mark->isFadingOut()) << "swept 0.2 to 0.3 s after its last event";
    stage.synth.wait(0.3);
    EXPECT_TRUE(stage.marks().empty());

    stage.synth.move({finger}, {{34, 122}});
    ASSERT_EQ(stage.marks().size(), 1u);
    EXPECT_NE(stage.marks()[0], mark);
    EXPECT_EQ(stage.marks()[0]->alpha(), 0.5);

    // The same finger moving while its mark fades gets a fresh mark.
    stage.synth.wait(0.35);
    const auto fading = stage.marks()[0];
    ASSERT_TRUE(fading->isFadingOut());
    stage.synth.move({finger}, {{36, 123}});
    ASSERT_EQ(stage.marks().size(), 1u);
    EXPECT_NE(stage.marks()[0], fading);
    EXPECT_FALSE(stage.marks()[0]->isFadingOut());
    EXPECT_EQ(fading->superview(), nullptr);
    stage.synth.cancel({finger});
}

TEST(TouchMarkWindow, TheMarkIsARingInTheColoursGiven) {
    MirrorStage stage;
    stage.window->setAlwaysShowTouches(true);
    stage.window->setStrokeColor(platform::Color{1, 0, 0, 1});
    stage.window->setFillColor(platform::Color{0, 0, 1, 1});
    const auto image = stage.window->touchImage();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), (platform::Size{42, 42}));
    EXPECT_EQ(image->scale(), 2);
    EXPECT_EQ(image->pixel(42, 42), (platform::Pixel{0, 0, 255, 255})) << "filled";
    const auto ring = image->pixel(42 + 40 + 1, 42);
    ASSERT_TRUE(ring.has_value());
    EXPECT_GT(ring->red, 100) << "stroked outside the fill";
    EXPECT_EQ(image->pixel(1, 1)->alpha, 0) << "clear outside the circle";

    // On the overlay, at half opacity.
    stage.synth.touchDown({100, 100});
    const auto shot = stage.window->existingOverlayWindow()->snapshot();
    ASSERT_NE(shot, nullptr);
    const auto middle = shot->pixel(200, 200);
    ASSERT_TRUE(middle.has_value());
    EXPECT_NEAR(middle->alpha, 128, 3);
    EXPECT_EQ(middle->blue, 255);
    EXPECT_EQ(shot->pixel(20, 20)->alpha, 0);
}
