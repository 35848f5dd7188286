#include "platform/ui/Notifications.h"

namespace platform::ui {

namespace {

NotificationPoster& poster() {
    static NotificationPoster installed;
    return installed;
}

}  // namespace

void setNotificationPoster(NotificationPoster newPoster) { poster() = std::move(newPoster); }

void postNotification(const std::string& name, const void* object) {
    // A copy: an observer may replace the poster.
    const NotificationPoster current = poster();
    if (current) current(name, object);
}

}  // namespace platform::ui
