#pragma once
// CPolyBIG: a list of points drawn as a polygon, a line or a rectangle
// (component type 3): user drawings, shapes of buildings and symbols, parts
// of arrows and dimensions. The points are in the component's own frame; the
// transformed points turn them about the centre of their box by the
// component angle plus the element angle and then add the offset.
//
// Every operation that indexes the points is safe on an empty polygon: it
// gives an empty list, the origin or the empty rectangle.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/model/BasicGeometry.h"

// Polygon kinds (GetKind).
constexpr std::int32_t kPolyKindPolygon = 1;
constexpr std::int32_t kPolyKindLine = 2;
constexpr std::int32_t kPolyKindRectangle = 3;

class CPolyBIG : public CBasicGeometry {
public:
    // More points than this in one record are taken as damage.
    static constexpr std::int32_t kMaxPointCount = 1000000;

    CPolyBIG();
    // The shape of the generators: these points, line width, kind, offset
    // and angle; gauge 0 and both joints disabled (and so not free).
    CPolyBIG(const std::vector<CPoint>& points, std::int32_t lineWidth, std::int32_t kind, double offsetX,
             double offsetY, double angle);
    CPolyBIG(const CPolyBIG& other);
    ~CPolyBIG() override = default;

    // int32 3, the base part, int32 point count, x and y per point, fill
    // flag, second flag, kind, mLineWidth.
    std::uint8_t* Serialize(std::uint8_t* buffer) const override;
    std::size_t GetSerializedSize() const override;
    std::string Dump(int unitType) const override;
    // The box of the transformed points grown by half the line width on
    // every side; the empty rectangle for a polygon without points.
    tDoubleRect CalcBoundingBox(double elementAngle) override;
    // The first transformed point at the element angle (origin when empty).
    CPoint GetReferencePoint(double elementAngle) override;
    // Polygons have no joints that move.
    void UpdateJoints(const CPoint&, const CGradeVector&, int, double) override {}
    int GetType() const override { return kComponentTypePoly; }
    std::int32_t GetLineWidth() const override { return mLineWidth; }
    void SetLineWidth(std::int32_t width) override {
        mLineWidth = width;
        UContentChanges::Note();
    }
    // The base tags, 318 (count), 319 and 320 per point, 321, 322, 323.
    // False with `errorText` for a count that the file cannot hold, a record
    // cut short and a polygon without points. NaN coordinates become the
    // origin with a warning; a negative kind or line width becomes 1.
    bool Load(FILE* file, int fileVersion, std::string& errorText) override;
    // 300 = 3, the base tags, the points, 321, 322, 323. A NaN coordinate is
    // first reset to the origin in the polygon itself, with a warning.
    using CBasicGeometry::Save;
    bool Save(FILE* file, int version) override;

    // The points turned about the centre of their box by the component angle
    // plus `extraAngle`, then moved by the offset. Stores the box centre as
    // the rotation centre and the result as the cache.
    virtual std::vector<CPoint> GetTransformedPoints(double extraAngle);
    virtual const std::vector<CPoint>& GetPoints() const { return mPoints; }
    virtual void SetPoints(const std::vector<CPoint>& points);
    // The stored point; the origin for an index not below the count.
    virtual const CPoint& GetPoint(std::size_t index) const;
    // A copy of that transformed point; the origin for an index not below
    // the count.
    virtual CPoint GetPointAt(std::size_t index, double extraAngle);
    virtual std::size_t GetNumberOfPoints() const { return mPoints.size(); }
    // The rotation centre stored by the last transformation.
    virtual CPoint GetRotationCenter() const { return mRotationCenter; }
    virtual void SetFillFlag(bool fill) { mFillFlag = fill; }
    virtual bool GetFillFlag() const { return mFillFlag; }
    virtual void SetSecondFlag(bool flag) { mSecondFlag = flag; }
    virtual bool GetSecondFlag() const { return mSecondFlag; }
    // 1 polygon, 2 line, 3 rectangle.
    virtual std::int32_t GetKind() const { return mKind; }
    virtual void SetKind(std::int32_t kind) {
        mKind = kind;
        UContentChanges::Note();
    }

protected:
    // The polygon part of Load and Save on one tag reader or writer, so that
    // the flex track reads its whole record with a single reader. `handle`
    // is the file under `file`; it tells how many bytes are left.
    bool LoadPolygon(FILE* handle, CTaggedFile& file, int fileVersion, std::string& errorText);
    bool SavePolygon(FILE* handle, CTaggedFile& file, int version);

    std::vector<CPoint> mPoints;
    std::vector<CPoint> mTransformedPoints;
    CPoint mRotationCenter;
    bool mFillFlag = true;
    bool mSecondFlag = true;
    std::int32_t mLineWidth = 1;
    std::int32_t mKind = kPolyKindPolygon;
};
