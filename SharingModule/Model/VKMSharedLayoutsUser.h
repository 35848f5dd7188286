#pragma once
// The signed-in user of the sharing service: the identifier and the time
// of the last log-on in the user defaults ("VKMSharingUserID",
// "VKMSharingUserLastLogonTimestamp"), the password in the keychain
// (service "VKMSharedLayoutsAPI", account the user identifier).
// Every read goes to the defaults and the keychain, so several objects
// agree; thread-safe as those are.

#include "platform/foundation/UserDefaults.h"
#include "platform/security/Keychain.h"

#include <chrono>
#include <optional>
#include <string>

class VKMSharedLayoutsUser {
public:
    static constexpr const char* kUserIDKey = "VKMSharingUserID";
    static constexpr const char* kLastLogonTimestampKey = "VKMSharingUserLastLogonTimestamp";
    static constexpr const char* kKeychainService = "VKMSharedLayoutsAPI";
    static constexpr const char* kLoggedInNotification = "QLSharedLayoutsUserLoggedInNotification";
    static constexpr const char* kLoggedOutNotification = "QLSharedLayoutsUserLoggedOutNotification";

    // The app's standard defaults and keychain.
    VKMSharedLayoutsUser();
    VKMSharedLayoutsUser(platform::UserDefaults& defaults, platform::security::Keychain keychain);

    // Nothing when never stored; the empty text after sign-out.
    std::optional<std::string> userID() const;
    // The last log-on, when a date is stored.
    std::optional<std::chrono::system_clock::time_point> lastLogonTimestamp() const;
    // The stored password of the current user; nothing without one.
    std::optional<std::string> password() const;
    // True when both the stored identifier and its password are non-empty.
    bool hasValidUserCredentials() const;

    // Stores the credentials the user signed in with (the password first, so
    // the identifier never stands beside another user's password), drops a
    // previous user's password, dates the log-on with Clock::shared() and
    // posts kLoggedInNotification with this object. An empty identifier or
    // password, or a keychain that cannot be written, changes nothing and
    // gives false.
    bool signIn(const std::string& userId, const std::string& password);

    // Signs the user out here: the empty text under both defaults, and the
    // password of the user that was signed in leaves the keychain. Posts
    // nothing (the caller posts "QLSharedLayoutsUserLoggedOutNotification").
    void clearCurrentUserID();

private:
    platform::UserDefaults& mDefaults;
    platform::security::Keychain mKeychain;
};
