#include "engine/model/BorderSegment.h"

#include <cmath>
#include <utility>

#include "engine/geometry/BoundsAccumulator.h"
#include "engine/services/Logger.h"
#include "engine/services/Uuid.h"

namespace {

// Ends closer than this in both x and y make an arc that is drawn as nothing.
constexpr double kDegenerateArcTolerance = 0.001;

const CPoint* FindPoint(const tBorderPoints& points, const std::string& id) {
    const auto found = points.find(id);
    return found != points.end() ? &found->second : nullptr;
}

// Angle in [0, 360).
double NormalizeAngle(double angle) {
    double result = std::fmod(angle, 360.0);
    if (result < 0.0) result += 360.0;
    if (result >= 360.0) result -= 360.0;
    return result;
}

}  // namespace

// ------------------------------------------------------------ CBorderSegment

CBorderSegment::CBorderSegment(std::string startPointId, std::string endPointId)
    : mStartPointId(std::move(startPointId)), mEndPointId(std::move(endPointId)), mIdentifier(UUuid::NewUuidString()) {
    WarnWhenClosedOnItself();
}

CBorderSegment::CBorderSegment(const CBorderSegment& other)
    : mSelected(other.mSelected),
      mFlag722(other.mFlag722),
      mStartPointId(other.mStartPointId),
      mEndPointId(other.mEndPointId),
      mIdentifier(UUuid::NewUuidString()),
      mInteger723(other.mInteger723),
      mInteger724(other.mInteger724) {
    WarnWhenClosedOnItself();
}

CBorderSegment::~CBorderSegment() = default;

void CBorderSegment::WarnWhenClosedOnItself() const {
    if (mStartPointId == mEndPointId) {
        LogWarning("Invalid parameter - Point ID %s is used as both, start and end point of border %s",
                   mStartPointId.c_str(), mIdentifier.c_str());
    }
}

CStraightBorderSegment::CStraightBorderSegment(std::string startPointId, std::string endPointId)
    : CBorderSegment(std::move(startPointId), std::move(endPointId)) {}

CStraightBorderSegment::CStraightBorderSegment(const CStraightBorderSegment& other) = default;

CStraightBorderSegment::~CStraightBorderSegment() = default;

CCircleArcBorderSegment::CCircleArcBorderSegment(std::string startPointId, std::string endPointId)
    : CBorderSegment(std::move(startPointId), std::move(endPointId)) {}

CCircleArcBorderSegment::CCircleArcBorderSegment(const CCircleArcBorderSegment& other) = default;

CCircleArcBorderSegment::~CCircleArcBorderSegment() = default;

// ------------------------------------------------------------ operations

namespace UCircleArcBorderSegments {

CBorderSegment* CopySegment(const CBorderSegment& segment) {
    if (const auto* arc = dynamic_cast<const CCircleArcBorderSegment*>(&segment)) {
        return new CCircleArcBorderSegment(*arc);
    }
    if (const auto* straight = dynamic_cast<const CStraightBorderSegment*>(&segment)) {
        return new CStraightBorderSegment(*straight);
    }
    return nullptr;
}

tDoubleRect GetBoundingBox(const CBorderSegment& segment, const tBorderPoints& points) {
    tDoubleRect bounds;
    CBoundsAccumulator accumulator(bounds);
    const CPoint* start = FindPoint(points, segment.GetStartPointId());
    const CPoint* end = FindPoint(points, segment.GetEndPointId());
    if (start != nullptr) accumulator.AddPoint(*start);
    if (end != nullptr) accumulator.AddPoint(*end);

    const auto* arc = dynamic_cast<const CCircleArcBorderSegment*>(&segment);
    if (arc == nullptr || start == nullptr || end == nullptr) return bounds;
    if (std::fabs(start->x - end->x) < kDegenerateArcTolerance &&
        std::fabs(start->y - end->y) < kDegenerateArcTolerance) {
        return bounds;
    }

    // The arc as the baseboard painter draws it: from the plan angle of the
    // start to that of the end about the centre, at the start's distance.
    const CPoint& centre = arc->GetCentre();
    const double startAngle = centre.AngleTo(*start);
    const double endAngle = centre.AngleTo(*end);
    const double radius = centre.Distance2D(*start);
    const double sweep =
        arc->GetDirectionFlag() ? -NormalizeAngle(startAngle - endAngle) : NormalizeAngle(endAngle - startAngle);
    // The accumulator measures its angles from -y rather than from +x.
    accumulator.AddArc(centre, startAngle + 90.0, sweep, radius);
    return bounds;
}

void MoveBy(const tBorderSegments& segments, double dx, double dy) {
    for (CBorderSegment* segment : segments) {
        if (auto* arc = dynamic_cast<CCircleArcBorderSegment*>(segment)) {
            arc->GetCentre().Translate(dx, dy, 0.0);
        }
    }
}

}  // namespace UCircleArcBorderSegments
