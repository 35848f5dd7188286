#pragma once
// Points, sizes and rectangles of the drawing API, in user-space units
// (points on screen, whatever unit the caller's transform gives elsewhere).
// y grows downwards, as on screen.

namespace platform {

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// Does not validate input: a negative width or height describes the same
// area as its standardised form, and the queries below standardise first.
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    Point origin() const { return {x, y}; }
    Size size() const { return {width, height}; }
    double minX() const;
    double minY() const;
    double maxX() const;
    double maxY() const;
    bool isEmpty() const;  // zero or not-a-number width or height

    // True when the two areas overlap; rectangles that only touch along an
    // edge, and empty rectangles, do not intersect anything.
    bool intersects(const Rect& other) const;
    // True when the point lies inside; the minimum edges are inside, the
    // maximum edges are not.
    bool contains(Point p) const;
    // This rectangle, lying in `from`, stretched with it onto `to`: the
    // same share of it in the same place. Unchanged when `from` has no
    // width or no height.
    Rect movedWith(const Rect& from, const Rect& to) const;

    friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace platform
