#include "SharingModule/Model/VKMSharedLayoutsUser.h"

#include "engine/services/ZDUtils.h"

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
