#pragma once
// The layout entities fetched in this run, by cloud layout identifier.
// In memory only; thread-safe.

#include "SharingModule/Model/QLLayoutEntity.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

class VKMLayoutEntityCache {
public:
    static VKMLayoutEntityCache& sharedInstance();

    // The cached entity, or nullptr.
    std::shared_ptr<const QLLayoutEntity> objectForKey(const std::string& layoutId) const;
    void setObject(std::shared_ptr<const QLLayoutEntity> entity, const std::string& layoutId);
    void removeAllObjects();

private:
    mutable std::mutex mMutex;
    std::map<std::string, std::shared_ptr<const QLLayoutEntity>> mEntities;
};
