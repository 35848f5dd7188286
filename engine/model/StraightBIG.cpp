#include "engine/model/StraightBIG.h"

#include <cmath>

#include "engine/fileformat/TaggedFile.h"
#include "engine/geometry/BoundsAccumulator.h"
#include "engine/model/MeasureUnits.h"

CStraightBIG::CStraightBIG() { mTrackLength = mLength; }

CStraightBIG::CStraightBIG(const CStraightBIG& other) : CBasicGeometry(other), mLength(other.mLength) {
    mTrackLength = mLength;
}

void CStraightBIG::SetLength(double length) {
    mLength = length;
    mTrackLength = length;
    UContentChanges::Note();
}

std::uint8_t* CStraightBIG::Serialize(std::uint8_t* buffer) const {
    std::uint8_t* p = PutInt32(buffer, kComponentTypeStraight);
    p = CBasicGeometry::Serialize(p);
    return PutDouble(p, mLength);
}

std::size_t CStraightBIG::GetSerializedSize() const { return kBasicSerializedSize + 4 + 8; }

void CStraightBIG::GetParallelPath(std::vector<CPoint>& points, double elementAngle, double lateralOffset) {
    PlaceSideLine(points, CPlanTurn(mAngle + elementAngle), lateralOffset);
}

void CStraightBIG::GetParallelPathPair(std::vector<CPoint>& first, std::vector<CPoint>& second, double elementAngle,
                                       double firstOffset, double secondOffset) {
    const CPlanTurn turn(mAngle + elementAngle);
    PlaceSideLine(first, turn, firstOffset);
    PlaceSideLine(second, turn, secondOffset);
}

void CStraightBIG::PlaceSideLine(std::vector<CPoint>& points, const CPlanTurn& turn, double lateralOffset) const {
    const double y = mOffsetY + mGauge + lateralOffset;
    const CPoint centre(mOffsetX + mLength / 2.0, mOffsetY + mGauge, 0.0);
    CPoint start(mOffsetX, y, 0.0);
    CPoint end(mOffsetX + mLength, y, 0.0);
    turn.Apply(start.x, start.y, centre.x, centre.y);
    turn.Apply(end.x, end.y, centre.x, centre.y);
    points.clear();
    points.push_back(start);
    points.push_back(end);
}

std::string CStraightBIG::Dump(int unitType) const {
    char own[128];
    std::snprintf(own, sizeof own, "mLength: %s", UMeasureUnits::FormatLength(unitType, mLength).c_str());
    return DumpBasicProperties(DumpClassName<CStraightBIG>().c_str()) + own;
}

tDoubleRect CStraightBIG::CalcBoundingBox(double elementAngle) {
    tDoubleRect box;
    CBoundsAccumulator accumulator(box);
    accumulator.AddPoints(GetCorners(elementAngle));
    return box;
}

void CStraightBIG::UpdateJoints(const CPoint& elementPosition, const CGradeVector& grade, int mode,
                                double elementAngle) {
    const double angle = mAngle + elementAngle;
    const CPoint centre(mOffsetX + mLength / 2.0, mOffsetY + mGauge, 0.0);
    CPoint first(mOffsetX, mOffsetY + mGauge, 0.0);
    CPoint last(mOffsetX + mLength, mOffsetY + mGauge, 0.0);
    first.Rotate(centre, angle);
    last.Rotate(centre, angle);
    if (grade.height > 0.001) {
        first.z = GetHeightOnGrade(first, grade);
        last.z = GetHeightOnGrade(last, grade);
    }
    mJoints[0].SetElementPoint(first);
    mJoints[1].SetElementPoint(last);
    mJoints[0].SetAngle(std::fmod(angle, 360.0));
    mJoints[1].SetAngle(std::fmod(angle + 180.0, 360.0));
    if (mode == 1) {
        for (CJoint& joint : mJoints) {
            CPoint layoutPoint(joint.GetElementPoint());
            layoutPoint.Translate(elementPosition.x, elementPosition.y, elementPosition.z);
            joint.SetLayoutPoint(layoutPoint);
        }
    }
    mJoints[0].SetMark(0);
    mJoints[1].SetMark(0);
}

bool CStraightBIG::Load(FILE* file, int fileVersion, std::string& errorText) {
    CTaggedFile tags(file);
    bool result =
        LoadBasicProperties(tags, fileVersion, errorText) && ReadRequiredDouble(tags, 311, mLength, errorText);
    mTrackLength = mLength;
    return result;
}

bool CStraightBIG::Save(FILE* file, int version) {
    if (file == nullptr || !IsRecordVersion(version)) return false;
    CTaggedFile tags(file);
    return tags.WriteInt(300, kComponentTypeStraight) && SaveBasicProperties(file, tags, version) &&
           tags.WriteDouble(311, mLength);
}
