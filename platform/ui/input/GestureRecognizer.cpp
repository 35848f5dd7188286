#include "platform/ui/input/GestureRecognizer.h"

#include "platform/ui/core/detail/MainLoop.h"
#include "platform/ui/input/Touch.h"
#include "platform/ui/input/detail/TouchRouter.h"
#include "platform/ui/input/detail/ViewBridge.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace platform::ui {

GestureRecognizer::GestureRecognizer() = default;

GestureRecognizer::~GestureRecognizer() {
    for (auto& timer : mTimers) timer.cancel();
}

void GestureRecognizer::setEnabled(bool enabled) {
    if (enabled == mEnabled) return;
    mEnabled = enabled;
    if (enabled) return;
    if (mState == State::began || mState == State::changed) {
        setState(State::cancelled);
    } else if (mState == State::possible && (isTracking() || isWaiting())) {
        fail();
    }
}

void GestureRecognizer::attachTo(const std::shared_ptr<View>& view) {
    if (mState == State::began || mState == State::changed) {
        setState(State::cancelled);
    } else if (mState == State::possible && (isTracking() || isWaiting())) {
        fail();
    }
    mView = view;
}

void GestureRecognizer::requireGestureRecognizerToFail(const std::shared_ptr<GestureRecognizer>& other) {
    if (!other || other.get() == this) return;
    mRequiredToFail.push_back(other);
    other->mDependents.push_back(weak_from_this());
}

// --- the state machine -----------------------------------------------------

void GestureRecognizer::setState(State state) {
    if (isFinal()) return;
    if (mState == State::possible) {
        switch (state) {
            case State::failed:
            case State::cancelled: fail(); return;
            case State::began:
            case State::ended:
                if (isWaiting()) {
                    mPending = state;
                } else {
                    leavePossible(state);
                }
                return;
            case State::possible:
            case State::changed: return;
        }
    }
    // Begun: it changes, ends or is cancelled.
    if (state == State::possible || state == State::began) return;
    if (state == State::failed) state = State::cancelled;
    const std::shared_ptr<GestureRecognizer> keep = shared_from_this();
    mState = state;
    mActions.send(*this);
    if (isFinal()) scheduleReset();
}

void GestureRecognizer::leavePossible(State state) {
    if (!mayRecognize()) {
        fail();
        return;
    }
    if (waitsForOthers()) {
        mPending = state;
        return;
    }
    recognize(state);
}

bool GestureRecognizer::mayRecognize() {
    if (auto d = delegate(); d && !d->gestureRecognizerShouldBegin(*this)) return false;
    const auto& views = detail::viewBridge();
    const auto own = view();
    if (!mTouches.empty()) {
        if (auto touched = mTouches.front()->view(); touched && touched != own) {
            if (!views.gestureRecognizerShouldBegin(*touched, *this)) return false;
        }
    }
    if (own && !views.gestureRecognizerShouldBegin(*own, *this)) return false;
    for (const auto& other : sharingTouches()) {
        if ((other->mState == State::began || other->mState == State::changed) && !simultaneousWith(*other)) {
            return false;
        }
    }
    return true;
}

bool GestureRecognizer::waitsForOthers() const {
    return std::any_of(mRequiredToFail.begin(), mRequiredToFail.end(), [](const std::weak_ptr<GestureRecognizer>& w) {
        const auto other = w.lock();
        return other && other->mState == State::possible && (other->isTracking() || other->isWaiting());
    });
}

void GestureRecognizer::recognize(State state) {
    const std::shared_ptr<GestureRecognizer> keep = shared_from_this();
    mState = state;
    mPending.reset();
    for (const auto& other : sharingTouches()) {
        if (other->mState == State::possible && !simultaneousWith(*other)) other->fail();
    }
    for (const auto& weak : mDependents) {
        const auto dependent = weak.lock();
        if (dependent && dependent->mState == State::possible && (dependent->isTracking() || dependent->isWaiting())) {
            dependent->fail();
        }
    }
    const auto win = window();
    if (mCancelsTouchesInView && win) detail::viewBridge().router(*win).cancelForView(mTouches);
    mActions.send(*this);
    if (win) detail::viewBridge().router(*win).recognizerChanged();
    if (isFinal()) scheduleReset();
}

void GestureRecognizer::fail() {
    if (isFinal()) return;
    const std::shared_ptr<GestureRecognizer> keep = shared_from_this();
    mState = State::failed;
    mPending.reset();
    for (auto& timer : mTimers) timer.cancel();
    mTimers.clear();
    for (const auto& weak : mDependents) {
        if (const auto dependent = weak.lock()) dependent->otherFailed();
    }
    if (const auto win = window()) detail::viewBridge().router(*win).recognizerChanged();
    scheduleReset();
}

void GestureRecognizer::otherFailed() {
    if (!isWaiting() || mState != State::possible || waitsForOthers()) return;
    const State state = *mPending;
    mPending.reset();
    for (const auto& other : sharingTouches()) {
        if ((other->mState == State::began || other->mState == State::changed) && !simultaneousWith(*other)) {
            fail();
            return;
        }
    }
    recognize(state);
}

