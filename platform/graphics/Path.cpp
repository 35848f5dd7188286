#include "platform/graphics/Path.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace platform {

namespace {

bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

bool finite(const Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
}

Point onCircle(Point center, double radius, double angle) {
    return {center.x + radius * std::cos(angle), center.y + radius * std::sin(angle)};
}

constexpr double kTwoPi = 2 * std::numbers::pi;

// The miter's reach in half line widths where a stroke going along `in`
// turns to go along `out`.
double miterRatio(Point in, Point out) {
    const double dot = (in.x * out.x + in.y * out.y) / (std::hypot(in.x, in.y) * std::hypot(out.x, out.y));
    return dot > -1 ? std::sqrt(2 / (1 + dot)) : std::numeric_limits<double>::infinity();
}

Point towards(Point from, Point to) { return {to.x - from.x, to.y - from.y}; }

}  // namespace

bool operator==(const Path::Element& a, const Path::Element& b) { return a.type == b.type && a.points == b.points; }

bool operator==(const Path& a, const Path& b) { return a.mElements == b.mElements; }

void Path::ensureStarted(Point p) {
    if (!mCurrent) moveTo(p);
}

void Path::moveTo(Point p) {
    if (!finite(p)) return;
    // Consecutive moves keep only the last, as a drawn path would.
    if (!mElements.empty() && mElements.back().type == ElementType::moveTo) {
        mElements.back().points[0] = p;
    } else {
        mElements.push_back({ElementType::moveTo, {p}});
    }
    mCurrent = p;
    mSubpathStart = p;
}

void Path::lineTo(Point p) {
    if (!finite(p)) return;
    if (!mCurrent) {
        moveTo(p);
        return;
    }
    mElements.push_back({ElementType::lineTo, {p}});
    mCurrent = p;
}

void Path::addCurveTo(Point control1, Point control2, Point end) {
    if (!finite(control1) || !finite(control2) || !finite(end)) return;
    ensureStarted(control1);
    mElements.push_back({ElementType::curveTo, {control1, control2, end}});
    mCurrent = end;
}

void Path::addQuadCurveTo(Point control, Point end) {
    if (!finite(control) || !finite(end)) return;
    ensureStarted(control);
    // The same curve as a cubic: controls two thirds of the way to the
    // quadratic's control point.
    const Point start = *mCurrent;
    const Point c1{start.x + 2.0 / 3.0 * (control.x - start.x), start.y + 2.0 / 3.0 * (control.y - start.y)};
    const Point c2{end.x + 2.0 / 3.0 * (control.x - end.x), end.y + 2.0 / 3.0 * (control.y - end.y)};
    mElements.push_back({ElementType::curveTo, {c1, c2, end}});
    mCurrent = end;
}

void Path::addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise) {
    if (!finite(center) || !std::isfinite(radius) || radius < 0 || !std::isfinite(startAngle) ||
        !std::isfinite(endAngle)) {
        return;
    }
    // Signed sweep in the arc's direction, at most one full turn.
    double sweep = clockwise ? endAngle - startAngle : startAngle - endAngle;
    if (sweep < 0) {
        sweep = std::fmod(sweep, kTwoPi);
        if (sweep < 0) sweep += kTwoPi;
    }
    sweep = std::min(sweep, kTwoPi);
    if (!clockwise) sweep = -sweep;

    const Point start = onCircle(center, radius, startAngle);
    if (mCurrent) {
        lineTo(start);
    } else {
        moveTo(start);
    }
    if (sweep == 0 || radius == 0) return;

    // At most a quarter turn per cubic; k puts the controls so that the
    // curve's midpoint lies on the circle.
    const int segments = std::max(1, static_cast<int>(std::ceil(std::abs(sweep) / (kTwoPi / 4) - 1e-9)));
    const double step = sweep / segments;
    const double k = 4.0 / 3.0 * std::tan(step / 4);
    double a0 = startAngle;
    for (int i = 0; i < segments; ++i) {
        const double a1 = (i + 1 == segments) ? startAngle + sweep : a0 + step;
        const Point p0 = onCircle(center, radius, a0);
        const Point p3 = onCircle(center, radius, a1);
        const Point c1{p0.x - k * radius * std::sin(a0), p0.y + k * radius * std::cos(a0)};
        const Point c2{p3.x + k * radius * std::sin(a1), p3.y - k * radius * std::cos(a1)};
        mElements.push_back({ElementType::curveTo, {c1, c2, p3}});
        a0 = a1;
    }
    mCurrent = mElements.back().points[2];
}

void Path::addRect(const Rect& rect) {
    if (!finite(rect)) return;
    moveTo({rect.x, rect.y});
    lineTo({rect.x + rect.width, rect.y});
    lineTo({rect.x + rect.width, rect.y + rect.height});
    lineTo({rect.x, rect.y + rect.height});
    closePath();
}

