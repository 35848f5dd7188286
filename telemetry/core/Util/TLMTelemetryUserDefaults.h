#pragma once
// The one door to the telemetry client's small persisted settings, kept in
// the app's standard defaults with every key behind the prefix "TLTelemetry",
// apart from the app's own settings. Settings that earlier releases kept
// under other keys are moved to the new ones once per service.
// Every write is persisted at once, so a setting survives a restart.
// Thread-safe.

#include "platform/foundation/UserDefaults.h"

#include <map>
#include <optional>
#include <string>
#include <variant>

// A whole family of old keys, named by their common prefix.
class TLMUserDefaultsPrefixKey {
public:
    explicit TLMUserDefaultsPrefixKey(std::string keyPrefix) : mKeyPrefix(std::move(keyPrefix)) {}
    const std::string& keyPrefix() const { return mKeyPrefix; }

private:
    std::string mKeyPrefix;
};

// The old stored key of a setting, or the prefix of a family of them.
using TLMUserDefaultsOldKey = std::variant<std::string, TLMUserDefaultsPrefixKey>;

class TLMTelemetryUserDefaults {
public:
    static TLMTelemetryUserDefaults& shared();

    // "TLTelemetry" followed by the key.
    static std::string getTelemetryKeyFrom(const std::string& key);

    std::optional<platform::Value> objectForKey(const std::string& key) const;
    // Stores and writes the suite's file; a failed write is logged and the
    // value stays in memory for this run.
    void setObject(const platform::Value& value, const std::string& key);
    void removeObjectForKey(const std::string& key);

    // The boolean under the key; `fallback` when nothing usable is stored.
    bool boolForKey(const std::string& key, bool fallback) const;

    // Once per service (its marker "310<service>UserDefaultsMigratedKey"
    // is set afterwards, even when nothing was found): moves each old
    // stored key to its new stored key, and for a prefix every stored key
    // that begins with it to the new key followed by the rest of the old
    // one. Keys of the map are the new stored keys.
    void migrateKeys(const std::map<std::string, TLMUserDefaultsOldKey>& migratedKeys, const std::string& service);
    // Writes the value under the new stored key and removes the old one;
    // nothing without a value or when both keys are the same.
    void swapKeys(const std::string& oldKey, const std::string& newKey, const std::optional<platform::Value>& value);

    // Reads the suite's file again, as a restart would.
    void reload();

private:
    TLMTelemetryUserDefaults();
    void persist();

    platform::UserDefaults& mDefaults;
};
