#include "SharingModule/Model/VKMCloudCaches.h"

#include "SharingModule/Model/QLCloudLayoutsCache.h"
#include "SharingModule/Model/QLPreviewImageCache.h"
#include "SharingModule/Model/QLProfileImageCache.h"
#include "SharingModule/Model/QLUserNameCache.h"
#include "engine/services/ZDUtils.h"
#include "platform/dispatch/Clock.h"

void VKMCloudCaches::clearCloudCaches() {
    ZDUtils::logInfo("Clearing the user-name cache");
    QLUserNameCache::sharedInstance().clear();
    ZDUtils::logInfo("Clearing the cloud layouts cache");
    QLCloudLayoutsCache::sharedInstance().clear();
    ZDUtils::logInfo("Clearing the profile-image cache");
    QLProfileImageCache::sharedInstance().clear();
    ZDUtils::logInfo("Clearing the preview-image cache");
    QLPreviewImageCache::sharedInstance().clear();
}

void VKMCloudCaches::removeObsoleteCachedFiles() {
    ZDUtils::logInfo("Removing obsolete cached files older %d days", kObsoleteFileAgeDays);
    const auto cutoff = platform::Clock::shared()->now() - std::chrono::hours(24 * kObsoleteFileAgeDays);
    QLCloudLayoutsCache::sharedInstance().files().removeFilesOlderThan(cutoff);
    QLProfileImageCache::sharedInstance().removeFilesOlderThan(cutoff);
    QLPreviewImageCache::sharedInstance().removeFilesOlderThan(cutoff);
}
