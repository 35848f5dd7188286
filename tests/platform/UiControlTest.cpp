// Controls driven like a user with synthetic touches on the virtual clock:
// the events a control sends for taps, drags out and back and cancelled
// touches, disabled controls, buttons, switches and segmented controls.

#include "platform/graphics/BitmapContext.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/views/SegmentedControl.h"
#include "platform/ui/views/Switch.h"
#include "platform/ui/input/TapGestureRecognizer.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::Color;
using platform::Point;
using platform::Rect;
using platform::ui::Button;
using platform::ui::ButtonType;
using platform::ui::Control;
using platform::ui::ControlEvents;
using platform::ui::ControlState;
using platform::ui::SegmentedControl;
using platform::ui::Switch;
using platform::ui::TouchSynth;
using platform::ui::View;
using platform::ui::Window;

namespace {

using Log = std::vector<std::string>;

struct Scene {
    testsupport::VirtualTime time;
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect{0, 0, 400, 400});
    TouchSynth synth{window};
    Log heard;

    // Records every event of the control as its name.
    void listen(Control& control) {
        const std::pair<ControlEvents, const char*> names[] = {
            {ControlEvents::touchDown, "down"},
            {ControlEvents::touchDownRepeat, "down repeat"},
            {ControlEvents::touchDragInside, "drag inside"},
            {ControlEvents::touchDragOutside, "drag outside"},
            {ControlEvents::touchDragEnter, "drag enter"},
            {ControlEvents::touchDragExit, "drag exit"},
            {ControlEvents::touchUpInside, "up inside"},
            {ControlEvents::touchUpOutside, "up outside"},
            {ControlEvents::touchCancel, "cancel"},
            {ControlEvents::valueChanged, "value"},
            {ControlEvents::primaryActionTriggered, "primary"},
        };
        for (const auto& [event, name] : names) {
            control.addAction([this, n = std::string(name)](Control&) { heard.push_back(n); }, event);
        }
    }
};

// Only the distinct consecutive entries: drags send one event per move.
Log collapsed(const Log& log) {
    Log out;
    for (const auto& entry : log) {
        if (out.empty() || out.back() != entry) out.push_back(entry);
    }
    return out;
}

}  // namespace

TEST(UiControl, ControlEventsFollowTheTouchInOrder) {
    Scene s;
    auto button = Button::make(ButtonType::system);
    button->setFrame({100, 100, 100, 40});
    s.window->addSubview(button);
    s.listen(*button);

    s.synth.tap({150, 120});
    EXPECT_EQ(s.heard, (Log{"down", "up inside", "primary"}));

    // Out beyond the slop and back in, lifting inside. (A pause first, so
    // that the next touch is no second tap.)
    s.synth.wait(1);
    s.heard.clear();
    const double far = 200 + Control::kTouchSlop + 20;
    s.synth.pan({{150, 120}, {far, 120}, {150, 120}}, 0.5);
    EXPECT_EQ(collapsed(s.heard), (Log{"down", "drag inside", "drag exit", "drag outside", "drag enter", "drag inside",
                                       "up inside", "primary"}));

    // Within the slop a touch still counts as inside.
    s.synth.wait(1);
    s.heard.clear();
    s.synth.pan({{150, 120}, {200 + Control::kTouchSlop - 10, 120}}, 0.2);
    EXPECT_EQ(collapsed(s.heard), (Log{"down", "drag inside", "up inside", "primary"}));

    s.synth.wait(1);
    s.heard.clear();
    s.synth.pan({{150, 120}, {far, 120}}, 0.2);
    EXPECT_EQ(collapsed(s.heard), (Log{"down", "drag inside", "drag exit", "drag outside", "up outside"}));

    // The highlight follows the touch; a cancelled touch ends it.
    s.synth.wait(1);
    s.heard.clear();
    auto touch = s.synth.touchDown({150, 120});
    EXPECT_TRUE(button->isHighlighted());
    EXPECT_TRUE(button->isTracking());
    s.synth.move({touch}, {{far, 120}});
    EXPECT_FALSE(button->isHighlighted());
    s.synth.move({touch}, {{160, 120}});
    EXPECT_TRUE(button->isHighlighted());
    s.synth.cancel({touch});
    EXPECT_FALSE(button->isHighlighted());
    EXPECT_FALSE(button->isTracking());
    EXPECT_EQ(collapsed(s.heard), (Log{"down", "drag exit", "drag outside", "drag enter", "drag inside", "cancel"}));

    // A second tap soon after is a repeat.
    s.synth.wait(1);
    s.heard.clear();
    s.synth.doubleTap({150, 120});
    EXPECT_EQ(s.heard, (Log{"down", "up inside", "primary", "down", "down repeat", "up inside", "primary"}));
}

