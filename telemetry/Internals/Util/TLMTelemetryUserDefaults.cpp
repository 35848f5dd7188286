#include "telemetry/Internals/Util/TLMTelemetryUserDefaults.h"

#include "telemetry/TLMLogger.h"

namespace {
const char* const kSuiteName = "TLTelemetry";
}

TLMTelemetryUserDefaults& TLMTelemetryUserDefaults::shared() {
    static TLMTelemetryUserDefaults instance;
    return instance;
}

TLMTelemetryUserDefaults::TLMTelemetryUserDefaults() : mDefaults(kSuiteName) {}

std::optional<platform::Value> TLMTelemetryUserDefaults::objectForKey(const std::string& key) const {
    return mDefaults.object(key);
}

void TLMTelemetryUserDefaults::setObject(const platform::Value& value, const std::string& key) {
    mDefaults.setObject(key, value);
    persist();
}

void TLMTelemetryUserDefaults::removeObjectForKey(const std::string& key) {
    mDefaults.removeObject(key);
    persist();
}

bool TLMTelemetryUserDefaults::boolForKey(const std::string& key, bool fallback) const {
    return mDefaults.boolValue(key).value_or(fallback);
}

void TLMTelemetryUserDefaults::reload() { mDefaults.reload(); }

void TLMTelemetryUserDefaults::persist() {
    if (!mDefaults.synchronize()) {
        const std::string path = mDefaults.filePath().string();
        TLMLogError("Telemetry", "Could not write the telemetry settings to '%s'.", path.c_str());
    }
}