void Path::addEllipseInRect(const Rect& rect) {
    if (!finite(rect)) return;
    const double rx = std::abs(rect.width) / 2;
    const double ry = std::abs(rect.height) / 2;
    const Point c{rect.minX() + rx, rect.minY() + ry};
    // Four quarter arcs; k = 4/3 (sqrt 2 - 1) per quarter of a unit circle.
    constexpr double k = 0.5522847498307936;
    moveTo({c.x + rx, c.y});
    addCurveTo({c.x + rx, c.y + k * ry}, {c.x + k * rx, c.y + ry}, {c.x, c.y + ry});
    addCurveTo({c.x - k * rx, c.y + ry}, {c.x - rx, c.y + k * ry}, {c.x - rx, c.y});
    addCurveTo({c.x - rx, c.y - k * ry}, {c.x - k * rx, c.y - ry}, {c.x, c.y - ry});
    addCurveTo({c.x + k * rx, c.y - ry}, {c.x + rx, c.y - k * ry}, {c.x + rx, c.y});
    closePath();
}

void Path::addRoundedRect(const Rect& rect, double cornerRadius) {
    if (!finite(rect) || !std::isfinite(cornerRadius)) return;
    const double w = std::abs(rect.width);
    const double h = std::abs(rect.height);
    const double r = std::clamp(cornerRadius, 0.0, std::min(w, h) / 2);
    if (r == 0) {
        addRect({rect.minX(), rect.minY(), w, h});
        return;
    }
    const double x0 = rect.minX();
    const double y0 = rect.minY();
    const double x1 = x0 + w;
    const double y1 = y0 + h;
    constexpr double pi = std::numbers::pi;
    moveTo({x0 + r, y0});
    addArc({x1 - r, y0 + r}, r, -pi / 2, 0, true);
    addArc({x1 - r, y1 - r}, r, 0, pi / 2, true);
    addArc({x0 + r, y1 - r}, r, pi / 2, pi, true);
    addArc({x0 + r, y0 + r}, r, pi, 3 * pi / 2, true);
    closePath();
}

void Path::addPath(const Path& other) {
    if (other.mElements.empty()) return;
    if (&other == this) {
        const Path copy = other;
        addPath(copy);
        return;
    }
    mElements.insert(mElements.end(), other.mElements.begin(), other.mElements.end());
    mCurrent = other.mCurrent;
    mSubpathStart = other.mSubpathStart;
}

Rect Path::boundingBox() const {
    std::optional<Rect> box;
    for (const auto& element : mElements) {
        const int count = element.type == ElementType::curveTo ? 3 : element.type == ElementType::closeSubpath ? 0 : 1;
        for (int i = 0; i < count; ++i) {
            const Point p = element.points[i];
            if (!box) {
                box = Rect{p.x, p.y, 0, 0};
                continue;
            }
            const double minX = std::min(box->x, p.x);
            const double minY = std::min(box->y, p.y);
            box =
                Rect{minX, minY, std::max(box->x + box->width, p.x) - minX, std::max(box->y + box->height, p.y) - minY};
        }
    }
    return box.value_or(Rect{});
}

double Path::sharpestJoin() const {
    double sharpest = 1;
    Point start;
    Point current;
    // Directions leaving the sub-path's start and arriving at the current
    // point; none before the sub-path draws anything (pieces of no length
    // make no corner).
    std::optional<Point> leavingStart;
    std::optional<Point> arriving;
    const auto piece = [&](Point leaving, Point arrivingAtEnd) {
        if (arriving) {
            sharpest = std::max(sharpest, miterRatio(*arriving, leaving));
        } else {
            leavingStart = leaving;
        }
        arriving = arrivingAtEnd;
    };
    for (const auto& element : mElements) {
        const auto& p = element.points;
        switch (element.type) {
            case ElementType::moveTo:
                start = current = p[0];
                leavingStart.reset();
                arriving.reset();
                break;
            case ElementType::lineTo:
                if (p[0] != current) piece(towards(current, p[0]), towards(current, p[0]));
                current = p[0];
                break;
            case ElementType::curveTo: {
                // A curve leaves towards its first control point that is not
                // its start, and arrives from its last that is not its end.
                const Point* leaving = p[0] != current ? &p[0] : p[1] != current ? &p[1] : &p[2];
                const Point* from = p[1] != p[2] ? &p[1] : p[0] != p[2] ? &p[0] : &current;
                if (*leaving != current) piece(towards(current, *leaving), towards(*from, p[2]));
                current = p[2];
                break;
            }
            case ElementType::closeSubpath:
                if (start != current) piece(towards(current, start), towards(current, start));
                if (leavingStart && arriving) sharpest = std::max(sharpest, miterRatio(*arriving, *leavingStart));
                current = start;
                leavingStart.reset();
                arriving.reset();
                break;
        }
    }
    return sharpest;
}

void Path::clear() {
    mElements.clear();
    mCurrent.reset();
    mSubpathStart = Point{};
}

void Path::closePath() {
    if (!mCurrent) return;
    mElements.push_back({ElementType::closeSubpath, {}});
    mCurrent = mSubpathStart;
}

}  // namespace platform
