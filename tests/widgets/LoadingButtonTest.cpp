// The loading button through a tap, a failure and a success, stepped on the
// virtual clock.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/graphics/Image.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/View.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"
#include "widgets/LoadingButton/LoadingButton.h"

using platform::Color;
using platform::Point;
using platform::Rect;

namespace {

struct ButtonStage {
    testsupport::VirtualTime time;
    std::shared_ptr<platform::ui::Window> window = std::make_shared<platform::ui::Window>(Rect{0, 0, 390, 844});
    std::shared_ptr<LoadingButton> button = LoadingButton::make({95, 400, 200, 44});
    platform::ui::TouchSynth synth{window};

    ButtonStage() {
        window->setBackgroundColor(Color{1, 1, 1, 1});
        window->makeKeyAndVisible();
        button->setBackgroundColor(Color{0, 0.5, 0, 1});
        window->addSubview(button);
    }

    std::shared_ptr<platform::ui::Layer> shown() const { return button->layer()->presentationLayer(); }
    double shownWidth() const { return shown()->bounds().width; }
    double shownScale() const { return std::get<double>(*shown()->valueForKeyPath("transform.scale.x")); }
    double shownSpin() const {
        return std::get<double>(*button->spinLayer()->presentationLayer()->valueForKeyPath("transform.rotation.z"));
    }
    // A tap in the middle of the button, with the clock left where the
    // finger lifts.
    void tapButton() { synth.tap({195, 422}); }
};

}  // namespace

TEST(LoadingButton, ATapShrinksItToASpinningCircle) {
    ButtonStage stage;
    const auto spinner = stage.button->spinLayer();
    EXPECT_EQ(spinner->frame(), (Rect{0, 0, 44, 44}));
    EXPECT_TRUE(spinner->isHidden());
    EXPECT_EQ(spinner->strokeColor(), (Color{1, 1, 1, 1}));
    EXPECT_NEAR(spinner->path().boundingBox().width / 2, 11, 1e-6) << "a quarter of the height";
    EXPECT_EQ(spinner->strokeEnd(), 0.4);
    EXPECT_EQ(stage.button->layer()->cornerRadius(), 22);
    EXPECT_TRUE(stage.button->clipsToBounds());

    auto finger = stage.synth.touchDown({195, 422});
    stage.synth.wait(0.3);
    EXPECT_NEAR(stage.shownScale(), LoadingButton::kPressedScale, 0.001) << "pressed";
    stage.synth.lift({finger});
    EXPECT_FALSE(stage.button->isUserInteractionEnabled());
    EXPECT_FALSE(spinner->isHidden());

    stage.synth.wait(0.05);
    EXPECT_NEAR(stage.shownWidth(), 122, 0.5) << "half way from 200 to 44";
    stage.synth.wait(0.05);
    EXPECT_NEAR(stage.shownWidth(), 44, 1e-6);
    EXPECT_EQ(stage.button->bounds().width, 200) << "the model keeps its width";
    const auto keys = stage.button->layer()->animationKeys();
    EXPECT_NE(std::find(keys.begin(), keys.end(), "backgroundColors"), keys.end()) << "reverted on the next turn";

    const double a = stage.shownSpin();
    stage.synth.wait(0.1);
    const double b = stage.shownSpin();
    EXPECT_NE(a, b) << "spinning";
    stage.synth.wait(10);
    EXPECT_FALSE(spinner->animationKeys().empty()) << "for ever";
}

TEST(LoadingButton, AFailureWidensShakesAndTakesTouchesAgain) {
    ButtonStage stage;
    stage.tapButton();
    stage.synth.wait(0.5);
    int completions = 0;
    stage.button->failedAnimationWithCompletion([&] { ++completions; });
    EXPECT_EQ(stage.button->color(), (Color{0, 0.5, 0, 1}));
    EXPECT_TRUE(stage.button->isUserInteractionEnabled());
    EXPECT_TRUE(stage.button->spinLayer()->isHidden());

    // Sample the shake every millisecond: three swings each way, 10 points.
    std::vector<double> offsets;
    for (int ms = 0; ms < 499; ++ms) {
        offsets.push_back(stage.shown()->position().x - 195);
        if (ms == 100) {
            EXPECT_NEAR(stage.shownWidth(), 200, 1e-6) << "wide again";
        }
        stage.synth.wait(0.001);
    }
    EXPECT_NEAR(*std::min_element(offsets.begin(), offsets.end()), -10, 0.1);
    EXPECT_NEAR(*std::max_element(offsets.begin(), offsets.end()), 10, 0.1);
    int turns = 0;
    for (std::size_t i = 1; i + 1 < offsets.size(); ++i) {
        const double before = offsets[i] - offsets[i - 1];
        const double after = offsets[i + 1] - offsets[i];
        if ((before < 0 && after >= 0) || (before > 0 && after <= 0)) ++turns;
    }
    EXPECT_EQ(turns, 6);
    EXPECT_EQ(completions, 0);
    stage.synth.wait(0.002);
    EXPECT_EQ(completions, 1) << "once the shake has ended";
    EXPECT_NEAR(stage.shown()->position().x, 195, 1e-6);

    // Another tap starts over.
    stage.tapButton();
    EXPECT_FALSE(stage.button->isUserInteractionEnabled());
    stage.synth.wait(1);
    EXPECT_EQ(completions, 1);
}

