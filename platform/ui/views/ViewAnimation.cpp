// Block animations of views: the blocks open on the main thread, the layer
// animations their changes become, and the completion that waits for them.

#include "platform/dispatch/MainThread.h"
#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/core/SpringAnimation.h"
#include "platform/ui/views/View.h"
#include "platform/ui/core/detail/MainLoop.h"
#include "platform/ui/views/detail/ViewAnimationState.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace platform::ui {

namespace {

// Waits for the animations of one block; runs the completion after the
// last has stopped. It keeps itself alive while any runs (animations hold
// their delegates weakly).
class CompletionTracker final : public AnimationDelegate, public std::enable_shared_from_this<CompletionTracker> {
public:
    explicit CompletionTracker(std::function<void(bool)> completion) : mCompletion(std::move(completion)) {}

    void animationAdded() {
        if (mPending++ == 0) mSelf = shared_from_this();
    }

    // After the block: with nothing added, the completion runs on the next
    // turn.
    void close() {
        mClosed = true;
        if (mPending == 0) {
            detail::postToMain([self = shared_from_this()] { self->finish(); });
        }
    }

    void animationDidStop(Animation& animation, bool finished) override {
        (void)animation;
        mFinished = mFinished && finished;
        if (mPending > 0 && --mPending == 0 && mClosed) {
            const auto self = std::move(mSelf);
            finish();
        }
    }

private:
    void finish() {
        if (mDone) return;
        mDone = true;
        if (mCompletion) mCompletion(mFinished);
    }

    std::function<void(bool)> mCompletion;
    std::shared_ptr<CompletionTracker> mSelf;
    std::size_t mPending = 0;
    bool mClosed = false;
    bool mFinished = true;
    bool mDone = false;
};

struct Spring {
    double dampingRatio;
    double velocity;
};

struct Block {
    bool animates = false;  // false: changes are made at once
    double duration = 0;
    double delay = 0;
    ViewAnimationOptions options = ViewAnimationOptions::none;
    std::optional<Spring> spring;
    std::shared_ptr<CompletionTracker> tracker;
};

thread_local std::vector<Block> tBlocks;
thread_local bool tAnimationsEnabled = true;

// The keys of view properties that animate.
bool animatesKey(const std::string& key) {
    return key == "position" || key == "bounds" || key == "transform" || key == "opacity" || key == "backgroundColor";
}

MediaTimingFunction curveOf(ViewAnimationOptions options) {
    switch (static_cast<unsigned>(options) & (3u << 16)) {
        case static_cast<unsigned>(ViewAnimationOptions::curveEaseIn): return MediaTimingFunction::easeIn();
        case static_cast<unsigned>(ViewAnimationOptions::curveEaseOut): return MediaTimingFunction::easeOut();
        case static_cast<unsigned>(ViewAnimationOptions::curveLinear): return MediaTimingFunction::linear();
        default: return MediaTimingFunction::easeInEaseOut();
    }
}

// A unit spring (mass 1) with the damping ratio that settles within a
// thousandth of the change after `duration` seconds.
void tuneSpring(SpringAnimation& spring, double duration, double dampingRatio) {
    constexpr double kSettled = 0.001;
    const double zeta = std::clamp(std::isfinite(dampingRatio) ? dampingRatio : 1.0, 0.01, 1.0);
    double omega;
    if (zeta < 1) {
        // The envelope of the swing, exp(-zeta omega t) / sqrt(1 - zeta^2).
        omega = std::log(1 / (kSettled * std::sqrt(1 - zeta * zeta))) / (zeta * duration);
    } else {
        // (1 + omega t) exp(-omega t) falls to a thousandth at omega t = 9.23.
        omega = 9.2335 / duration;
    }
    spring.setMass(1);
    spring.setStiffness(omega * omega);
    spring.setDamping(2 * zeta * omega);
}

void run(double duration, double delay, ViewAnimationOptions options, std::optional<Spring> spring,
         const std::function<void()>& changes, std::function<void(bool)> completion) {
    requireMainThread("View::animate");
    auto tracker = std::make_shared<CompletionTracker>(std::move(completion));
    Block block;
    block.animates = tAnimationsEnabled && duration > 0 && std::isfinite(duration);
    block.duration = duration;
    block.delay = std::isfinite(delay) && delay > 0 ? delay : 0;
    block.options = options;
    block.spring = spring;
    block.tracker = tracker;
    tBlocks.push_back(std::move(block));
    struct Pop {
        ~Pop() { tBlocks.pop_back(); }
    } pop;
    if (changes) changes();
    tracker->close();
}

}  // namespace

void View::animate(double duration, const std::function<void()>& changes, std::function<void(bool)> completion) {
    run(duration, 0, ViewAnimationOptions::none, std::nullopt, changes, std::move(completion));
}

void View::animate(double duration, double delay, ViewAnimationOptions options, const std::function<void()>& changes,
                   std::function<void(bool)> completion) {
    run(duration, delay, options, std::nullopt, changes, std::move(completion));
}

void View::animate(double duration, double delay, double dampingRatio, double velocity, ViewAnimationOptions options,
                   const std::function<void()>& changes, std::function<void(bool)> completion) {
    run(duration, delay, options, Spring{dampingRatio, velocity}, changes, std::move(completion));
}

void View::performWithoutAnimation(const std::function<void()>& changes) {
    detail::ScopedNoViewAnimation still;
    if (changes) changes();
}

bool View::areAnimationsEnabled() { return tAnimationsEnabled; }

void View::setAnimationsEnabled(bool enabled) { tAnimationsEnabled = enabled; }

namespace detail {

ScopedNoViewAnimation::ScopedNoViewAnimation() { tBlocks.push_back(Block{}); }

ScopedNoViewAnimation::~ScopedNoViewAnimation() { tBlocks.pop_back(); }

std::shared_ptr<Animation> viewActionForKey(const std::string& key) {
    if (tBlocks.empty() || !animatesKey(key)) return nullptr;
    const Block& block = tBlocks.back();
    if (!block.animates) return nullptr;
    std::shared_ptr<BasicAnimation> animation;
    if (block.spring) {
        auto spring = SpringAnimation::make(key);
        tuneSpring(*spring, block.duration, block.spring->dampingRatio);
        spring->setInitialVelocity(block.spring->velocity);
        animation = std::move(spring);
    } else {
        animation = BasicAnimation::make(key);
        animation->setTimingFunction(curveOf(block.options));
    }
    animation->setDuration(block.duration);
    if (block.delay > 0) {
        animation->setBeginTime(currentMediaTime() + block.delay);
        animation->setFillMode(FillMode::backwards);
    }
    if (hasFlag(block.options, ViewAnimationOptions::repeat)) {
        animation->setRepeatCount(std::numeric_limits<double>::infinity());
    }
    animation->setAutoreverses(hasFlag(block.options, ViewAnimationOptions::autoreverse));
    animation->setDelegate(block.tracker);
    block.tracker->animationAdded();
    return animation;
}

}  // namespace detail

}  // namespace platform::ui