TEST(UiControl, TargetsAreCalledPerEventWhileTheyLive) {
    struct Target {
        int taps = 0;
        void tapped(Button& b) {
            ++taps;
            EXPECT_EQ(b.currentTitle(), "Teilen");
        }
    };
    Scene s;
    auto button = Button::make(ButtonType::system);
    button->setTitle("Teilen", ControlState::normal);
    button->setFrame({0, 0, 100, 40});
    s.window->addSubview(button);
    auto target = std::make_shared<Target>();
    button->addTarget(target, &Target::tapped, ControlEvents::touchUpInside);
    int other = 0;
    const auto id =
        button->addAction([&](Control&) { ++other; }, ControlEvents::touchUpInside | ControlEvents::touchDown);
    EXPECT_EQ(button->numberOfActions(ControlEvents::touchUpInside), 2u);
    EXPECT_EQ(button->numberOfActions(ControlEvents::valueChanged), 0u);

    s.synth.tap({50, 20});
    EXPECT_EQ(target->taps, 1);
    EXPECT_EQ(other, 2) << "once for the touch down, once for the touch up";

    button->removeAction(id);
    target.reset();
    EXPECT_EQ(button->numberOfActions(ControlEvents::allEvents), 0u) << "a target that went is not counted";
    s.synth.tap({50, 20});
    EXPECT_EQ(other, 2);

    auto second = std::make_shared<Target>();
    button->addTarget(second, &Target::tapped, ControlEvents::touchUpInside);
    button->removeTarget(second.get(), ControlEvents::allEvents);
    s.synth.tap({50, 20});
    EXPECT_EQ(second->taps, 0);
}

TEST(UiControl, DisabledControlsTakeNoTouchesAndLetThemThrough) {
    Scene s;
    auto behind = Button::make(ButtonType::custom);
    behind->setFrame({0, 0, 400, 400});
    s.window->addSubview(behind);
    auto button = Button::make(ButtonType::system);
    button->setFrame({100, 100, 100, 40});
    s.window->addSubview(button);
    s.listen(*button);
    int behindTaps = 0;
    behind->addAction([&](Control&) { ++behindTaps; }, ControlEvents::touchUpInside);

    button->setEnabled(false);
    EXPECT_TRUE(hasFlag(button->state(), ControlState::disabled));
    s.synth.tap({150, 120});
    EXPECT_EQ(s.heard, Log{});
    EXPECT_EQ(behindTaps, 1) << "the touch reached the view behind";

    // Disabling while tracking ends the tracking without an event.
    s.synth.wait(1);
    button->setEnabled(true);
    auto touch = s.synth.touchDown({150, 120});
    button->setEnabled(false);
    EXPECT_FALSE(button->isTracking());
    s.synth.lift({touch});
    EXPECT_EQ(s.heard, Log{"down"});
}

TEST(UiControl, AControlKeepsItsTapFromTapRecognisersAbove) {
    Scene s;
    auto container = std::make_shared<View>(Rect{0, 0, 400, 400});
    s.window->addSubview(container);
    auto tap = std::make_shared<platform::ui::TapGestureRecognizer>();
    int containerTaps = 0;
    tap->addAction([&](platform::ui::GestureRecognizer&) { ++containerTaps; });
    container->addGestureRecognizer(tap);
    auto button = Button::make(ButtonType::system);
    button->setFrame({100, 100, 100, 40});
    container->addSubview(button);
    s.listen(*button);

    s.synth.tap({150, 120});
    EXPECT_EQ(s.heard, (Log{"down", "up inside", "primary"}));
    EXPECT_EQ(containerTaps, 0);
    s.synth.tap({300, 300});
    EXPECT_EQ(containerTaps, 1) << "elsewhere the recogniser still recognises";
}

