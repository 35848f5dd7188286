#include "engine/model/FlexTrackBIG.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cmath>
#include <cstdio>
#include <utility>

#include "engine/fileformat/TaggedFile.h"
#include "engine/geometry/BoundsAccumulator.h"
#include "engine/model/MeasureUnits.h"
#include "engine/services/Logger.h"

namespace {

// Evaluates the Bezier curve of `controls` (at least two points) at each of
// `parameters` (all in 0..1) by de Casteljau's construction: each round
// replaces every point but the last by (1 - t) times it plus t times the
// next, until one point is left.
std::vector<CPoint> EvaluateBezier(const std::vector<CPoint>& controls, const std::vector<double>& parameters) {
    using tCoordinates = std::array<double, 3>;
    const std::size_t count = controls.size();
    // Flex tracks have at most four control points; the heap only for more.
    std::array<tCoordinates, 8> local;
    std::vector<tCoordinates> spill;
    tCoordinates* scratch = local.data();
    if (count > local.size()) {
        spill.resize(count);
        scratch = spill.data();
    }

    std::vector<CPoint> result;
    result.reserve(parameters.size());
    for (double t : parameters) {
        for (std::size_t i = 0; i + 1 < count; ++i) {
            const CPoint& a = controls[i];
            const CPoint& b = controls[i + 1];
            scratch[i] = {(1 - t) * a.x + t * b.x, (1 - t) * a.y + t * b.y, (1 - t) * a.z + t * b.z};
        }
        for (std::size_t n = count - 1; n > 1; --n) {
            for (std::size_t i = 0; i + 1 < n; ++i) {
                for (std::size_t j = 0; j < 3; ++j) scratch[i][j] = (1 - t) * scratch[i][j] + t * scratch[i + 1][j];
            }
        }
        result.emplace_back(scratch[0][0], scratch[0][1], scratch[0][2]);
    }
    return result;
}

const std::vector<double>& CenterLineParameters() {
    // Never destroyed: curves are read on any thread, also one still running at exit.
    static const auto* parameters = new const std::vector<double>([] {
        std::vector<double> values;
        for (int i = 0; i <= CFlexTrackBIG::kCenterLineSegments; ++i)
            values.push_back(static_cast<double>(i) / CFlexTrackBIG::kCenterLineSegments);
        return values;
    }());
    return *parameters;
}

}  // namespace

// ----------------------------------------------------------- CFlexTrackBIG

CFlexTrackBIG::CFlexTrackBIG() { UpdateTrackLength(); }

CFlexTrackBIG::CFlexTrackBIG(const CPoint& firstPoint, const CPoint& lastPoint, bool joint0Enabled, bool joint1Enabled,
                             double offsetX, double offsetY, double maxLength, double gauge, double trackbedWidth,
                             double railWidth)
    : mMaxLength(maxLength) {
    mPoints = {firstPoint, lastPoint};
    mOffsetX = offsetX;
    mOffsetY = offsetY;
    mAngle = 0.0;
    mGauge = gauge;
    mTrackbedWidth = trackbedWidth;
    mRailWidth = railWidth;
    mJointEnabled[0] = joint0Enabled;
    mJointEnabled[1] = joint1Enabled;
    SyncJointFreeFlags();
    UFlextrack::InsertMidPoint(this, 0);
}

CFlexTrackBIG::CFlexTrackBIG(const CFlexTrackBIG& other) : CPolyBIG(other), mMaxLength(other.mMaxLength) {
    UpdateTrackLength();
}

void CFlexTrackBIG::SetPoints(const std::vector<CPoint>& points) {
    mPoints = points;
    UpdateTrackLength();
    UContentChanges::Note();
}

std::vector<CPoint> CFlexTrackBIG::CenterLineOf(const std::vector<CPoint>& controls) {
    if (controls.size() < kMinControlPoints) return {};
    return EvaluateBezier(controls, CenterLineParameters());
}

void CFlexTrackBIG::UpdateTrackLength() {
    GetTransformedPoints(0.0);
    const std::vector<CPoint> line = CenterLineOf(mTransformedPoints);
    double length = 0.0;
    for (std::size_t i = 1; i < line.size(); ++i) length += line[i - 1].Distance3D(line[i]);
    mTrackLength = length;
}

CPoint CFlexTrackBIG::GetCenterLinePoint(double t, double elementAngle) {
    const std::vector<CPoint> controls = GetTransformedPoints(elementAngle);
    if (controls.empty()) return CPoint::Origin();
    if (controls.size() < kMinControlPoints) return controls.front();
    const double clamped = std::isnan(t) ? 0.0 : std::clamp(t, 0.0, 1.0);
    return EvaluateBezier(controls, {clamped}).front();
}

CPoint CFlexTrackBIG::GetCenterPoint(double elementAngle) { return GetCenterLinePoint(0.5, elementAngle); }

