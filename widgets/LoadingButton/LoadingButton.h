#pragma once
// A pill-shaped button that, when tapped, shrinks into a circle with a
// spinning arc while the app works, then either grows over the screen
// (success) or widens back and shakes sideways (failure). Pressing scales
// it down a little; dragging out springs it back without starting.
//
// Normal -> pressed -> loading (no touches) -> failed (interactive again)
// or succeeded (shown 33-fold, then restored half a second after the
// completion has run). Main thread only.

#include "platform/graphics/Color.h"
#include "platform/ui/core/Animation.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/core/MediaTimingFunction.h"
#include "widgets/LoadingButton/SpinLayer.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class LoadingButton : public platform::ui::Button, public platform::ui::AnimationDelegate {
public:
    static constexpr double kPressedScale = 0.95;
    static constexpr double kPressDuration = 0.3;
    static constexpr double kPressDamping = 0.5;
    static constexpr double kShakeOffset = 10;
    static constexpr double kShakeDuration = 0.5;
    static constexpr double kExpandScale = 33;
    static constexpr double kExpandDuration = 0.3;
    // The expanded button stays this long after the completion has run.
    static constexpr double kRestoreDelay = 0.5;

    // A button of `frame`, its spinner white.
    static std::shared_ptr<LoadingButton> make(const platform::Rect& frame);
    explicit LoadingButton(const platform::Rect& frame);

    // For a button built by a scene: the spinner takes the tint colour.
    void awakeFromNib();

    const std::shared_ptr<SpinLayer>& spinLayer() const { return mSpinLayer; }
    const platform::ui::MediaTimingFunction& shrinkCurve() const { return mShrinkCurve; }
    void setShrinkCurve(const platform::ui::MediaTimingFunction& curve) { mShrinkCurve = curve; }
    const platform::ui::MediaTimingFunction& expandCurve() const { return mExpandCurve; }
    void setExpandCurve(const platform::ui::MediaTimingFunction& curve) { mExpandCurve = curve; }
    double shrinkDuration() const { return mShrinkDuration; }
    void setShrinkDuration(double seconds) { mShrinkDuration = seconds; }
    // The completion of the last success or failure animation.
    const std::function<void()>& animationCompletion() const { return mAnimationCompletion; }
    void setAnimationCompletion(std::function<void()> completion) { mAnimationCompletion = std::move(completion); }
    // The background colour when the last failure began; kept for the owner.
    const std::optional<platform::Color>& color() const { return mColor; }
    void setColor(std::optional<platform::Color> color) { mColor = std::move(color); }
    // Free for the owner's use.
    const std::shared_ptr<LoadingButton>& animationButton() const { return mAnimationButton; }
    void setAnimationButton(std::shared_ptr<LoadingButton> button) { mAnimationButton = std::move(button); }

    // Rounds the ends and wires the touch handlers.
    void setup();
    // Shrinks to a circle and spins; takes no touches until it ends.
    void beginAnimation();
    // Widens back, shakes, takes touches again; the completion runs once
    // the shake has ended.
    void failedAnimationWithCompletion(std::function<void()> completion);
    // Grows over the screen; the completion runs once it has grown, and the
    // button shows at its normal size kRestoreDelay later.
    void succeedAnimationWithCompletion(std::function<void()> completion);
    // Fades the background to its present colour.
    void revert();
    // Drops every animation of the button's layer.
    void didStopAnimation();

    void animationDidStop(platform::ui::Animation& animation, bool finished) override;

    std::string className() const override { return "LoadingButton"; }

private:
    void scaleToSmall();
    void scaleAnimation();
    void scaleToDefault();
    // A spring of kPressDuration to `scale`.
    void springToScale(double scale, double velocity);
    std::weak_ptr<platform::ui::AnimationDelegate> weakDelegate();

    std::shared_ptr<SpinLayer> mSpinLayer;
    platform::ui::MediaTimingFunction mShrinkCurve = platform::ui::MediaTimingFunction::linear();
    platform::ui::MediaTimingFunction mExpandCurve{{0.95, 0.02}, {1.0, 0.05}};
    double mShrinkDuration = 0.1;
    std::function<void()> mAnimationCompletion;
    std::optional<platform::Color> mColor;
    std::shared_ptr<LoadingButton> mAnimationButton;
    bool mWired = false;
};
