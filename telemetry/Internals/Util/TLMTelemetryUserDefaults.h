#pragma once
// The one door to the telemetry client's small persisted settings, kept in
// the app's standard defaults with every key behind the prefix "TLTelemetry",
// apart from the app's own settings.
// Every write is persisted at once, so a setting survives a restart.
// Thread-safe.

#include "platform/foundation/UserDefaults.h"

#include <optional>
#include <string>

class TLMTelemetryUserDefaults {
public:
    static TLMTelemetryUserDefaults& shared();

    std::optional<platform::Value> objectForKey(const std::string& key) const;
    // Stores and writes the suite's file; a failed write is logged and the
    // value stays in memory for this run.
    void setObject(const platform::Value& value, const std::string& key);
    void removeObjectForKey(const std::string& key);

    // The boolean under the key; `fallback` when nothing usable is stored.
    bool boolForKey(const std::string& key, bool fallback) const;

    // Reads the suite's file again, as a restart would.
    void reload();

private:
    TLMTelemetryUserDefaults();
    void persist();

    platform::UserDefaults& mDefaults;
};
