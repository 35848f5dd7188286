#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"

#include "telemetry/TLMLogger.h"

#include <vector>

namespace {
// Kept in the app's own defaults, each key behind this prefix so the
// client's settings never meet the app's.
const char* const kKeyPrefix = "TLTelemetry";
}  // namespace

TLMTelemetryUserDefaults& TLMTelemetryUserDefaults::shared() {
    static TLMTelemetryUserDefaults instance;
    return instance;
}

TLMTelemetryUserDefaults::TLMTelemetryUserDefaults() : mDefaults(platform::UserDefaults::standard()) {}

std::string TLMTelemetryUserDefaults::getTelemetryKeyFrom(const std::string& key) { return kKeyPrefix + key; }

std::optional<platform::Value> TLMTelemetryUserDefaults::objectForKey(const std::string& key) const {
    return mDefaults.object(getTelemetryKeyFrom(key));
}

void TLMTelemetryUserDefaults::setObject(const platform::Value& value, const std::string& key) {
    mDefaults.setObject(getTelemetryKeyFrom(key), value);
    persist();
}

void TLMTelemetryUserDefaults::removeObjectForKey(const std::string& key) {
    mDefaults.removeObject(getTelemetryKeyFrom(key));
    persist();
}

bool TLMTelemetryUserDefaults::boolForKey(const std::string& key, bool fallback) const {
    return mDefaults.boolValue(getTelemetryKeyFrom(key)).value_or(fallback);
}

void TLMTelemetryUserDefaults::migrateKeys(const std::map<std::string, TLMUserDefaultsOldKey>& migratedKeys,
                                           const std::string& service) {
    const std::string marker = "310" + service + "UserDefaultsMigratedKey";
    if (objectForKey(marker)) return;
    TLMLogVerbose("Telemetry", "Migrating the old NSDefaults keys to new ones.");
    for (const auto& [newKey, oldKey] : migratedKeys) {
        if (const auto* key = std::get_if<std::string>(&oldKey)) {
            swapKeys(*key, newKey, mDefaults.object(*key));
            continue;
        }
        // The keys are taken first: swapping changes the defaults.
        const std::string& prefix = std::get<TLMUserDefaultsPrefixKey>(oldKey).keyPrefix();
        std::vector<std::string> matching;
        for (const auto& [key, value] : mDefaults.dictionaryRepresentation()) {
            if (key.rfind(prefix, 0) == 0) matching.push_back(key);
        }
        for (const std::string& key : matching) {
            swapKeys(key, newKey + key.substr(prefix.size()), mDefaults.object(key));
        }
    }
    setObject(platform::Value(true), marker);
}

void TLMTelemetryUserDefaults::swapKeys(const std::string& oldKey, const std::string& newKey,
                                        const std::optional<platform::Value>& value) {
    // Removing the old key would take the value just written with it.
    if (!value || oldKey == newKey) return;
    mDefaults.setObject(newKey, *value);
    mDefaults.removeObject(oldKey);
    persist();
    TLMLogVerbose("Telemetry", "Migrating key %s -> %s", oldKey.c_str(), newKey.c_str());
}

void TLMTelemetryUserDefaults::reload() { mDefaults.reload(); }

void TLMTelemetryUserDefaults::persist() {
    if (!mDefaults.synchronize()) {
        const std::string path = mDefaults.filePath().string();
        TLMLogError("Telemetry", "Could not write the telemetry settings to '%s'.", path.c_str());
    }
}