TEST(UiControl, ButtonsShowTheTitleAndImageOfTheirState) {
    Scene s;
    auto button = Button::make(ButtonType::system);
    button->setTitle("Speichern", ControlState::normal);
    button->setTitle("Gespeichert", ControlState::selected);
    button->setTitleColor(Color{1, 0, 0, 1}, ControlState::highlighted);
    s.window->addSubview(button);

    EXPECT_EQ(button->currentTitle(), "Speichern");
    EXPECT_EQ(button->currentTitleColor(), button->tintColor()) << "a system button's title takes the tint";
    button->setSelected(true);
    EXPECT_EQ(button->currentTitle(), "Gespeichert");
    EXPECT_EQ(button->titleLabel()->text(), "Gespeichert");
    button->setSelected(false);
    button->setHighlighted(true);
    EXPECT_EQ(button->currentTitle(), "Speichern") << "a state without a title of its own shows the normal one";
    EXPECT_EQ(button->titleLabel()->textColor(), (Color{1, 0, 0, 1}));
    EXPECT_EQ(button->titleLabel()->alpha(), Button::kHighlightedAlpha);
    button->setHighlighted(false);
    button->setEnabled(false);
    EXPECT_NE(button->currentTitleColor(), button->tintColor()) << "greyed when disabled";

    auto custom = Button::make(ButtonType::custom);
    custom->setTitle("X", ControlState::normal);
    EXPECT_EQ(custom->currentTitleColor(), (Color{1, 1, 1, 1}));
}

TEST(UiControl, ButtonsSizeToTheirContentAndPlaceItWithInsets) {
    Scene s;
    auto bitmap = platform::BitmapContext::create(40, 40, 2);
    bitmap->fillRect({0, 0, 20, 20});
    const auto image = bitmap->makeImage();  // 20 x 20 points

    auto button = Button::make(ButtonType::custom);
    button->setTitle("Weiche", ControlState::normal);
    button->setImage(image, ControlState::normal);
    button->setContentEdgeInsets({4, 10, 6, 12});
    s.window->addSubview(button);
    const platform::Size title = button->titleLabel()->intrinsicContentSize();
    button->sizeToFit();
    EXPECT_DOUBLE_EQ(button->bounds().width, 20 + title.width + 22);
    EXPECT_DOUBLE_EQ(button->bounds().height, std::max(20.0, title.height) + 10);

    // Centred content: the image starts after the left inset, the title
    // right after it; edge insets move each by half their difference.
    button->setFrame({0, 0, 200, 60});
    button->layoutIfNeeded();
    const double start = 10 + (200 - 22 - 20 - title.width) / 2;
    EXPECT_DOUBLE_EQ(button->imageView()->frame().x, start);
    EXPECT_DOUBLE_EQ(button->titleLabel()->frame().x, start + 20);
    EXPECT_DOUBLE_EQ(button->imageView()->frame().y, 4 + (60 - 10 - 20) / 2.0);

    button->setImageEdgeInsets({0, 0, 0, 8});
    button->setContentHorizontalAlignment(platform::ui::ControlContentHorizontalAlignment::right);
    button->layoutIfNeeded();
    EXPECT_DOUBLE_EQ(button->titleLabel()->frame().x + title.width, 200 - 12) << "right aligned inside the inset";
    EXPECT_DOUBLE_EQ(button->imageView()->frame().x, 200 - 12 - title.width - 20 - 8);
}

