#include "engine/model/CurveBIG.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

#include "engine/fileformat/TaggedFile.h"
#include "engine/geometry/BoundsAccumulator.h"
#include "engine/model/MeasureUnits.h"
#include "platform/foundation/HashMix.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Each level of subdivision doubles the points; 16 levels (65,536 chords)
// already reach the 0.25 mm sagitta for arcs of a radius of 1000 km.
constexpr int kMaxSubdivisionDepth = 16;

// Each level of subdivision splits every chord in two while the bulge
// value, a quarter of it at each level, is above 1: the same depth for all
// chords of the arc.
int SubdivisionDepth(double bulge) {
    int depth = 0;
    while (std::fabs(bulge) > 1.0 && depth < kMaxSubdivisionDepth) {
        bulge /= 4.0;
        ++depth;
    }
    return depth;
}

// Appends the turns to the ends of the chords between `startAngle` and
// `endAngle`, in order, halving each angle range `levels` times.
void AddChordEnds(double startAngle, double endAngle, int levels, std::vector<CPlanTurn>& turns) {
    if (levels > 0) {
        const double middleAngle = (startAngle + endAngle) * 0.5;
        AddChordEnds(startAngle, middleAngle, levels - 1, turns);
        AddChordEnds(middleAngle, endAngle, levels - 1, turns);
    } else {
        turns.emplace_back(endAngle);
    }
}

// The point of the circle about `centre` of `radius` at `turn`: the point
// below the centre turned about it.
CPoint PointOnArc(const CPoint& centre, double radius, const CPlanTurn& turn) {
    CPoint point(centre.x, centre.y - radius, 0.0);
    turn.Apply(point.x, point.y, centre.x, centre.y);
    return point;
}

}  // namespace

// The turns to every point of a subdivided arc: the start, then the end of
// each chord. Arcs of the same start, sweep and depth share them: the sides
// of one curve, and the curves of a layout laid from the same catalogue
// pieces at the same headings, which a layout has many of. A few dozen are
// kept, each in the slot its angles give (the angles compared bit for bit,
// so that a kept list is exactly the one that would be worked out); one
// table per thread keeps its memory.
struct CCurveBIG::tArcTurns {
    struct tEntry {
        int depth = -1;
        std::uint64_t startBits = 0;
        std::uint64_t sweepBits = 0;
        std::vector<CPlanTurn> turns;
    };
    static constexpr std::size_t kSlots = 64;
    std::array<tEntry, kSlots> entries;

    const std::vector<CPlanTurn>& For(double start, double arcSweep, int arcDepth) {
        const auto startBits = std::bit_cast<std::uint64_t>(start);
        const auto sweepBits = std::bit_cast<std::uint64_t>(arcSweep);
        const std::uint64_t mix = platform::hashMix(startBits, sweepBits, static_cast<std::uint64_t>(arcDepth));
        tEntry& entry = entries[(mix >> 58) % kSlots];
        if (arcDepth != entry.depth || startBits != entry.startBits || sweepBits != entry.sweepBits) {
            entry.depth = arcDepth;
            entry.startBits = startBits;
            entry.sweepBits = sweepBits;
            entry.turns.clear();
            entry.turns.reserve((std::size_t{1} << arcDepth) + 1);
            entry.turns.emplace_back(start);
            AddChordEnds(start, start + arcSweep, arcDepth, entry.turns);
        }
        return entry.turns;
    }
};

CCurveBIG::CCurveBIG() { UpdateTrackLength(); }

CCurveBIG::CCurveBIG(const CCurveBIG& other)
    : CBasicGeometry(other), mRadius(other.mRadius), mArcAngle(other.mArcAngle) {
    UpdateTrackLength();
}

void CCurveBIG::UpdateTrackLength() { mTrackLength = mRadius * mArcAngle * kPi / 180.0; }

void CCurveBIG::SetRadius(double radius) {
    mRadius = radius;
    UpdateTrackLength();
    UContentChanges::Note();
}

void CCurveBIG::SetArcAngle(double arcAngle) {
    mArcAngle = arcAngle;
    UpdateTrackLength();
    UContentChanges::Note();
}

std::uint8_t* CCurveBIG::Serialize(std::uint8_t* buffer) const {
    std::uint8_t* p = PutInt32(buffer, kComponentTypeCurve);
    p = CBasicGeometry::Serialize(p);
    p = PutDouble(p, mRadius);
    return PutDouble(p, mArcAngle);
}

std::size_t CCurveBIG::GetSerializedSize() const { return kBasicSerializedSize + 4 + 8 + 8; }

// The turns of a geometry pass: they depend on the angles alone, so the
// passes for the sides of one curve share them.
struct CCurveBIG::tPassTurns {
    tPassTurns(double angle, double arcAngle)
        : start(angle),
          end(angle + arcAngle),
          firstJoint(std::fmod(angle, 360.0)),
          lastJoint(std::fmod(angle + arcAngle + 180.0, 360.0)) {}

