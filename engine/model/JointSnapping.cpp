#include "engine/model/JointSnapping.h"

#include <algorithm>
#include <cmath>

#include "engine/services/PreferencesService.h"

namespace UJointSnapping {

namespace {
constexpr double kMinSnapDistance = 3.0;
}  // namespace

bool AreAnglesOpposite(double a, double b) {
    const double tolerance = UPreferences::GetInt("QLJointAngleTolerance") / 10.0;
    return std::fabs(std::remainder(a - (b + 180.0), 360.0)) < tolerance;
}

double GetSnapDistance(double size) {
    const double factor = UPreferences::GetInt("QLSnapAreaFactor") / 100.0;
    return std::max(size * 0.5 * factor, kMinSnapDistance);
}

}  // namespace UJointSnapping
