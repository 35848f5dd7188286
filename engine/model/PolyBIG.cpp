#include "engine/model/PolyBIG.h"
#include "engine/fileformat/Tag.h"

#include <sys/types.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "engine/fileformat/TaggedFile.h"
#include "engine/geometry/BoundsAccumulator.h"
#include "engine/services/Logger.h"

namespace {

// Each point is two real tags of 4 header bytes and 8 data bytes.
constexpr long long kMinBytesPerPoint = 24;
// Room reserved up front when the file cannot tell how much is left.
constexpr std::size_t kBlindReserve = 4096;

bool HasNaN(const CPoint& point) { return std::isnan(point.x) || std::isnan(point.y); }

}  // namespace

CPolyBIG::CPolyBIG() = default;

CPolyBIG::CPolyBIG(const std::vector<CPoint>& points, std::int32_t lineWidth, std::int32_t kind, double offsetX,
                   double offsetY, double angle)
    : mPoints(points), mLineWidth(lineWidth), mKind(kind) {
    mOffsetX = offsetX;
    mOffsetY = offsetY;
    mAngle = angle;
    mGauge = 0.0;
    mJointEnabled[0] = false;
    mJointEnabled[1] = false;
    SyncJointFreeFlags();
}

CPolyBIG::CPolyBIG(const CPolyBIG& other)
    : CBasicGeometry(other),
      mPoints(other.mPoints),
      mTransformedPoints(other.mTransformedPoints),
      mRotationCenter(other.mRotationCenter),
      mFillFlag(other.mFillFlag),
      mSecondFlag(other.mSecondFlag),
      mLineWidth(other.mLineWidth),
      mKind(other.mKind) {}

void CPolyBIG::SetPoints(const std::vector<CPoint>& points) {
    mPoints = points;
    UContentChanges::Note();
}

const CPoint& CPolyBIG::GetPoint(std::size_t index) const {
    if (index >= mPoints.size()) return CPoint::Origin();
    return mPoints[index];
}

std::vector<CPoint> CPolyBIG::GetTransformedPoints(double extraAngle) {
    std::vector<CPoint> points(mPoints);
    if (!points.empty()) {
        double minX = points.front().x;
        double maxX = minX;
        double minY = points.front().y;
        double maxY = minY;
        for (const CPoint& point : points) {
            minX = std::min(minX, point.x);
            maxX = std::max(maxX, point.x);
            minY = std::min(minY, point.y);
            maxY = std::max(maxY, point.y);
        }
        mRotationCenter = CPoint((minX + maxX) / 2.0, (minY + maxY) / 2.0, 0.0);
        const CPlanTurn turn(mAngle + extraAngle);
        for (CPoint& point : points) {
            turn.Apply(point.x, point.y, mRotationCenter.x, mRotationCenter.y);
            point.Translate(mOffsetX, mOffsetY, 0.0);
        }
    }
    mTransformedPoints = points;
    return points;
}

CPoint CPolyBIG::GetPointAt(std::size_t index, double extraAngle) {
    const std::vector<CPoint> points = GetTransformedPoints(extraAngle);
    if (index >= points.size()) return CPoint::Origin();
    return points[index];
}

CPoint CPolyBIG::GetReferencePoint(double elementAngle) { return GetPointAt(0, elementAngle); }

tDoubleRect CPolyBIG::CalcBoundingBox(double elementAngle) {
    const std::vector<CPoint> points = GetTransformedPoints(elementAngle);
    if (points.empty()) return EmptyRect();
    tDoubleRect box;
    CBoundsAccumulator accumulator(box);
    accumulator.AddPoints(points);
    const double grow = std::max(mLineWidth, 0) / 2.0;
    box.minX -= grow;
    box.minY -= grow;
    box.maxX += grow;
    box.maxY += grow;
    return box;
}

std::uint8_t* CPolyBIG::Serialize(std::uint8_t* buffer) const {
    std::uint8_t* p = PutInt32(buffer, kComponentTypePoly);
    p = CBasicGeometry::Serialize(p);
    p = PutInt32(p, static_cast<std::int32_t>(mPoints.size()));
    for (const CPoint& point : mPoints) {
        p = PutDouble(p, point.x);
        p = PutDouble(p, point.y);
    }
    p = PutBool(p, mFillFlag);
    p = PutBool(p, mSecondFlag);
    p = PutInt32(p, mKind);
    return PutInt32(p, mLineWidth);
}

