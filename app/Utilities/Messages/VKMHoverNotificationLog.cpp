#include "app/Utilities/Messages/VKMHoverNotificationLog.h"

#include "engine/services/ZDUtils.h"
#include "widgets/HoverNotification/VKMHoverNotification.h"

void VKMHoverNotificationLog::connect() {
    VKMHoverNotification::sharedInstance().setMessageLog(
        [](const std::string& text) { ZDUtils::logInfo("Message: %s", text.c_str()); });
}