TEST(LoadingButton, ASuccessFillsTheScreenThenRestoresTheButton) {
    ButtonStage stage;
    stage.tapButton();
    stage.synth.wait(0.5);
    std::vector<double> completionTimes;
    const auto start = stage.time.clock->instant();
    stage.button->succeedAnimationWithCompletion(
        [&] { completionTimes.push_back(std::chrono::duration<double>(stage.time.clock->instant() - start).count()); });
    EXPECT_TRUE(stage.button->spinLayer()->isHidden());
    stage.synth.wait(0.15);
    EXPECT_GT(stage.shownScale(), 1);
    EXPECT_LT(stage.shownScale(), 33);
    EXPECT_FALSE(stage.button->isUserInteractionEnabled());
    stage.synth.wait(0.15);
    ASSERT_EQ(completionTimes.size(), 1u);
    EXPECT_NEAR(completionTimes[0], 0.3, 1e-6);
    EXPECT_TRUE(stage.button->isUserInteractionEnabled());
    EXPECT_NEAR(stage.shownScale(), 33, 0.01);

    // The circle, 33 times its size, covers the screen in the button's colour.
    const auto shot = stage.window->snapshot();
    ASSERT_NE(shot, nullptr);
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {779, 0}, {0, 1687}, {779, 1687}, {390, 844}}) {
        const auto p = shot->pixel(x, y);
        ASSERT_TRUE(p.has_value());
        EXPECT_NEAR(p->red, 0, 2) << x << ", " << y;
        EXPECT_NEAR(p->green, 128, 2) << x << ", " << y;
    }

    stage.synth.wait(0.49);
    EXPECT_NEAR(stage.shownScale(), 33, 0.01) << "still shown";
    stage.synth.wait(0.02);
    EXPECT_TRUE(stage.button->layer()->animationKeys().empty());
    EXPECT_NEAR(stage.shownScale(), 1, 1e-6);
    EXPECT_EQ(stage.shownWidth(), 200) << "the button at its normal size again";
    stage.synth.wait(2);
    EXPECT_EQ(completionTimes.size(), 1u);
    const auto after = stage.window->snapshot();
    EXPECT_EQ(after->pixel(0, 0), (platform::Pixel{255, 255, 255, 255}));
    EXPECT_EQ(after->pixel(390, 844), (platform::Pixel{0, 128, 0, 255}));
}

TEST(LoadingButton, DraggingOutSpringsBackWithoutLoading) {
    ButtonStage stage;
    auto finger = stage.synth.touchDown({195, 422});
    stage.synth.wait(0.3);
    EXPECT_NEAR(stage.shownScale(), LoadingButton::kPressedScale, 0.001);
    stage.synth.move({finger}, {{195, 600}});
    stage.synth.wait(0.3);
    EXPECT_NEAR(stage.shownScale(), 1, 0.001);
    stage.synth.lift({finger});
    stage.synth.wait(0.5);
    EXPECT_TRUE(stage.button->isUserInteractionEnabled());
    EXPECT_TRUE(stage.button->spinLayer()->isHidden());
    EXPECT_EQ(stage.shownWidth(), 200);
}

TEST(LoadingButton, AButtonFromASceneSpinsInItsTint) {
    ButtonStage stage;
    stage.button->setTintColor(Color{1, 0, 0, 1});
    stage.button->awakeFromNib();
    EXPECT_EQ(stage.button->spinLayer()->strokeColor(), (Color{1, 0, 0, 1}));
}
