#include "SharingModule/Model/QLUserNameCache.h"

#include "SharingModule/Model/QLSharedLayoutsClient.h"
#include "engine/services/ZDUtils.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Paths.h"

#include <fstream>
#include <iterator>

namespace {

constexpr std::uintmax_t kMaximumFileSize = 16 * 1024 * 1024;
constexpr std::chrono::minutes kRequestInterval{1};

}  // namespace

QLUserNameCache& QLUserNameCache::sharedInstance() {
    static QLUserNameCache cache(platform::Paths::caches() / "UserNames.plist");
    return cache;
}

QLUserNameCache::QLUserNameCache(std::filesystem::path file)
    : mFile(std::move(file)), mQueue("com.vekmont.sharing.user-names") {}

void QLUserNameCache::loadLocked() {
    if (mLoaded) return;
    mLoaded = true;
    std::error_code error;
    if (std::filesystem::file_size(mFile, error) > kMaximumFileSize || error) return;
    std::ifstream in(mFile, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto stored = platform::Value::fromStoredForm(text);
    if (!stored || !stored->isDictionary()) {
        ZDUtils::logWarning("The user-name cache %s is damaged; starting empty", mFile.c_str());
        return;
    }
    for (const auto& [id, name] : *stored->asDictionary()) {
        if (name.isString()) mNames.emplace(id, name);
    }
}

std::optional<std::string> QLUserNameCache::userNameForUserId(const std::string& userId) {
    std::optional<std::string> name;
    mQueue.sync([&] {
        loadLocked();
        auto it = mNames.find(userId);
        if (it != mNames.end()) name = *it->second.asString();
    });
    return name;
}

void QLUserNameCache::requestUserNameForUserId(const std::string& userId,
                                               std::shared_ptr<QLSharedLayoutsClient> client) {
    if (!client) return;
    bool ask = false;
    mQueue.sync([&] {
        const auto now = platform::Clock::shared()->instant();
        auto [it, added] = mRequested.emplace(userId, now);
        ask = added || now - it->second >= kRequestInterval;
        it->second = now;
    });
    if (!ask) return;
    client->summaryForUser(userId, [this, userId](const platform::Value& summary) {
        const platform::Value* name = summary.find("userName");
        if (name == nullptr || !name->isString() || name->asString()->empty()) {
            mQueue.sync([&] { mRequested.erase(userId); });
            return;
        }
        store(userId, *name->asString());
        // The summary arrives on the main queue.
        platform::NotificationCenter::defaultCenter().postNotificationName(
            kUpdatedNotification, this, platform::Value::Dictionary{{kUpdatedIdKey, userId}});
    });
}

void QLUserNameCache::store(const std::string& userId, const std::string& name) {
    mQueue.sync([&] {
        loadLocked();
        mNames[userId] = name;
        mRequested.erase(userId);
        std::error_code ignored;
        std::filesystem::create_directories(mFile.parent_path(), ignored);
        if (!platform::writeFileAtomically(mFile, platform::Value(mNames).toStoredForm())) {
            ZDUtils::logWarning("The user-name cache %s could not be written", mFile.c_str());
        }
    });
}

void QLUserNameCache::forgetForTests() {
    mQueue.sync([&] {
        mLoaded = false;
        mNames.clear();
        mRequested.clear();
    });
}

void QLUserNameCache::clear() {
    mQueue.sync([&] {
        mLoaded = true;
        mNames.clear();
        mRequested.clear();
        std::error_code ignored;
        std::filesystem::remove(mFile, ignored);
    });
}
