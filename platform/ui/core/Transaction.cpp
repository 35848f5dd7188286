#include "platform/ui/core/Transaction.h"

#include "platform/ui/core/detail/MainLoop.h"
#include "platform/ui/core/detail/TransactionState.h"

#include <vector>

namespace platform::ui {

namespace {

struct Frame {
    bool implicit = false;
    std::optional<bool> disableActions;
    std::optional<double> duration;
    bool hasTimingFunction = false;
    std::optional<MediaTimingFunction> timingFunction;
    std::function<void()> completion;
    std::shared_ptr<detail::CompletionGroup> group = std::make_shared<detail::CompletionGroup>();
};

// Innermost last; an implicit frame, when there is one, is first.
thread_local std::vector<Frame> tFrames;

void finish(Frame& frame) { frame.group->commit(std::move(frame.completion)); }

void commitImplicit() {
    if (tFrames.empty() || !tFrames.front().implicit) return;
    Frame frame = std::move(tFrames.front());
    tFrames.erase(tFrames.begin());
    finish(frame);
}

// The innermost frame, opening an implicit one (committed at the end of
// the main loop's turn) when none is open.
Frame& innermost() {
    if (tFrames.empty()) {
        tFrames.push_back(Frame{});
        tFrames.back().implicit = true;
        detail::postToMain(commitImplicit);
    }
    return tFrames.back();
}

template <typename Get>
auto lookup(Get get) -> decltype(get(tFrames.back())) {
    for (auto frame = tFrames.rbegin(); frame != tFrames.rend(); ++frame) {
        if (auto value = get(*frame)) return value;
    }
    return {};
}

}  // namespace

namespace detail {

void CompletionGroup::animationEnded() {
    if (mPending > 0) --mPending;
    if (mCommitted && mPending == 0 && !mFired) {
        mFired = true;
        if (mBlock) mBlock();
    }
}

void CompletionGroup::commit(std::function<void()> block) {
    mCommitted = true;
    mBlock = std::move(block);
    if (mPending > 0 || mFired) return;
    mFired = true;
    if (mBlock) postToMain(std::move(mBlock));
}

std::vector<std::shared_ptr<CompletionGroup>> joinOpenTransactions() {
    innermost();
    std::vector<std::shared_ptr<CompletionGroup>> groups;
    groups.reserve(tFrames.size());
    // Innermost first: an inner transaction completes before the one
    // around it.
    for (auto frame = tFrames.rbegin(); frame != tFrames.rend(); ++frame) {
        frame->group->animationAdded();
        groups.push_back(frame->group);
    }
    return groups;
}

}  // namespace detail

void Transaction::begin() { tFrames.push_back(Frame{}); }

void Transaction::commit() {
    if (tFrames.empty() || tFrames.back().implicit) return;
    Frame frame = std::move(tFrames.back());
    tFrames.pop_back();
    finish(frame);
}

void Transaction::setDisableActions(bool disable) { innermost().disableActions = disable; }

bool Transaction::disableActions() {
    return lookup([](const Frame& f) { return f.disableActions; }).value_or(false);
}

void Transaction::setAnimationDuration(double seconds) { innermost().duration = seconds; }

double Transaction::animationDuration() {
    return lookup([](const Frame& f) { return f.duration; }).value_or(0.25);
}

bool Transaction::hasAnimationDuration() {
    return lookup([](const Frame& f) { return f.duration; }).has_value();
}

void Transaction::setAnimationTimingFunction(std::optional<MediaTimingFunction> function) {
    Frame& frame = innermost();
    frame.hasTimingFunction = true;
    frame.timingFunction = std::move(function);
}

std::optional<MediaTimingFunction> Transaction::animationTimingFunction() {
    for (auto frame = tFrames.rbegin(); frame != tFrames.rend(); ++frame) {
        if (frame->hasTimingFunction) return frame->timingFunction;
    }
    return std::nullopt;
}

void Transaction::setCompletionBlock(std::function<void()> block) { innermost().completion = std::move(block); }

}  // namespace platform::ui