TEST(UiControl, TemplateImagesInButtonsAndImageViewsTakeTheTint) {
    Scene s;
    s.window->setBackgroundColor(Color{1, 1, 1, 1});
    auto bitmap = platform::BitmapContext::create(40, 40, 2);
    bitmap->setFillColor({0.2, 0.4, 0.6, 1});
    bitmap->fillRect({5, 5, 10, 10});  // a square in the middle, clear around it
    const auto image = bitmap->makeImage();

    auto system = Button::make(ButtonType::system);
    system->setImage(image, ControlState::normal);
    system->setFrame({0, 0, 20, 20});
    system->setTintColor(Color{1, 0, 0, 1});
    s.window->addSubview(system);

    auto custom = Button::make(ButtonType::custom);
    custom->setImage(image, ControlState::normal);
    custom->setFrame({40, 0, 20, 20});
    s.window->addSubview(custom);

    auto templated = std::make_shared<platform::ui::ImageView>(
        image->withRenderingMode(platform::ImageRenderingMode::alwaysTemplate));
    templated->setFrame({80, 0, 20, 20});
    templated->setTintColor(Color{0, 0, 1, 1});
    s.window->addSubview(templated);

    const auto shot = s.window->snapshot();
    ASSERT_NE(shot, nullptr);
    const auto at = [&](double x, double y) { return *shot->pixel(static_cast<int>(x * 2), static_cast<int>(y * 2)); };
    EXPECT_EQ(at(10, 10), (platform::Pixel{255, 0, 0, 255})) << "a system button tints its plain image";
    EXPECT_EQ(at(2, 2), (platform::Pixel{255, 255, 255, 255})) << "only where the image has alpha";
    EXPECT_EQ(at(50, 10), (platform::Pixel{51, 102, 153, 255})) << "a custom button shows it as it is";
    EXPECT_EQ(at(90, 10), (platform::Pixel{0, 0, 255, 255}));
    EXPECT_EQ(at(82, 2), (platform::Pixel{255, 255, 255, 255}));

    // A dimmed tint greys the template.
    templated->setTintAdjustmentMode(platform::ui::TintAdjustmentMode::dimmed);
    const auto dimmed = s.window->snapshot();
    const auto p = *dimmed->pixel(180, 20);
    EXPECT_EQ(p.red, p.green);
    EXPECT_EQ(p.green, p.blue);
}

TEST(UiControl, SwitchesToggleOnTapWithAnAnimationOnTheClock) {
    Scene s;
    auto toggle = Switch::make();
    toggle->setFrame({100, 100, 200, 200});
    s.window->addSubview(toggle);
    toggle->layoutIfNeeded();
    EXPECT_EQ(toggle->trackView()->frame(), (Rect{0, 0, Switch::kSize.width, Switch::kSize.height}))
        << "a switch keeps its own size";
    s.listen(*toggle);

    const double offX = Switch::kThumbInset;
    const double onX = Switch::kSize.width - Switch::kThumbInset - (Switch::kSize.height - 2 * Switch::kThumbInset);
    EXPECT_FALSE(toggle->isOn());
    EXPECT_EQ(toggle->thumbView()->frame().x, offX);

    s.synth.tap({120, 115});
    EXPECT_TRUE(toggle->isOn());
    EXPECT_EQ(s.heard, (Log{"down", "value", "primary", "up inside"}));
    EXPECT_EQ(toggle->thumbView()->frame().x, onX) << "the model moves at once";
    EXPECT_EQ(toggle->trackView()->backgroundColor(), Switch::kDefaultOnTint);

    // The thumb is shown moving until the toggle's time is up.
    const auto shownX = [&] {
        const auto layer = toggle->thumbView()->layer()->presentationLayer();
        return layer->position().x - layer->bounds().width / 2;
    };
    s.synth.wait(Switch::kToggleDuration / 2 - platform::ui::TouchSynth::kTapDuration);
    EXPECT_GT(shownX(), offX + 1);
    EXPECT_LT(shownX(), onX - 1);
    s.synth.wait(Switch::kToggleDuration);
    EXPECT_DOUBLE_EQ(shownX(), onX);

    s.heard.clear();
    toggle->setOn(false);
    EXPECT_EQ(s.heard, Log{}) << "setting the value sends nothing";
    EXPECT_EQ(toggle->thumbView()->frame().x, offX);
    EXPECT_DOUBLE_EQ(shownX(), offX) << "without animation";

    // A touch lifted outside leaves the value.
    s.synth.pan({{120, 115}, {390, 390}}, 0.2);
    EXPECT_FALSE(toggle->isOn());

    toggle->setEnabled(false);
    s.synth.tap({120, 115});
    EXPECT_FALSE(toggle->isOn());
    EXPECT_EQ(toggle->trackView()->alpha(), Control::kDisabledAlpha) << "drawn dimmed";
}

