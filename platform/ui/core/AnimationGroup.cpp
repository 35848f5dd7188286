#include "platform/ui/core/AnimationGroup.h"

#include "platform/ui/core/detail/AnimationRun.h"

#include <algorithm>
#include <vector>

namespace platform::ui {

namespace {

class GroupRun final : public detail::AnimationRun {
public:
    struct Child {
        std::shared_ptr<const Animation> animation;
        std::unique_ptr<detail::AnimationRun> run;
    };

    GroupRun(std::shared_ptr<const AnimationGroup> group, std::vector<Child> children)
        : mGroup(std::move(group)), mChildren(std::move(children)) {}

    void apply(Layer& presentation, double time, double begin) const override {
        auto simpleTime = mGroup->simpleTimeAt(time, begin);
        if (!simpleTime) return;
        if (const auto& timing = mGroup->timingFunction()) {
            const double duration = mGroup->simpleDuration();
            simpleTime = duration * timing->valueAt(*simpleTime / duration);
        }
        for (const Child& child : mChildren) child.run->apply(presentation, *simpleTime, child.animation->beginTime());
    }

    bool affectsContent(const Layer& layer) const override {
        return std::any_of(mChildren.begin(), mChildren.end(),
                           [&](const Child& child) { return child.run->affectsContent(layer); });
    }

    bool affectsComposite(const Layer& layer) const override {
        return std::any_of(mChildren.begin(), mChildren.end(),
                           [&](const Child& child) { return child.run->affectsComposite(layer); });
    }

private:
    std::shared_ptr<const AnimationGroup> mGroup;
    std::vector<Child> mChildren;
};

}  // namespace

std::unique_ptr<detail::AnimationRun> AnimationGroup::makeRun(const Layer& presentation,
                                                              const std::optional<AnimationValue>& previous) const {
    std::vector<GroupRun::Child> children;
    for (const auto& animation : mAnimations) {
        if (!animation) continue;
        children.push_back({animation, detail::AnimationAccess::makeRun(*animation, presentation, previous)});
    }
    return std::make_unique<GroupRun>(std::static_pointer_cast<const AnimationGroup>(shared_from_this()),
                                      std::move(children));
}

}  // namespace platform::ui
