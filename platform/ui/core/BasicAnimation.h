#pragma once
// A property animation from one value to another, as the platform reads
// its three optional values:
// - from and to: from `from` to `to`;
// - from and by: from `from` to `from` + `by`; by and to: from `to` - `by`;
// - from alone: from `from` to the value the property shows without it;
// - to alone (or by alone): from the value the property showed when the
//   animation was added (other animations included) to `to` (or that + by);
// - none: from the value the property showed before it changed to its new
//   model value, for actions (Layer::actionForKey); an animation added by
//   hand without values changes nothing.

#include "platform/ui/core/Animation.h"

namespace platform::ui {

class BasicAnimation : public PropertyAnimation {
public:
    static std::shared_ptr<BasicAnimation> make(std::string keyPath) {
        return std::make_shared<BasicAnimation>(std::move(keyPath));
    }
    explicit BasicAnimation(std::string keyPath) : PropertyAnimation(std::move(keyPath)) {}

    const std::optional<AnimationValue>& fromValue() const { return mFrom; }
    void setFromValue(std::optional<AnimationValue> value) { mFrom = std::move(value); }
    const std::optional<AnimationValue>& toValue() const { return mTo; }
    void setToValue(std::optional<AnimationValue> value) { mTo = std::move(value); }
    const std::optional<AnimationValue>& byValue() const { return mBy; }
    void setByValue(std::optional<AnimationValue> value) { mBy = std::move(value); }

    // The fraction of the change made at `simpleTime` (0 to the simple
    // duration) of a pass.
    virtual double progressAt(double simpleTime) const;

private:
    std::unique_ptr<detail::AnimationRun> makeRun(const Layer& presentation,
                                                  const std::optional<AnimationValue>& previous) const override;

    std::optional<AnimationValue> mFrom;
    std::optional<AnimationValue> mTo;
    std::optional<AnimationValue> mBy;
};

}  // namespace platform::ui
