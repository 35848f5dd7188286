#include "platform/ui/input/detail/TouchRouter.h"

#include "platform/dispatch/MainThread.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/ui/input/GestureRecognizer.h"
#include "platform/ui/input/detail/ViewBridge.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace platform::ui::detail {

namespace {

// A touch that comes down this soon after the last one lifted, and this
// near it, is the next tap of the same sequence.
constexpr double kTapInterval = 0.35;
constexpr double kTapSeparation = 45;

int gTouchesDown = 0;
std::optional<RunLoop::ScopedMode>& trackingMode() {
    static std::optional<RunLoop::ScopedMode> mode;
    return mode;
}

double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

bool contains(const std::vector<std::shared_ptr<GestureRecognizer>>& list, const GestureRecognizer* r) {
    return std::any_of(list.begin(), list.end(), [&](const auto& e) { return e.get() == r; });
}

}  // namespace

void enterTrackingMode() {
    if (gTouchesDown++ == 0) trackingMode().emplace(*RunLoop::main(), RunLoopMode::Tracking);
}

void leaveTrackingMode() {
    if (gTouchesDown > 0 && --gTouchesDown == 0) trackingMode().reset();
}

TouchRouter::~TouchRouter() {
    for (auto& record : mRecords) release(*record);
}

TouchRouter::Record* TouchRouter::find(const Touch* touch) {
    for (auto& record : mRecords) {
        if (record->touch.get() == touch) return record.get();
    }
    return nullptr;
}

void TouchRouter::sendEvent(const Event& event) {
    requireMainThread("Window::sendEvent");
    const std::shared_ptr<View> keep = detail::viewBridge().sharedView(mWindow);
    ++mDepth;
    try {
        handle(event);
    } catch (...) {
        --mDepth;
        throw;
    }
    --mDepth;
    dropFinished();
}

void TouchRouter::handle(const Event& event) {
    for (const auto& touch : event.allTouches()) {
        if (touch && touch->phase() == TouchPhase::began && !find(touch.get())) begin(touch, event);
    }
    // Every recogniser of the event's touches, in the order they come.
    std::vector<std::shared_ptr<GestureRecognizer>> recognizers;
    for (const auto& touch : event.allTouches()) {
        if (!touch || !find(touch.get())) continue;
        for (const auto& r : touch->mRecognizers) {
            if (!contains(recognizers, r.get())) recognizers.push_back(r);
        }
    }
    deliverToRecognizers(event, recognizers);
    deliverToViews(event);
    for (const auto& touch : event.allTouches()) {
        Record* record = touch ? find(touch.get()) : nullptr;
        if (!record || touch->isActive()) continue;
        release(*record);
        if (touch->phase() == TouchPhase::ended) {
            mHasLastTap = true;
            mLastTapLocation = touch->locationInWindow();
            mLastTapTime = touch->timestamp();
            mLastTapCount = touch->tapCount();
        }
    }
    for (const auto& r : recognizers) r->resetIfDone();
}

void TouchRouter::begin(const std::shared_ptr<Touch>& touch, const Event& event) {
    auto record = std::make_unique<Record>();
    record->touch = touch;
    const Point p = touch->locationInWindow();
    const auto& views = detail::viewBridge();
    std::shared_ptr<View> view = views.hitTest(mWindow, touch->mAim.value_or(p), event);
    // Exclusive views: a touch in one keeps others out and waits for none.
    for (const auto& other : mRecords) {
        if (!other->toView || !other->touch->isActive()) continue;
        const auto otherView = other->touch->view();
        if (view && otherView && otherView != view &&
            (views.isExclusiveTouch(*otherView) || views.isExclusiveTouch(*view))) {
            view = nullptr;
            break;
        }
    }
    touch->mView = view;
    touch->mTapCount = mHasLastTap && touch->timestamp() - mLastTapTime <= kTapInterval &&
                               distance(p, mLastTapLocation) <= kTapSeparation
                           ? mLastTapCount + 1
                           : 1;
    for (auto v = view; v; v = views.superview(*v)) {
        for (const auto& r : views.gestureRecognizers(*v)) {
            if (!r->isEnabled() || r->isFinal() || r->isWaiting()) continue;
            const auto delegate = r->delegate();
            if (delegate && !delegate->gestureRecognizerShouldReceiveTouch(*r, *touch)) continue;
            touch->mRecognizers.push_back(r);
            r->mTouches.push_back(touch);
        }
    }
    record->toView = view != nullptr;
    if (view && !views.isMultipleTouchEnabled(*view)) {
        for (const auto& other : mRecords) {
            if (other->toView && other->touch->isActive() && other->touch->view() == view) record->toView = false;
        }
    }
    record->tracked = true;
    enterTrackingMode();
    mRecords.push_back(std::move(record));
}

