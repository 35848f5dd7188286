#include "widgets/LoadingButton/LoadingButton.h"

#include "platform/dispatch/RunLoop.h"
#include "platform/graphics/AffineTransform.h"
#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/core/KeyframeAnimation.h"
#include "platform/ui/core/Layer.h"

#include <chrono>
#include <vector>

using platform::ui::ControlEvents;
using platform::ui::FillMode;

namespace {

// Kept on the layer after it ends, showing its end.
template <typename AnimationType>
std::shared_ptr<AnimationType> keptAnimation(const std::string& keyPath) {
    auto animation = AnimationType::make(keyPath);
    animation->setFillMode(FillMode::forwards);
    animation->setRemovedOnCompletion(false);
    return animation;
}

void runOnce(const std::function<void()>& completion) {
    // A copy: the block may store another completion in its place.
    if (const auto block = completion) block();
}

}  // namespace

std::shared_ptr<LoadingButton> LoadingButton::make(const platform::Rect& frame) {
    return std::make_shared<LoadingButton>(frame);
}

LoadingButton::LoadingButton(const platform::Rect& frame)
    : platform::ui::Button(platform::ui::ButtonType::custom, frame), mSpinLayer(SpinLayer::make(frame)) {
    layer()->addSublayer(mSpinLayer);
    setup();
}

void LoadingButton::awakeFromNib() { mSpinLayer->setStrokeColor(tintColor()); }

void LoadingButton::setup() {
    layer()->setCornerRadius(bounds().height / 2);
    setClipsToBounds(true);
    if (mWired) return;
    mWired = true;
    // The control owns these closures, so they may hold the button plainly.
    addAction([this](platform::ui::Control&) { scaleToSmall(); },
              ControlEvents::touchDown | ControlEvents::touchDragEnter);
    addAction([this](platform::ui::Control&) { scaleAnimation(); }, ControlEvents::touchUpInside);
    addAction([this](platform::ui::Control&) { scaleToDefault(); }, ControlEvents::touchDragExit);
}

void LoadingButton::springToScale(double scale, double velocity) {
    View::animate(kPressDuration, 0, kPressDamping, velocity, platform::ui::ViewAnimationOptions::none, [&] {
        setTransform(platform::AffineTransform::scale(scale, scale));
        layoutIfNeeded();
    });
}

void LoadingButton::scaleToSmall() {
    setTransform(platform::AffineTransform::identity());
    springToScale(kPressedScale, 0);
}

void LoadingButton::scaleAnimation() {
    springToScale(1.0, 0);
    beginAnimation();
}

void LoadingButton::scaleToDefault() { springToScale(1.0, 0.4000000059604645); }

std::weak_ptr<platform::ui::AnimationDelegate> LoadingButton::weakDelegate() {
    return std::static_pointer_cast<LoadingButton>(sharedView());
}

void LoadingButton::beginAnimation() {
    std::weak_ptr<View> weak = sharedView();
    platform::RunLoop::main()->post([weak] {
        if (const auto self = std::static_pointer_cast<LoadingButton>(weak.lock())) self->revert();
    });
    layer()->addSublayer(mSpinLayer);

    auto shrink = keptAnimation<platform::ui::BasicAnimation>("bounds.size.width");
    shrink->setFromValue(bounds().width);
    shrink->setToValue(bounds().height);
    shrink->setDuration(mShrinkDuration);
    shrink->setTimingFunction(mShrinkCurve);
    layer()->addAnimation(shrink, shrink->keyPath());

    mSpinLayer->beginAnimation();
    setUserInteractionEnabled(false);
}

void LoadingButton::revert() {
    auto fade = keptAnimation<platform::ui::BasicAnimation>("backgroundColor");
    fade->setToValue(layer()->backgroundColor());
    fade->setDuration(0.1);
    fade->setTimingFunction(mShrinkCurve);
    layer()->addAnimation(fade, "backgroundColors");
}

void LoadingButton::failedAnimationWithCompletion(std::function<void()> completion) {
    mAnimationCompletion = std::move(completion);
    mColor = backgroundColor();

    auto widen = keptAnimation<platform::ui::BasicAnimation>("bounds.size.width");
    widen->setFromValue(bounds().height);
    widen->setToValue(bounds().width);
    widen->setDuration(mShrinkDuration);
    widen->setTimingFunction(mShrinkCurve);

    const platform::Point p = layer()->position();
    std::vector<platform::ui::AnimationValue> values{p};
    for (int i = 0; i < 3; ++i) {
        values.emplace_back(platform::Point{p.x - kShakeOffset, p.y});
        values.emplace_back(platform::Point{p.x + kShakeOffset, p.y});
    }
    values.emplace_back(p);
    auto shake = platform::ui::KeyframeAnimation::make("position");
    shake->setValues(std::move(values));
    shake->setDuration(kShakeDuration);
    shake->setTimingFunction(platform::ui::MediaTimingFunction::easeInEaseOut());
    shake->setDelegate(weakDelegate());
    layer()->setPosition(p);

    layer()->addAnimation(widen, widen->keyPath());
    layer()->addAnimation(shake, shake->keyPath());
    mSpinLayer->stopAnimation();
    setUserInteractionEnabled(true);
}

void LoadingButton::succeedAnimationWithCompletion(std::function<void()> completion) {
    mAnimationCompletion = std::move(completion);
    auto expand = keptAnimation<platform::ui::BasicAnimation>("transform.scale");
    expand->setFromValue(1.0);
    expand->setToValue(kExpandScale);
    expand->setTimingFunction(mExpandCurve);
    expand->setDuration(kExpandDuration);
    expand->setDelegate(weakDelegate());
    layer()->addAnimation(expand, expand->keyPath());
    mSpinLayer->stopAnimation();
}

void LoadingButton::didStopAnimation() { layer()->removeAllAnimations(); }

void LoadingButton::animationDidStop(platform::ui::Animation& animation, bool) {
    const auto* property = dynamic_cast<platform::ui::PropertyAnimation*>(&animation);
    if (!property) return;
    if (property->keyPath() == "transform.scale") {
        setUserInteractionEnabled(true);
        runOnce(mAnimationCompletion);
        std::weak_ptr<View> weak = sharedView();
        platform::RunLoop::main()->postAfter(
            std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(kRestoreDelay)),
            [weak] {
                if (const auto self = std::static_pointer_cast<LoadingButton>(weak.lock())) self->didStopAnimation();
            });
    } else if (property->keyPath() == "position") {
        runOnce(mAnimationCompletion);
    }
}
