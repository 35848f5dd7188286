#include "SharingModule/Model/VKMCurrentCloudLayout.h"

#include "SharingModule/Model/QLUserNameCache.h"
#include "SharingModule/Model/VKMLayoutEntityCache.h"
#include "SharingModule/Model/VKMSharedLayouts.h"

#include <mutex>

namespace {

std::mutex& providerMutex() {
    static std::mutex mutex;
    return mutex;
}

VKMCurrentCloudLayout::LayoutIdProvider& provider() {
    static VKMCurrentCloudLayout::LayoutIdProvider provider;
    return provider;
}

}  // namespace

void VKMCurrentCloudLayout::setCloudLayoutIdProvider(LayoutIdProvider newProvider) {
    std::lock_guard lock(providerMutex());
    provider() = std::move(newProvider);
}

std::shared_ptr<const QLLayoutEntity> VKMCurrentCloudLayout::layoutEntity() {
    LayoutIdProvider current;
    {
        std::lock_guard lock(providerMutex());
        current = provider();
    }
    const auto layoutId = current ? current() : std::nullopt;
    if (!layoutId || layoutId->empty()) return nullptr;
    return VKMLayoutEntityCache::sharedInstance().objectForKey(*layoutId);
}

std::string VKMCurrentCloudLayout::title() {
    auto entity = layoutEntity();
    return entity ? entity->title() : std::string();
}

std::optional<std::string> VKMCurrentCloudLayout::author() {
    auto entity = layoutEntity();
    if (!entity || entity->author().empty()) return std::nullopt;
    return QLUserNameCache::sharedInstance().userNameForUserId(entity->author());
}

bool VKMCurrentCloudLayout::likedByCurrentUser() {
    auto entity = layoutEntity();
    if (!entity) return false;
    const auto user = VKMSharedLayouts::sharedLayoutsUser()->userID();
    return user && entity->isLikedByUser(*user);
}
