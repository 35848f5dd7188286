#include "platform/ui/input/Touch.h"

#include "platform/ui/core/MediaTime.h"
#include "platform/ui/input/GestureRecognizer.h"
#include "platform/ui/input/detail/ViewBridge.h"

#include <algorithm>
#include <atomic>

namespace platform::ui {

namespace {

std::uint64_t nextIdentifier() {
    static std::atomic<std::uint64_t> next{0};
    return ++next;
}

}  // namespace

std::shared_ptr<Touch> Touch::make(const std::shared_ptr<Window>& window, Point locationInWindow, TouchType type) {
    std::shared_ptr<Touch> touch(new Touch());
    touch->mIdentifier = nextIdentifier();
    touch->mType = type;
    touch->mWindow = window;
    touch->mLocation = locationInWindow;
    touch->mPreviousLocation = locationInWindow;
    touch->mTimestamp = currentMediaTime();
    return touch;
}

std::shared_ptr<Touch> Touch::makeAimed(const std::shared_ptr<Window>& window, Point locationInWindow, Point aim) {
    auto touch = make(window, locationInWindow);
    touch->mAim = aim;
    return touch;
}

void Touch::update(TouchPhase phase, Point locationInWindow) {
    mPhase = phase;
    mPreviousLocation = mLocation;
    mLocation = locationInWindow;
    mTimestamp = currentMediaTime();
}

Point Touch::locationInView(const View* view) const {
    return view ? detail::viewBridge().convertFromWindow(*view, mLocation, window().get()) : mLocation;
}

Point Touch::previousLocationInView(const View* view) const {
    return view ? detail::viewBridge().convertFromWindow(*view, mPreviousLocation, window().get()) : mPreviousLocation;
}

Event::Event(TouchSet touches) : mTouches(std::move(touches)), mTimestamp(currentMediaTime()) {
    mTouches.erase(std::remove(mTouches.begin(), mTouches.end(), nullptr), mTouches.end());
}

TouchSet Event::touchesForView(const View* view) const {
    TouchSet found;
    for (const auto& touch : mTouches) {
        if (touch->view().get() == view) found.push_back(touch);
    }
    return found;
}

TouchSet Event::touchesForWindow(const Window* window) const {
    TouchSet found;
    for (const auto& touch : mTouches) {
        if (touch->window().get() == window) found.push_back(touch);
    }
    return found;
}

TouchSet Event::touchesForGestureRecognizer(const GestureRecognizer* recognizer) const {
    TouchSet found;
    for (const auto& touch : mTouches) {
        const auto& list = touch->gestureRecognizers();
        if (std::any_of(list.begin(), list.end(), [&](const auto& r) { return r.get() == recognizer; })) {
            found.push_back(touch);
        }
    }
    return found;
}

}  // namespace platform::ui
