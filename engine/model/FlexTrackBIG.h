#pragma once
// CFlexTrackBIG: a piece of flexible track (component type 6). Its points are
// the two to four control points of a Bezier curve, the centre line of the
// track; mMaxLength is the longest the user may bend or pull it to. The track
// length is the length of the centre line sampled at 26 parameters, kept up
// to date by every construction, copy, load and SetPoints.
//
// UFlextrack reshapes a flex track: laid straight to a length or bent to a
// circular arc.

#include <cstddef>
#include <vector>

#include "engine/model/PolyBIG.h"

class CFlexTrackBIG : public CPolyBIG {
public:
    static constexpr double kDefaultMaxLength = 500.0;
    // The centre line is sampled at t = i / 25 for i = 0 to 25.
    static constexpr int kCenterLineSegments = 25;
    static constexpr std::size_t kMinControlPoints = 2;
    static constexpr std::size_t kMaxControlPoints = 4;

    CFlexTrackBIG();
    // From its two ends: the midpoint is inserted between them (three
    // control points), angle 0, each joint enabled and free as given.
    CFlexTrackBIG(const CPoint& firstPoint, const CPoint& lastPoint, bool joint0Enabled, bool joint1Enabled,
                  double offsetX, double offsetY, double maxLength, double gauge, double trackbedWidth,
                  double railWidth);
    CFlexTrackBIG(const CFlexTrackBIG& other);
    ~CFlexTrackBIG() override = default;

    // int32 6, the polygon record (with its own int32 3), mMaxLength.
    std::uint8_t* Serialize(std::uint8_t* buffer) const override;
    std::size_t GetSerializedSize() const override;
    // The 26 centre-line points at the element angle, each moved
    // `lateralOffset` to the left of the direction of travel; empty for
    // fewer than two control points.
    void GetParallelPath(std::vector<CPoint>& points, double elementAngle, double lateralOffset) override;
    // One centre line for both sides.
    void GetParallelPathPair(std::vector<CPoint>& first, std::vector<CPoint>& second, double elementAngle,
                             double firstOffset, double secondOffset) override;
    std::string Dump(int unitType) const override;
    // The bed corners, the control points and a cross of 0.75 x the half
    // bed width about the inner control points; the joints' layout points
    // and angles are left as they were. The empty rectangle when there is
    // no control point.
    tDoubleRect CalcBoundingBox(double elementAngle) override;
    // Joint 0's element point as last computed.
    CPoint GetReferencePoint(double elementAngle) override;
    // Joint 0 at the first and joint 1 at the last transformed control
    // point, each angle pointing into the track.
    void UpdateJoints(const CPoint& elementPosition, const CGradeVector& grade, int mode, double elementAngle) override;
    int GetType() const override { return kComponentTypeFlexTrack; }
    // A flex track keeps the polygon's line width as it is.
    void SetLineWidth(std::int32_t) override {}
    // Tag 300 again (the polygon's 3), the polygon tags, 314. False with
    // `errorText` also for fewer than two or more than four control points.
    bool Load(FILE* file, int fileVersion, std::string& errorText) override;
    // 300 = 6, the polygon record, 314.
    using CPolyBIG::Save;
    bool Save(FILE* file, int version) override;

    // Replaces the control points and recomputes the track length.
    void SetPoints(const std::vector<CPoint>& points) override;
    void SetFillFlag(bool) override {}

    double GetMaxLength() const { return mMaxLength; }
    void SetMaxLength(double length) {
        mMaxLength = length;
        UContentChanges::Note();
    }

    // The point of the centre line at `t` (clamped to 0..1; NaN counts as
    // 0) with the control points transformed at the element angle. With one
    // control point that point, with none the origin.
    CPoint GetCenterLinePoint(double t, double elementAngle);
    // The centre line's point at t = 0.5.
    CPoint GetCenterPoint(double elementAngle);

private:
    // Each of `count` side lines of the centre line `line`: sides[k] at
    // offsets[k] to the left of it.
    static void PlaceSides(const std::vector<CPoint>& line, std::vector<CPoint>* const* sides, const double* offsets,
                           std::size_t count);
    // The 26 centre-line points of `controls`; empty for fewer than two.
    static std::vector<CPoint> CenterLineOf(const std::vector<CPoint>& controls);
    // Refreshes the transformed points at angle 0 and the track length.
    void UpdateTrackLength();

    double mMaxLength = kDefaultMaxLength;
};

namespace UFlextrack {

// Replaces the control points by the cubic Bezier approximation of a
// circular arc of `radius` through `angle` degrees, leaving its first point
// in the +x direction and turning left. A three-point track gets a fourth
// point; any other count than three or four logs a warning and leaves the
// track unchanged (false). Null: false.
bool BendToCurve(CFlexTrackBIG* flex, double radius, double angle);

// Lays the control points on a straight line of `length` along +x from the
// first point, the inner points evenly between the ends. Fewer than two
// control points (or null) are left alone.
void MakeStraight(CFlexTrackBIG* flex, double length);

// Inserts the midpoint of control point `index` and the next one (point 0
// after the last) after `index`. An index not below the count does nothing.
void InsertMidPoint(CFlexTrackBIG* flex, std::size_t index);

}  // namespace UFlextrack
