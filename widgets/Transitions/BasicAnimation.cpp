#include "widgets/Transitions/BasicAnimation.h"

#include "platform/ui/core/MediaTimingFunction.h"

std::shared_ptr<BasicAnimation> BasicAnimation::animationWithKeyPath(std::string keyPath) {
    auto animation = std::make_shared<BasicAnimation>(std::move(keyPath));
    animation->setTimingFunction(platform::ui::MediaTimingFunction::easeIn());
    animation->setDelegate(std::weak_ptr<platform::ui::AnimationDelegate>(animation));
    return animation;
}

BasicAnimation::BasicAnimation(std::string keyPath) : platform::ui::BasicAnimation(std::move(keyPath)) {}

void BasicAnimation::animationDidStart(platform::ui::Animation&) {
    if (mStart) mStart();
}

void BasicAnimation::animationDidStop(platform::ui::Animation&, bool finished) {
    if (!mCompletion) return;
    // The block may drop the last hold on this animation.
    const auto completion = mCompletion;
    completion(finished);
}
