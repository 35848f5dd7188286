#include "SharingModule/Model/VKMSharedLayoutsUser.h"

#include "engine/services/ZDUtils.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/NotificationCenter.h"

VKMSharedLayoutsUser::VKMSharedLayoutsUser()
    : VKMSharedLayoutsUser(platform::UserDefaults::standard(), platform::security::Keychain()) {}

VKMSharedLayoutsUser::VKMSharedLayoutsUser(platform::UserDefaults& defaults, platform::security::Keychain keychain)
    : mDefaults(defaults), mKeychain(std::move(keychain)) {}

std::optional<std::string> VKMSharedLayoutsUser::userID() const {
    auto value = mDefaults.object(kUserIDKey);
    if (!value || !value->isString()) return std::nullopt;
    return *value->asString();
}

std::optional<std::chrono::system_clock::time_point> VKMSharedLayoutsUser::lastLogonTimestamp() const {
    auto value = mDefaults.object(kLastLogonTimestampKey);
    if (!value || value->asDate() == nullptr) return std::nullopt;
    return *value->asDate();
}

std::optional<std::string> VKMSharedLayoutsUser::password() const {
    const auto user = userID();
    if (!user || user->empty()) return std::nullopt;
    platform::security::Keychain::Bytes bytes;
    if (mKeychain.copyItem(kKeychainService, *user, bytes) != platform::security::Keychain::Status::Success) {
        return std::nullopt;
    }
    return std::string(bytes.begin(), bytes.end());
}

bool VKMSharedLayoutsUser::hasValidUserCredentials() const {
    const auto secret = password();
    return secret && !secret->empty();
}

bool VKMSharedLayoutsUser::signIn(const std::string& userId, const std::string& password) {
    if (userId.empty() || password.empty()) {
        ZDUtils::logWarning("Sign-in refused: user identifier or password missing");
        return false;
    }
    const platform::security::Keychain::Bytes secret(password.begin(), password.end());
    const auto status = mKeychain.setItem(kKeychainService, userId, secret);
    if (status != platform::security::Keychain::Status::Success) {
        ZDUtils::logWarning("The password of '%s' could not be stored (%d)", userId.c_str(), static_cast<int>(status));
        return false;
    }
    if (const auto previous = userID(); previous && !previous->empty() && *previous != userId) {
        (void)mKeychain.deleteItem(kKeychainService, *previous);
    }
    mDefaults.setString(kUserIDKey, userId);
    mDefaults.setObject(kLastLogonTimestampKey, platform::Value(platform::Clock::shared()->now()));
    mDefaults.synchronize();
    ZDUtils::logInfo("User '%s' signed in", userId.c_str());
    platform::NotificationCenter::defaultCenter().postNotificationName(kLoggedInNotification, this);
    return true;
}

void VKMSharedLayoutsUser::clearCurrentUserID() {
    if (const auto user = userID(); user && !user->empty()) {
        const auto status = mKeychain.deleteItem(kKeychainService, *user);
        if (status != platform::security::Keychain::Status::Success &&
            status != platform::security::Keychain::Status::ItemNotFound) {
            ZDUtils::logWarning("The signed-out user's password could not be removed (%d)", static_cast<int>(status));
        }
    }
    mDefaults.setString(kUserIDKey, "");
    mDefaults.setString(kLastLogonTimestampKey, "");
    mDefaults.synchronize();
}
