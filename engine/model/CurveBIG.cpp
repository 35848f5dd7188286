#include "engine/model/CurveBIG.h"

#include <algorithm>
#include <cmath>

#include "engine/fileformat/TaggedFile.h"
#include "engine/model/BoundsAccumulator.h"
#include "engine/model/MeasureUnits.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Each level of subdivision doubles the points; 16 levels (65,536 chords)
// already reach the 0.25 mm sagitta for arcs of a radius of 1000 km.
constexpr int kMaxSubdivisionDepth = 16;

struct tArc {
    CPoint centre;
    double radius;
};

CPoint PointOnArc(const tArc& arc, double angle) {
    CPoint point(arc.centre.x, arc.centre.y - arc.radius, 0.0);
    point.Rotate(arc.centre, angle);
    return point;
}

// Splits the arc from `startAngle` to `endAngle` in the middle while the
// bulge value is above 1 (a quarter of it at each level), and appends the
// chord ends in order. The middle points are taken on the arc itself.
void Subdivide(const tArc& arc, double startAngle, double endAngle, const CPoint& endPoint,
               double bulge, int depth, std::vector<CPoint>& points) {
    if (std::fabs(bulge) > 1.0 && depth < kMaxSubdivisionDepth) {
        const double middleAngle = (startAngle + endAngle) * 0.5;
        const CPoint middle = PointOnArc(arc, middleAngle);
        Subdivide(arc, startAngle, middleAngle, middle, bulge / 4.0, depth + 1, points);
        Subdivide(arc, middleAngle, endAngle, endPoint, bulge / 4.0, depth + 1, points);
    } else {
        points.push_back(endPoint);
    }
}

}  // namespace

CCurveBIG::CCurveBIG() {
    UpdateTrackLength();
}

CCurveBIG::CCurveBIG(const CCurveBIG& other)
    : CBasicGeometry(other), mRadius(other.mRadius), mArcAngle(other.mArcAngle) {
    UpdateTrackLength();
}

void CCurveBIG::UpdateTrackLength() {
    mTrackLength = mRadius * mArcAngle * kPi / 180.0;
}

void CCurveBIG::SetRadius(double radius) {
    mRadius = radius;
    UpdateTrackLength();
}

void CCurveBIG::SetArcAngle(double arcAngle) {
    mArcAngle = arcAngle;
    UpdateTrackLength();
}

std::uint8_t* CCurveBIG::Serialize(std::uint8_t* buffer) const {
    std::uint8_t* p = PutInt32(buffer, kComponentTypeCurve);
    p = CBasicGeometry::Serialize(p);
    p = PutDouble(p, mRadius);
    return PutDouble(p, mArcAngle);
}

std::size_t CCurveBIG::GetSerializedSize() const {
    return kBasicSerializedSize + 4 + 8 + 8;
}

CPoint CCurveBIG::GeometryPass(double radiusValue, double elementAngle) {
    const double angle = mAngle + elementAngle;
    const CPoint centre(radiusValue, radiusValue, 0.0);
    mStartPoint = CPoint(radiusValue, radiusValue - mRadius, 0.0);
    mEndPoint = mStartPoint;
    mStartPoint.Rotate(centre, angle);
    mEndPoint.Rotate(centre, angle + mArcAngle);

    // The ends are placed on scratch joints: a bounds or centre query leaves
    // the component's own joints as the last joint update made them.
    CJoint scratch[2];
    PlaceJoints(scratch, CPoint::Origin(), CGradeVector::Null(), 2, elementAngle);
    tDoubleRect box;
    CBoundsAccumulator accumulator(box);
    for (const CJoint& joint : scratch) {
        const auto edges = joint.GetEdgePoints(2, mGauge);
        accumulator.AddPoint(edges.first);
        accumulator.AddPoint(edges.second);
    }
    mStartPoint.Translate(mOffsetX - box.minX, mOffsetY - box.minY, 0.0);
    mEndPoint.Translate(mOffsetX - box.minX, mOffsetY - box.minY, 0.0);
    return CPoint(box.minX, box.minY, 0.0);
}