std::size_t CPolyBIG::GetSerializedSize() const { return kBasicSerializedSize + 16 * mPoints.size() + 18; }

std::string CPolyBIG::Dump(int) const {
    std::string text = DumpBasicProperties(DumpClassName<CPolyBIG>().c_str());
    char own[64];
    std::snprintf(own, sizeof own, "mLineWidth: %d,mPoints [ %ld ]:\n", mLineWidth, static_cast<long>(mPoints.size()));
    text += own;
    for (const CPoint& point : mPoints) {
        text += "    + ";
        text += point.Dump(3);
        text += ",\n";
    }
    return text;
}

// ----------------------------------------------------------- record I/O

bool CPolyBIG::LoadPolygon(FILE* handle, CTaggedFile& file, int fileVersion, std::string& errorText) {
    if (!LoadBasicProperties(file, fileVersion, errorText)) return false;

    std::int32_t count = 0;
    if (!ReadRequiredInt(file, 318, count, errorText)) return false;
    if (count < 0) count = 0;
    char text[128];
    if (count > kMaxPointCount) {
        std::snprintf(text, sizeof text, "Too many polygon points (%d)", count);
        errorText = text;
        return false;
    }
    // A forged count must not size anything or send the reader on a long
    // hunt: the points have to fit in what is left of the file.
    const long long left = BytesLeftInStream(handle);
    if (left >= 0 && count > left / kMinBytesPerPoint) {
        std::snprintf(text, sizeof text, "Polygon point count %d exceeds the %lld bytes left", count, left);
        errorText = text;
        return false;
    }

    mPoints.clear();
    mPoints.reserve(left >= 0 ? static_cast<std::size_t>(count)
                              : std::min<std::size_t>(static_cast<std::size_t>(count), kBlindReserve));
    for (std::int32_t i = 0; i < count; ++i) {
        CPoint point;
        if (!ReadRequiredDouble(file, 319, point.x, errorText)) return false;
        if (!ReadRequiredDouble(file, 320, point.y, errorText)) return false;
        if (HasNaN(point)) {
            LogWarning("Invalid point coordinates read from file: %s", point.Dump(3).c_str());
            LogInfo("Auto-fixing coordinates for point");
            point = CPoint::Origin();
        }
        mPoints.push_back(point);
    }

    if (!ReadRequiredBool(file, 321, mFillFlag, errorText)) return false;
    if (!ReadRequiredInt(file, 322, mKind, errorText)) return false;
    if (mKind < 0) mKind = kPolyKindPolygon;
    if (!ReadRequiredInt(file, 323, mLineWidth, errorText)) return false;
    if (mLineWidth < 0) mLineWidth = 1;

    // Every user of a polygon takes its first point; a record without one
    // is damage, not a shape.
    if (mPoints.empty()) {
        errorText = "Polygon without points";
        return false;
    }
    return true;
}

bool CPolyBIG::SavePolygon(FILE* handle, CTaggedFile& file, int version) {
    if (mPoints.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return false;
    if (!file.WriteInt(300, kComponentTypePoly) || !SaveBasicProperties(handle, file, version) ||
        !file.WriteInt(318, static_cast<std::int32_t>(mPoints.size()))) {
        return false;
    }
    for (CPoint& point : mPoints) {
        if (HasNaN(point)) {
            LogWarning("Detected invalid point coordinates when writing to file: %s", point.Dump(3).c_str());
            LogInfo("Auto-fixing coordinates for point");
            point = CPoint::Origin();
        }
        if (!file.WriteDouble(319, point.x) || !file.WriteDouble(320, point.y)) return false;
    }
    return file.WriteBool(321, mFillFlag) && file.WriteInt(322, mKind) && file.WriteInt(323, mLineWidth);
}

bool CPolyBIG::Load(FILE* file, int fileVersion, std::string& errorText) {
    CTaggedFile tags(file);
    return LoadPolygon(file, tags, fileVersion, errorText);
}

bool CPolyBIG::Save(FILE* file, int version) {
    if (file == nullptr || !IsRecordVersion(version)) return false;
    CTaggedFile tags(file);
    return SavePolygon(file, tags, version);
}
