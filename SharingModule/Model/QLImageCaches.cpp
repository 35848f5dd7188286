#include "SharingModule/Model/QLPreviewImageCache.h"
#include "SharingModule/Model/QLProfileImageCache.h"
#include "SharingModule/Model/QLSharedLayoutsClient.h"
#include "platform/foundation/Paths.h"

QLProfileImageCache& QLProfileImageCache::sharedInstance() {
    static QLProfileImageCache cache(platform::Paths::caches() / "ProfileImages",
                                     platform::Paths::caches() / "ProfileImages.plist");
    return cache;
}

QLProfileImageCache::QLProfileImageCache(std::filesystem::path folder, std::filesystem::path indexFile)
    : QLBlobImageCache({"com.vekmont.sharing.profile-images", "ProfileImage",
                        QLSharedLayoutsClient::kProfilePicturesContainer, std::move(folder), std::move(indexFile),
                        kUpdatedNotification, kUpdatedIdKey}) {}

QLPreviewImageCache& QLPreviewImageCache::sharedInstance() {
    static QLPreviewImageCache cache(platform::Paths::caches() / "LayoutPreviews",
                                     platform::Paths::caches() / "LayoutPreviews.plist");
    return cache;
}

QLPreviewImageCache::QLPreviewImageCache(std::filesystem::path folder, std::filesystem::path indexFile)
    : QLBlobImageCache({"com.vekmont.sharing.previews", "PreviewImage", QLSharedLayoutsClient::kLayoutsContainer,
                        std::move(folder), std::move(indexFile), kUpdatedNotification, kUpdatedIdKey}) {}
