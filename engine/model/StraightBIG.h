#pragma once
// CStraightBIG: a straight piece of track (component type 1). Its centre line
// runs from (offset x, offset y + gauge) for mLength along x, turned by the
// component angle plus the element angle about its midpoint.

#include "engine/model/BasicGeometry.h"

class CStraightBIG : public CBasicGeometry {
public:
    CStraightBIG();
    CStraightBIG(const CStraightBIG& other);
    ~CStraightBIG() override = default;

    // int32 1, the base part, mLength.
    std::uint8_t* Serialize(std::uint8_t* buffer) const override;
    std::size_t GetSerializedSize() const override;
    // Two points, start first, `lateralOffset` to the left of the centre line.
    void GetParallelPath(std::vector<CPoint>& points, double elementAngle, double lateralOffset) override;
    // One turn for both sides.
    void GetParallelPathPair(std::vector<CPoint>& first, std::vector<CPoint>& second, double elementAngle,
                             double firstOffset, double secondOffset) override;
    std::string Dump(int unitType) const override;
    // The box of the four bed corners.
    tDoubleRect CalcBoundingBox(double elementAngle) override;
    void UpdateJoints(const CPoint& elementPosition, const CGradeVector& grade, int mode, double elementAngle) override;
    int GetType() const override { return kComponentTypeStraight; }
    // The base tags, then 311.
    bool Load(FILE* file, int fileVersion, std::string& errorText) override;
    // 300 = 1, the base tags, 311.
    using CBasicGeometry::Save;
    bool Save(FILE* file, int version) override;

    double GetLength() const { return mLength; }
    // Also sets the track length.
    void SetLength(double length);

private:
    // The side line at `lateralOffset`, turned by `turn` (component angle plus
    // element angle) about the midpoint of the centre line.
    void PlaceSideLine(std::vector<CPoint>& points, const CPlanTurn& turn, double lateralOffset) const;

    double mLength = 0.0;
};
