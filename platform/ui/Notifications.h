#pragma once
// The notifications the toolkit posts (screens coming and going, the
// device turning, the application changing state), by the platform's names.
//
// They go to a poster that the app installs: the platform's notification
// centre once it is there (its postNotificationName takes the same name and
// poster identity). Without one they go nowhere. Main thread only.

#include <functional>
#include <string>

namespace platform::ui {

inline constexpr const char* kScreenDidConnectNotification = "UIScreenDidConnectNotification";
inline constexpr const char* kScreenDidDisconnectNotification = "UIScreenDidDisconnectNotification";
inline constexpr const char* kDeviceOrientationDidChangeNotification = "UIDeviceOrientationDidChangeNotification";
inline constexpr const char* kApplicationWillResignActiveNotification = "UIApplicationWillResignActiveNotification";
inline constexpr const char* kApplicationDidEnterBackgroundNotification = "UIApplicationDidEnterBackgroundNotification";
inline constexpr const char* kApplicationWillEnterForegroundNotification =
    "UIApplicationWillEnterForegroundNotification";
inline constexpr const char* kApplicationDidBecomeActiveNotification = "UIApplicationDidBecomeActiveNotification";

// `object` is the poster's identity (the screen, the device, the
// application); it is never dereferenced here.
using NotificationPoster = std::function<void(const std::string& name, const void* object)>;

// Replaces the poster; an empty one drops the notifications.
void setNotificationPoster(NotificationPoster poster);
void postNotification(const std::string& name, const void* object);

}  // namespace platform::ui
