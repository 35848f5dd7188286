#include "engine/services/CFPreferences.h"

#include "platform/foundation/UserDefaults.h"

namespace UCFPreferences {

bool GetAppBooleanValue(const std::string& key, bool* valid) {
    const std::optional<bool> value = platform::UserDefaults::standard().boolValue(key);
    if (valid != nullptr) *valid = value.has_value();
    return value.value_or(false);
}

std::int32_t GetAppIntegerValue(const std::string& key, bool* valid) {
    const std::optional<std::int64_t> value = platform::UserDefaults::standard().integerValue(key);
    if (valid != nullptr) *valid = value.has_value();
    // Keeps the low 32 bits, as the platform's integer read does.
    return static_cast<std::int32_t>(value.value_or(0));
}

void SetAppBoolean(const std::string& key, bool value) { platform::UserDefaults::standard().setBool(key, value); }

void SetAppInt(const std::string& key, std::int32_t value) {
    platform::UserDefaults::standard().setInteger(key, value);
}

void SetAppDouble(const std::string& key, double value) { platform::UserDefaults::standard().setDouble(key, value); }

void SetAppString(const std::string& key, const std::string& value) {
    platform::UserDefaults::standard().setString(key, value);
}

bool AppSynchronize() { return platform::UserDefaults::standard().synchronize(); }

}  // namespace UCFPreferences
