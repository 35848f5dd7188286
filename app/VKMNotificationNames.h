#pragma once
// Names of the app-wide notifications that the start-up and the debug
// screen post or observe, and the keys of their user info. The text of each
// constant is its name.

namespace VKMNotificationNames {

// A document handed in or picked; "kQLKeyFileURL" holds its path (text).
inline constexpr const char* kOpenLocalLayout = "VKMOpenLocalLayoutNotification";
inline constexpr const char* kOpenCloudLayoutRequested = "VKMOpenCloudLayoutRequestedNotification";
inline constexpr const char* kChangeCatalogFilter = "VKMChangeCatalogFilterNotification";
inline constexpr const char* kUserLoggedIn = "QLSharedLayoutsUserLoggedInNotification";
inline constexpr const char* kUserLoggedOut = "QLSharedLayoutsUserLoggedOutNotification";
inline constexpr const char* kDebugSettingsChanged = "QLDebugSettingsChangedNotification";

inline constexpr const char* kKeyFileURL = "kQLKeyFileURL";

}  // namespace VKMNotificationNames
