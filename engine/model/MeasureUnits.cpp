#include "engine/model/MeasureUnits.h"

#include "engine/services/StringFormat.h"

#include "platform/foundation/Bundle.h"

#include <cstdarg>

namespace UMeasureUnits {

namespace {

struct Unit {
    double millimetersPerUnit;
    double unitsPerMillimeter;  // the reciprocal, kept as its own double
    const char* abbreviatedName;
    const char* fullName;
    const char* format;
};

// Types 1..6.
const Unit kUnits[] = {
    {1.0, 1.0, "mm", "mm", "%.1f %s"},
    {10.0, 0.1, "cm", "cm", "%.1f %s"},
    {1000.0, 0.001, "m", "Meter", "%.1f %s"},
    {25.4, 1.0 / 25.4, "\"", "Inch", "%.2f %s"},
    {304.8, 1.0 / 304.8, "ft", "Feet", "%.2f %s"},
    {914.4, 1.0 / 914.4, "yd", "Yard", "%.2f %s"},
};

const Unit* Find(int unitType) {
    if (unitType < kUnitTypeMillimeters || unitType > kUnitTypeYards) return nullptr;
    return &kUnits[unitType - kUnitTypeMillimeters];
}

constexpr const char* kUnsupported = "Unsupported Measure Unit!";


}  // namespace

double ConvertFromMillimeters(int unitType, double millimeters) {
    const Unit* unit = Find(unitType);
    return unit != nullptr ? millimeters / unit->millimetersPerUnit : millimeters;
}

double ConvertToMillimeters(int unitType, double value) {
    const Unit* unit = Find(unitType);
    return unit != nullptr ? value / unit->unitsPerMillimeter : value;
}

std::string GetUnitName(int unitType, bool abbreviated, const platform::Bundle* bundle) {
    const Unit* unit = Find(unitType);
    if (unit == nullptr) return kUnsupported;
    if (abbreviated && unitType == kUnitTypeInches) return unit->abbreviatedName;

    const std::string key = abbreviated ? unit->abbreviatedName : unit->fullName;
    std::string name = key;
    if (bundle != nullptr) {
        if (auto translation = bundle->localizedString(key, "Localizable")) name = std::move(*translation);
    }
    // Names live in 64-byte fields of the descriptions; one that does not fit
    // is dropped whole rather than cut.
    if (name.size() > 63) return {};
    return name;
}

std::string GetUnitName(int unitType, bool abbreviated) {
    return GetUnitName(unitType, abbreviated, platform::Bundle::main());
}

std::string FormatLength(int unitType, double millimeters) {
    const std::string name = GetUnitName(unitType, true);
    switch (unitType) {
        case kUnitTypeCentimeters:
        case kUnitTypeMeters:
        case kUnitTypeInches:
        case kUnitTypeFeet:
        case kUnitTypeYards:
            return FormatStringN(127, Find(unitType)->format, ConvertFromMillimeters(unitType, millimeters),
                                 name.c_str());
        default: return FormatStringN(127, "%.1f %s", millimeters, name.c_str());
    }
}

bool IsBaseTenUnit(int unitType) {
    return unitType == kUnitTypeMillimeters || unitType == kUnitTypeCentimeters || unitType == kUnitTypeMeters;
}

}  // namespace UMeasureUnits