void CCurveBIG::PlaceJoints(CJoint* joints, const CPoint& elementPosition,
                            const CGradeVector& grade, int mode, double elementAngle) const {
    const double angle = mAngle + elementAngle;
    CPoint first(mStartPoint.x, mStartPoint.y, 0.0);
    CPoint last(mEndPoint.x, mEndPoint.y, 0.0);
    if (grade.height > 0.001) {
        first.z = GetHeightOnGrade(first, grade);
        last.z = GetHeightOnGrade(last, grade);
    }
    joints[0].SetElementPoint(first);
    joints[1].SetElementPoint(last);
    joints[0].SetAngle(std::fmod(angle, 360.0));
    joints[1].SetAngle(std::fmod(angle + mArcAngle + 180.0, 360.0));
    if (mode == 1) {
        for (int i = 0; i < 2; ++i) {
            CPoint layoutPoint(joints[i].GetElementPoint());
            layoutPoint.Translate(elementPosition.x, elementPosition.y, elementPosition.z);
            joints[i].SetLayoutPoint(layoutPoint);
        }
    }
    joints[1].SetMark(0);
    joints[0].SetMark(1);
}

void CCurveBIG::UpdateJoints(const CPoint& elementPosition, const CGradeVector& grade, int mode,
                             double elementAngle) {
    GeometryPass(mRadius + mGauge, elementAngle);
    PlaceJoints(mJoints, elementPosition, grade, mode, elementAngle);
}

CPoint CCurveBIG::GetCenterPoint(double elementAngle) {
    const CPoint minimum = GeometryPass(mRadius + mGauge, elementAngle);
    const double k = mRadius + std::max(mGauge, 1.0);
    return CPoint(k + mOffsetX - minimum.x, k + mOffsetY - minimum.y, 0.0);
}

tDoubleRect CCurveBIG::CalcBoundingBox(double elementAngle) {
    const CPoint minimum = GeometryPass(mRadius + mGauge, elementAngle);
    const double k = mRadius + std::max(mGauge, 1.0);
    const double halfWidth = GetHalfTrackbedWidth();
    const double angle = mAngle + elementAngle;
    const CPoint centre(k + mOffsetX, k + mOffsetY, 0.0);

    tDoubleRect box;
    CBoundsAccumulator accumulator(box);
    accumulator.AddArc(centre, angle, mArcAngle, mRadius + halfWidth);
    accumulator.AddArc(centre, angle, mArcAngle, mRadius - halfWidth);
    box.minX -= minimum.x;
    box.maxX -= minimum.x;
    box.minY -= minimum.y;
    box.maxY -= minimum.y;
    return box;
}

void CCurveBIG::GetParallelPath(std::vector<CPoint>& points, double elementAngle,
                                double lateralOffset) {
    const CPoint minimum = GeometryPass(mRadius + lateralOffset, elementAngle);
    const double r = mRadius + lateralOffset;
    const CPoint centre(r + mOffsetX - minimum.x, r + mOffsetY - minimum.y, 0.0);
    GetArcPoints(centre, r, mAngle + elementAngle, mArcAngle, points);
}

void CCurveBIG::GetArcPoints(const CPoint& centre, double radius, double startAngle, double sweep,
                             std::vector<CPoint>& points) {
    points.clear();
    points.reserve(25);
    const tArc arc{CPoint(centre.x, centre.y, 0.0), radius};
    const CPoint start = PointOnArc(arc, startAngle);
    if (radius < 0.001) {
        points.push_back(start);
        return;
    }
    const CPoint end = PointOnArc(arc, startAngle + sweep);
    points.push_back(start);
    const double length = radius * sweep * kPi / 180.0;
    const double halfAngle = length / radius * 0.5;
    const double sagitta = radius - radius * std::cos(halfAngle);
    Subdivide(arc, startAngle, startAngle + sweep, end, -4.0 * sagitta, 0, points);
}

std::string CCurveBIG::Dump(int unitType) const {
    char own[128];
    std::snprintf(own, sizeof own, "mArcAngle: %.2f; mRadius: %s", mArcAngle,
                  UMeasureUnits::FormatLength(unitType, mRadius).c_str());
    return DumpBasicProperties(DumpClassName<CCurveBIG>().c_str()) + own;
}

bool CCurveBIG::Load(FILE* file, int fileVersion, std::string& errorText) {
    CTaggedFile tags(file);
    const bool result = LoadBasicProperties(tags, fileVersion, errorText) &&
                        ReadRequiredDouble(tags, 312, mRadius, errorText) &&
                        ReadRequiredDouble(tags, 313, mArcAngle, errorText);
    UpdateTrackLength();
    return result;
}

bool CCurveBIG::Save(FILE* file, int version) {
    if (file == nullptr || !IsRecordVersion(version)) return false;
    CTaggedFile tags(file);
    return tags.WriteInt(300, kComponentTypeCurve) && SaveBasicProperties(file, tags, version) &&
           tags.WriteDouble(312, mRadius) && tags.WriteDouble(313, mArcAngle);
}
