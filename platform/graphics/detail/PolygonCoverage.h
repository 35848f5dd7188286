#pragma once
// Private to platform/graphics: a small polygon filled straight onto a
// bitmap's pixels. Each pixel takes the share of its area that the outline
// encloses (worked out exactly, where Cairo samples 15 rows a pixel), and
// the colour is put down over it with that coverage as Cairo composites a
// solid colour. A zoomed-out layout is mostly such polygons, a few pixels
// each, and Cairo's way through a fill costs some microseconds whatever its
// size; this costs a fraction of one.

#include "platform/graphics/Geometry.h"
#include "platform/graphics/detail/ContextImpl.h"

#include <cstddef>
#include <cstdint>

namespace platform::detail {

// The widest and highest polygon, in pixels, filled this way; larger ones
// cover enough rows for Cairo's own scan conversion to pay.
inline constexpr double kPolygonCoverageMost = 32;

// The most points an outline filled this way has: whether it crosses
// itself is worked out side against side.
inline constexpr std::size_t kPolygonCoverageMostPoints = 24;

// Whether no two sides of the outline through `points` (the last joined to
// the first) that do not follow each other meet, nor lie on one line: it
// neither crosses nor touches itself, so that it winds once around what it
// encloses. Sides on one line count as meeting, to be safe.
bool isSimpleOutline(const Point* points, std::size_t count);

// Fills the outline through `points` (device pixels, finite, the last
// joined to the first, simple: see isSimpleOutline) onto the pixels of
// `target` inside `limit` (which lies within it) with `color`, an ARGB32
// pixel with premultiplied alpha, composited over what is there. Each
// pixel's coverage is the area right of the sides summed along its row,
// which is the area enclosed only where the outline winds once.
void fillPolygonCoverage(const ArgbPixels& target, const PixelRect& limit, const Point* points, std::size_t count,
                         std::uint32_t color);

// The colour put down at coverage `coverage` (0 to 255) over `below`, as
// Cairo and pixman round it.
std::uint32_t overWithCoverage(std::uint32_t color, unsigned coverage, std::uint32_t below);

}  // namespace platform::detail
