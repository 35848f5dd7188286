#pragma once
// A frame timer: calls back once per display frame on a run loop, with the
// frame's time and length. Frames come from Clock::shared(), 60 a second
// unless a lower rate is preferred, so a virtual clock advanced by one
// second gives the callback 60 frames. Use it on the thread of its loop.

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"

#include <functional>
#include <memory>

namespace platform {

class DisplayLink {
public:
    static constexpr int kDisplayFramesPerSecond = 60;

    struct Frame {
        Clock::Instant timestamp;  // when the frame is shown
        Clock::Duration duration;  // until the next one
    };
    using Callback = std::function<void(const Frame&)>;

    explicit DisplayLink(Callback callback);
    // Invalidates; also safe from within the callback.
    ~DisplayLink();
    DisplayLink(const DisplayLink&) = delete;
    DisplayLink& operator=(const DisplayLink&) = delete;

    // Frames start on `loop` in `mode`; adding the same loop again in
    // another mode adds that mode. One loop at a time: another loop replaces it.
    void addToRunLoop(std::shared_ptr<RunLoop> loop, RunLoopMode mode);
    // 0 means the display's rate; rates above it are held to it, negative
    // rates are refused (std::invalid_argument).
    void setPreferredFramesPerSecond(int framesPerSecond);
    int preferredFramesPerSecond() const;
    void setPaused(bool paused);
    bool isPaused() const;
    // No more frames, for good.
    void invalidate();
    bool isValid() const;

private:
    struct State;
    std::shared_ptr<State> mState;
};

}  // namespace platform
