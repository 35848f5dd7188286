#include "engine/drawing/ImageInstruction.h"

#include <utility>

#include "engine/services/StringFormat.h"

CImageDrawingInstruction::CImageDrawingInstruction(std::shared_ptr<const platform::Image> image, double width,
                                                   double height)
    : CDrawingInstruction(kDrawingStyleFill, false, CColor::Gray50(), CColor::Gray50()),
      mImage(std::move(image)),
      mWidth(width),
      mHeight(height) {}

void CImageDrawingInstruction::CalcBoundingBox() {
    if (!mImage) return;
    mBounds = tDoubleRect{mPlacement.y, mPlacement.x, mPlacement.y + mHeight, mPlacement.x + mWidth};
}

std::string CImageDrawingInstruction::Dump() const {
    if (!mImage) return "CImageDrawingInstruction<empty>";
    return FormatStringN(255, "CImageDrawingInstruction<%p> (mImage:%p)", static_cast<const void*>(this),
                         static_cast<const void*>(mImage.get()));
}
