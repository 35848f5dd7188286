#pragma once
// A reusable path value: built once, then added to a context, filled, stroked
// or used as a clip any number of times. Coordinates are in the user space of
// the context it is later added to (the context's transform applies then).
//
// Shapes are stored as move-to, line-to, cubic curve-to and close elements:
// arcs, quadratic curves, ellipses and rounded rectangles become cubic
// Béziers. Operations given a coordinate, radius or angle that is not finite
// are ignored.

#include "platform/graphics/Geometry.h"

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

namespace platform {

class Path {
public:
    enum class ElementType { moveTo, lineTo, curveTo, closeSubpath };
    struct Element {
        ElementType type;
        // moveTo and lineTo use points[0]; curveTo uses control 1, control 2,
        // end; closeSubpath none.
        std::array<Point, 3> points{};
    };

    void moveTo(Point p);
    // Without a current point a line or curve begins a new sub-path at its
    // first point instead.
    void lineTo(Point p);
    void addCurveTo(Point control1, Point control2, Point end);
    void addQuadCurveTo(Point control, Point end);

    // A circular arc about `center` from `startAngle` to `endAngle` (radians,
    // measured from +x towards +y). `clockwise` is clockwise as seen on a
    // y-down screen, that is with growing angles; otherwise the angles shrink.
    // The sweep goes from the start in that direction until it reaches the end
    // angle (modulo a full turn, so equal angles sweep nothing), and a sweep of
    // more than a full turn is one full circle. With a current point a straight
    // line joins it to the arc's start; otherwise the arc begins a sub-path. A
    // negative radius is ignored.
    void addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise);

    // Closed sub-paths, each turning clockwise on a y-down screen: the
    // rectangle from its origin along +x first; the ellipse from its right-most
    // point; the rounded rectangle (radius clamped to half the shorter side)
    // from the end of its top-left corner.
    void addRect(const Rect& rect);
    void addEllipseInRect(const Rect& rect);
    void addRoundedRect(const Rect& rect, double cornerRadius);

    void addPath(const Path& other);
    // Closes the current sub-path; the current point goes back to its start.
    void closePath();

    // Back to an empty path with no current point, keeping the memory for
    // the next path built in it.
    void clear();
    // Room for `count` elements without growing.
    void reserve(std::size_t count) { mElements.reserve(count); }

    bool isEmpty() const { return mElements.empty(); }
    // The box of every point of the path, the control points of curves
    // included (so it may be larger than the curve); empty at the origin
    // for an empty path.
    Rect boundingBox() const;
    // How far a mitred corner reaches, in half line widths, at the sharpest
    // turn where two drawn pieces of a sub-path meet (its closing corner
    // included): 1 where nothing turns, infinite where a stroke turns back.
    // A stroke's joins are no further out than this; within a curve a
    // stroke turns round.
    double sharpestJoin() const;
    std::optional<Point> currentPoint() const { return mCurrent; }
    const std::vector<Element>& elements() const { return mElements; }

    friend bool operator==(const Path& a, const Path& b);

private:
    void ensureStarted(Point p);

    std::vector<Element> mElements;
    std::optional<Point> mCurrent;
    Point mSubpathStart;
};

bool operator==(const Path::Element& a, const Path::Element& b);

}  // namespace platform
