#include "engine/drawing/OvalInstruction.h"

#include <cmath>

#include "engine/services/StringFormat.h"

COvalDrawingInstruction::COvalDrawingInstruction(int style, bool usePattern, const CColor& fillColor,
                                                 const CColor& strokeColor)
    : CDrawingInstruction(style, usePattern, fillColor, strokeColor) {}

void COvalDrawingInstruction::CalcBoundingBox() {
    const double turn = mRotationAngle * CPoint::kDegreesToRadians;
    const double c = std::cos(turn);
    const double s = std::sin(turn);
    // Half extents of an ellipse turned by `turn`.
    const double halfWidth = std::hypot(mRadiusX * c, mRadiusY * s) + mLineWidth;
    const double halfHeight = std::hypot(mRadiusX * s, mRadiusY * c) + mLineWidth;
    mBounds = tDoubleRect{mPosition.y - halfHeight, mPosition.x - halfWidth, mPosition.y + halfHeight,
                          mPosition.x + halfWidth};
}

CPoint COvalDrawingInstruction::GetPointAt(double angle) const {
    const double turn = mRotationAngle * CPoint::kDegreesToRadians;
    const double t = (angle - mRotationAngle) * CPoint::kDegreesToRadians;
    const double ex = mRadiusX * std::cos(t);
    const double ey = mRadiusY * std::sin(t);
    return CPoint(mPosition.x + ex * std::cos(turn) - ey * std::sin(turn),
                  mPosition.y + ex * std::sin(turn) + ey * std::cos(turn), mPosition.z);
}

std::string COvalDrawingInstruction::Dump() const {
    return FormatStringN(255,
                         "COvalDrawingInstruction<%p> (mPosition:%s, mRadiusX:%.1f, mRadiusY:%.1f, "
                         "mLineWidth:%.1f, mDrawWithDash:%d, %s)",
                         static_cast<const void*>(this), mPosition.Dump(3).c_str(), mRadiusX, mRadiusY, mLineWidth,
                         mDrawWithDash ? 1 : 0, DumpStyle().c_str());
}
