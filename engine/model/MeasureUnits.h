#pragma once
// The length units the user can choose. Engine lengths are millimetres;
// units matter only for what is shown. UMeasureUnits::GetUnitType (the
// "QLUnits" preference) comes with the preferences service.

#include "engine/services/PreferencesService.h"

#include <string>

namespace platform {
class Bundle;
}

namespace UMeasureUnits {

constexpr int kUnitTypeMillimeters = 1;
constexpr int kUnitTypeCentimeters = 2;
constexpr int kUnitTypeMeters = 3;
constexpr int kUnitTypeInches = 4;
constexpr int kUnitTypeFeet = 5;
constexpr int kUnitTypeYards = 6;

// Unknown unit types leave the number unchanged.
double ConvertFromMillimeters(int unitType, double millimeters);
double ConvertToMillimeters(int unitType, double value);

// The unit's name ("cm", "Meter", ...) translated by the main bundle's
// "Localizable" table, the English text when there is no translation. The
// inch mark is never translated; an unknown type gives
// "Unsupported Measure Unit!"; a translation over 63 UTF-8 bytes gives "".
std::string GetUnitName(int unitType, bool abbreviated);
// The same with the given bundle's table (null: no translations).
std::string GetUnitName(int unitType, bool abbreviated, const platform::Bundle* bundle);

// "1.2 m", "1.00 \"": the converted value and the abbreviated name, at most
// 127 bytes. Millimetres and unknown types show the millimetre value.
std::string FormatLength(int unitType, double millimeters);

// Millimetres, centimetres and metres.
bool IsBaseTenUnit(int unitType);

}  // namespace UMeasureUnits
