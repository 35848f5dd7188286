#include "engine/drawing/DrawingInstruction.h"

#include "engine/model/Layer.h"
#include "engine/services/StringFormat.h"

CDrawingInstruction::CDrawingInstruction(int style, bool usePattern, const CColor& fillColor,
                                         const CColor& strokeColor)
    : mUsePattern(usePattern), mFillColor(fillColor), mStrokeColor(strokeColor) {
    SetStyle(style);
}

CDrawingInstruction::CDrawingInstruction(const CDrawingInstruction& other)
    : mBounds{},
      mUseFill(other.mUseFill),
      mUsePattern(other.mUsePattern),
      mUseStroke(other.mUseStroke),
      mFillColor(other.mFillColor),
      mStrokeColor(other.mStrokeColor),
      mScale(other.mScale),
      mOwnerLayer(other.mOwnerLayer),
      mIdentifier(other.mIdentifier) {}

void CDrawingInstruction::SetIdentifier(const std::string& identifier) {
    mIdentifier = std::make_shared<const std::string>(identifier);
}

const std::string& CDrawingInstruction::GetIdentifier() const {
    static const std::string empty;
    return mIdentifier ? *mIdentifier : empty;
}

void CDrawingInstruction::SetStyle(int style) {
    mUseFill = (style & kDrawingStyleFill) != 0;
    mUseStroke = (style & kDrawingStyleStroke) != 0;
}

void CDrawingInstruction::SetOwnerLayer(const CLayer* layer) {
    if (layer == nullptr) {
        mOwnerLayer.reset();
        return;
    }
    mOwnerLayer = tInstructionLayer{layer->GetName(), layer->IsVisible(), layer->GetLayerType()};
}

std::string CDrawingInstruction::DumpStyle() const {
    return FormatStringN(255, "mUseFill:%d, mUseStroke:%d, mFillColor:%s, mStrokeColor:%s",
                         mUseFill ? 1 : 0, mUseStroke ? 1 : 0, mFillColor.ToHexString().c_str(),
                         mStrokeColor.ToHexString().c_str());
}

std::string CDrawingInstruction::Dump() const {
    return FormatStringN(255, "CDrawingInstruction<%p> (%s)", static_cast<const void*>(this),
                         DumpStyle().c_str());
}
