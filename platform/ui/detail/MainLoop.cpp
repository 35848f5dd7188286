#include "platform/ui/detail/MainLoop.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"

namespace platform::ui::detail {

struct MainLoopCall::State {
    RunLoop::Timer timer;
};

double mediaTimeNow() { return std::chrono::duration<double>(Clock::shared()->instant().time_since_epoch()).count(); }

void MainLoopCall::cancel() {
    if (mState) mState->timer.cancel();
    mState.reset();
}

MainLoopCall callOnMainAt(double mediaTime, std::function<void()> block) {
    // Rounded up, so that the call never comes before the time it is for.
    const double delay = std::max(0.0, mediaTime - mediaTimeNow());
    const auto nanoseconds = std::chrono::nanoseconds(static_cast<long long>(std::ceil(delay * 1e9)));
    MainLoopCall call;
    call.mState = std::make_shared<MainLoopCall::State>();
    call.mState->timer =
        RunLoop::main()->postAfter(std::chrono::duration_cast<Clock::Duration>(nanoseconds), std::move(block));
    return call;
}

void postToMain(std::function<void()> block) { RunLoop::main()->postAfter(Clock::Duration::zero(), std::move(block)); }

}  // namespace platform::ui::detail
