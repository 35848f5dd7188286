#pragma once
// The engine's thin layer over the application's persisted preferences
// (the standard user defaults of the current application).

#include <cstdint>
#include <string>

namespace UCFPreferences {

// The stored value read as a bool; `valid` (when given) tells whether the
// key held a usable value. false when it did not.
bool GetAppBooleanValue(const std::string& key, bool* valid);
// The stored value read as an integer, cut to 32 bits; 0 and `valid` false
// when the key held no usable value.
std::int32_t GetAppIntegerValue(const std::string& key, bool* valid);

void SetAppBoolean(const std::string& key, bool value);
void SetAppInt(const std::string& key, std::int32_t value);
void SetAppDouble(const std::string& key, double value);
// Stored as UTF-8 text.
void SetAppString(const std::string& key, const std::string& value);

// Writes the preferences to disk; false when that failed.
bool AppSynchronize();

}  // namespace UCFPreferences
