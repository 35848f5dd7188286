#include "platform/ui/core/ShapeLayer.h"

#include "platform/graphics/PathMeasure.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform::ui {

namespace {

template <typename T>
const T* as(const AnimationValue& value) {
    return std::get_if<T>(&value);
}

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

constexpr const char* kContentKeys[] = {"path",       "fillColor",     "strokeColor", "lineWidth",
                                        "miterLimit", "lineDashPhase", "strokeStart", "strokeEnd"};

}  // namespace

std::shared_ptr<Layer> ShapeLayer::makeCopy() const { return std::shared_ptr<Layer>(new ShapeLayer(*this)); }

void ShapeLayer::setPath(Path path) {
    changeProperty("path", mPath, path, true);
    mPathBox = mPath.boundingBox();
    mSharpestJoin = mPath.sharpestJoin();
}

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

bool ShapeLayer::fillsNothing() const { return !(mFillColor.alpha > 0) || enclosesNothing(mPath); }

void ShapeLayer::drawInContext(Context& context) {
    if (mPath.isEmpty()) return;
    if (!fillsNothing()) {
        context.setFillColor(mFillColor);
        context.fillPath(mPath, mFillRule);
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
        context.strokePath(mPath);
        return;
    }
    const PathMeasure measure(mPath);
    context.strokePath(measure.segment(start * measure.length(), end * measure.length()));
}

Rect ShapeLayer::contentExtent() const {
    if (mPath.isEmpty()) return {};
    const Rect& box = mPathBox;
    // Room for the stroke and for anti-aliasing. A square cap's corner
    // reaches half the width times the root of 2; a mitred corner reaches
    // further, up to the limit beyond which it is cut.
    double outset = 1;
    if (mStrokeColor.alpha > 0 && mLineWidth > 0 && std::isfinite(mLineWidth)) {
        // A limit the context ignores leaves it at its default.
        const double limit = std::isfinite(mMiterLimit) && mMiterLimit >= 0 ? mMiterLimit : Context::kDefaultMiterLimit;
        const double reach = mLineJoin == LineJoin::miter ? std::min(mSharpestJoin, limit) : 1;
        outset += mLineWidth / 2 * std::max(reach, std::numbers::sqrt2);
    }
    return {box.x - outset, box.y - outset, box.width + 2 * outset, box.height + 2 * outset};
}

bool ShapeLayer::keyPathAffectsContent(std::string_view keyPath) const {
    return std::any_of(std::begin(kContentKeys), std::end(kContentKeys),
                       [&](const char* key) { return keyPath == key; });
}

std::optional<AnimationValue> ShapeLayer::valueForKeyPath(std::string_view keyPath) const {
    if (keyPath == "path") return mPath;
    if (keyPath == "fillColor") return mFillColor;
    if (keyPath == "strokeColor") return mStrokeColor;
    if (keyPath == "lineWidth") return mLineWidth;
    if (keyPath == "miterLimit") return mMiterLimit;
    if (keyPath == "lineDashPhase") return mLineDashPhase;
    if (keyPath == "strokeStart") return mStrokeStart;
    if (keyPath == "strokeEnd") return mStrokeEnd;
    return Layer::valueForKeyPath(keyPath);
}

bool ShapeLayer::assignValue(std::string_view keyPath, const AnimationValue& value) {
    if (keyPath == "path") {
        if (!as<Path>(value)) return false;
        mPath = *as<Path>(value);
        mPathBox = mPath.boundingBox();
        mSharpestJoin = mPath.sharpestJoin();
        return true;
    }
    if (keyPath == "fillColor" || keyPath == "strokeColor") {
        if (!as<Color>(value)) return false;
        (keyPath == "fillColor" ? mFillColor : mStrokeColor) = *as<Color>(value);
        return true;
    }
    double* number = keyPath == "lineWidth"       ? &mLineWidth
                     : keyPath == "miterLimit"    ? &mMiterLimit
                     : keyPath == "lineDashPhase" ? &mLineDashPhase
                     : keyPath == "strokeStart"   ? &mStrokeStart
                     : keyPath == "strokeEnd"     ? &mStrokeEnd
                                                  : nullptr;
    if (number) {
        if (!as<double>(value)) return false;
        *number = *as<double>(value);
        return true;
    }
    return Layer::assignValue(keyPath, value);
}

}  // namespace platform::ui
