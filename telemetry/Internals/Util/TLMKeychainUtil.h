#pragma once
// The telemetry client's strings in the platform keychain: generic-password
// items of one service (the app's identifier followed by ".Telemetry"), one
// item per key name, holding the UTF-8 bytes of the string. Failures are
// logged with the keychain's status code. Thread-safe.

#include <cstdint>
#include <optional>
#include <string>

class TLMKeychainUtil {
public:
    // The keychain's status codes: 0 success, -25299 a duplicate item,
    // -25300 no such item, others for a keychain that cannot be used.
    using OSStatus = std::int32_t;
    static constexpr OSStatus kStatusSuccess = 0;
    static constexpr OSStatus kStatusDuplicateItem = -25299;
    static constexpr OSStatus kStatusItemNotFound = -25300;

    // Adds the item, replacing one stored under the key before.
    static bool storeString(const std::string& string, const std::string& key, const std::string& serviceName);
    static bool storeString(const std::string& string, const std::string& key);

    // The string, or none (also for bytes that are not UTF-8); the status
    // goes to `statusCode` when given.
    static std::optional<std::string> stringForKey(const std::string& key, const std::string& serviceName,
                                                   OSStatus* statusCode);
    static std::optional<std::string> stringForKey(const std::string& key, OSStatus* statusCode);

    // The string that was deleted, or none when there was none or the
    // deletion failed.
    static std::optional<std::string> deleteStringForKey(const std::string& key, const std::string& serviceName);
    static std::optional<std::string> deleteStringForKey(const std::string& key);

    // Deletes every item of the default service.
    static bool clear();

    // "<app identifier>.Telemetry".
    static const std::string& defaultServiceName();
};
