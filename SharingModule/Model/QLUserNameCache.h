#pragma once
// The names of the service's users by identifier, asked of the service
// once and kept in a property list under the caches folder
// ("UserNames.plist"). When a name arrives, the cache posts
// "QLUserNameCacheUpdatedNotification" on the main queue with the user
// identifier under "QLUserNameCacheUpdatedIdKey". Thread-safe; the names
// live on the cache's serial queue.

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Value.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <map>
#include <string>

class QLSharedLayoutsClient;

class QLUserNameCache {
public:
    static constexpr const char* kUpdatedNotification = "QLUserNameCacheUpdatedNotification";
    static constexpr const char* kUpdatedIdKey = "QLUserNameCacheUpdatedIdKey";

    static QLUserNameCache& sharedInstance();
    explicit QLUserNameCache(std::filesystem::path file);

    std::optional<std::string> userNameForUserId(const std::string& userId);
    // Asks the service for the user's summary and keeps its "userName";
    // nothing while the same user's name was asked for in the last minute
    // (a failed request calls nothing back, so it is asked again after that).
    void requestUserNameForUserId(const std::string& userId, std::shared_ptr<QLSharedLayoutsClient> client);
    void clear();
    // Forgets the names in memory and that the file was read: the next use
    // reads it, as in a new process. For tests that run one after another
    // in a process.
    void forgetForTests();

private:
    void loadLocked();
    void store(const std::string& userId, const std::string& name);

    std::filesystem::path mFile;
    // On the queue only.
    bool mLoaded = false;
    platform::Value::Dictionary mNames;
    std::map<std::string, platform::Clock::Instant> mRequested;
    platform::DispatchQueue mQueue;
};
