#include "SharingModule/Model/VKMLayoutEntityCache.h"

VKMLayoutEntityCache& VKMLayoutEntityCache::sharedInstance() {
    static VKMLayoutEntityCache cache;
    return cache;
}

std::shared_ptr<const QLLayoutEntity> VKMLayoutEntityCache::objectForKey(const std::string& layoutId) const {
    std::lock_guard lock(mMutex);
    auto it = mEntities.find(layoutId);
    return it == mEntities.end() ? nullptr : it->second;
}

void VKMLayoutEntityCache::setObject(std::shared_ptr<const QLLayoutEntity> entity, const std::string& layoutId) {
    std::lock_guard lock(mMutex);
    if (entity) {
        mEntities[layoutId] = std::move(entity);
    } else {
        mEntities.erase(layoutId);
    }
}

void VKMLayoutEntityCache::removeAllObjects() {
    std::lock_guard lock(mMutex);
    mEntities.clear();
}
