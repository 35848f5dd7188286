#include "platform/dispatch/DisplayLink.h"

#include <algorithm>
#include <mutex>
#include <stdexcept>

namespace platform {

namespace {

unsigned bitsOf(RunLoopMode mode) {
    switch (mode) {
        case RunLoopMode::Default: return 1;
        case RunLoopMode::Tracking: return 2;
        case RunLoopMode::Common: return 3;
    }
    return 0;
}

RunLoopMode modeOf(unsigned bits) {
    if (bits == 3) return RunLoopMode::Common;
    return bits == 2 ? RunLoopMode::Tracking : RunLoopMode::Default;
}

}  // namespace

// Frames are a chain of one-shot timers, each set at the frame after the
// one that fired, so that rate, modes and pausing can change between frames.
struct DisplayLink::State : std::enable_shared_from_this<State> {
    explicit State(Callback frameCallback) : callback(std::move(frameCallback)) {}

    const Callback callback;
    mutable std::mutex mutex;
    std::shared_ptr<RunLoop> loop;
    unsigned modes = 0;
    int preferred = 0;
    bool paused = false;
    bool valid = true;
    RunLoop::Timer pending;
    Clock::Instant nextFrame{};
    // Changes whenever the pending frame is replaced, so that a frame set
    // before the change does nothing.
    std::uint64_t generation = 0;

    Clock::Duration interval() const {
        const int rate = preferred == 0 ? kDisplayFramesPerSecond : std::min(preferred, kDisplayFramesPerSecond);
        return std::chrono::duration_cast<Clock::Duration>(std::chrono::seconds(1)) / rate;
    }
    bool running() const { return valid && !paused && loop && modes != 0; }

    // Under the lock.
    void schedule(Clock::Instant due) {
        pending.cancel();
        ++generation;
        if (!running()) return;
        nextFrame = due;
        const auto delay = due - Clock::shared()->instant();
        pending = loop->scheduleTimer(
            std::max(delay, Clock::Duration::zero()), false,
            [self = shared_from_this(), due, generation = generation](RunLoop::Timer&) { self->fire(due, generation); },
            modeOf(modes));
    }
    void scheduleFromNow() { schedule(Clock::shared()->instant() + interval()); }

    void fire(Clock::Instant due, std::uint64_t firedGeneration) {
        Frame frame{};
        {
            std::lock_guard lock(mutex);
            if (firedGeneration != generation || !running()) return;
            // A late frame is the latest one due; those missed are skipped.
            const auto now = Clock::shared()->instant();
            if (now > due) due += (now - due) / interval() * interval();
            frame = Frame{due, interval()};
        }
        callback(frame);
        std::lock_guard lock(mutex);
        // The callback may have paused, invalidated or changed the rate.
        if (firedGeneration != generation || !running()) return;
        schedule(frame.timestamp + frame.duration);
    }
};

DisplayLink::DisplayLink(Callback callback) : mState(std::make_shared<State>(std::move(callback))) {}

DisplayLink::~DisplayLink() { invalidate(); }

void DisplayLink::addToRunLoop(std::shared_ptr<RunLoop> loop, RunLoopMode mode) {
    if (!loop) return;
    std::lock_guard lock(mState->mutex);
    if (!mState->valid) return;
    if (loop != mState->loop) {
        mState->loop = std::move(loop);
        mState->modes = 0;
    }
    const unsigned modes = mState->modes | bitsOf(mode);
    if (modes == mState->modes) return;
    const bool wasRunning = mState->pending.isValid();
    mState->modes = modes;
    // A frame already set keeps its time.
    if (wasRunning) {
        mState->schedule(mState->nextFrame);
    } else {
        mState->scheduleFromNow();
    }
}

void DisplayLink::setPreferredFramesPerSecond(int framesPerSecond) {
    if (framesPerSecond < 0) throw std::invalid_argument("DisplayLink: negative frame rate");
    std::lock_guard lock(mState->mutex);
    mState->preferred = framesPerSecond;
    if (mState->pending.isValid()) mState->scheduleFromNow();
}

int DisplayLink::preferredFramesPerSecond() const {
    std::lock_guard lock(mState->mutex);
    return mState->preferred;
}

void DisplayLink::setPaused(bool paused) {
    std::lock_guard lock(mState->mutex);
    if (paused == mState->paused) return;
    mState->paused = paused;
    mState->scheduleFromNow();  // sets nothing while paused
}

bool DisplayLink::isPaused() const {
    std::lock_guard lock(mState->mutex);
    return mState->paused;
}

void DisplayLink::invalidate() {
    std::lock_guard lock(mState->mutex);
    mState->valid = false;
    mState->schedule({});  // cancels the pending frame
    mState->loop.reset();
}

bool DisplayLink::isValid() const {
    std::lock_guard lock(mState->mutex);
    return mState->valid;
}

}  // namespace platform
