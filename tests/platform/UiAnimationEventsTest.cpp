// Delegate calls, removal and transaction completions, driven by a virtual
// clock: advancing it fires the main loop's timers in time order.

#include "platform/dispatch/Clock.h"
#include "platform/ui/core/BasicAnimation.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/core/Transaction.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

using platform::ui::Animation;
using platform::ui::AnimationDelegate;
using platform::ui::BasicAnimation;
using platform::ui::FillMode;
using platform::ui::Layer;
using platform::ui::LayerDelegate;
using platform::ui::MediaTimingFunction;
using platform::ui::Transaction;

namespace {

using Seconds = std::chrono::duration<double>;

class UiAnimationEvents : public testing::Test {
protected:
    void advance(double seconds) { mClock->advance(std::chrono::round<platform::Clock::Duration>(Seconds(seconds))); }
    // Seconds since the test began, in milliseconds, for readable logs.
    long now() const { return std::lround((platform::ui::currentMediaTime() - mStart) * 1000); }

    std::shared_ptr<platform::VirtualClock> mClock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock mScope{mClock};
    double mStart = platform::ui::currentMediaTime();
};

// Records "start <name> @ms" and "stop <name> finished|removed @ms".
class Recorder : public AnimationDelegate {
public:
    explicit Recorder(std::function<long()> clock) : mClock(std::move(clock)) {}
    void animationDidStart(Animation& animation) override { log.push_back("start " + nameOf(animation) + at()); }
    void animationDidStop(Animation& animation, bool finished) override {
        log.push_back("stop " + nameOf(animation) + (finished ? " finished" : " removed") + at());
    }
    std::shared_ptr<BasicAnimation> make(const std::string& name, double duration, double delay = 0);

    std::vector<std::string> log;
    std::vector<std::pair<Animation*, std::string>> names;

private:
    std::string nameOf(const Animation& animation) const {
        for (const auto& [a, n] : names) {
            if (a == &animation) return n;
        }
        return "?";
    }
    std::string at() const { return " @" + std::to_string(mClock()); }
    std::function<long()> mClock;
};

std::shared_ptr<BasicAnimation> Recorder::make(const std::string& name, double duration, double delay) {
    auto animation = BasicAnimation::make("opacity");
    animation->setFromValue(0.0);
    animation->setToValue(1.0);
    animation->setDuration(duration);
    if (delay > 0) animation->setBeginTime(platform::ui::currentMediaTime() + delay);
    names.emplace_back(animation.get(), name);
    return animation;
}

using Log = std::vector<std::string>;

}  // namespace

TEST_F(UiAnimationEvents, DelegatesHearStartAndStopInTimeOrder) {
    auto recorder = std::make_shared<Recorder>([this] { return now(); });
    auto layer = Layer::make();

    auto a = recorder->make("a", 1);
    auto b = recorder->make("b", 1, 0.5);
    auto early = recorder->make("early", 1);
    auto kept = recorder->make("kept", 0.2);
    kept->setRemovedOnCompletion(false);
    kept->setFillMode(FillMode::forwards);
    for (const auto& animation : {a, b, early, kept}) animation->setDelegate(recorder);
    layer->addAnimation(a, "a");
    layer->addAnimation(b, "b");
    layer->addAnimation(early, "early");
    layer->addAnimation(kept, "kept");
    EXPECT_TRUE(recorder->log.empty()) << "nothing is called from inside addAnimation";

    advance(0);
    EXPECT_EQ(recorder->log, (Log{"start a @0", "start early @0", "start kept @0"}));
    advance(0.3);
    EXPECT_EQ(recorder->log.back(), "stop kept finished @200");
    EXPECT_EQ(layer->animationKeys(), (std::vector<std::string>{"a", "b", "early", "kept"})) << "kept stays";
    EXPECT_DOUBLE_EQ(layer->presentationLayer()->opacity(), 1) << "kept, added last, holds its end over a";

    layer->removeAnimationForKey("early");
    EXPECT_EQ(recorder->log.size(), 4U) << "not from inside the removal";
    advance(0);
    EXPECT_EQ(recorder->log.back(), "stop early removed @300");

    advance(1.5);
    EXPECT_EQ(recorder->log,
              (Log{"start a @0", "start early @0", "start kept @0", "stop kept finished @200",
                   "stop early removed @300", "start b @500", "stop a finished @1000", "stop b finished @1500"}));
    EXPECT_EQ(layer->animationKeys(), (std::vector<std::string>{"kept"})) << "removed on completion";

    // Removed or replaced before its begin: stopped without a start.
    recorder->log.clear();
    auto later = recorder->make("later", 1, 5);
    later->setDelegate(recorder);
    layer->addAnimation(later, "kept");  // replaces kept, which had told its stop already
    auto replacing = recorder->make("replacing", 1);
    replacing->setDelegate(recorder);
    layer->addAnimation(replacing, "kept");
    advance(0);
    EXPECT_EQ(recorder->log, (Log{"stop later removed @1800", "start replacing @1800"}));

    // A layer that goes stops what it holds.
    recorder->log.clear();
    layer.reset();
    advance(0);
    EXPECT_EQ(recorder->log, (Log{"stop replacing removed @1800"}));

    // An animation that repeats for ever never stops by itself.
    auto spinner = Layer::make();
    auto spin = recorder->make("spin", 0.4);
    spin->setRepeatCount(FLT_MAX);
    spin->setDelegate(recorder);
    spinner->addAnimation(spin, "transform.rotation.z");
    advance(1000);
    EXPECT_EQ(recorder->log.back(), "start spin @1800");
    EXPECT_EQ(spinner->animationKeys(), (std::vector<std::string>{"transform.rotation.z"}));
}

