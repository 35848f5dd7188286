#include "engine/drawing/GraphicsStateInstruction.h"

#include "engine/services/StringFormat.h"

CGraphicsStateDrawingInstruction::CGraphicsStateDrawingInstruction(int operation)
    : CDrawingInstruction(kDrawingStyleFill, false, CColor::Gray25(), CColor::Gray25()), mOperation(operation) {}

std::string CGraphicsStateDrawingInstruction::Dump() const {
    return FormatStringN(255, "CGraphicsStateDrawingInstruction<%p> (mOperation:%d)", static_cast<const void*>(this),
                         mOperation);
}
