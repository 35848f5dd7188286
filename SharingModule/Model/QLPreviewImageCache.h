#pragma once
// The layouts' preview pictures from the container "layouts", by cloud
// layout identifier, under the caches folder ("LayoutPreviews"). A preview
// that arrives posts "QLPreviewImageCacheUpdatedNotification" on the main
// queue with the layout identifier under "QLPreviewImageCacheUpdatedIdKey".

#include "SharingModule/Model/QLBlobImageCache.h"
#include "SharingModule/Model/QLLayoutEntity.h"

class QLPreviewImageCache : public QLBlobImageCache {
public:
    static constexpr const char* kUpdatedNotification = "QLPreviewImageCacheUpdatedNotification";
    static constexpr const char* kUpdatedIdKey = "QLPreviewImageCacheUpdatedIdKey";

    static QLPreviewImageCache& sharedInstance();
    QLPreviewImageCache(std::filesystem::path folder, std::filesystem::path indexFile);

    std::shared_ptr<platform::Image> previewImageForLayoutId(const std::string& layoutId) {
        return imageForKey(layoutId);
    }
    // The entity's preview blob ("previewBlobName").
    void requestPreviewImageForLayout(const QLLayoutEntity& entity,
                                      std::shared_ptr<QLSharedLayoutsClient> sharedLayoutsClient) {
        requestImage(entity.layoutId(), entity.previewBlobName(), std::move(sharedLayoutsClient));
    }
};
