#pragma once
// The tactile feedback a pop-up menu gives: a selection tick when a finger
// slides onto another row, a medium impact when a row is chosen. Each
// trigger uses a new generator of the toolkit, which records it.

#include "platform/ui/views/FeedbackGenerator.h"

class Haptic {
public:
    enum class Kind { impact, notification, selection };

    static Haptic impact(platform::ui::ImpactFeedbackStyle style) { return Haptic(Kind::impact, style, {}); }
    static Haptic notification(platform::ui::NotificationFeedbackType type) {
        return Haptic(Kind::notification, {}, type);
    }
    static Haptic selection() { return Haptic(Kind::selection, {}, {}); }

    Kind kind() const { return mKind; }
    void trigger() const;

private:
    Haptic(Kind kind, platform::ui::ImpactFeedbackStyle style, platform::ui::NotificationFeedbackType type)
        : mKind(kind), mStyle(style), mType(type) {}

    Kind mKind;
    platform::ui::ImpactFeedbackStyle mStyle;
    platform::ui::NotificationFeedbackType mType;
};
