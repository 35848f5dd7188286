#pragma once
// CGradeVector: the slope of one layout element, a run from `start` to `end`
// rising by `height`. A plain value type.

#include "engine/geometry/Point.h"

class CTaggedFile;

class CGradeVector {
public:
    CGradeVector() = default;
    CGradeVector(const CPoint& start, const CPoint& end, double height) : start(start), end(end), height(height) {}
    CGradeVector(const CGradeVector&) = default;
    CGradeVector& operator=(const CGradeVector&) = default;

    // Both points at the origin, height 0: passed where there is no grade.
    static const CGradeVector& Null();

    // Plan direction of the run, start to end, in degrees.
    double GetAngle() const;
    // Slope in degrees: 0 for a height below 0.001 (negative too), for a run
    // shorter than 0.001 and when the slope is not a number.
    double GetSlopeAngle() const;

    // Reads tags 219..225 (start x, y, z, end x, y, z, height) for file
    // versions 4 and later; older versions read nothing. A missing tag leaves
    // its field unchanged. Returns false when any of the seven was missing.
    bool Load(CTaggedFile& file, int version);

    CPoint start;
    CPoint end;
    double height = 0.0;
};
