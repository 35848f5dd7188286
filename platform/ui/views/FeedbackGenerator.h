#pragma once
// Haptic feedback, as the platform's generators give it. There is nothing
// to feel here: each haptic is recorded in Application::haptics() for
// tests. Main thread only.

namespace platform::ui {

// The platform's values.
enum class ImpactFeedbackStyle { heavy = 0, light = 1, medium = 2, soft = 3, rigid = 4 };
enum class NotificationFeedbackType { success = 0, warning = 1, error = 2 };

class ImpactFeedbackGenerator {
public:
    explicit ImpactFeedbackGenerator(ImpactFeedbackStyle style = ImpactFeedbackStyle::medium) : mStyle(style) {}
    void prepare() {}
    void impactOccurred();

private:
    ImpactFeedbackStyle mStyle;
};

class NotificationFeedbackGenerator {
public:
    void prepare() {}
    void notificationOccurred(NotificationFeedbackType type);
};

class SelectionFeedbackGenerator {
public:
    void prepare() {}
    void selectionChanged();
};

}  // namespace platform::ui