TEST_F(UiAnimationEvents, TransactionCompletionRunsAfterTheLastAnimationEnds) {
    Log log;
    auto layer = Layer::make();
    const auto animation = [](double duration) {
        auto a = BasicAnimation::make("opacity");
        a->setFromValue(0.0);
        a->setToValue(1.0);
        a->setDuration(duration);
        return a;
    };

    Transaction::begin();
    Transaction::setCompletionBlock([&] { log.push_back("outer @" + std::to_string(now())); });
    layer->addAnimation(animation(0.3), "short");
    Transaction::begin();
    Transaction::setCompletionBlock([&] { log.push_back("inner @" + std::to_string(now())); });
    auto kept = animation(0.6);
    kept->setRemovedOnCompletion(false);
    layer->addAnimation(kept, "kept");
    Transaction::commit();
    Transaction::commit();
    EXPECT_TRUE(log.empty());
    advance(0.3);
    EXPECT_TRUE(log.empty()) << "the outer one waits for the inner one's animation";
    advance(0.3);
    EXPECT_EQ(log, (Log{"inner @600", "outer @600"})) << "an animation that stays on the layer has ended all the same";

    // Without animations the completion comes on the next turn, not inside
    // commit.
    log.clear();
    Transaction::begin();
    Transaction::setCompletionBlock([&] { log.push_back("empty"); });
    Transaction::commit();
    EXPECT_TRUE(log.empty());
    advance(0);
    EXPECT_EQ(log, (Log{"empty"}));

    // A removed animation ends its transaction's wait; so does one added
    // outside any begin, in the main loop's implicit transaction.
    log.clear();
    Transaction::setCompletionBlock([&] { log.push_back("implicit @" + std::to_string(now())); });
    layer->addAnimation(animation(10), "long");
    advance(1);
    EXPECT_TRUE(log.empty());
    layer->removeAnimationForKey("long");
    advance(0);
    EXPECT_EQ(log, (Log{"implicit @1600"}));
}

TEST_F(UiAnimationEvents, PropertyChangesAnimateOnlyWhereAnActionIsAsked) {
    auto layer = Layer::make();
    layer->setOpacity(0);
    EXPECT_TRUE(layer->animationKeys().empty()) << "a standalone layer changes at once";

    Transaction::begin();
    Transaction::setAnimationDuration(0.5);
    Transaction::setAnimationTimingFunction(MediaTimingFunction::linear());
    layer->setOpacity(1);
    Transaction::commit();
    EXPECT_EQ(layer->animationKeys(), (std::vector<std::string>{"opacity"}));
    EXPECT_EQ(layer->opacity(), 1);
    advance(0.25);
    EXPECT_DOUBLE_EQ(layer->presentationLayer()->opacity(), 0.5) << "from what showed to the new value";
    // A second change mid-way starts from what shows then.
    Transaction::begin();
    Transaction::setAnimationDuration(0.5);
    Transaction::setAnimationTimingFunction(MediaTimingFunction::linear());
    layer->setOpacity(0);
    Transaction::commit();
    advance(0.25);
    EXPECT_DOUBLE_EQ(layer->presentationLayer()->opacity(), 0.25);

    Transaction::begin();
    Transaction::setAnimationDuration(0.5);
    Transaction::setDisableActions(true);
    layer->setCornerRadius(4);
    Transaction::commit();
    EXPECT_EQ(layer->animationKeys(), (std::vector<std::string>{"opacity"})) << "actions were disabled";

    // A delegate answers for its layer, as a view does: here with its own
    // animation inside a block of its own, with no action outside it.
    struct ViewLike : LayerDelegate {
        bool animating = false;
        std::optional<std::shared_ptr<Animation>> actionForLayer(Layer&, const std::string& key) override {
            if (!animating) return std::shared_ptr<Animation>();
            auto animation = BasicAnimation::make(key);
            animation->setDuration(1);
            return animation;
        }
    };
    auto view = std::make_shared<ViewLike>();
    auto backed = Layer::make();
    backed->setDelegate(view);
    Transaction::begin();
    Transaction::setAnimationDuration(0.5);
    backed->setPosition({10, 0});
    Transaction::commit();
    EXPECT_TRUE(backed->animationKeys().empty()) << "the delegate said no action";
    view->animating = true;
    backed->setPosition({30, 0});
    advance(0.5);
    EXPECT_DOUBLE_EQ(backed->presentationLayer()->position().x, 20);
}
