#include "app/Utilities/Units/QLDefaults.h"

#include "engine/model/MeasureUnits.h"
#include "engine/services/PreferencesService.h"

bool QLDefaults::booleanValue(const std::string& key) { return UPreferences::GetBool(key); }
void QLDefaults::setBoolean(bool value, const std::string& key) { UPreferences::SetBool(key, value); }
int QLDefaults::intValue(const std::string& key) { return UPreferences::GetInt(key); }
void QLDefaults::setInt(int value, const std::string& key) { UPreferences::SetInt(key, value); }
double QLDefaults::doubleValue(const std::string& key) { return UPreferences::GetDouble(key); }
void QLDefaults::setDouble(double value, const std::string& key) { UPreferences::SetDouble(key, value); }
std::string QLDefaults::stringValue(const std::string& key) { return UPreferences::GetString(key); }
void QLDefaults::setString(const std::string& value, const std::string& key) { UPreferences::SetString(key, value); }
int QLDefaults::unitType() { return UMeasureUnits::GetUnitType(); }
bool QLDefaults::unitTypeIsBaseTen() { return UMeasureUnits::IsBaseTenUnit(unitType()); }
