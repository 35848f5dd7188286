#pragma once
// CCurveBIG: a circular arc of track (component type 2) of mRadius, sweeping
// mArcAngle to the left of the direction of travel from joint 0. Joint 0 lies
// at (offset x, offset y + gauge) for angle 0, like a straight's.

#include "engine/model/BasicGeometry.h"

class CCurveBIG : public CBasicGeometry {
public:
    CCurveBIG();
    // Takes radius and arc angle; the start and end points begin at the
    // origin until the next geometry pass.
    CCurveBIG(const CCurveBIG& other);
    ~CCurveBIG() override = default;

    // int32 2, the base part, mRadius, mArcAngle.
    std::uint8_t* Serialize(std::uint8_t* buffer) const override;
    std::size_t GetSerializedSize() const override;
    // The arc of radius mRadius + `lateralOffset` about the curve's centre.
    void GetParallelPath(std::vector<CPoint>& points, double elementAngle, double lateralOffset) override;
    // The two arcs share the angles of their points when they are split
    // alike.
    void GetParallelPathPair(std::vector<CPoint>& first, std::vector<CPoint>& second, double elementAngle,
                             double firstOffset, double secondOffset) override;
    std::string Dump(int unitType) const override;
    // The union of the boxes of the inner and outer bed arcs.
    tDoubleRect CalcBoundingBox(double elementAngle) override;
    void UpdateJoints(const CPoint& elementPosition, const CGradeVector& grade, int mode, double elementAngle) override;
    int GetType() const override { return kComponentTypeCurve; }
    // The base tags, then 312 and 313.
    bool Load(FILE* file, int fileVersion, std::string& errorText) override;
    // 300 = 2, the base tags, 312, 313.
    using CBasicGeometry::Save;
    bool Save(FILE* file, int version) override;

    // Centre of the curve's circle in element coordinates.
    CPoint GetCenterPoint(double elementAngle);

    double GetRadius() const { return mRadius; }
    double GetArcAngle() const { return mArcAngle; }
    // Both also recompute the track length.
    void SetRadius(double radius);
    void SetArcAngle(double arcAngle);

    // Points along the circular arc about `centre` of `radius`, from
    // `startAngle` over `sweep` (degrees; angle 0 points to -y, positive
    // angles turn counter-clockwise), start and end included, each chord
    // with a sagitta of at most 0.25 mm (for arcs below about 1000 km, where
    // the subdivision depth is capped). A radius below 0.001 gives the start
    // point alone. `points` is cleared first.
    static void GetArcPoints(const CPoint& centre, double radius, double startAngle, double sweep,
                             std::vector<CPoint>& points);

private:
    struct tArcTurns;
    struct tPassTurns;

    // GetParallelPath with the turns of the geometry pass and those of an
    // earlier arc to hand.
    void PlaceParallelArc(std::vector<CPoint>& points, double elementAngle, double lateralOffset,
                          const tPassTurns& passTurns, tArcTurns& arcTurns);
    // GetArcPoints with the turns of an earlier arc to hand.
    static void PlaceArcPoints(const CPoint& centre, double radius, double startAngle, double sweep, tArcTurns& turns,
                               std::vector<CPoint>& points);
    // Places the start and end points for a circle of radius value R about
    // (R, R), places joints there (mode 2, origin, no grade), moves the points
    // so that those joints' edge box starts at the offset, and returns the
    // box minimum (x, y).
    CPoint GeometryPass(double radiusValue, double elementAngle);
    // The same with the turns for the element angle worked out already.
    CPoint GeometryPass(double radiusValue, double elementAngle, const tPassTurns& turns);
    // Sets `joints` (two) from the start and end points as placed by the
    // last pass.
    void PlaceJoints(CJoint* joints, const CPoint& elementPosition, const CGradeVector& grade, int mode,
                     double elementAngle) const;
    void UpdateTrackLength();

    double mRadius = 360.0;
    double mArcAngle = 15.0;
    CPoint mStartPoint;
    CPoint mEndPoint;
};
