#pragma once
// A Quartz-like drawing context over Cairo, in a y-down user space as the
// platform's views use it. Made by BitmapContext or DocumentContext (PDF, SVG).
//
// As in Quartz, the current path is not part of the graphics state: it is
// built in user space, transformed by the transform in force when each piece
// is added, and consumed by fill, stroke and clip. Everything else (transform,
// clip, colours, alpha, line settings, interpolation) is saved and restored
// together. A context is used by one thread at a time.

#include "platform/graphics/AffineTransform.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class Image;
class Path;
class TextLayout;

namespace detail {
struct ContextImpl;
}

enum class FillRule { nonZero, evenOdd };
// Numbered as the platform numbers them, so stored values convert directly.
enum class LineCap { butt = 0, round = 1, square = 2 };
enum class LineJoin { miter = 0, round = 1, bevel = 2 };
enum class InterpolationQuality { defaultQuality = 0, none = 1, low = 2, high = 3, medium = 4 };
enum class TextAlignment { left, center, right };

struct TextAttributes {
    std::string fontName;  // unknown names draw in the system font, as they measure
    double fontSize = 12;  // points
    Color color{0, 0, 0, 1};
    // Outline of the glyphs, in percent of the font size as the platform's
    // text attributes give it: positive strokes the outline only, negative
    // fills the glyphs and strokes their outline, 0 fills only. Without a
    // stroke colour the outline takes `color`.
    double strokeWidth = 0;
    std::optional<Color> strokeColor;
};

struct GradientStop {
    double location = 0;  // 0 at the start point, 1 at the end point
    Color color;
};

class Context {
public:
    virtual ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    // Graphics state. A restore without a matching save does nothing.
    void save();
    void restore();

    // Transforms prepend to the current transform (user space moves first).
    // A transform that collapses user space (a zero scale) or is not finite
    // is kept, and nothing is drawn until the state before it is restored.
    void translate(double tx, double ty);
    void scale(double sx, double sy);
    void rotate(double radians);  // +x towards +y: clockwise on screen
    void concat(const AffineTransform& transform);
    // User space to device pixels (includes a bitmap's scale).
    AffineTransform transform() const;

