#pragma once
// COvalBIG: an ellipse or elliptic arc (component type 5), used for circles,
// turntables and symbols. The offset is the corner of the unrotated box: the
// centre lies at (offset x + mRadiusX, offset y + mRadiusY). The ellipse is
// turned about its centre by the component angle plus the element angle; the
// arc runs counter-clockwise from the start to the end angle, measured as the
// ellipse's parameter from its own x axis (for a circle, the plain angle from
// +x). Ovals have no joints that connect.

#include "engine/model/BasicGeometry.h"

class COvalBIG : public CBasicGeometry {
public:
    COvalBIG();
    COvalBIG(const COvalBIG& other);
    ~COvalBIG() override = default;

    // int32 5, the base part, mRadiusX, mRadiusY, start and end angle,
    // mLineWidth.
    std::uint8_t* Serialize(std::uint8_t* buffer) const override;
    std::size_t GetSerializedSize() const override;
    std::string Dump(int unitType) const override;
    // The exact axis-aligned box of the turned ellipse or arc, each side moved
    // out by half the line width (a negative line width counts as 0).
    tDoubleRect CalcBoundingBox(double elementAngle) override;
    // The centre of the ellipse, whatever the angle.
    CPoint GetReferencePoint(double elementAngle) override;
    void UpdateJoints(const CPoint&, const CGradeVector&, int, double) override {}
    int GetType() const override { return kComponentTypeOval; }
    std::int32_t GetLineWidth() const override { return mLineWidth; }
    void SetLineWidth(std::int32_t width) override {
        mLineWidth = width;
        UContentChanges::Note();
    }
    // The base tags, 315, 316, 317 and, from version 13, 336 and 337 with the
    // arc angles normalised (start outside 0..359 becomes 0; an end above
    // 360, below the start or less than 0.5 after it becomes 360).
    bool Load(FILE* file, int fileVersion, std::string& errorText) override;
    // 300 = 5, the base tags, 315, 316, 317 and, from version 13, 336, 337.
    using CBasicGeometry::Save;
    bool Save(FILE* file, int version) override;

    // (offset x + mRadiusX, offset y + mRadiusY).
    CPoint GetCenterPoint() const;

    double GetRadiusX() const { return mRadiusX; }
    double GetRadiusY() const { return mRadiusY; }
    void SetRadiusX(double radius) {
        mRadiusX = radius;
        UContentChanges::Note();
    }
    void SetRadiusY(double radius) {
        mRadiusY = radius;
        UContentChanges::Note();
    }
    double GetStartAngle() const { return mStartAngle; }
    double GetEndAngle() const { return mEndAngle; }
    // Stored unchanged.
    void SetStartAngle(double angle) {
        mStartAngle = angle;
        UContentChanges::Note();
    }
    void SetEndAngle(double angle) {
        mEndAngle = angle;
        UContentChanges::Note();
    }

private:
    std::int32_t mLineWidth = 1;
    double mRadiusX = 50.0;
    double mRadiusY = 50.0;
    double mStartAngle = 0.0;
    double mEndAngle = 360.0;
};
