#pragma once
// Private to platform/ui: what a transaction's completion waits for.

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace platform::ui::detail {

// The animations added in one transaction. Its block runs once the
// transaction has committed and every animation in it has ended.
class CompletionGroup {
public:
    void animationAdded() { ++mPending; }
    // From the main run loop: runs the block at once when it was the last.
    void animationEnded();
    // Runs the block on the main loop's next turn when nothing is pending.
    void commit(std::function<void()> block);

private:
    std::size_t mPending = 0;
    bool mCommitted = false;
    bool mFired = false;
    std::function<void()> mBlock;
};

// The groups of every open transaction (an implicit one is opened when
// none is), each told of one more animation.
std::vector<std::shared_ptr<CompletionGroup>> joinOpenTransactions();

}  // namespace platform::ui::detail
