#include "app/Helper/VKMLayoutDocumentHelper.h"

#include "engine/services/VKMSoftAssert.h"
#include "app/Session/VKMLayoutSession.h"
#include "app/Utilities/VKMAlerts.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ZDUtils.h"
#include "platform/dispatch/MainThread.h"
#include "platform/foundation/NotificationCenter.h"

const void* VKMLayoutDocumentHelper::notificationObject() {
    static const char identity = 0;
    return &identity;
}

bool VKMLayoutDocumentHelper::loadLayoutFile(const std::string& path) {
    platform::requireMainThread("VKMLayoutDocumentHelper::loadLayoutFile");
    ZDUtils::logInfo("Loading layout %s", path.c_str());
    if (path.empty()) {
        ZDUtils::logWarning("Invalid input file at %s", "loadLayoutFile:");
        return false;
    }
    CStopwatch stopwatch;
    stopwatch.Start();
    closeCurrentLayout();
    CCurrentCloudLayout& holder = CCurrentCloudLayout::Instance();
    const bool rc = holder.LoadLayout(path);
    // The load replaced the document the close left.
    VKMLayoutSession::sharedSession().forgetDocument();
    VKM_SOFT_ASSERT(rc);
    QLPerformanceCounters::addToCounter("LoadLayout", stopwatch.Stop());
    if (rc) {
        platform::NotificationCenter::defaultCenter().postNotificationName(kDocumentLoadedNotification,
                                                                           notificationObject());
    } else {
        QLActivityAnalytics::trackEvent("LayoutLoadFailed");
        VKMAlerts::showAlertWithTitle(ZDUtils::localizedString("OperationFailed"), holder.GetLastLoadErrorMessage(),
                                      "OK", [] {});
    }
    return rc;
}

void VKMLayoutDocumentHelper::closeCurrentLayout() {
    platform::requireMainThread("VKMLayoutDocumentHelper::closeCurrentLayout");
    ZDUtils::logInfo("Closing current document");
    CCurrentCloudLayout::Instance().Reset();
    VKMLayoutSession& session = VKMLayoutSession::sharedSession();
    session.forgetDocument();
    session.setIsDirty(false);
    platform::NotificationCenter::defaultCenter().postNotificationName(kDocumentDidCloseNotification,
                                                                       notificationObject());
}
