#pragma once
// A property animation through a list of values. Key times (fractions of a
// pass, one per value, rising from 0 to 1) place the values; without valid
// key times (wrong count, falling, outside 0 to 1) they are spread evenly.
// In linear mode the value moves between neighbours, segment i paced by
// timing function i (linear when there are fewer); in discrete mode it
// jumps, showing value i from its key time until the next (key times may
// then have one entry more than the values, for the end). The animation's
// own timing function paces the whole pass first.

#include "platform/ui/core/Animation.h"

#include <vector>

namespace platform::ui {

enum class CalculationMode { linear, discrete };

class KeyframeAnimation : public PropertyAnimation {
public:
    static std::shared_ptr<KeyframeAnimation> make(std::string keyPath) {
        return std::make_shared<KeyframeAnimation>(std::move(keyPath));
    }
    explicit KeyframeAnimation(std::string keyPath) : PropertyAnimation(std::move(keyPath)) {}

    const std::vector<AnimationValue>& values() const { return mValues; }
    void setValues(std::vector<AnimationValue> values) { mValues = std::move(values); }
    const std::vector<double>& keyTimes() const { return mKeyTimes; }
    void setKeyTimes(std::vector<double> keyTimes) { mKeyTimes = std::move(keyTimes); }
    const std::vector<MediaTimingFunction>& timingFunctions() const { return mTimingFunctions; }
    void setTimingFunctions(std::vector<MediaTimingFunction> functions) { mTimingFunctions = std::move(functions); }
    CalculationMode calculationMode() const { return mCalculationMode; }
    void setCalculationMode(CalculationMode mode) { mCalculationMode = mode; }

    // The value at `fraction` of a pass (after the animation's own timing
    // function); none without values.
    std::optional<AnimationValue> valueAt(double fraction) const;

private:
    std::unique_ptr<detail::AnimationRun> makeRun(const Layer& presentation,
                                                  const std::optional<AnimationValue>& previous) const override;

    std::vector<AnimationValue> mValues;
    std::vector<double> mKeyTimes;
    std::vector<MediaTimingFunction> mTimingFunctions;
    CalculationMode mCalculationMode = CalculationMode::linear;
};

}  // namespace platform::ui
