#include "engine/drawing/GridInstruction.h"

#include "engine/services/StringFormat.h"

CGridDrawingInstruction::CGridDrawingInstruction(bool clearBackground, const CColor& color, double x, double y,
                                                 double width, double height, double gridSpacing, double gridZoom)
    : CDrawingInstruction(kDrawingStyleFill, false, color, color),
      mGridSpacing(gridSpacing),
      mGridZoom(gridZoom),
      mClearBackground(clearBackground),
      mX(x),
      mY(y),
      mWidth(width),
      mHeight(height) {}

void CGridDrawingInstruction::CalcBoundingBox() { mBounds = tDoubleRect{mY, mX, mY + mHeight, mX + mWidth}; }

std::string CGridDrawingInstruction::Dump() const {
    return FormatStringN(255, "CGridDrawingInstruction<%p> (mClearBackground:%d)", static_cast<const void*>(this),
                         mClearBackground ? 1 : 0);
}
