#include "platform/ui/render/detail/RepeatedMarks.h"

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Context.h"
#include "platform/ui/core/ShapeLayer.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace platform::ui::detail {

namespace {

// Phases per pixel each way: a mark lands within a sixteenth of a pixel of
// where the path puts it, finer than the drawing library samples edges.
constexpr int kPhases = 8;

bool near(Point a, Point b) {
    constexpr double kNear = 1e-6;
    return std::abs(a.x - b.x) <= kNear && std::abs(a.y - b.y) <= kNear;
}

int pointCount(Path::ElementType type) {
    switch (type) {
        case Path::ElementType::moveTo:
        case Path::ElementType::lineTo: return 1;
        case Path::ElementType::curveTo: return 3;
        case Path::ElementType::closeSubpath: return 0;
    }
    return 0;
}

// The mark drawn as `layer` paints it, at `scale`, moved by `offset`
// pixels; null when out of memory.
std::shared_ptr<Image> makeStamp(const ShapeLayer& layer, const Path& mark, Size size, Point offset, double scale) {
    auto bitmap = BitmapContext::create(static_cast<int>(size.width), static_cast<int>(size.height));
    if (!bitmap) return nullptr;
    bitmap->translate(offset.x, offset.y);
    bitmap->scale(scale, scale);
    if (layer.fillColor().alpha > 0) {
        bitmap->setFillColor(layer.fillColor());
        bitmap->fillPath(mark, layer.fillRule());
    } else {
        bitmap->setStrokeColor(layer.strokeColor());
        bitmap->setLineWidth(layer.lineWidth());
        bitmap->setLineCap(layer.lineCap());
        bitmap->setLineJoin(layer.lineJoin());
        bitmap->setMiterLimit(layer.miterLimit());
        bitmap->strokePath(mark);
    }
    return BitmapContext::takeImage(std::move(bitmap));
}

}  // namespace

std::optional<MarkPattern> repeatedMarks(const Path& path, std::size_t minimum) {
    const auto& elements = path.elements();
    if (elements.empty() || elements.front().type != Path::ElementType::moveTo) return std::nullopt;
    // The first sub-path is the mark; every other must repeat it element
    // for element, moved.
    std::size_t length = 1;
    while (length < elements.size() && elements[length].type != Path::ElementType::moveTo) ++length;
    if (elements.size() % length != 0 || elements.size() / length < std::max<std::size_t>(minimum, 2)) {
        return std::nullopt;
    }
    MarkPattern pattern;
    const Point first = elements.front().points[0];
    for (std::size_t start = 0; start < elements.size(); start += length) {
        const Point origin = elements[start].points[0];
        if (elements[start].type != Path::ElementType::moveTo) return std::nullopt;
        for (std::size_t i = 1; i < length; ++i) {
            const auto& mine = elements[start + i];
            const auto& model = elements[i];
            if (mine.type != model.type) return std::nullopt;
            for (int k = 0; k < pointCount(mine.type); ++k) {
                const Point a{mine.points[k].x - origin.x, mine.points[k].y - origin.y};
                const Point b{model.points[k].x - first.x, model.points[k].y - first.y};
                if (!near(a, b)) return std::nullopt;
            }
        }
        pattern.origins.push_back(origin);
    }
    for (std::size_t i = 0; i < length; ++i) {
        const auto& e = elements[i];
        const auto at = [&](int k) { return Point{e.points[k].x - first.x, e.points[k].y - first.y}; };
        switch (e.type) {
            case Path::ElementType::moveTo: pattern.mark.moveTo(at(0)); break;
            case Path::ElementType::lineTo: pattern.mark.lineTo(at(0)); break;
            case Path::ElementType::curveTo: pattern.mark.addCurveTo(at(0), at(1), at(2)); break;
            case Path::ElementType::closeSubpath: pattern.mark.closePath(); break;
        }
    }
    return pattern;
}

