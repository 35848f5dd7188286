#include "tests/SharingModule/support/SharingTestSupport.h"

#include "SharingModule/Model/QLCloudLayoutsCache.h"
#include "SharingModule/Model/QLPreviewImageCache.h"
#include "SharingModule/Model/QLProfileImageCache.h"
#include "SharingModule/Model/QLUserNameCache.h"
#include "SharingModule/Model/VKMCloudCaches.h"
#include "SharingModule/Model/VKMLayoutEntityCache.h"
#include "engine/services/ServiceLocator.h"
#include "platform/dispatch/MainThread.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/security/Keychain.h"
#include "tools/layoutgen/LayoutComposer.h"

namespace sharingtest {

void RecordedEvents::TrackEvent(const std::string& name, const tEventProperties& properties) {
    std::lock_guard lock(mMutex);
    mEvents.emplace_back(name, properties);
}

int RecordedEvents::cloudErrors(const std::string& request) const {
    std::lock_guard lock(mMutex);
    int count = 0;
    for (const auto& [name, properties] : mEvents) {
        auto it = properties.find("Request");
        if (name == "CloudAPIError" && it != properties.end() && it->second == request) ++count;
    }
    return count;
}

void RecordedEvents::forget() {
    std::lock_guard lock(mMutex);
    mEvents.clear();
}

void ForgetSharingState() {
    VKMCloudCaches::clearCloudCaches();
    // A read waits on each cache's queue, where its index is written.
    QLCloudLayoutsCache::sharedInstance().files().count();
    QLProfileImageCache::sharedInstance().files().count();
    QLPreviewImageCache::sharedInstance().files().count();
    VKMLayoutEntityCache::sharedInstance().removeAllObjects();
    QLUserNameCache::sharedInstance().forgetForTests();
    Events().forget();
}

RecordedEvents& Events() {
    static RecordedEvents* events = [] {
        auto* service = new RecordedEvents();
        CServiceLocator::Instance().RegisterService(service);
        return service;
    }();
    return *events;
}

NotificationRecorder::NotificationRecorder(const std::string& name) {
    mToken = platform::NotificationCenter::defaultCenter().addObserverForName(
        name, nullptr, [state = mState](const platform::Notification& notification) {
            std::lock_guard lock(state->mutex);
            state->posts.push_back({notification.userInfo(), platform::isMainThread()});
        });
}

std::vector<NotificationRecorder::Post> NotificationRecorder::posts() const {
    std::lock_guard lock(mState->mutex);
    return mState->posts;
}

std::size_t NotificationRecorder::count() const {
    std::lock_guard lock(mState->mutex);
    return mState->posts.size();
}

bool runMainUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    // What other threads change does not wake the loop: look again every few milliseconds.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!platform::RunLoop::main()->runUntil(done, 5ms)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
    }
    return true;
}

void runMainFor(std::chrono::milliseconds duration) {
    platform::RunLoop::main()->runUntil([] { return false; }, duration);
}

Bytes picture(int side, std::uint32_t seed) { return ULayoutGen::TinyPng(side, side, seed); }

void SharingServerTest::SetUp() {
    clock->setAutoAdvance(true);
    Events();
    blobs.start();
    sharing.start(blobs);
    user = std::make_shared<VKMSharedLayoutsUser>();
    client = std::make_shared<QLSharedLayoutsClient>(configuration(), user);
}

QLSharedLayoutsClient::Configuration SharingServerTest::configuration() const {
    QLSharedLayoutsClient::Configuration configuration;
    configuration.serviceURL = *platform::net::URL::parse(sharing.baseUrl());
    configuration.timeoutInterval = 2;
    configuration.blobMaximumExecutionTime = 20;
    configuration.maximumReplySize = 64 * 1024;
    configuration.maximumImageSize = 128 * 1024;
    configuration.maximumLayoutFileSize = 1024 * 1024;
    return configuration;
}

void SharingServerTest::signIn(const std::string& userId, const std::string& password) {
    platform::UserDefaults::standard().setString(VKMSharedLayoutsUser::kUserIDKey, userId);
    platform::UserDefaults::standard().setObject(VKMSharedLayoutsUser::kLastLogonTimestampKey,
                                                 platform::Value(clock->now()));
    const std::vector<std::uint8_t> secret(password.begin(), password.end());
    ASSERT_EQ(platform::security::Keychain().setItem(VKMSharedLayoutsUser::kKeychainService, userId, secret),
              platform::security::Keychain::Status::Success);
}

}  // namespace sharingtest
