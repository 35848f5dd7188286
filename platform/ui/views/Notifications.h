#pragma once
// The notifications the toolkit posts to the default notification centre
// (screens coming and going, the device turning, the application changing
// state), by the platform's names; the object is the poster (the screen,
// the device, the application), with no user info.


namespace platform::ui {

inline constexpr const char* kScreenDidConnectNotification = "UIScreenDidConnectNotification";
inline constexpr const char* kScreenDidDisconnectNotification = "UIScreenDidDisconnectNotification";
inline constexpr const char* kDeviceOrientationDidChangeNotification = "UIDeviceOrientationDidChangeNotification";
inline constexpr const char* kApplicationWillResignActiveNotification = "UIApplicationWillResignActiveNotification";
inline constexpr const char* kApplicationDidEnterBackgroundNotification = "UIApplicationDidEnterBackgroundNotification";
inline constexpr const char* kApplicationWillEnterForegroundNotification =
    "UIApplicationWillEnterForegroundNotification";
inline constexpr const char* kApplicationDidBecomeActiveNotification = "UIApplicationDidBecomeActiveNotification";
inline constexpr const char* kApplicationDidFinishLaunchingNotification = "UIApplicationDidFinishLaunchingNotification";
inline constexpr const char* kApplicationWillTerminateNotification = "UIApplicationWillTerminateNotification";
inline constexpr const char* kApplicationDidReceiveMemoryWarningNotification =
    "UIApplicationDidReceiveMemoryWarningNotification";

}  // namespace platform::ui