TEST(UiControl, SegmentedControlsSelectTheTappedEnabledSegment) {
    Scene s;
    auto segments = std::make_shared<SegmentedControl>(std::vector<std::string>{"Gleise", "Weichen", "Zubehör"});
    EXPECT_EQ(segments->numberOfSegments(), 3);
    EXPECT_EQ(segments->selectedSegmentIndex(), SegmentedControl::kNoSegment);
    EXPECT_EQ(segments->bounds().height, SegmentedControl::kHeight);
    segments->setFrame({0, 0, 300, 32});
    s.window->addSubview(segments);
    s.listen(*segments);
    segments->setEnabled(false, 2);

    s.synth.tap({150, 16});
    EXPECT_EQ(segments->selectedSegmentIndex(), 1);
    EXPECT_EQ(s.heard, (Log{"down", "value", "primary", "up inside"}));

    s.synth.wait(1);
    s.heard.clear();
    s.synth.tap({160, 16});
    EXPECT_EQ(s.heard, (Log{"down", "up inside"})) << "the selected segment again changes nothing";
    s.synth.wait(1);
    s.heard.clear();
    s.synth.tap({250, 16});
    EXPECT_EQ(segments->selectedSegmentIndex(), 1) << "a disabled segment takes no tap";
    EXPECT_EQ(s.heard, (Log{"down", "up inside"}));
    s.synth.tap({20, 16});
    EXPECT_EQ(segments->selectedSegmentIndex(), 0);

    // Selecting by code sends nothing; out-of-range indexes select nothing.
    s.heard.clear();
    segments->setSelectedSegmentIndex(2);
    EXPECT_EQ(segments->selectedSegmentIndex(), 2);
    segments->setSelectedSegmentIndex(7);
    EXPECT_EQ(segments->selectedSegmentIndex(), SegmentedControl::kNoSegment);
    EXPECT_EQ(s.heard, Log{});

    // Inserting before the selection keeps the same segment selected.
    segments->setSelectedSegmentIndex(1);
    segments->insertSegmentWithTitle("Alle", 0);
    EXPECT_EQ(segments->selectedSegmentIndex(), 2);
    EXPECT_EQ(segments->titleForSegmentAtIndex(2), "Weichen");
    segments->removeSegmentAtIndex(2);
    EXPECT_EQ(segments->selectedSegmentIndex(), SegmentedControl::kNoSegment);
    EXPECT_EQ(segments->titleForSegmentAtIndex(9), "");
}

TEST(UiControl, ASwitchLooksLikeItsTrackAndThumbDrawnByHand) {
    // The snapshot of a switch that is on against the same shapes drawn
    // with the context: a green rounded track and a white round thumb at
    // its right. Only the thumb's faint shadow may differ, by little.
    Scene s;
    s.window->setBackgroundColor(Color{1, 1, 1, 1});
    auto toggle = Switch::make();
    toggle->setFrame({10, 10, 51, 31});
    toggle->setOn(true);
    s.window->addSubview(toggle);
    const auto shot = s.window->snapshot();

    auto expected = platform::BitmapContext::create(800, 800, 2);
    expected->setFillColor({1, 1, 1, 1});
    expected->fillRect({0, 0, 400, 400});
    expected->setFillColor(Switch::kDefaultOnTint);
    expected->addRoundedRect({10, 10, 51, 31}, 15.5);
    expected->fill();
    expected->setFillColor({1, 1, 1, 1});
    expected->addEllipseInRect({10 + 51 - 2 - 27, 12, 27, 27});
    expected->fill();

    int differing = 0;
    int worst = 0;
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 160; ++x) {
            const auto a = *shot->pixel(x, y);
            const auto b = *expected->pixel(x, y);
            const int d = std::max({std::abs(a.red - b.red), std::abs(a.green - b.green), std::abs(a.blue - b.blue)});
            worst = std::max(worst, d);
            if (d > 8) ++differing;
        }
    }
    EXPECT_LE(worst, 64) << "the shadow is a fifth of black at most";
    EXPECT_LT(differing, 160 * 120 / 20);
}
