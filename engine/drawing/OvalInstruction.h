#pragma once
// COvalDrawingInstruction: an ellipse, or an arc of one, about mPosition.
//
// The ellipse has the half-axes mRadiusX and mRadiusY along its own axes,
// which are turned by mRotationAngle from the plan's x and y. mStartAngle
// and mEndAngle are plan angles for a circle; for an ellipse the arc's
// parameter in its own frame is the angle minus mRotationAngle (GetPointAt),
// so a circle reads the same either way. The arc runs from the start
// towards growing angles to the end.

#include <array>

#include "engine/drawing/DrawingInstruction.h"
#include "engine/geometry/Point.h"

class COvalDrawingInstruction : public CDrawingInstruction {
public:
    COvalDrawingInstruction(int style, bool usePattern, const CColor& fillColor, const CColor& strokeColor);
    COvalDrawingInstruction(const COvalDrawingInstruction& other) = default;

    // The box of the whole turned ellipse, widened by mLineWidth on every
    // side.
    void CalcBoundingBox() override;
    std::string Dump() const override;

    // The point of the ellipse at `angle` (degrees, in the sense of
    // mStartAngle): centre + turn(rx cos t, ry sin t) with t = angle -
    // mRotationAngle.
    CPoint GetPointAt(double angle) const;

    // The centre.
    CPoint mPosition;
    double mLineWidth = 1.0;
    double mRadiusX = 1.0;
    double mRadiusY = 1.0;
    double mStartAngle = 0.0;
    double mEndAngle = 360.0;
    bool mDrawWithDash = false;
    // Dash length, gap length.
    std::array<double, 2> mDashPattern{1.0, 1.0};
    // Turn of the ellipse's own axes, degrees.
    double mRotationAngle = 0.0;
};
