#pragma once
// CGraphicsStateDrawingInstruction: saves (1) or restores (2) the painter's
// graphics state; producers pair them around clipped groups. Other
// operations do nothing.

#include "engine/drawing/DrawingInstruction.h"

class CGraphicsStateDrawingInstruction : public CDrawingInstruction {
public:
    static constexpr int kSave = 1;
    static constexpr int kRestore = 2;

    // Fill-only, grey 0.25.
    explicit CGraphicsStateDrawingInstruction(int operation);
    CGraphicsStateDrawingInstruction(const CGraphicsStateDrawingInstruction& other) = default;

    // Nothing: the bounds stay zero, so the painter never culls it.
    void CalcBoundingBox() override {}
    std::string Dump() const override;

    int mOperation;
};