std::uint8_t* CFlexTrackBIG::Serialize(std::uint8_t* buffer) const {
    std::uint8_t* p = PutInt32(buffer, kComponentTypeFlexTrack);
    p = CPolyBIG::Serialize(p);
    return PutDouble(p, mMaxLength);
}

std::size_t CFlexTrackBIG::GetSerializedSize() const { return CPolyBIG::GetSerializedSize() + 12; }

void CFlexTrackBIG::GetParallelPath(std::vector<CPoint>& points, double elementAngle, double lateralOffset) {
    const std::vector<CPoint> line = CenterLineOf(GetTransformedPoints(elementAngle));
    std::vector<CPoint>* const sides[1] = {&points};
    PlaceSides(line, sides, &lateralOffset, 1);
}

void CFlexTrackBIG::GetParallelPathPair(std::vector<CPoint>& first, std::vector<CPoint>& second, double elementAngle,
                                        double firstOffset, double secondOffset) {
    if (&first == &second) {
        CPolyBIG::GetParallelPathPair(first, second, elementAngle, firstOffset, secondOffset);
        return;
    }
    const std::vector<CPoint> line = CenterLineOf(GetTransformedPoints(elementAngle));
    std::vector<CPoint>* const sides[2] = {&first, &second};
    const double offsets[2] = {firstOffset, secondOffset};
    PlaceSides(line, sides, offsets, 2);
}

void CFlexTrackBIG::PlaceSides(const std::vector<CPoint>& line, std::vector<CPoint>* const* sides,
                               const double* offsets, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        sides[k]->clear();
        sides[k]->reserve(line.size());
    }
    for (std::size_t i = 0; i < line.size(); ++i) {
        const double direction = i == 0 ? line[0].AngleTo(line[1]) : line[i - 1].AngleTo(line[i]);
        const CPlanTurn turn(direction);
        for (std::size_t k = 0; k < count; ++k) {
            CPoint point(line[i].x, line[i].y + offsets[k], line[i].z);
            turn.Apply(point.x, point.y, line[i].x, line[i].y);
            sides[k]->push_back(point);
        }
    }
}

std::string CFlexTrackBIG::Dump(int unitType) const {
    char own[128];
    std::snprintf(own, sizeof own, "mMaxLength: %s, mPoints [ %ld ]",
                  UMeasureUnits::FormatLength(unitType, mMaxLength).c_str(), static_cast<long>(mPoints.size()));
    return DumpBasicProperties(DumpClassName<CFlexTrackBIG>().c_str()) + own;
}

CPoint CFlexTrackBIG::GetReferencePoint(double elementAngle) { return CBasicGeometry::GetReferencePoint(elementAngle); }

