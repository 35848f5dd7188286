#include "platform/graphics/PathMeasure.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>

namespace platform {

namespace {

// Five-point Gauss-Legendre nodes and weights on [-1, 1].
constexpr std::array<double, 5> kNodes = {0.0, -0.5384693101056831, 0.5384693101056831, -0.9061798459386640,
                                          0.9061798459386640};
constexpr std::array<double, 5> kWeights = {0.5688888888888889, 0.4786286704993665, 0.4786286704993665,
                                            0.2369268850561891, 0.2369268850561891};
// A curve is measured in this many equal steps of its parameter, each by
// the five-point rule: exact for the speed's polynomial part, and loops or
// near-cusps stay well resolved.
constexpr int kSteps = 16;

Point lerp(Point a, Point b, double t) { return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }

double distance(Point a, Point b) { return std::hypot(b.x - a.x, b.y - a.y); }

struct Cubic {
    Point p0, p1, p2, p3;

    double speed(double t) const {
        const double u = 1 - t;
        const double dx = 3 * u * u * (p1.x - p0.x) + 6 * u * t * (p2.x - p1.x) + 3 * t * t * (p3.x - p2.x);
        const double dy = 3 * u * u * (p1.y - p0.y) + 6 * u * t * (p2.y - p1.y) + 3 * t * t * (p3.y - p2.y);
        return std::hypot(dx, dy);
    }

    // Length between the parameters a and b.
    double length(double a, double b) const {
        const double half = (b - a) / 2;
        const double mid = (a + b) / 2;
        double sum = 0;
        for (std::size_t i = 0; i < kNodes.size(); ++i) sum += kWeights[i] * speed(mid + half * kNodes[i]);
        return sum * half;
    }

    double totalLength() const {
        double sum = 0;
        for (int i = 0; i < kSteps; ++i) sum += length(double(i) / kSteps, double(i + 1) / kSteps);
        return sum;
    }

    // The curve between the parameters a and b (a < b), by two de Casteljau
    // splits.
    Cubic between(double a, double b) const {
        Cubic left = splitBefore(b);
        if (a <= 0) return left;
        return left.splitAfter(a / b);
    }

    Cubic splitBefore(double t) const {
        const Point a = lerp(p0, p1, t), b = lerp(p1, p2, t), c = lerp(p2, p3, t);
        const Point d = lerp(a, b, t), e = lerp(b, c, t);
        return {p0, a, d, lerp(d, e, t)};
    }

    Cubic splitAfter(double t) const {
        const Point a = lerp(p0, p1, t), b = lerp(p1, p2, t), c = lerp(p2, p3, t);
        const Point d = lerp(a, b, t), e = lerp(b, c, t);
        return {lerp(d, e, t), e, c, p3};
    }
};

Cubic cubicOf(Point start, Point c1, Point c2, Point end) { return {start, c1, c2, end}; }

}  // namespace

PathMeasure::PathMeasure(const Path& path) {
    std::optional<Point> current;
    Point subpathStart;
    bool subpathOpen = false;  // pieces after a close begin a new sub-path

    const auto beginSubpath = [&](Point at) {
        mSubpaths.push_back({mLength, 0, false, at});
        subpathStart = at;
        subpathOpen = true;
    };
    const auto addPiece = [&](Kind kind, Point start, Point c1, Point c2, Point end, bool closing) {
        if (!subpathOpen) beginSubpath(start);
        const double length = kind == Kind::line ? distance(start, end) : cubicOf(start, c1, c2, end).totalLength();
        mPieces.push_back({kind, start, c1, c2, end, mLength, length, mSubpaths.size() - 1, closing});
        mLength += length;
        mSubpaths.back().length += length;
    };

    for (const auto& element : path.elements()) {
        switch (element.type) {
            case Path::ElementType::moveTo:
                current = element.points[0];
                subpathOpen = false;
                subpathStart = *current;
                break;
            case Path::ElementType::lineTo:
                if (current) addPiece(Kind::line, *current, {}, {}, element.points[0], false);
                current = element.points[0];
                break;
            case Path::ElementType::curveTo:
                if (current) {
                    addPiece(Kind::curve, *current, element.points[0], element.points[1], element.points[2], false);
                }
                current = element.points[2];
                break;
            case Path::ElementType::closeSubpath:
                if (current && subpathOpen) {
                    addPiece(Kind::line, *current, {}, {}, subpathStart, true);
                    mSubpaths.back().closed = true;
                    subpathOpen = false;
                }
                if (current) current = subpathStart;
                break;
        }
    }
}

double PathMeasure::curveParameterAt(const Piece& piece, double distanceAlong) {
    const Cubic curve = cubicOf(piece.start, piece.control1, piece.control2, piece.end);
    if (distanceAlong <= 0) return 0;
    double before = 0;
    for (int i = 0; i < kSteps; ++i) {
        const double a = double(i) / kSteps;
        const double b = double(i + 1) / kSteps;
        const double step = curve.length(a, b);
        if (before + step < distanceAlong && i + 1 < kSteps) {
            before += step;
            continue;
        }
        // Newton's method on the length within this step, kept inside it by
        // bisection where the speed is too small to trust.
        const double wanted = distanceAlong - before;
        double low = a;
        double high = b;
        double t = a + (b - a) * std::clamp(step > 0 ? wanted / step : 0.0, 0.0, 1.0);
        for (int iteration = 0; iteration < 50; ++iteration) {
            const double error = curve.length(a, t) - wanted;
            if (std::abs(error) < 1e-12) break;
            if (error > 0) {
                high = t;
            } else {
                low = t;
            }
            const double speed = curve.speed(t);
            double next = speed > 0 ? t - error / speed : (low + high) / 2;
            if (!(next > low && next < high)) next = (low + high) / 2;
            if (std::abs(next - t) < 1e-15) break;
            t = next;
        }
        return t;
    }
    return 1;
}

Path PathMeasure::segment(double from, double to) const {
    Path out;
    from = std::clamp(from, 0.0, mLength);
    to = std::clamp(to, 0.0, mLength);
    if (!(to > from)) return out;

    std::size_t lastSubpath = SIZE_MAX;
    for (const Piece& piece : mPieces) {
        const double pieceEnd = piece.startLength + piece.length;
        const Subpath& subpath = mSubpaths[piece.subpath];
        if (piece.closing && subpath.length > 0 && from <= subpath.startLength &&
            to >= subpath.startLength + subpath.length) {
            // Also when the closing line has no length: the corner still joins.
            out.closePath();
            continue;
        }
        if (!(piece.startLength < to && pieceEnd > from)) continue;
        const double a = std::max(from, piece.startLength) - piece.startLength;
        const double b = std::min(to, pieceEnd) - piece.startLength;
        const bool whole = a <= 0 && b >= piece.length;
        if (piece.kind == Kind::line) {
            const Point start = whole ? piece.start : lerp(piece.start, piece.end, a / piece.length);
            const Point end = whole ? piece.end : lerp(piece.start, piece.end, b / piece.length);
            if (piece.subpath != lastSubpath) out.moveTo(start);
            out.lineTo(end);
        } else {
            const Cubic curve = cubicOf(piece.start, piece.control1, piece.control2, piece.end);
            const Cubic part = whole ? curve : curve.between(curveParameterAt(piece, a), curveParameterAt(piece, b));
            if (piece.subpath != lastSubpath) out.moveTo(part.p0);
            out.addCurveTo(part.p1, part.p2, part.p3);
        }
        lastSubpath = piece.subpath;
    }
    return out;
}

}  // namespace platform
