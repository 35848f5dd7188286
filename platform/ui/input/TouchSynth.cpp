#include "platform/ui/input/TouchSynth.h"

#include "platform/dispatch/Clock.h"
#include "platform/ui/input/detail/ViewBridge.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace platform::ui {

namespace {

Point along(const std::vector<Point>& points, const std::vector<double>& lengths, double distance) {
    for (std::size_t i = 1; i < points.size(); ++i) {
        const double segment = lengths[i] - lengths[i - 1];
        if (distance <= lengths[i] || i + 1 == points.size()) {
            const double f = segment > 0 ? std::clamp((distance - lengths[i - 1]) / segment, 0.0, 1.0) : 1;
            return {points[i - 1].x + f * (points[i].x - points[i - 1].x),
                    points[i - 1].y + f * (points[i].y - points[i - 1].y)};
        }
    }
    return points.back();
}

Point lerp(Point a, Point b, double f) { return {a.x + f * (b.x - a.x), a.y + f * (b.y - a.y)}; }

int framesIn(double seconds) { return std::max(1, static_cast<int>(std::lround(seconds / TouchSynth::kFrame))); }

}  // namespace

TouchSynth::TouchSynth(std::shared_ptr<Window> window)
    : mWindow(std::move(window)), mClock(std::dynamic_pointer_cast<VirtualClock>(Clock::shared())) {
    if (!mWindow) throw std::invalid_argument("TouchSynth needs a window");
    if (!mClock) throw std::logic_error("TouchSynth needs a virtual clock installed as the shared clock");
}

void TouchSynth::wait(double seconds) {
    if (!(seconds > 0)) {
        mClock->advance(Clock::Duration::zero());
        return;
    }
    mClock->advance(std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double>(seconds)));
}

void TouchSynth::send(const TouchSet& changed) {
    // The fingers that did not change are stationary.
    TouchSet all = changed;
    for (const auto& touch : mDown) {
        if (std::find(changed.begin(), changed.end(), touch) != changed.end()) continue;
        touch->update(TouchPhase::stationary, touch->locationInWindow());
        all.push_back(touch);
    }
    detail::viewBridge().sendEvent(*mWindow, Event(all));
    mDown.erase(std::remove_if(mDown.begin(), mDown.end(), [](const auto& t) { return !t->isActive(); }), mDown.end());
}

std::shared_ptr<Touch> TouchSynth::touchDown(Point point, TouchType type) {
    auto touch = Touch::make(mWindow, point, type);
    mDown.push_back(touch);
    send({touch});
    return touch;
}

std::vector<std::shared_ptr<Touch>> TouchSynth::touchesDown(const std::vector<Point>& points) {
    std::vector<std::shared_ptr<Touch>> touches;
    for (const Point& p : points) touches.push_back(Touch::make(mWindow, p));
    mDown.insert(mDown.end(), touches.begin(), touches.end());
    send(touches);
    return touches;
}

void TouchSynth::move(const std::vector<std::shared_ptr<Touch>>& touches, const std::vector<Point>& points) {
    if (touches.size() != points.size()) throw std::invalid_argument("TouchSynth::move needs a point per touch");
    for (std::size_t i = 0; i < touches.size(); ++i) touches[i]->update(TouchPhase::moved, points[i]);
    send(touches);
}

void TouchSynth::lift(const std::vector<std::shared_ptr<Touch>>& touches) {
    for (const auto& touch : touches) touch->update(TouchPhase::ended, touch->locationInWindow());
    send(touches);
}

void TouchSynth::cancel(const std::vector<std::shared_ptr<Touch>>& touches) {
    for (const auto& touch : touches) touch->update(TouchPhase::cancelled, touch->locationInWindow());
    send(touches);
}

void TouchSynth::tap(Point point) {
    const auto touch = touchDown(point);
    wait(kTapDuration);
    lift({touch});
}

void TouchSynth::doubleTap(Point point) {
    tap(point);
    wait(kTapDuration * 2);
    tap(point);
}

void TouchSynth::longPress(Point point, double seconds) {
    const auto touch = touchDown(point);
    wait(seconds);
    lift({touch});
}

void TouchSynth::pan(const std::vector<Point>& points, double seconds) {
    if (points.empty()) throw std::invalid_argument("TouchSynth::pan needs points");
    std::vector<double> lengths{0};
    for (std::size_t i = 1; i < points.size(); ++i) {
        lengths.push_back(lengths.back() + std::hypot(points[i].x - points[i - 1].x, points[i].y - points[i - 1].y));
    }
    const auto touch = touchDown(points.front());
    const int frames = framesIn(seconds);
    for (int i = 1; i <= frames; ++i) {
        wait(seconds / frames);
        move({touch}, {along(points, lengths, lengths.back() * i / frames)});
    }
    lift({touch});
}

void TouchSynth::pinch(Point fromA, Point fromB, Point toA, Point toB, double seconds) {
    const auto touches = touchesDown({fromA, fromB});
    const int frames = framesIn(seconds);
    for (int i = 1; i <= frames; ++i) {
        wait(seconds / frames);
        const double f = static_cast<double>(i) / frames;
        move(touches, {lerp(fromA, toA, f), lerp(fromB, toB, f)});
    }
    lift(touches);
}

void TouchSynth::swipe(Point from, Point to) { pan({from, to}, 0.1); }

}  // namespace platform::ui
