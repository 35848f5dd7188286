#pragma once
// A control: a view that turns touches into events for its targets, with
// the states highlighted, selected and enabled, as the platform's buttons,
// switches and fields are built.
//
// Tracking one touch: down sends touchDown (touchDownRepeat for a second tap
// soon after) and highlights the control; each move sends touchDragInside or
// touchDragOutside, and touchDragEnter or touchDragExit when the touch
// crosses the control's edge grown by kTouchSlop on every side (the
// highlight follows); up sends touchUpInside (then primaryActionTriggered
// for controls whose primary action is a tap) or touchUpOutside; a
// cancelled touch sends touchCancel. A control that is not enabled takes no
// touches (hit testing passes through it) and draws dimmed.
//
// A control lets no single-tap recogniser of a view above it begin on a
// touch that came down on it: the tap is the control's own.
//
// Main thread only.

#include "platform/ui/views/View.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

namespace platform::ui {

class Touch;

// The platform's values.
enum class ControlEvents : std::uint32_t {
    none = 0,
    touchDown = 1u << 0,
    touchDownRepeat = 1u << 1,
    touchDragInside = 1u << 2,
    touchDragOutside = 1u << 3,
    touchDragEnter = 1u << 4,
    touchDragExit = 1u << 5,
    touchUpInside = 1u << 6,
    touchUpOutside = 1u << 7,
    touchCancel = 1u << 8,
    valueChanged = 1u << 12,
    primaryActionTriggered = 1u << 13,
    editingDidBegin = 1u << 16,
    editingChanged = 1u << 17,
    editingDidEnd = 1u << 18,
    editingDidEndOnExit = 1u << 19,
    allTouchEvents = 0x00000FFFu,
    allEditingEvents = 0x000F0000u,
    allEvents = 0xFFFFFFFFu,
};
constexpr ControlEvents operator|(ControlEvents a, ControlEvents b) {
    return static_cast<ControlEvents>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}
constexpr bool hasFlag(ControlEvents events, ControlEvents flag) {
    return (static_cast<std::uint32_t>(events) & static_cast<std::uint32_t>(flag)) != 0;
}

// The platform's values; states combine.
enum class ControlState : std::uint32_t {
    normal = 0,
    highlighted = 1u << 0,
    disabled = 1u << 1,
    selected = 1u << 2,
    focused = 1u << 3,
};
constexpr ControlState operator|(ControlState a, ControlState b) {
    return static_cast<ControlState>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}
constexpr bool hasFlag(ControlState state, ControlState flag) {
    return (static_cast<std::uint32_t>(state) & static_cast<std::uint32_t>(flag)) != 0;
}

// Where a control places its content in its bounds.
enum class ControlContentHorizontalAlignment { center, left, right, fill, leading, trailing };
enum class ControlContentVerticalAlignment { center, top, bottom, fill };

class Control : public View {
public:
    // How far beyond its bounds a tracked touch still counts as inside.
    static constexpr double kTouchSlop = 70;
    // Content of a disabled control is drawn at this alpha.
    static constexpr double kDisabledAlpha = 0.5;

    using ActionId = std::uint64_t;

    Control();
    explicit Control(const Rect& frame);

    // `action` on `target` for the events, for as long as the target lives;
    // the action may take the control as its own class (it is not called
    // for another).
    template <typename Target, typename Sender>
    ActionId addTarget(const std::shared_ptr<Target>& target, void (Target::*action)(Sender&), ControlEvents events) {
        static_assert(std::is_base_of_v<Control, Sender>);
        std::weak_ptr<Target> weak = target;
        return addEntry(
            target.get(), events,
            [weak, action](Control& control) {
                auto strong = weak.lock();
                auto* sender = dynamic_cast<Sender*>(&control);
                if (strong && sender) ((*strong).*action)(*sender);
            },
            [weak] { return weak.expired(); });
    }
    // A closure for the events, owned by the control (it must not own it).
    ActionId addAction(std::function<void(Control&)> action, ControlEvents events) {
        return addEntry(nullptr, events, std::move(action), [] { return false; });
    }
    void removeAction(ActionId id);
    // The target's actions for any of the events (all of them for allEvents).
    void removeTarget(const void* target, ControlEvents events);
    // The live actions for any of the events.
    std::size_t numberOfActions(ControlEvents events) const;

    // Calls the actions of each event in `events`, event by event from the
    // lowest bit, each event's in the order added.
    void sendActionsForControlEvents(ControlEvents events);

    bool isEnabled() const { return mEnabled; }
    virtual void setEnabled(bool enabled);
    bool isSelected() const { return mSelected; }
    virtual void setSelected(bool selected);
    bool isHighlighted() const { return mHighlighted; }
    virtual void setHighlighted(bool highlighted);
    ControlState state() const;

    // A touch is being tracked, and whether it is inside now.
    bool isTracking() const { return mTracking != nullptr; }
    bool isTouchInside() const { return mTouchInside; }

    ControlContentHorizontalAlignment contentHorizontalAlignment() const { return mHorizontalAlignment; }
    void setContentHorizontalAlignment(ControlContentHorizontalAlignment alignment);
    ControlContentVerticalAlignment contentVerticalAlignment() const { return mVerticalAlignment; }
    void setContentVerticalAlignment(ControlContentVerticalAlignment alignment);

    std::shared_ptr<View> hitTest(Point point, const Event* event) override;
    bool gestureRecognizerShouldBegin(GestureRecognizer& recognizer) override;
    std::string className() const override { return "Control"; }
    void describeForDump(std::string& line) const override;

    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void touchesCancelled(const TouchSet& touches, const Event& event) override;

protected:
    // Tracking hooks around the events above; returning false from begin or
    // continue stops tracking the touch (no more events for it). At the end
    // isTouchInside() tells where the touch lifted; the touch-up event
    // follows.
    virtual bool beginTrackingWithTouch(const Touch& touch, const Event& event);
    virtual bool continueTrackingWithTouch(const Touch& touch, const Event& event);
    virtual void endTrackingWithTouch(const Touch* touch, const Event* event);
    virtual void cancelTrackingWithEvent(const Event* event);
    // Whether touch up inside also sends primaryActionTriggered (buttons).
    virtual bool sendsPrimaryActionOnTouchUp() const { return false; }
    // After highlighted, selected or enabled changed; redraws by default.
    virtual void stateDidChange();

private:
    struct Entry {
        ActionId id;
        ControlEvents events;
        const void* target;
        std::function<void(Control&)> call;
        std::function<bool()> gone;
    };
    ActionId addEntry(const void* target, ControlEvents events, std::function<void(Control&)> call,
                      std::function<bool()> gone);
    bool insideForTracking(Point point) const;
    void stopTracking();

    std::vector<Entry> mEntries;
    ActionId mNextId = 0;
    bool mEnabled = true;
    bool mSelected = false;
    bool mHighlighted = false;
    const Touch* mTracking = nullptr;
    bool mTouchInside = false;
    ControlContentHorizontalAlignment mHorizontalAlignment = ControlContentHorizontalAlignment::center;
    ControlContentVerticalAlignment mVerticalAlignment = ControlContentVerticalAlignment::center;
};

}  // namespace platform::ui
