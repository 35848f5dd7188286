#pragma once
// The values an animated property takes: a number ("opacity", "strokeEnd",
// "transform.rotation.z"), a point ("position"), a size ("shadowOffset",
// "bounds.size"), a rectangle ("bounds"), a colour ("backgroundColor"), a
// transform ("transform") or a path ("path", "shadowPath").
//
// Interpolation goes component by component; a transform that comes apart
// (TransformParts) goes by its parts, so a turn stays a turn; paths of the
// same elements go point by point. Values that cannot be blended (two kinds,
// paths of different elements) switch at the half-way mark.

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Path.h"
#include "platform/ui/core/Transform3D.h"

#include <optional>
#include <variant>

namespace platform::ui {

using AnimationValue = std::variant<double, Point, Size, Rect, Color, Transform3D, Path>;

// The value a fraction `f` of the way from `from` to `to` (f may leave 0 to
// 1, for overshooting curves).
AnimationValue interpolate(const AnimationValue& from, const AnimationValue& to, double f);

// `value` plus `by` (transforms: `value`, then `by`); none for values that
// do not add (paths, or two kinds). subtractValues undoes it (none also
// for a transform that cannot be inverted).
std::optional<AnimationValue> addValues(const AnimationValue& value, const AnimationValue& by);
std::optional<AnimationValue> subtractValues(const AnimationValue& value, const AnimationValue& by);

}  // namespace platform::ui
