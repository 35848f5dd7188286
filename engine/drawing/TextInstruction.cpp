#include "engine/drawing/TextInstruction.h"

#include "engine/services/ServiceLocator.h"
#include "engine/services/StringFormat.h"
#include "engine/services/TextCalculationService.h"

CTextDrawingInstruction::CTextDrawingInstruction(int style, bool usePattern, const CColor& fillColor,
                                                 const CColor& strokeColor)
    : CDrawingInstruction(style, usePattern, fillColor, strokeColor) {}

void CTextDrawingInstruction::CalcBoundingBox() {
    auto* service = CServiceLocator::Instance().LocateServiceAs<TextCalculationServiceBase>(
        VKMTextCalculationService::kServiceName);
    if (service == nullptr) return;
    tDoubleRect bounds = service->GetTextBounds(mFontName, mTextSize, mText, mRotationAngle);
    bounds.minX += mPosition.x;
    bounds.maxX += mPosition.x;
    bounds.minY += mPosition.y;
    bounds.maxY += mPosition.y;
    mBounds = bounds;
}

std::string CTextDrawingInstruction::Dump() const {
    return FormatStringN(255,
                         "CTextDrawingInstruction<%p> (mPosition:%s, mText:%s, mFontName:%s, "
                         "mTextSize:%d, %s)",
                         static_cast<const void*>(this), mPosition.Dump(3).c_str(), mText.c_str(), mFontName.c_str(),
                         static_cast<int>(mTextSize), DumpStyle().c_str());
}
