#include "platform/ui/core/KeyframeAnimation.h"

#include "platform/ui/core/detail/AnimationRun.h"

#include <algorithm>
#include <cmath>

namespace platform::ui {

namespace {

class KeyframeRun final : public detail::AnimationRun {
public:
    explicit KeyframeRun(std::shared_ptr<const KeyframeAnimation> animation) : mAnimation(std::move(animation)) {}

    void apply(Layer& presentation, double time, double begin) const override {
        const auto simpleTime = mAnimation->simpleTimeAt(time, begin);
        if (!simpleTime) return;
        double fraction = *simpleTime / mAnimation->simpleDuration();
        if (const auto& timing = mAnimation->timingFunction()) fraction = timing->valueAt(fraction);
        if (const auto value = mAnimation->valueAt(fraction)) {
            detail::LayerAccess::assignValue(presentation, mAnimation->keyPath(), *value);
        }
    }

    bool affectsContent(const Layer& layer) const override {
        return detail::LayerAccess::keyPathAffectsContent(layer, mAnimation->keyPath());
    }

    bool affectsComposite(const Layer& layer) const override {
        return detail::LayerAccess::keyPathAffectsComposite(layer, mAnimation->keyPath());
    }

private:
    std::shared_ptr<const KeyframeAnimation> mAnimation;
};

bool validKeyTimes(const std::vector<double>& times, std::size_t wanted, std::size_t alsoAllowed) {
    if (times.size() != wanted && times.size() != alsoAllowed) return false;
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (!(times[i] >= 0 && times[i] <= 1)) return false;
        if (i > 0 && times[i] < times[i - 1]) return false;
    }
    return true;
}

}  // namespace

std::optional<AnimationValue> KeyframeAnimation::valueAt(double fraction) const {
    const std::size_t count = mValues.size();
    if (count == 0) return std::nullopt;
    if (count == 1 || std::isnan(fraction)) return mValues.front();

    if (mCalculationMode == CalculationMode::discrete) {
        std::size_t index = 0;
        if (validKeyTimes(mKeyTimes, count, count + 1)) {
            while (index + 1 < count && mKeyTimes[index + 1] <= fraction) ++index;
        } else {
            const double even = std::floor(fraction * static_cast<double>(count));
            index = even <= 0 ? 0 : std::min(count - 1, static_cast<std::size_t>(even));
        }
        return mValues[index];
    }

    std::vector<double> times = mKeyTimes;
    if (!validKeyTimes(times, count, count)) {
        times.resize(count);
        for (std::size_t i = 0; i < count; ++i) times[i] = static_cast<double>(i) / static_cast<double>(count - 1);
    }
    if (fraction <= times.front()) return mValues.front();
    if (fraction >= times.back()) return mValues.back();
    std::size_t segment = 0;
    while (segment + 2 < count && times[segment + 1] <= fraction) ++segment;
    const double span = times[segment + 1] - times[segment];
    double local = span > 0 ? (fraction - times[segment]) / span : 1;
    if (segment < mTimingFunctions.size()) local = mTimingFunctions[segment].valueAt(local);
    return interpolate(mValues[segment], mValues[segment + 1], local);
}

std::unique_ptr<detail::AnimationRun> KeyframeAnimation::makeRun(const Layer&,
                                                                 const std::optional<AnimationValue>&) const {
    return std::make_unique<KeyframeRun>(std::static_pointer_cast<const KeyframeAnimation>(shared_from_this()));
}

}  // namespace platform::ui
