#pragma once
// The users' profile pictures from the container "profilepictures", by user
// identifier, under the caches folder ("ProfileImages"). A picture that
// arrives posts "QLProfileImageCacheUpdatedNotification" on the main queue
// with the user identifier under "QLProfileImageCacheUpdatedIdKey".

#include "SharingModule/Model/QLBlobImageCache.h"

class QLProfileImageCache : public QLBlobImageCache {
public:
    static constexpr const char* kUpdatedNotification = "QLProfileImageCacheUpdatedNotification";
    static constexpr const char* kUpdatedIdKey = "QLProfileImageCacheUpdatedIdKey";

    static QLProfileImageCache& sharedInstance();
    QLProfileImageCache(std::filesystem::path folder, std::filesystem::path indexFile);

    std::shared_ptr<platform::Image> profileImageForUserId(const std::string& userId) { return imageForKey(userId); }
    void requestProfileImageForUserId(const std::string& userId, const std::string& blobName,
                                      std::shared_ptr<QLSharedLayoutsClient> sharedLayoutsClient) {
        requestImage(userId, blobName, std::move(sharedLayoutsClient));
    }
};
