#pragma once
// Private to platform/ui: the one place where animations meet the platform
// clock and the main run loop.

#include <functional>
#include <memory>

namespace platform::ui::detail {

double mediaTimeNow();

// A call scheduled on the main run loop; cancel() drops it if it has not run.
class MainLoopCall {
public:
    MainLoopCall() = default;
    void cancel();

private:
    friend MainLoopCall callOnMainAt(double mediaTime, std::function<void()> block);
    struct State;
    std::shared_ptr<State> mState;
};

// Runs `block` on the main run loop once the clock reaches `mediaTime` (at
// once, on the loop's next turn, when it has).
MainLoopCall callOnMainAt(double mediaTime, std::function<void()> block);
// Runs `block` on the main run loop's next turn.
void postToMain(std::function<void()> block);

}  // namespace platform::ui::detail
