#include "platform/ui/core/detail/MainLoop.h"

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace platform::ui::detail {

namespace {

// Calls further off than this (about 30 years) are made at this distance,
// which no run of the app reaches; it keeps the nanoseconds in range.
constexpr double kFurthest = 1e9;

}  // namespace

struct MainLoopCall::State {
    RunLoop::Timer timer;
};

double mediaTimeNow() { return std::chrono::duration<double>(Clock::shared()->instant().time_since_epoch()).count(); }

void MainLoopCall::cancel() {
    if (mState) mState->timer.cancel();
    mState.reset();
}

MainLoopCall callOnMainAt(double mediaTime, std::function<void()> block) {
    // To the nearest nanosecond: media times are doubles of seconds since
    // the clock's epoch, exact to a fraction of that, so a call for the end
    // of an animation comes when a clock moved by its duration gets there.
    double delay = mediaTime - mediaTimeNow();
    delay = std::isnan(delay) ? 0 : std::clamp(delay, 0.0, kFurthest);
    const auto nanoseconds = std::chrono::nanoseconds(std::llround(delay * 1e9));
    MainLoopCall call;
    call.mState = std::make_shared<MainLoopCall::State>();
    call.mState->timer =
        RunLoop::main()->postAfter(std::chrono::duration_cast<Clock::Duration>(nanoseconds), std::move(block));
    return call;
}

void postToMain(std::function<void()> block) { RunLoop::main()->post(std::move(block)); }

}  // namespace platform::ui::detail
