#include "platform/ui/core/ShapeLayer.h"

#include "platform/graphics/PathMeasure.h"
#include "platform/ui/core/detail/KeyPath.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <numbers>

namespace platform::ui {

namespace {

// True when no sub-path can enclose anything: each is a point or one
// straight line (a chart's segments), so a fill would draw nothing.
bool enclosesNothing(const Path& path) {
    int points = 0;
    for (const auto& e : path.elements()) {
        switch (e.type) {
            case Path::ElementType::moveTo: points = 1; break;
            case Path::ElementType::lineTo:
                if (++points > 2) return false;
                break;
            case Path::ElementType::curveTo: return false;
            case Path::ElementType::closeSubpath: break;
        }
    }
    return true;
}

}  // namespace

// A path once set, with what is measured of it worked out once, when first
// asked for, whichever thread asks: building a chart sets a thousand paths
// that only the compositor measures, and only those it shows.
struct ShapeLayer::MeasuredPath {
    struct Measures {
        Rect box;
        double sharpestJoin = 1;
    };

    explicit MeasuredPath(Path from) : path(std::move(from)) {}

    const Measures& measures() const {
        if (!measured.load(std::memory_order_acquire)) {
            std::call_once(once, [this] {
                result.box = path.boundingBox();
                result.sharpestJoin = path.sharpestJoin();
                measured.store(true, std::memory_order_release);
            });
        }
        return result;
    }

    const Path path;

private:
    mutable std::atomic<bool> measured{false};
    mutable std::once_flag once;
    mutable Measures result;
};

ShapeLayer::ShapeLayer()
    : mPath([] {
          static const auto empty = std::make_shared<const MeasuredPath>(Path{});
          return empty;
      }()) {}

std::shared_ptr<Layer> ShapeLayer::makeCopy() const { return copyOf(*this); }

const Path& ShapeLayer::path() const { return mPath->path; }

std::shared_ptr<const Path> ShapeLayer::sharedPath() const { return {mPath, &mPath->path}; }

const Rect& ShapeLayer::pathBoundingBox() const { return mPath->measures().box; }

void ShapeLayer::setPath(Path path) {
    if (mPath->path == path) return;
    PendingChange change = willChange("path");
    takePath(std::move(path));
    didChange(std::move(change), true);
}

void ShapeLayer::takePath(Path path) { mPath = std::make_shared<const MeasuredPath>(std::move(path)); }

void ShapeLayer::setFillColor(const Color& color) { changeProperty("fillColor", mFillColor, color, true); }

void ShapeLayer::setFillRule(FillRule rule) { changeProperty("fillRule", mFillRule, rule, true); }

void ShapeLayer::setStrokeColor(const Color& color) { changeProperty("strokeColor", mStrokeColor, color, true); }

void ShapeLayer::setLineWidth(double width) { changeProperty("lineWidth", mLineWidth, width, true); }

void ShapeLayer::setLineCap(LineCap cap) { changeProperty("lineCap", mLineCap, cap, true); }

void ShapeLayer::setLineJoin(LineJoin join) { changeProperty("lineJoin", mLineJoin, join, true); }

void ShapeLayer::setMiterLimit(double limit) { changeProperty("miterLimit", mMiterLimit, limit, true); }

void ShapeLayer::setLineDashPattern(std::vector<double> pattern) {
    changeProperty("lineDashPattern", mLineDashPattern, pattern, true);
}

void ShapeLayer::setLineDashPhase(double phase) { changeProperty("lineDashPhase", mLineDashPhase, phase, true); }

void ShapeLayer::setStrokeStart(double start) { changeProperty("strokeStart", mStrokeStart, start, true); }

void ShapeLayer::setStrokeEnd(double end) { changeProperty("strokeEnd", mStrokeEnd, end, true); }

bool ShapeLayer::fillsNothing() const { return !(mFillColor.alpha > 0) || enclosesNothing(mPath->path); }

void ShapeLayer::drawInContext(Context& context) {
    const Path& path = mPath->path;
    if (path.isEmpty()) return;
    if (!fillsNothing()) {
        context.setFillColor(mFillColor);
        context.fillPath(path, mFillRule);
    }
    const double start = std::isnan(mStrokeStart) ? 0 : std::clamp(mStrokeStart, 0.0, 1.0);
    const double end = std::isnan(mStrokeEnd) ? 0 : std::clamp(mStrokeEnd, 0.0, 1.0);
    if (!(mStrokeColor.alpha > 0) || !(mLineWidth > 0) || end <= start) return;
    context.setStrokeColor(mStrokeColor);
    context.setLineWidth(mLineWidth);
    context.setLineCap(mLineCap);
    context.setLineJoin(mLineJoin);
    context.setMiterLimit(mMiterLimit);
    context.setLineDash(mLineDashPhase, mLineDashPattern);
    if (start == 0 && end == 1) {
        context.strokePath(path);
        return;
    }
    const PathMeasure measure(path);
    context.strokePath(measure.segment(start * measure.length(), end * measure.length()));
}

Rect ShapeLayer::contentExtent() const {
    if (mPath->path.isEmpty()) return {};
    const MeasuredPath::Measures& measures = mPath->measures();
    const Rect& box = measures.box;
    // Room for the stroke and for anti-aliasing. A square cap's corner
    // reaches half the width times the root of 2; a mitred corner reaches
    // further, up to the limit beyond which it is cut.
    double outset = 1;
    if (mStrokeColor.alpha > 0 && mLineWidth > 0 && std::isfinite(mLineWidth)) {
        // A limit the context ignores leaves it at its default.
        const double limit = std::isfinite(mMiterLimit) && mMiterLimit >= 0 ? mMiterLimit : Context::kDefaultMiterLimit;
        const double reach = mLineJoin == LineJoin::miter ? std::min(measures.sharpestJoin, limit) : 1;
        outset += mLineWidth / 2 * std::max(reach, std::numbers::sqrt2);
    }
    return {box.x - outset, box.y - outset, box.width + 2 * outset, box.height + 2 * outset};
}

const detail::KeyPath* ShapeLayer::findKeyPath(std::string_view keyPath) const {
    using detail::fieldKeyPath;
    // Each changes what is drawn.
    static constexpr detail::KeyPath kEntries[] = {
        {"path",
         [](const Layer& layer) -> std::optional<AnimationValue> {
             return static_cast<const ShapeLayer&>(layer).mPath->path;
         },
         [](Layer& layer, const AnimationValue& value) {
             const Path* path = std::get_if<Path>(&value);
             if (!path) return false;
             static_cast<ShapeLayer&>(layer).takePath(*path);
             return true;
         },
         false, true},
        fieldKeyPath<&ShapeLayer::mFillColor>("fillColor", false, true),
        fieldKeyPath<&ShapeLayer::mStrokeColor>("strokeColor", false, true),
        fieldKeyPath<&ShapeLayer::mLineWidth>("lineWidth", false, true),
        fieldKeyPath<&ShapeLayer::mMiterLimit>("miterLimit", false, true),
        fieldKeyPath<&ShapeLayer::mLineDashPhase>("lineDashPhase", false, true),
        fieldKeyPath<&ShapeLayer::mStrokeStart>("strokeStart", false, true),
        fieldKeyPath<&ShapeLayer::mStrokeEnd>("strokeEnd", false, true),
    };
    static constexpr detail::KeyPathTable kKeyPaths(kEntries);
    if (const detail::KeyPath* found = kKeyPaths.find(keyPath)) return found;
    return Layer::findKeyPath(keyPath);
}

}  // namespace platform::ui