    // The current path; see Path for the meaning of each piece.
    void beginPath();
    void moveTo(Point p);
    void lineTo(Point p);
    void addCurveTo(Point control1, Point control2, Point end);
    void addQuadCurveTo(Point control, Point end);
    void addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise);
    void addRect(const Rect& rect);
    void addEllipseInRect(const Rect& rect);
    void addRoundedRect(const Rect& rect, double cornerRadius);
    void addPath(const Path& path);
    // Straight lines through the points, added as lineTo adds each one
    // (without a current point the first moves there); points that are not
    // finite are left out. For long polylines, without a Path in between.
    void addLines(const Point* points, std::size_t count);
    // The same for an outline about to be filled. On a bitmap, a sub-path
    // of lines (begun here, or a path's run of lines from a move for
    // fillPath) loses the points that lie within kFillOutlineTolerance
    // device pixels of the line between the points kept around them; PDF
    // and SVG keep every one. A zoomed-out drawing's dense outlines cost a
    // fraction as much to fill, and no pixel's coverage moves by more than
    // that sliver of it. Measured by the transform's scale and turn alone:
    // drawings that differ by a translation keep the same points.
    void addLinesToFill(const Point* points, std::size_t count);
    static constexpr double kFillOutlineTolerance = 0.05;
    // Fills the outline of straight lines through the points (the last
    // joined to the first; points that are not finite left out) with a
    // path of its own, as addLinesToFill and fill would; the current path
    // is kept. On a bitmap, a polygon at most 32 pixels wide and high that
    // lies where the clip is an upright rectangle covering its pixels
    // whole is filled straight onto the pixels, each taking the share of
    // its area the outline encloses: a zoomed-out drawing is mostly such
    // polygons, and this costs a fraction of Cairo's setting up of a fill.
    // Its pixels differ from Cairo's only by Cairo's sampling of 15 rows
    // a pixel (a few levels at the edges) and the outline kept whole.
    void fillLines(const Point* points, std::size_t count, FillRule rule = FillRule::nonZero);
    void closePath();
    bool isPathEmpty() const;
    // Whether it draws into pixels (a bitmap), not into a document (PDF,
    // SVG) that keeps shapes and the characters of texts.
    bool drawsPixels() const;

    // Paint the current path and clear it. Clipping intersects the clip with
    // the path's area; an empty path leaves nothing drawable until restore.
    void fill(FillRule rule = FillRule::nonZero);
    void stroke();
    void clip(FillRule rule = FillRule::nonZero);

    // The same with a path of their own; the current path is cleared. A
    // path filled has its runs of lines thinned as addLinesToFill does.
    void fillPath(const Path& path, FillRule rule = FillRule::nonZero);
    void strokePath(const Path& path);
    void clipToPath(const Path& path, FillRule rule = FillRule::nonZero);
    void fillRect(const Rect& rect);
    void clipToRect(const Rect& rect);

    // Colours and alpha; alpha multiplies everything drawn. Defaults: opaque
    // black fill and stroke, alpha 1.
    void setFillColor(const Color& color);
    void setStrokeColor(const Color& color);
    Color fillColor() const;
    Color strokeColor() const;
    void setAlpha(double alpha);  // clamped to 0 to 1
    double alpha() const;

    // Stroke settings. Defaults: width 1, butt caps, miter joins, miter limit
    // 10, no dash. A width or limit that is negative or not finite is ignored;
    // a dash with a negative or non-finite length, or only zero lengths, is
    // a solid line.
    void setLineWidth(double width);
    void setLineCap(LineCap cap);
    void setLineJoin(LineJoin join);
    void setMiterLimit(double limit);
    static constexpr double kDefaultMiterLimit = 10;
    void setLineDash(double phase, const std::vector<double>& lengths);
    // Whether a stroke of this width, in the current transform, marks any
    // pixel of a bitmap (always true for PDF and SVG). Cairo draws nothing
    // for a stroke narrower on the device than half its flattening
    // tolerance, so such a stroke need not be built.
    bool strokeWidthDraws(double width) const;

    // How images are sampled when drawn at another size.
    void setInterpolationQuality(InterpolationQuality quality);

    // Fills the clip area with a linear gradient from `start` (location 0) to
    // `end` (location 1). With `extend` the end colours continue beyond the
    // two points; without, nothing is drawn there. Stop locations are clamped
    // to 0 to 1.
    void drawLinearGradient(const std::vector<GradientStop>& stops, Point start, Point end, bool extend);

    // Transparency layers, as in Quartz: what is drawn between begin and end
    // goes to an offscreen group, which end composites onto what lies below
    // with the alpha in force at begin (inside, the alpha starts at 1), so
    // overlapping shapes fade as one. The group is as large as the clip at
    // begin: clip to what will be drawn first. Layers nest. End brings back
    // the graphics state of begin, whatever saves were left open inside;
    // inside a layer, a restore never goes past its begin. An end without a
    // begin does nothing.
    void beginTransparencyLayer();
    void endTransparencyLayer();
    // The same, with the group multiplied by the alpha of `mask`, drawn into
    // `maskRect` (user space); nothing of the group shows outside it.
    void endTransparencyLayer(const Image& mask, const Rect& maskRect);

    // Draws the whole image upright into the rectangle, multiplied by `alpha`
    // and the context's alpha, sampled at the interpolation quality.
    void drawImage(const Image& image, const Rect& rect, double alpha = 1);

    // Fills `rect` with the fill colour through the alpha of `mask` drawn
    // into it, as the platform draws a template image in its tint colour.
    void fillMask(const Image& mask, const Rect& rect);

    // One line of text with the top-left of its line box at `topLeft`; the
    // line box is what measureText() reports for the same text and font.
    void drawText(const std::string& utf8, Point topLeft, const TextAttributes& attributes);
    // Text wrapped at word boundaries to the rectangle's width, aligned in it,
    // from its top edge, and clipped to it.
    void drawTextInRect(const std::string& utf8, const Rect& rect, const TextAttributes& attributes,
                        TextAlignment alignment = TextAlignment::left);
    // The lines of a layout, its top-left at `topLeft`; nothing is clipped.
    void drawTextLayout(const TextLayout& layout, Point topLeft);
    // The same, clipped to `clip` as by clipToRect.
    void drawTextLayout(const TextLayout& layout, Point topLeft, const Rect& clip);

protected:
    explicit Context(std::unique_ptr<detail::ContextImpl> impl);
    detail::ContextImpl& impl() { return *mImpl; }
    const detail::ContextImpl& impl() const { return *mImpl; }

private:
    template <typename Build>
    void addToPath(Build&& build);
    bool drawable() const;
    void endLayer(const Image* mask, const Rect& maskRect);

    std::unique_ptr<detail::ContextImpl> mImpl;
};

}  // namespace platform
