#pragma once
// The two joint-snapping settings: when two joint angles face each other,
// and how close a joint must come to another to snap to it. Both read the
// preferences service.

namespace UJointSnapping {

// |remainder(a - (b + 180), 360)| below the preference
// "QLJointAngleTolerance" (tenths of a degree) / 10. Angles in degrees.
bool AreAnglesOpposite(double a, double b);
// The same against a tolerance in degrees read once (GetAngleTolerance), for
// callers that compare many pairs.
bool AreAnglesOpposite(double a, double b, double tolerance);
// "QLJointAngleTolerance" / 10, in degrees.
double GetAngleTolerance();

// size x 0.5 x ("QLSnapAreaFactor" / 100), but at least 3.0.
double GetSnapDistance(double size);

}  // namespace UJointSnapping
