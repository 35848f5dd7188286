#pragma once
// A layer that fills and strokes a path, in its own coordinates; the path
// may reach beyond the bounds (and is not clipped unless the layer masks to
// its bounds). strokeStart and strokeEnd (fractions of the path's length,
// clamped to 0 to 1) stroke only that part of the path, as charts draw
// themselves in; the fill is always the whole path.
//
// Key paths beside the layer's: "path", "fillColor", "strokeColor",
// "lineWidth", "miterLimit", "lineDashPhase", "strokeStart", "strokeEnd".

#include "platform/graphics/Context.h"
#include "platform/ui/core/Layer.h"

namespace platform::ui {

class ShapeLayer : public Layer {
public:
    static std::shared_ptr<ShapeLayer> make() { return std::make_shared<ShapeLayer>(); }
    ShapeLayer();

    const Path& path() const;
    // The same path, shared: a path once set never changes, so what draws
    // elsewhere (a raster job) may hold it instead of a copy.
    std::shared_ptr<const Path> sharedPath() const;
    // The path's bounding box. Worked out once, when first asked for, from
    // any thread, and shared with the layer's copies: a layer whose path is
    // set and replaced before it is shown never measures it.
    const Rect& pathBoundingBox() const;
    void setPath(Path path);
    // Clear fills or strokes nothing. Defaults: opaque black fill, no stroke.
    Color fillColor() const { return mFillColor; }
    void setFillColor(const Color& color);
    // Whether drawing fills nothing: a clear fill colour, or a path no part
    // of which encloses anything.
    bool fillsNothing() const;
    FillRule fillRule() const { return mFillRule; }
    void setFillRule(FillRule rule);
    Color strokeColor() const { return mStrokeColor; }
    void setStrokeColor(const Color& color);
    double lineWidth() const { return mLineWidth; }
    void setLineWidth(double width);
    LineCap lineCap() const { return mLineCap; }
    void setLineCap(LineCap cap);
    LineJoin lineJoin() const { return mLineJoin; }
    void setLineJoin(LineJoin join);
    double miterLimit() const { return mMiterLimit; }
    void setMiterLimit(double limit);
    // Empty: a solid line.
    const std::vector<double>& lineDashPattern() const { return mLineDashPattern; }
    void setLineDashPattern(std::vector<double> pattern);
    double lineDashPhase() const { return mLineDashPhase; }
    void setLineDashPhase(double phase);
    double strokeStart() const { return mStrokeStart; }
    void setStrokeStart(double start);
    double strokeEnd() const { return mStrokeEnd; }
    void setStrokeEnd(double end);

    void drawInContext(Context& context) override;

protected:
    ShapeLayer(const ShapeLayer& other) = default;
    std::shared_ptr<Layer> makeCopy() const override;
    const detail::KeyPath* findKeyPath(std::string_view keyPath) const override;
    Rect contentExtent() const override;
    bool drawsWithoutDisplay() const override { return true; }

private:
    struct MeasuredPath;
    void takePath(Path path);

    std::shared_ptr<const MeasuredPath> mPath;
    Color mFillColor{0, 0, 0, 1};
    FillRule mFillRule = FillRule::nonZero;
    Color mStrokeColor = Color::clear();
    double mLineWidth = 1;
    LineCap mLineCap = LineCap::butt;
    LineJoin mLineJoin = LineJoin::miter;
    double mMiterLimit = 10;
    std::vector<double> mLineDashPattern;
    double mLineDashPhase = 0;
    double mStrokeStart = 0;
    double mStrokeEnd = 1;
};

}  // namespace platform::ui
