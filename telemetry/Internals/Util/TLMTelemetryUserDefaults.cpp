#include "telemetry/Internals/Util/TLMTelemetryUserDefaults.h"

#include "telemetry/TLMLogger.h"

namespace {
// Kept in the app's own defaults, each key behind this prefix so the
// client's settings never meet the app's.
const char* const kKeyPrefix = "TLTelemetry";

std::string StoredKey(const std::string& key) { return kKeyPrefix + key; }
}  // namespace

TLMTelemetryUserDefaults& TLMTelemetryUserDefaults::shared() {
    static TLMTelemetryUserDefaults instance;
    return instance;
}

TLMTelemetryUserDefaults::TLMTelemetryUserDefaults() : mDefaults(platform::UserDefaults::standard()) {}

std::optional<platform::Value> TLMTelemetryUserDefaults::objectForKey(const std::string& key) const {
    return mDefaults.object(StoredKey(key));
}

void TLMTelemetryUserDefaults::setObject(const platform::Value& value, const std::string& key) {
    mDefaults.setObject(StoredKey(key), value);
    persist();
}

void TLMTelemetryUserDefaults::removeObjectForKey(const std::string& key) {
    mDefaults.removeObject(StoredKey(key));
    persist();
}

bool TLMTelemetryUserDefaults::boolForKey(const std::string& key, bool fallback) const {
    return mDefaults.boolValue(StoredKey(key)).value_or(fallback);
}

void TLMTelemetryUserDefaults::reload() { mDefaults.reload(); }

void TLMTelemetryUserDefaults::persist() {
    if (!mDefaults.synchronize()) {
        const std::string path = mDefaults.filePath().string();
        TLMLogError("Telemetry", "Could not write the telemetry settings to '%s'.", path.c_str());
    }
}
