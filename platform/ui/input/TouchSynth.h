#pragma once
// Touches made up for tests: gestures played into a window on the virtual
// clock, which is advanced between events (a frame, 1/60 s, between moves)
// so that recognisers' time limits and velocities see real times. Needs
// Clock::shared() to be a VirtualClock (throws std::logic_error otherwise).
// Points are in the window's coordinates. Nothing is advanced after the
// last event: the test decides how long to wait for what follows (a double
// tap's wait, a completion).

#include "platform/graphics/Geometry.h"
#include "platform/ui/input/Touch.h"

#include <memory>
#include <vector>

namespace platform {
class VirtualClock;
}

namespace platform::ui {

class Window;

class TouchSynth {
public:
    static constexpr double kFrame = 1.0 / 60;
    // How long a tap's finger stays down.
    static constexpr double kTapDuration = 0.05;

    explicit TouchSynth(std::shared_ptr<Window> window);

    // One finger down, up.
    void tap(Point point);
    // Two taps kTapDuration * 2 apart.
    void doubleTap(Point point);
    // Down, held `seconds`, up.
    void longPress(Point point, double seconds = 1);
    // One finger along the polyline through `points`, at an even speed over
    // `seconds`, a move each frame, lifting at the last point.
    void pan(const std::vector<Point>& points, double seconds);
    // Two fingers from `fromA` and `fromB` to `toA` and `toB` in straight
    // lines over `seconds`.
    void pinch(Point fromA, Point fromB, Point toA, Point toB, double seconds);
    // A quick straight drag: `from` to `to` in 0.1 s.
    void swipe(Point from, Point to);

    // The steps of a gesture, for anything else. Each sends one event.
    std::shared_ptr<Touch> touchDown(Point point, TouchType type = TouchType::finger);
    std::vector<std::shared_ptr<Touch>> touchesDown(const std::vector<Point>& points);
    void move(const std::vector<std::shared_ptr<Touch>>& touches, const std::vector<Point>& points);
    void lift(const std::vector<std::shared_ptr<Touch>>& touches);
    void cancel(const std::vector<std::shared_ptr<Touch>>& touches);
    // Advances the virtual clock, firing what falls due.
    void wait(double seconds);

private:
    void send(const TouchSet& touches);

    std::shared_ptr<Window> mWindow;
    std::shared_ptr<VirtualClock> mClock;
    std::vector<std::shared_ptr<Touch>> mDown;
};

}  // namespace platform::ui
