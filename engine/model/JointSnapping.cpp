#include "engine/model/JointSnapping.h"

#include <algorithm>
#include <cmath>

#include "engine/services/PreferencesService.h"

namespace UJointSnapping {

namespace {
constexpr double kMinSnapDistance = 3.0;
}  // namespace

bool AreAnglesOpposite(double a, double b) { return AreAnglesOpposite(a, b, GetAngleTolerance()); }

bool AreAnglesOpposite(double a, double b, double tolerance) {
    return std::fabs(std::remainder(a - (b + 180.0), 360.0)) < tolerance;
}

double GetAngleTolerance() { return UPreferences::GetInt("QLJointAngleTolerance") / 10.0; }

double GetSnapDistance(double size) {
    const double factor = UPreferences::GetInt("QLSnapAreaFactor") / 100.0;
    return std::max(size * 0.5 * factor, kMinSnapDistance);
}

}  // namespace UJointSnapping
