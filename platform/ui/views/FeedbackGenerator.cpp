#include "platform/ui/views/FeedbackGenerator.h"

#include "platform/ui/views/Application.h"

namespace platform::ui {

void ImpactFeedbackGenerator::impactOccurred() {
    Application::sharedApplication().recordHaptic({HapticEvent::Kind::impact, static_cast<int>(mStyle)});
}

void NotificationFeedbackGenerator::notificationOccurred(NotificationFeedbackType type) {
    Application::sharedApplication().recordHaptic({HapticEvent::Kind::notification, static_cast<int>(type)});
}

void SelectionFeedbackGenerator::selectionChanged() {
    Application::sharedApplication().recordHaptic({HapticEvent::Kind::selection, 0});
}

}  // namespace platform::ui