void GestureRecognizer::resetIfDone() {
    if (!isFinal()) return;
    if (std::any_of(mTouches.begin(), mTouches.end(), [](const auto& t) { return t->isActive(); })) return;
    resetNow();
}

void GestureRecognizer::scheduleReset() {
    detail::postToMain([weak = weak_from_this()] {
        if (const auto self = weak.lock()) self->resetIfDone();
    });
}

void GestureRecognizer::resetNow() {
    for (auto& timer : mTimers) timer.cancel();
    mTimers.clear();
    mState = State::possible;
    mPending.reset();
    mTouches.clear();
    reset();
}

std::shared_ptr<Window> GestureRecognizer::window() const {
    for (const auto& touch : mTouches) {
        if (auto w = touch->window()) return w;
    }
    const auto v = view();
    return v ? detail::viewBridge().window(*v) : nullptr;
}

std::vector<std::shared_ptr<GestureRecognizer>> GestureRecognizer::sharingTouches() const {
    std::vector<std::shared_ptr<GestureRecognizer>> found;
    for (const auto& touch : mTouches) {
        for (const auto& r : touch->gestureRecognizers()) {
            if (r.get() != this && std::find(found.begin(), found.end(), r) == found.end()) found.push_back(r);
        }
    }
    return found;
}

bool GestureRecognizer::simultaneousWith(GestureRecognizer& other) {
    if (auto d = delegate(); d && d->gestureRecognizerShouldRecognizeSimultaneously(*this, other)) return true;
    auto d = other.delegate();
    return d && d->gestureRecognizerShouldRecognizeSimultaneously(other, *this);
}

bool GestureRecognizer::tracks(const Touch* touch) const {
    return std::any_of(mTouches.begin(), mTouches.end(), [&](const auto& t) { return t.get() == touch; });
}

// --- touches ---------------------------------------------------------------

void GestureRecognizer::touchesBegan(const TouchSet& touches, const Event& event) {
    (void)touches;
    (void)event;
}

void GestureRecognizer::touchesMoved(const TouchSet& touches, const Event& event) {
    (void)touches;
    (void)event;
}

void GestureRecognizer::touchesEnded(const TouchSet& touches, const Event& event) {
    (void)touches;
    (void)event;
}

void GestureRecognizer::touchesCancelled(const TouchSet& touches, const Event& event) {
    (void)touches;
    (void)event;
    setState(mState == State::possible ? State::failed : State::cancelled);
}

void GestureRecognizer::startTimer(double seconds, std::function<void()> fire) {
    const auto delay = std::chrono::duration_cast<Clock::Duration>(
        std::chrono::duration<double>(std::isfinite(seconds) && seconds > 0 ? seconds : 0));
    mTimers.push_back(RunLoop::main()->postAfter(delay, [weak = weak_from_this(), fire = std::move(fire)] {
        if (const auto self = weak.lock()) fire();
    }));
}

// --- where -----------------------------------------------------------------

std::size_t GestureRecognizer::numberOfTouches() const {
    return static_cast<std::size_t>(
        std::count_if(mTouches.begin(), mTouches.end(), [](const auto& t) { return t->isActive(); }));
}

Point GestureRecognizer::centroidInWindow() const {
    Point sum;
    int count = 0;
    for (const auto& touch : mTouches) {
        if (!touch->isActive()) continue;
        sum.x += touch->locationInWindow().x;
        sum.y += touch->locationInWindow().y;
        ++count;
    }
    return count > 0 ? Point{sum.x / count, sum.y / count} : mLastCentroid;
}

Point GestureRecognizer::locationInView(const View* view) const { return windowPointInView(centroidInWindow(), view); }

Point GestureRecognizer::locationOfTouch(std::size_t index, const View* view) const {
    for (const auto& touch : mTouches) {
        if (!touch->isActive()) continue;
        if (index-- == 0) return touch->locationInView(view);
    }
    return locationInView(view);
}

Point GestureRecognizer::windowPointInView(Point point, const View* view) const {
    return view ? detail::viewBridge().convertFromWindow(*view, point, nullptr) : point;
}

Point GestureRecognizer::windowVectorInView(Point vector, const View* view) const {
    if (!view) return vector;
    const auto& views = detail::viewBridge();
    const Point a = views.convertFromWindow(*view, {0, 0}, nullptr);
    const Point b = views.convertFromWindow(*view, vector, nullptr);
    return {b.x - a.x, b.y - a.y};
}

Point GestureRecognizer::viewVectorInWindow(Point vector, const View* view) const {
    if (!view) return vector;
    const auto& views = detail::viewBridge();
    const Point a = views.convertToWindow(*view, {0, 0});
    const Point b = views.convertToWindow(*view, vector);
    return {b.x - a.x, b.y - a.y};
}

}  // namespace platform::ui
