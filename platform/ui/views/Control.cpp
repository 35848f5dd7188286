#include "platform/ui/views/Control.h"

#include "platform/ui/input/TapGestureRecognizer.h"
#include "platform/ui/input/Touch.h"

#include <algorithm>

namespace platform::ui {

Control::Control() = default;

Control::Control(const Rect& frame) : View(frame) {}

Control::ActionId Control::addEntry(const void* target, ControlEvents events, std::function<void(Control&)> call,
                                    std::function<bool()> gone) {
    const ActionId id = ++mNextId;
    mEntries.push_back(Entry{id, events, target, std::move(call), std::move(gone)});
    return id;
}

void Control::removeAction(ActionId id) {
    std::erase_if(mEntries, [id](const Entry& e) { return e.id == id; });
}

void Control::removeTarget(const void* target, ControlEvents events) {
    std::erase_if(mEntries, [&](const Entry& e) {
        return e.target == target && (events == ControlEvents::allEvents || hasFlag(e.events, events));
    });
}

std::size_t Control::numberOfActions(ControlEvents events) const {
    return static_cast<std::size_t>(std::count_if(
        mEntries.begin(), mEntries.end(), [&](const Entry& e) { return hasFlag(e.events, events) && !e.gone(); }));
}

void Control::sendActionsForControlEvents(ControlEvents events) {
    // An action may add or remove actions, or release this control's
    // owner: the calls made are those listed now, on a control kept alive.
    std::erase_if(mEntries, [](const Entry& e) { return e.gone(); });
    const auto keep = sharedView();
    const std::vector<Entry> entries = mEntries;
    for (std::uint32_t bit = 1; bit != 0; bit <<= 1) {
        const auto event = static_cast<ControlEvents>(bit);
        if (!hasFlag(events, event)) continue;
        for (const Entry& entry : entries) {
            if (hasFlag(entry.events, event)) entry.call(*this);
        }
    }
}

void Control::setEnabled(bool enabled) {
    if (mEnabled == enabled) return;
    mEnabled = enabled;
    if (!enabled && mTracking != nullptr) {
        cancelTrackingWithEvent(nullptr);
        stopTracking();
    }
    stateDidChange();
}

void Control::setSelected(bool selected) {
    if (mSelected == selected) return;
    mSelected = selected;
    stateDidChange();
}

void Control::setHighlighted(bool highlighted) {
    if (mHighlighted == highlighted) return;
    mHighlighted = highlighted;
    stateDidChange();
}

ControlState Control::state() const {
    auto s = ControlState::normal;
    if (mHighlighted) s = s | ControlState::highlighted;
    if (!mEnabled) s = s | ControlState::disabled;
    if (mSelected) s = s | ControlState::selected;
    return s;
}

void Control::setContentHorizontalAlignment(ControlContentHorizontalAlignment alignment) {
    if (mHorizontalAlignment == alignment) return;
    mHorizontalAlignment = alignment;
    setNeedsLayout();
    setNeedsDisplay();
}

void Control::setContentVerticalAlignment(ControlContentVerticalAlignment alignment) {
    if (mVerticalAlignment == alignment) return;
    mVerticalAlignment = alignment;
    setNeedsLayout();
    setNeedsDisplay();
}

void Control::stateDidChange() { setNeedsDisplay(); }

std::shared_ptr<View> Control::hitTest(Point point, const Event* event) {
    if (!mEnabled) return nullptr;
    return View::hitTest(point, event);
}

bool Control::gestureRecognizerShouldBegin(GestureRecognizer& recognizer) {
    if (recognizer.view().get() == this) return true;
    const auto* tap = dynamic_cast<const TapGestureRecognizer*>(&recognizer);
    return tap == nullptr || tap->numberOfTapsRequired() != 1 || tap->numberOfTouchesRequired() != 1;
}

void Control::describeForDump(std::string& line) const {
    View::describeForDump(line);
    if (!mEnabled) line += " enabled=false";
    if (mSelected) line += " selected=true";
    if (mHighlighted) line += " highlighted=true";
}

bool Control::insideForTracking(Point point) const {
    const Rect b = bounds();
    return point.x >= b.minX() - kTouchSlop && point.x <= b.maxX() + kTouchSlop && point.y >= b.minY() - kTouchSlop &&
           point.y <= b.maxY() + kTouchSlop;
}

bool Control::beginTrackingWithTouch(const Touch& touch, const Event& event) {
    (void)touch;
    (void)event;
    return true;
}

bool Control::continueTrackingWithTouch(const Touch& touch, const Event& event) {
    (void)touch;
    (void)event;
    return true;
}

void Control::endTrackingWithTouch(const Touch* touch, const Event* event) {
    (void)touch;
    (void)event;
}

void Control::cancelTrackingWithEvent(const Event* event) { (void)event; }

void Control::stopTracking() {
    mTracking = nullptr;
    mTouchInside = false;
    setHighlighted(false);
}

void Control::touchesBegan(const TouchSet& touches, const Event& event) {
    if (!mEnabled || mTracking != nullptr || touches.empty()) return;
    const auto keep = sharedView();
    const Touch& touch = *touches.front();
    mTracking = &touch;
    mTouchInside = true;
    setHighlighted(true);
    if (!beginTrackingWithTouch(touch, event)) {
        stopTracking();
        return;
    }
    sendActionsForControlEvents(ControlEvents::touchDown);
    if (touch.tapCount() > 1 && mTracking == &touch) sendActionsForControlEvents(ControlEvents::touchDownRepeat);
}

void Control::touchesMoved(const TouchSet& touches, const Event& event) {
    const auto keep = sharedView();
    for (const auto& touch : touches) {
        if (touch.get() != mTracking) continue;
        const bool inside = insideForTracking(touch->locationInView(this));
        if (inside != mTouchInside) {
            mTouchInside = inside;
            setHighlighted(inside);
            sendActionsForControlEvents(inside ? ControlEvents::touchDragEnter : ControlEvents::touchDragExit);
        }
        if (mTracking != touch.get()) return;
        sendActionsForControlEvents(inside ? ControlEvents::touchDragInside : ControlEvents::touchDragOutside);
        if (mTracking == touch.get() && !continueTrackingWithTouch(*touch, event)) {
            endTrackingWithTouch(touch.get(), &event);
            stopTracking();
        }
    }
}

void Control::touchesEnded(const TouchSet& touches, const Event& event) {
    const auto keep = sharedView();
    for (const auto& touch : touches) {
        if (touch.get() != mTracking) continue;
        const bool inside = insideForTracking(touch->locationInView(this));
        mTouchInside = inside;
        endTrackingWithTouch(touch.get(), &event);
        stopTracking();
        if (inside) {
            sendActionsForControlEvents(ControlEvents::touchUpInside);
            if (sendsPrimaryActionOnTouchUp()) sendActionsForControlEvents(ControlEvents::primaryActionTriggered);
        } else {
            sendActionsForControlEvents(ControlEvents::touchUpOutside);
        }
    }
}

void Control::touchesCancelled(const TouchSet& touches, const Event& event) {
    const auto keep = sharedView();
    for (const auto& touch : touches) {
        if (touch.get() != mTracking) continue;
        cancelTrackingWithEvent(&event);
        stopTracking();
        sendActionsForControlEvents(ControlEvents::touchCancel);
    }
}

}  // namespace platform::ui
