#include "platform/ui/core/BasicAnimation.h"

#include "platform/ui/core/detail/AnimationRun.h"

namespace platform::ui {

namespace {

class BasicRun final : public detail::AnimationRun {
public:
    // `to` none: the value the property shows beneath the animation.
    BasicRun(std::shared_ptr<const BasicAnimation> animation, std::optional<AnimationValue> from,
             std::optional<AnimationValue> to)
        : mAnimation(std::move(animation)), mFrom(std::move(from)), mTo(std::move(to)) {}

    void apply(Layer& presentation, double time, double begin) const override {
        if (!mFrom) return;
        const auto simpleTime = mAnimation->simpleTimeAt(time, begin);
        if (!simpleTime) return;
        const double progress = mAnimation->progressAt(*simpleTime);
        const std::string& key = mAnimation->keyPath();
        if (mTo) {
            detail::LayerAccess::assignValue(presentation, key, interpolate(*mFrom, *mTo, progress));
        } else if (const auto under = presentation.valueForKeyPath(key)) {
            detail::LayerAccess::assignValue(presentation, key, interpolate(*mFrom, *under, progress));
        }
    }

    bool affectsContent(const Layer& layer) const override {
        return mFrom && detail::LayerAccess::keyPathAffectsContent(layer, mAnimation->keyPath());
    }

    bool affectsComposite(const Layer& layer) const override {
        return mFrom && detail::LayerAccess::keyPathAffectsComposite(layer, mAnimation->keyPath());
    }

private:
    std::shared_ptr<const BasicAnimation> mAnimation;
    std::optional<AnimationValue> mFrom;
    std::optional<AnimationValue> mTo;
};

}  // namespace

double BasicAnimation::progressAt(double simpleTime) const {
    const double fraction = simpleTime / simpleDuration();
    return timingFunction() ? timingFunction()->valueAt(fraction) : fraction;
}

std::unique_ptr<detail::AnimationRun> BasicAnimation::makeRun(const Layer& presentation,
                                                              const std::optional<AnimationValue>& previous) const {
    const auto self = std::static_pointer_cast<const BasicAnimation>(shared_from_this());
    const auto shown = presentation.valueForKeyPath(keyPath());
    std::optional<AnimationValue> from;
    std::optional<AnimationValue> to;
    // A sum that cannot be made (of paths) leaves `from` empty: the
    // animation then shows nothing rather than a value nobody asked for.
    if (mFrom && mTo) {
        from = mFrom;
        to = mTo;
    } else if (mFrom && mBy) {
        to = addValues(*mFrom, *mBy);
        if (to) from = mFrom;
    } else if (mBy && mTo) {
        from = subtractValues(*mTo, *mBy);
        to = mTo;
    } else if (mFrom) {
        from = mFrom;  // to whatever shows beneath it
    } else if (mTo) {
        from = shown;
        to = mTo;
    } else if (mBy) {
        if (shown) to = addValues(*shown, *mBy);
        if (to) from = shown;
    } else if (previous) {
        from = previous;  // an action: from what showed to the new model value
    }
    auto run = std::make_unique<BasicRun>(self, std::move(from), std::move(to));
    return run;
}

}  // namespace platform::ui
