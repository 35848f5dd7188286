#include "engine/model/OvalBIG.h"

#include <algorithm>
#include <cmath>

#include "engine/fileformat/TaggedFile.h"
#include "engine/geometry/BoundsAccumulator.h"
#include "engine/model/MeasureUnits.h"

namespace {

// The arc angles came with version 13; older records hold full ovals.
constexpr tRecordTagGate kStartAngleGate{336, 13, 13};
constexpr tRecordTagGate kEndAngleGate{337, 13, 13};

// Angle in [0, 360).
double NormalizeDegrees(double angle) {
    double result = std::fmod(angle, 360.0);
    if (result < 0.0) result += 360.0;
    if (result >= 360.0) result -= 360.0;
    return result;
}

}  // namespace

COvalBIG::COvalBIG() = default;

COvalBIG::COvalBIG(const COvalBIG& other)
    : CBasicGeometry(other),
      mLineWidth(other.mLineWidth),
      mRadiusX(other.mRadiusX),
      mRadiusY(other.mRadiusY),
      mStartAngle(other.mStartAngle),
      mEndAngle(other.mEndAngle) {}

std::uint8_t* COvalBIG::Serialize(std::uint8_t* buffer) const {
    std::uint8_t* p = PutInt32(buffer, kComponentTypeOval);
    p = CBasicGeometry::Serialize(p);
    p = PutDouble(p, mRadiusX);
    p = PutDouble(p, mRadiusY);
    p = PutDouble(p, mStartAngle);
    p = PutDouble(p, mEndAngle);
    return PutInt32(p, mLineWidth);
}

std::size_t COvalBIG::GetSerializedSize() const { return kBasicSerializedSize + 40; }

std::string COvalBIG::Dump(int unitType) const {
    char own[128];
    std::snprintf(own, sizeof own, "mLineWidth: %d, mRadiusX: %s; mRadiusY: %s", mLineWidth,
                  UMeasureUnits::FormatLength(unitType, mRadiusX).c_str(),
                  UMeasureUnits::FormatLength(unitType, mRadiusY).c_str());
    return DumpBasicProperties(DumpClassName<COvalBIG>().c_str()) + own;
}

CPoint COvalBIG::GetCenterPoint() const { return CPoint(mOffsetX + mRadiusX, mOffsetY + mRadiusY, 0.0); }

CPoint COvalBIG::GetReferencePoint(double) { return GetCenterPoint(); }

tDoubleRect COvalBIG::CalcBoundingBox(double elementAngle) {
    const CPoint centre = GetCenterPoint();
    const double turn = (mAngle + elementAngle) * CPoint::kDegreesToRadians;
    const double cosTurn = std::cos(turn);
    const double sinTurn = std::sin(turn);
    // (rx cos t, ry sin t) turned by the angle about the centre.
    auto pointAt = [&](double parameterDegrees) {
        const double t = parameterDegrees * CPoint::kDegreesToRadians;
        const double ex = mRadiusX * std::cos(t);
        const double ey = mRadiusY * std::sin(t);
        return CPoint(centre.x + ex * cosTurn - ey * sinTurn, centre.y + ex * sinTurn + ey * cosTurn, 0.0);
    };

    tDoubleRect box;
    CBoundsAccumulator accumulator(box);
    const double sweep = mEndAngle - mStartAngle;
    if (!(std::fabs(sweep) < 360.0)) {
        const double halfWidth = std::hypot(mRadiusX * cosTurn, mRadiusY * sinTurn);
        const double halfHeight = std::hypot(mRadiusX * sinTurn, mRadiusY * cosTurn);
        accumulator.AddPoint(CPoint(centre.x - halfWidth, centre.y - halfHeight, 0.0));
        accumulator.AddPoint(CPoint(centre.x + halfWidth, centre.y + halfHeight, 0.0));
    } else {
        // A clockwise arc covers the points of the counter-clockwise arc from
        // its end back to its start.
        const double start = sweep < 0.0 ? mEndAngle : mStartAngle;
        const double span = std::fabs(sweep);
        accumulator.AddPoint(pointAt(start));
        accumulator.AddPoint(pointAt(start + span));
        // Parameters where x, then y, is extreme: dx/dt = 0 and dy/dt = 0.
        const double extremeX = std::atan2(-mRadiusY * sinTurn, mRadiusX * cosTurn) * CPoint::kRadiansToDegrees;
        const double extremeY = std::atan2(mRadiusY * cosTurn, mRadiusX * sinTurn) * CPoint::kRadiansToDegrees;
        for (double candidate : {extremeX, extremeX + 180.0, extremeY, extremeY + 180.0}) {
            if (NormalizeDegrees(candidate - start) <= span) accumulator.AddPoint(pointAt(candidate));
        }
    }

    const double grow = std::max(mLineWidth, 0) / 2.0;
    box.minX -= grow;
    box.minY -= grow;
    box.maxX += grow;
    box.maxY += grow;
    return box;
}

bool COvalBIG::Load(FILE* file, int fileVersion, std::string& errorText) {
    CTaggedFile tags(file);
    bool result =
        LoadBasicProperties(tags, fileVersion, errorText) && ReadRequiredDouble(tags, 315, mRadiusX, errorText) &&
        ReadRequiredDouble(tags, 316, mRadiusY, errorText) && ReadRequiredInt(tags, 317, mLineWidth, errorText);
    if (result && kStartAngleGate.Carries(fileVersion))
        result = ReadRequiredDouble(tags, kStartAngleGate.id, mStartAngle, errorText);
    if (result && kEndAngleGate.Carries(fileVersion))
        result = ReadRequiredDouble(tags, kEndAngleGate.id, mEndAngle, errorText);
    if (mStartAngle > 359.0 || mStartAngle < 0.0) mStartAngle = 0.0;
    const bool endKept = mEndAngle <= 360.0 && mEndAngle >= mStartAngle && mEndAngle - mStartAngle >= 0.5;
    if (!endKept) mEndAngle = 360.0;
    return result;
}

bool COvalBIG::Save(FILE* file, int version) {
    if (file == nullptr || !IsRecordVersion(version)) return false;
    CTaggedFile tags(file);
    bool ok = tags.WriteInt(300, kComponentTypeOval) && SaveBasicProperties(file, tags, version) &&
              tags.WriteDouble(315, mRadiusX) && tags.WriteDouble(316, mRadiusY) && tags.WriteInt(317, mLineWidth);
    if (ok && kStartAngleGate.Carries(version)) ok = tags.WriteDouble(kStartAngleGate.id, mStartAngle);
    if (ok && kEndAngleGate.Carries(version)) ok = tags.WriteDouble(kEndAngleGate.id, mEndAngle);
    return ok;
}
