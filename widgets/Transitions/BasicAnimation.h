#pragma once
// A layer property animation that carries blocks to run when it starts and
// when it stops, being its own delegate. Made by animationWithKeyPath; the
// layer that holds it keeps it (and so its blocks) alive while it runs.
// Main thread only.

#include "platform/ui/core/Animation.h"
#include "platform/ui/core/BasicAnimation.h"

#include <functional>
#include <memory>
#include <string>

class BasicAnimation : public platform::ui::BasicAnimation, public platform::ui::AnimationDelegate {
public:
    // An animation of the key path with the ease-in curve, whose delegate
    // is itself.
    static std::shared_ptr<BasicAnimation> animationWithKeyPath(std::string keyPath);

    // Prefer animationWithKeyPath: this one has no delegate.
    explicit BasicAnimation(std::string keyPath);

    const std::function<void()>& start() const { return mStart; }
    void setStart(std::function<void()> start) { mStart = std::move(start); }
    // Hears whether the animation ran to its end.
    const std::function<void(bool finished)>& completion() const { return mCompletion; }
    void setCompletion(std::function<void(bool finished)> completion) { mCompletion = std::move(completion); }

    void animationDidStart(platform::ui::Animation& animation) override;
    void animationDidStop(platform::ui::Animation& animation, bool finished) override;

private:
    std::function<void()> mStart;
    std::function<void(bool)> mCompletion;
};
