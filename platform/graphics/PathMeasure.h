#pragma once
// Lengths along a path and the parts between two lengths, as partial strokes
// need them (a shape's stroke start and end are fractions of its length).
//
// The length of a path is the sum of its sub-paths' lengths; a closed
// sub-path counts its closing line. Curves are measured by Gauss-Legendre
// quadrature to far below a thousandth of a point on any shape a screen
// draws, and cut exactly (de Casteljau) at the parameter whose length is
// asked for. A move alone measures nothing.

#include "platform/graphics/Path.h"

#include <vector>

namespace platform {

class PathMeasure {
public:
    explicit PathMeasure(const Path& path);

    double length() const { return mLength; }

    // The part of the path between the lengths `from` and `to` (clamped to
    // 0 and length()): one piece per sub-path it touches, each starting with
    // a move. A closed sub-path taken whole stays closed, so its corners
    // join; a part of it is open. Empty when `to` is not beyond `from`.
    Path segment(double from, double to) const;

private:
    enum class Kind { line, curve };
    struct Piece {
        Kind kind;
        Point start;
        Point control1;
        Point control2;
        Point end;
        double startLength;  // along the whole path
        double length;
        std::size_t subpath;
        bool closing;  // the line that closes its sub-path
    };
    struct Subpath {
        double startLength;
        double length;
        bool closed;
        Point start;
    };

    // The parameter of a curve piece at `distance` along it.
    static double curveParameterAt(const Piece& piece, double distance);

    std::vector<Piece> mPieces;
    std::vector<Subpath> mSubpaths;
    double mLength = 0;
};

}  // namespace platform
