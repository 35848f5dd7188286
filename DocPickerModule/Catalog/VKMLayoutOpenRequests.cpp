#include "DocPickerModule/Catalog/VKMLayoutOpenRequests.h"

#include "platform/foundation/NotificationCenter.h"

namespace VKMLayoutOpenRequests {

void requestLocalLayout(const std::filesystem::path& file, const void* sender) {
    platform::NotificationCenter::defaultCenter().postNotificationName(
        kOpenLocalLayoutNotification, sender,
        platform::Value(platform::Value::Dictionary{{kKeyFileURL, file.string()}}));
}

void requestCloudLayout(const std::string& layoutId, const void* sender) {
    platform::NotificationCenter::defaultCenter().postNotificationName(
        kOpenCloudLayoutRequestedNotification, sender,
        platform::Value(platform::Value::Dictionary{{kKeyLayoutId, layoutId}}));
}

}  // namespace VKMLayoutOpenRequests
