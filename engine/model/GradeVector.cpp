#include "engine/model/GradeVector.h"

#include <cmath>
#include <cstdint>

#include "engine/fileformat/TaggedFile.h"

const CGradeVector& CGradeVector::Null() {
    static const CGradeVector nullGrade;
    return nullGrade;
}

double CGradeVector::GetAngle() const { return start.AngleTo(end); }

double CGradeVector::GetSlopeAngle() const {
    if (height < 0.001) return 0.0;
    const double length = end.Distance3D(start);
    if (length < 0.001) return 0.0;
    const double angle = std::atan(height / length) * CPoint::kRadiansToDegrees;
    return std::isnan(angle) ? 0.0 : angle;
}

bool CGradeVector::Load(CTaggedFile& file, int version) {
    if (version < 4) return true;
    // Each read runs even when an earlier one failed, in file order.
    bool complete = true;
    complete = file.ReadDouble(219, start.x) && complete;
    complete = file.ReadDouble(220, start.y) && complete;
    complete = file.ReadDouble(221, start.z) && complete;
    complete = file.ReadDouble(222, end.x) && complete;
    complete = file.ReadDouble(223, end.y) && complete;
    complete = file.ReadDouble(224, end.z) && complete;
    complete = file.ReadDouble(225, height) && complete;
    return complete;
}