void CFlexTrackBIG::UpdateJoints(const CPoint& elementPosition, const CGradeVector& grade, int mode,
                                 double elementAngle) {
    const std::vector<CPoint> transformed = GetTransformedPoints(elementAngle);
    CPoint first;
    CPoint last;
    if (!transformed.empty()) {
        first = CPoint(transformed.front().x, transformed.front().y, 0.0);
        last = CPoint(transformed.back().x, transformed.back().y, 0.0);
    }
    // Directions into the track, measured on the untransformed points; a
    // track without two points looks like a straight of no length.
    double firstDirection = 0.0;
    double lastDirection = 180.0;
    const std::size_t n = mPoints.size();
    if (n >= kMinControlPoints) {
        firstDirection = mPoints[0].AngleTo(mPoints[1]);
        lastDirection = mPoints[n - 1].AngleTo(mPoints[n - 2]);
    }
    const double angle = mAngle + elementAngle;
    if (grade.height > 0.001) {
        first.z = GetHeightOnGrade(first, grade);
        last.z = GetHeightOnGrade(last, grade);
    }
    mJoints[0].SetElementPoint(first);
    mJoints[1].SetElementPoint(last);
    mJoints[0].SetAngle(std::fmod(angle + firstDirection + 360.0, 360.0));
    mJoints[1].SetAngle(std::fmod(angle + lastDirection + 360.0, 360.0));
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

tDoubleRect CFlexTrackBIG::CalcBoundingBox(double elementAngle) {
    const std::vector<CPoint> transformed = GetTransformedPoints(elementAngle);
    if (transformed.empty()) return EmptyRect();

    struct tSavedJoint {
        CPoint layoutPoint;
        double angle;
    };
    const tSavedJoint saved[2] = {{mJoints[0].GetLayoutPoint(), mJoints[0].GetAngle()},
                                  {mJoints[1].GetLayoutPoint(), mJoints[1].GetAngle()}};

    tDoubleRect box;
    CBoundsAccumulator accumulator(box);
    accumulator.AddPoints(GetCorners(elementAngle));
    accumulator.AddPoints(transformed);
    const double d = 0.75 * GetHalfTrackbedWidth();
    auto addCross = [&](const CPoint& p) {
        accumulator.AddPoint(CPoint(p.x + d, p.y, 0.0));
        accumulator.AddPoint(CPoint(p.x - d, p.y, 0.0));
        accumulator.AddPoint(CPoint(p.x, p.y + d, 0.0));
        accumulator.AddPoint(CPoint(p.x, p.y - d, 0.0));
    };
    if (transformed.size() >= 2) addCross(transformed[1]);
    if (transformed.size() >= 4) addCross(transformed[2]);

    for (int i = 0; i < 2; ++i) {
        mJoints[i].SetLayoutPoint(saved[i].layoutPoint);
        mJoints[i].SetAngle(saved[i].angle);
    }
    return box;
}

bool CFlexTrackBIG::Load(FILE* file, int fileVersion, std::string& errorText) {
    if (!CheckFileVersion(fileVersion, "virtual bool CFlexTrackBIG::Load(FILE *, int)", errorText)) return false;
    CTaggedFile tags(file);
    // The record holds its type twice: 6 (read by the caller), then the
    // polygon's own 3.
    std::int32_t polygonType = 0;
    bool result = ReadRequiredInt(tags, 300, polygonType, errorText) &&
                  LoadPolygon(file, tags, fileVersion, errorText) &&
                  ReadRequiredDouble(tags, 314, mMaxLength, errorText);
    if (result && (mPoints.size() < kMinControlPoints || mPoints.size() > kMaxControlPoints)) {
        char text[96];
        std::snprintf(text, sizeof text, "Flex track with %zu control points (2 to 4 expected)", mPoints.size());
        errorText = text;
        result = false;
    }
    UpdateTrackLength();
    return result;
}

bool CFlexTrackBIG::Save(FILE* file, int version) {
    if (file == nullptr || !IsRecordVersion(version)) return false;
    CTaggedFile tags(file);
    return tags.WriteInt(300, kComponentTypeFlexTrack) && SavePolygon(file, tags, version) &&
           tags.WriteDouble(314, mMaxLength);
}

// -------------------------------------------------------------- UFlextrack

namespace UFlextrack {

bool BendToCurve(CFlexTrackBIG* flex, double radius, double angle) {
    if (flex == nullptr) return false;
    std::vector<CPoint> points = flex->GetPoints();
    if (points.size() == 3) points.insert(points.begin() + 1, CPoint::Origin());
    if (points.size() != 4) {
        LogWarning("Invalid control point count in %s",
                   "static bool UFlextrack::BendToCurve(CFlexTrackBIG *, double, double)");
        return false;
    }

    const CPoint first = points.front();
    const double theta = angle * CPoint::kDegreesToRadians;
    const double k = 4.0 / 3.0 * std::tan(theta / 4.0);
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    const double r = radius;
    std::vector<CPoint> arc = {
        CPoint(r, 0.0, first.z),
        CPoint(r, k * r, 0.0),
        CPoint(r * (c + k * s), r * (s - k * c), 0.0),
        CPoint(r * c, r * s, 0.0),
    };
    const double cx = first.x - r;
    const double cy = first.y;
    for (CPoint& point : arc) {
        point.Rotate(cx, cy, -90.0);
        point.Translate(cx, cy, 0.0);
        point.z = 0.0;
    }
    flex->SetPoints(arc);
    return true;
}

void MakeStraight(CFlexTrackBIG* flex, double length) {
    if (flex == nullptr) return;
    std::vector<CPoint> points = flex->GetPoints();
    const std::size_t n = points.size();
    if (n < 2) return;
    CPoint& first = points.front();
    CPoint& last = points.back();
    last.Set(first.x + length, first.y);
    if (n == 3) {
        points[1].Set((first.x + last.x) / 2.0, (first.y + last.y) / 2.0);
    } else if (n == 4) {
        const double dx = last.x - first.x;
        const double dy = last.y - first.y;
        points[1].Set(first.x + dx / 3.0, first.y + dy / 3.0);
        points[2].Set(first.x + dx * 2.0 / 3.0, first.y + dy * 2.0 / 3.0);
    }
    flex->SetPoints(points);
}

void InsertMidPoint(CFlexTrackBIG* flex, std::size_t index) {
    if (flex == nullptr) return;
    std::vector<CPoint> points = flex->GetPoints();
    if (index >= points.size()) return;
    const std::size_t next = index + 1 == points.size() ? 0 : index + 1;
    const CPoint mid = CPoint::MidPoint(points[index], points[next]);
    points.insert(points.begin() + static_cast<std::ptrdiff_t>(index) + 1, mid);
    flex->SetPoints(points);
}

}  // namespace UFlextrack
