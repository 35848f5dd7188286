#pragma once
// The requests to open a layout that the screens post and the catalogue's
// opener serves: a local file by its path, a shared layout by its cloud
// identifier. Names and keys are the app's notification texts.

#include "app/VKMNotificationNames.h"

#include <filesystem>
#include <string>

namespace VKMLayoutOpenRequests {

inline constexpr const char* kOpenLocalLayoutNotification = VKMNotificationNames::kOpenLocalLayout;
inline constexpr const char* kOpenCloudLayoutRequestedNotification = VKMNotificationNames::kOpenCloudLayoutRequested;
// The local file's path, a text (a "file:" URL is read too).
inline constexpr const char* kKeyFileURL = VKMNotificationNames::kKeyFileURL;
// The shared layout's cloud identifier, a text.
inline constexpr const char* kKeyLayoutId = "QLKeyLayoutId";

// Post the requests on the default centre with `sender` as object.
void requestLocalLayout(const std::filesystem::path& file, const void* sender);
void requestCloudLayout(const std::string& layoutId, const void* sender);

}  // namespace VKMLayoutOpenRequests
