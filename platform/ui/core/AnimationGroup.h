#pragma once
// Animations run together on one layer, timed inside the group: a child's
// begin time is its offset into the group's pass, and what a child shows
// beyond the group's duration is cut off. Children apply in order, so a
// later child of the same key path wins. Only the group's delegate and
// removal matter; the children's are not used.

#include "platform/ui/core/Animation.h"

#include <vector>

namespace platform::ui {

class AnimationGroup : public Animation {
public:
    static std::shared_ptr<AnimationGroup> make() { return std::make_shared<AnimationGroup>(); }
    AnimationGroup() = default;

    const std::vector<std::shared_ptr<Animation>>& animations() const { return mAnimations; }
    void setAnimations(std::vector<std::shared_ptr<Animation>> animations) { mAnimations = std::move(animations); }

private:
    std::unique_ptr<detail::AnimationRun> makeRun(const Layer& presentation,
                                                  const std::optional<AnimationValue>& previous) const override;

    std::vector<std::shared_ptr<Animation>> mAnimations;
};

}  // namespace platform::ui