void TouchRouter::deliverToRecognizers(const Event& event,
                                       const std::vector<std::shared_ptr<GestureRecognizer>>& recognizers) {
    for (const auto& r : recognizers) {
        if (r->isFinal() || !r->isEnabled()) continue;
        TouchSet byPhase[5];
        auto inEvent = [&](const std::shared_ptr<Touch>& touch) {
            return std::find(event.allTouches().begin(), event.allTouches().end(), touch) != event.allTouches().end();
        };
        Point sum;
        int count = 0;
        for (const auto& touch : r->mTouches) {
            const bool here = inEvent(touch);
            if (here) byPhase[static_cast<int>(touch->phase())].push_back(touch);
            if (!here && !touch->isActive()) continue;
            sum.x += touch->locationInWindow().x;
            sum.y += touch->locationInWindow().y;
            ++count;
        }
        if (count > 0) r->mLastCentroid = {sum.x / count, sum.y / count};
        const auto& began = byPhase[static_cast<int>(TouchPhase::began)];
        const auto& moved = byPhase[static_cast<int>(TouchPhase::moved)];
        const auto& ended = byPhase[static_cast<int>(TouchPhase::ended)];
        const auto& cancelled = byPhase[static_cast<int>(TouchPhase::cancelled)];
        if (!began.empty() && !r->isFinal()) r->touchesBegan(began, event);
        if (!moved.empty() && !r->isFinal()) r->touchesMoved(moved, event);
        if (!ended.empty() && !r->isFinal()) r->touchesEnded(ended, event);
        if (!cancelled.empty() && !r->isFinal()) r->touchesCancelled(cancelled, event);
    }
}

bool TouchRouter::heldBack(const Record& record, TouchPhase phase) const {
    for (const auto& r : record.touch->mRecognizers) {
        if (r->state() != GestureRecognizer::State::possible || !r->isEnabled() || !r->tracks(record.touch.get())) {
            continue;
        }
        if ((phase == TouchPhase::began || phase == TouchPhase::moved) && r->delaysTouchesBegan()) return true;
        if (phase == TouchPhase::ended && r->delaysTouchesEnded()) return true;
    }
    return false;
}

void TouchRouter::deliverToViews(const Event& event) {
    struct Call {
        std::shared_ptr<View> view;
        TouchPhase phase;
        TouchSet touches;
    };
    std::vector<Call> calls;
    for (const TouchPhase phase : {TouchPhase::began, TouchPhase::moved, TouchPhase::ended, TouchPhase::cancelled}) {
        for (const auto& touch : event.allTouches()) {
            if (!touch || touch->phase() != phase) continue;
            Record* record = find(touch.get());
            if (!record || !record->toView || record->finished) continue;
            if (record->cancelledForView) {
                if (!touch->isActive()) record->finished = true;
                continue;
            }
            if (!record->held.empty() || heldBack(*record, phase)) {
                record->held.push_back(phase);
                continue;
            }
            if (phase == TouchPhase::began) record->beganDelivered = true;
            if (!touch->isActive()) record->finished = true;
            const auto view = touch->view();
            if (!view) continue;
            auto call = std::find_if(calls.begin(), calls.end(),
                                     [&](const Call& c) { return c.view == view && c.phase == phase; });
            if (call == calls.end()) {
                calls.push_back({view, phase, {}});
                call = calls.end() - 1;
            }
            call->touches.push_back(touch);
        }
    }
    for (const Call& call : calls) callView(*call.view, call.phase, call.touches, event);
}

void TouchRouter::callView(View& view, TouchPhase phase, const TouchSet& touches, const Event& event) {
    Responder& responder = detail::viewBridge().responder(view);
    switch (phase) {
        case TouchPhase::began: responder.touchesBegan(touches, event); break;
        case TouchPhase::moved: responder.touchesMoved(touches, event); break;
        case TouchPhase::ended: responder.touchesEnded(touches, event); break;
        case TouchPhase::cancelled: responder.touchesCancelled(touches, event); break;
        case TouchPhase::stationary: break;
    }
}

void TouchRouter::recognizerChanged() {
    if (mFlushing) return;
    mFlushing = true;
    flushHeld();
    mFlushing = false;
}

void TouchRouter::flushHeld() {
    std::vector<Record*> records;
    for (auto& record : mRecords) records.push_back(record.get());
    for (Record* record : records) {
        if (record->held.empty()) continue;
        if (record->cancelledForView) {
            record->held.clear();
            if (!record->touch->isActive()) record->finished = true;
            continue;
        }
        while (!record->held.empty() && !record->cancelledForView && !heldBack(*record, record->held.front())) {
            const TouchPhase phase = record->held.front();
            record->held.erase(record->held.begin());
            if (phase == TouchPhase::began) record->beganDelivered = true;
            if (phase == TouchPhase::ended || phase == TouchPhase::cancelled) record->finished = true;
            if (const auto view = record->touch->view()) {
                const TouchSet touches{record->touch};
                callView(*view, phase, touches, Event(touches));
            }
        }
    }
}

void TouchRouter::cancelForView(const TouchSet& touches) {
    for (const auto& touch : touches) {
        Record* record = find(touch.get());
        if (!record || !record->toView || record->cancelledForView || record->finished) continue;
        record->cancelledForView = true;
        record->held.clear();
        if (!record->beganDelivered) {
            if (!touch->isActive()) record->finished = true;
            continue;
        }
        record->finished = true;
        if (const auto view = touch->view()) {
            const TouchSet one{touch};
            detail::viewBridge().responder(*view).touchesCancelled(one, Event(one));
        }
    }
}

void TouchRouter::release(Record& record) {
    if (!record.tracked) return;
    record.tracked = false;
    leaveTrackingMode();
}

void TouchRouter::dropFinished() {
    // Records are held by pointer while events and held calls are handed on.
    if (mDepth > 0 || mFlushing) return;
    mRecords.erase(std::remove_if(mRecords.begin(), mRecords.end(),
                                  [](const std::unique_ptr<Record>& r) {
                                      return !r->touch->isActive() && r->held.empty() && !r->tracked;
                                  }),
                   mRecords.end());
}

}  // namespace platform::ui::detail