    CPlanTurn start;
    CPlanTurn end;
    // By the angles PlaceJoints gives joints 0 and 1.
    CPlanTurn firstJoint;
    CPlanTurn lastJoint;
};

CPoint CCurveBIG::GeometryPass(double radiusValue, double elementAngle) {
    return GeometryPass(radiusValue, elementAngle, tPassTurns(mAngle + elementAngle, mArcAngle));
}

CPoint CCurveBIG::GeometryPass(double radiusValue, double elementAngle, const tPassTurns& turns) {
    const CPoint centre(radiusValue, radiusValue, 0.0);
    mStartPoint = CPoint(radiusValue, radiusValue - mRadius, 0.0);
    mEndPoint = mStartPoint;
    turns.start.Apply(mStartPoint.x, mStartPoint.y, centre.x, centre.y);
    turns.end.Apply(mEndPoint.x, mEndPoint.y, centre.x, centre.y);

    // The ends are placed on scratch joints: a bounds or centre query leaves
    // the component's own joints as the last joint update made them.
    CJoint scratch[2];
    PlaceJoints(scratch, CPoint::Origin(), CGradeVector::Null(), 2, elementAngle);
    tDoubleRect box;
    CBoundsAccumulator accumulator(box);
    const CPlanTurn* jointTurns[2] = {&turns.firstJoint, &turns.lastJoint};
    for (int i = 0; i < 2; ++i) {
        const auto edges = scratch[i].GetEdgePoints(2, mGauge, *jointTurns[i]);
        accumulator.AddPoint(edges.first);
        accumulator.AddPoint(edges.second);
    }
    mStartPoint.Translate(mOffsetX - box.minX, mOffsetY - box.minY, 0.0);
    mEndPoint.Translate(mOffsetX - box.minX, mOffsetY - box.minY, 0.0);
    return CPoint(box.minX, box.minY, 0.0);
}

void CCurveBIG::PlaceJoints(CJoint* joints, const CPoint& elementPosition, const CGradeVector& grade, int mode,
                            double elementAngle) const {
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

void CCurveBIG::UpdateJoints(const CPoint& elementPosition, const CGradeVector& grade, int mode, double elementAngle) {
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

void CCurveBIG::GetParallelPath(std::vector<CPoint>& points, double elementAngle, double lateralOffset) {
    thread_local tArcTurns arcTurns;
    PlaceParallelArc(points, elementAngle, lateralOffset, tPassTurns(mAngle + elementAngle, mArcAngle), arcTurns);
}

void CCurveBIG::GetParallelPathPair(std::vector<CPoint>& first, std::vector<CPoint>& second, double elementAngle,
                                    double firstOffset, double secondOffset) {
    const tPassTurns passTurns(mAngle + elementAngle, mArcAngle);
    thread_local tArcTurns arcTurns;
    PlaceParallelArc(first, elementAngle, firstOffset, passTurns, arcTurns);
    PlaceParallelArc(second, elementAngle, secondOffset, passTurns, arcTurns);
}

void CCurveBIG::PlaceParallelArc(std::vector<CPoint>& points, double elementAngle, double lateralOffset,
                                 const tPassTurns& passTurns, tArcTurns& arcTurns) {
    const CPoint minimum = GeometryPass(mRadius + lateralOffset, elementAngle, passTurns);
    const double r = mRadius + lateralOffset;
    const CPoint centre(r + mOffsetX - minimum.x, r + mOffsetY - minimum.y, 0.0);
    PlaceArcPoints(centre, r, mAngle + elementAngle, mArcAngle, arcTurns, points);
}

void CCurveBIG::GetArcPoints(const CPoint& centre, double radius, double startAngle, double sweep,
                             std::vector<CPoint>& points) {
    thread_local tArcTurns turns;
    PlaceArcPoints(centre, radius, startAngle, sweep, turns, points);
}

void CCurveBIG::PlaceArcPoints(const CPoint& centre, double radius, double startAngle, double sweep, tArcTurns& turns,
                               std::vector<CPoint>& points) {
    points.clear();
    const CPoint planCentre(centre.x, centre.y, 0.0);
    if (radius < 0.001) {
        points.push_back(PointOnArc(planCentre, radius, CPlanTurn(startAngle)));
        return;
    }
    const double length = radius * sweep * kPi / 180.0;
    const double halfAngle = length / radius * 0.5;
    const double sagitta = radius - radius * std::cos(halfAngle);
    const int depth = SubdivisionDepth(-4.0 * sagitta);
    const std::vector<CPlanTurn>& steps = turns.For(startAngle, sweep, depth);
    points.reserve(steps.size());
    for (const CPlanTurn& turn : steps) points.push_back(PointOnArc(planCentre, radius, turn));
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
