#pragma once
// Private to platform/ui: a shape layer whose path is many copies of one
// small mark (a chart's point markers) is drawn by stamping a raster of
// the mark, made once per sub-pixel phase, instead of filling or stroking
// the whole path: the drawing library spends about as long on each small
// curve as on a large shape, and a raster of the whole path would be as
// large as what the marks spread over.

#include "platform/graphics/AffineTransform.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/Path.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace platform {
class Context;
}

namespace platform::ui {
class ShapeLayer;
}

namespace platform::ui::detail {

// One mark (its path starts at the origin) and where each copy starts.
struct MarkPattern {
    Path mark;
    std::vector<Point> origins;
};

// The marks of `path` when it is at least `minimum` sub-paths that are all
// the same sub-path moved; none otherwise.
std::optional<MarkPattern> repeatedMarks(const Path& path, std::size_t minimum);

// What a layer keeps to stamp its marks: the pattern found for a content
// version, and the stamps made for a device scale, by phase.
struct MarkStamps {
    std::uint64_t version = 0;
    bool checked = false;
    std::optional<MarkPattern> pattern;
    double scale = 0;
    std::vector<std::shared_ptr<Image>> stamps;
};

// Where `layer`'s marks go, stamped, when its path and paint allow it
// (marks, one opaque paint, no dash, the whole stroke, full `alpha`) and
// `device` (the layer's points to device pixels) is upright at
// `deviceScale`: a stamp (by phase in `kept`) and a rect in layer points
// for each mark. None when it does not. Stamps not made yet are made now,
// or, with `later`, handed to it as jobs that make them (on another
// thread) from what `snapshot` gives, a copy of the layer no one changes.
using MarkJobs = std::function<void(std::function<void()>)>;
using MarkPlacements = std::vector<std::pair<std::size_t, Rect>>;
std::optional<MarkPlacements> planRepeatedMarks(const ShapeLayer& layer, const Rect& contentExtent,
                                                std::uint64_t version, const std::shared_ptr<MarkStamps>& kept,
                                                const AffineTransform& device, double alpha, double deviceScale,
                                                std::size_t fewestMarks, double largestMark, const MarkJobs* later,
                                                const std::function<std::shared_ptr<const ShapeLayer>()>& snapshot);

}  // namespace platform::ui::detail
