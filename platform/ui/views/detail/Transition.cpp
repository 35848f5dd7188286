#include "platform/ui/views/detail/Transition.h"

#include "platform/ui/views/View.h"

namespace platform::ui::detail {

void Transition::start() {
    mStarted = true;
    const auto self = shared_from_this();
    mDuration = animated && animator ? animator->transitionDuration(this) : 0;
    if (!mAlongside.empty()) {
        auto blocks = std::move(mAlongside);
        mAlongside.clear();
        View::animate(mDuration, [&] {
            for (auto& block : blocks) block(*this);
        });
    }
    if (animated && animator) {
        animator->animateTransition(*this);
        return;
    }
    if (toView && container && !toFinal.isEmpty()) toView->setFrame(toFinal);
    completeTransition(true);
}

Rect Transition::initialFrameForViewController(const ViewController& controller) const {
    if (&controller == from.get()) return fromInitial;
    if (&controller == to.get()) return toInitial;
    return {};
}

Rect Transition::finalFrameForViewController(const ViewController& controller) const {
    if (&controller == from.get()) return fromFinal;
    if (&controller == to.get()) return toFinal;
    return {};
}

void Transition::completeTransition(bool didComplete) {
    if (mEnded) return;
    mEnded = true;
    mCancelled = !didComplete;
    const auto keep = shared_from_this();
    auto completions = std::move(mCompletions);
    mCompletions.clear();
    for (auto& block : completions) block(*this);
    if (finish) finish(didComplete);
    if (animator) animator->animationEnded(didComplete);
    if (auto next = std::move(then)) next();
}

bool Transition::animateAlongsideTransition(Block animation, Block completion) {
    if (mEnded) {
        if (animation) animation(*this);
        if (completion) completion(*this);
        return false;
    }
    if (animation) {
        if (mStarted) {
            View::animate(mDuration, [&] { animation(*this); });
        } else {
            mAlongside.push_back(std::move(animation));
        }
    }
    if (completion) mCompletions.push_back(std::move(completion));
    return true;
}

}  // namespace platform::ui::detail
