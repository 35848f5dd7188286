#include "app/Utilities/Views/VKMImagePopFadeEffect.h"

#include "platform/graphics/Image.h"
#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/core/Transaction.h"
#include "platform/ui/views/View.h"

namespace {

using namespace platform::ui;

constexpr double kPartSeconds = 0.3;
constexpr double kGroupSeconds = 0.6;
constexpr double kFinalScale = 4;
constexpr double kInFront = 5;

std::shared_ptr<BasicAnimation> easedIn(const char* keyPath, double from, double to) {
    auto animation = BasicAnimation::make(keyPath);
    animation->setFromValue(from);
    animation->setToValue(to);
    animation->setDuration(kPartSeconds);
    animation->setTimingFunction(MediaTimingFunction::easeIn());
    return animation;
}

}  // namespace

void VKMImagePopFadeEffect::popFadeEffectFor(const View& view, const std::shared_ptr<platform::Image>& image) {
    if (!image) return;
    auto layer = Layer::make();
    layer->setContents(image);
    const platform::Size size = image->size();
    layer->setBounds({0, 0, size.width, size.height});
    const platform::Rect frame = view.frame();
    layer->setPosition({frame.x + frame.width / 2, frame.y + frame.height / 2});
    layer->setZPosition(kInFront);
    layer->setMasksToBounds(false);
    if (const auto superview = view.superview()) superview->layer()->addSublayer(layer);

    Transaction::begin();
    Transaction::setCompletionBlock([layer] { layer->removeFromSuperlayer(); });
    layer->addAnimation(fadeInAnimationGroup(), "animationGroup");
    Transaction::commit();
}

std::shared_ptr<AnimationGroup> VKMImagePopFadeEffect::fadeInAnimationGroup() {
    auto fade = easedIn("opacity", 1, 0);
    fade->setFillMode(FillMode::forwards);
    auto grow = easedIn("transform.scale", 1, kFinalScale);
    auto group = AnimationGroup::make();
    group->setAnimations({fade, grow});
    group->setDuration(kGroupSeconds);
    group->setAutoreverses(false);
    group->setFillMode(FillMode::forwards);
    group->setRemovedOnCompletion(false);
    return group;
}
