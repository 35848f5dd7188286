#pragma once
// An error value: a domain, a code and user info. User info holds any
// copyable value (texts, numbers, nested errors, response objects); readers
// ask for the type they expect.

#include <any>
#include <map>
#include <string>

namespace platform {

class Error {
public:
    using UserInfo = std::map<std::string, std::any>;

    // The user-info key of a human-readable reason.
    static constexpr const char* LocalizedDescriptionKey = "LocalizedDescription";
    // The user-info key of the error that caused this one (an Error).
    static constexpr const char* UnderlyingErrorKey = "UnderlyingError";

    Error(std::string domain, long code, UserInfo userInfo = {})
        : mDomain(std::move(domain)), mCode(code), mUserInfo(std::move(userInfo)) {}

    const std::string& domain() const { return mDomain; }
    long code() const { return mCode; }
    const UserInfo& userInfo() const { return mUserInfo; }
    UserInfo& userInfo() { return mUserInfo; }

    // The entry under `key` when it holds a T, else nullptr.
    template <typename T>
    const T* userInfoValue(const std::string& key) const {
        auto it = mUserInfo.find(key);
        return it == mUserInfo.end() ? nullptr : std::any_cast<T>(&it->second);
    }
    template <typename T>
    T* userInfoValue(const std::string& key) {
        auto it = mUserInfo.find(key);
        return it == mUserInfo.end() ? nullptr : std::any_cast<T>(&it->second);
    }
    bool hasUserInfo(const std::string& key) const { return mUserInfo.count(key) != 0; }

    // The reason under LocalizedDescriptionKey, else "<domain> error <code>".
    std::string localizedDescription() const;

private:
    std::string mDomain;
    long mCode;
    UserInfo mUserInfo;
};

// The domain of the C library's errors; the code is the errno value.
inline constexpr const char* POSIXErrorDomain = "POSIX";

}  // namespace platform