std::optional<MarkPlacements> planRepeatedMarks(const ShapeLayer& layer, const Rect& contentExtent,
                                                std::uint64_t version, const std::shared_ptr<MarkStamps>& keptStamps,
                                                const AffineTransform& device, double alpha, double deviceScale,
                                                std::size_t fewestMarks, double largestMark, const MarkJobs* later,
                                                const std::function<std::shared_ptr<const ShapeLayer>()>& snapshot) {
    MarkStamps& kept = *keptStamps;
    const double start = std::isnan(layer.strokeStart()) ? 0 : std::clamp(layer.strokeStart(), 0.0, 1.0);
    const double end = std::isnan(layer.strokeEnd()) ? 0 : std::clamp(layer.strokeEnd(), 0.0, 1.0);
    const bool fills = layer.fillColor().alpha > 0;
    const bool strokes = layer.strokeColor().alpha > 0 && layer.lineWidth() > 0 && end > start;
    // One paint, opaque, so that overlapping marks show as the whole path's
    // would: the stroke complete and undashed, a fill that unites overlaps.
    if (fills == strokes || alpha < 1) return std::nullopt;
    if (fills && (layer.fillColor().alpha < 1 || layer.fillRule() != FillRule::nonZero)) return std::nullopt;
    if (strokes && (layer.strokeColor().alpha < 1 || start != 0 || end != 1 || !layer.lineDashPattern().empty())) {
        return std::nullopt;
    }
    if (kept.version != version || !kept.checked) {
        kept.pattern = repeatedMarks(layer.path(), fewestMarks);
        kept.checked = true;
        kept.version = version;
        kept.stamps.clear();
    }
    if (!kept.pattern) return std::nullopt;
    const MarkPattern& pattern = *kept.pattern;

    // The mark's extent about its origin, with the room the layer leaves
    // around its whole path for the stroke and anti-aliasing.
    const Rect& pathBox = layer.pathBoundingBox();
    const double left = pathBox.minX() - contentExtent.minX();
    const double top = pathBox.minY() - contentExtent.minY();
    const double right = contentExtent.maxX() - pathBox.maxX();
    const double bottom = contentExtent.maxY() - pathBox.maxY();
    const Rect markBox = pattern.mark.boundingBox();
    const Rect reach{markBox.minX() - left, markBox.minY() - top, markBox.width + left + right,
                     markBox.height + top + bottom};
    const double x0 = std::floor(reach.minX() * deviceScale);
    const double y0 = std::floor(reach.minY() * deviceScale);
    const double width = std::ceil(reach.maxX() * deviceScale) + 1 - x0;
    const double height = std::ceil(reach.maxY() * deviceScale) + 1 - y0;
    if (!(width >= 1 && height >= 1 && width <= largestMark && height <= largestMark)) return std::nullopt;

    if (kept.scale != deviceScale || kept.stamps.empty()) {
        kept.stamps.assign(kPhases * kPhases, nullptr);
        kept.scale = deviceScale;
    }
    MarkPlacements placements;
    placements.reserve(pattern.origins.size());
    const Size size{width, height};
    const auto offsetOf = [&](std::size_t phase) {
        return Point{static_cast<double>(phase % kPhases) / kPhases - x0,
                     static_cast<double>(phase / kPhases) / kPhases - y0};
    };
    std::vector<bool> queued(kPhases * kPhases, false);
    std::shared_ptr<const ShapeLayer> copy;
    for (const Point origin : pattern.origins) {
        const double dx = origin.x * device.a + device.tx;
        const double dy = origin.y * device.a + device.ty;
        double ix = std::floor(dx);
        double iy = std::floor(dy);
        int px = static_cast<int>(std::lround((dx - ix) * kPhases));
        int py = static_cast<int>(std::lround((dy - iy) * kPhases));
        if (px == kPhases) px = 0, ix += 1;
        if (py == kPhases) py = 0, iy += 1;
        const auto phase = static_cast<std::size_t>(py * kPhases + px);
        auto& stamp = kept.stamps[phase];
        if (!queued[phase] && !stamp) {
            if (later) {
                // Made on another thread, once: a stamp handed over is not
                // read here again, as its job may be making it.
                queued[phase] = true;
                if (!copy) copy = snapshot();
                (*later)([keptStamps, snapshot = copy, phase, size, offset = offsetOf(phase), deviceScale] {
                    keptStamps->stamps[phase] =
                        makeStamp(*snapshot, keptStamps->pattern->mark, size, offset, deviceScale);
                });
            } else {
                stamp = makeStamp(layer, pattern.mark, size, offsetOf(phase), deviceScale);
                if (!stamp) return std::nullopt;
            }
        }
        placements.emplace_back(phase, Rect{(ix + x0 - device.tx) / device.a, (iy + y0 - device.ty) / device.a,
                                            width / device.a, height / device.a});
    }
    return placements;
}

}  // namespace platform::ui::detail
