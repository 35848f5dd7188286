#pragma once
// CGridDrawingInstruction: a grid over a rectangle. The two measures are the
// caller's (the layout viewer passes its grid spacing and zoom) and are
// interpreted by the viewer when painting.

#include "engine/drawing/DrawingInstruction.h"

class CGridDrawingInstruction : public CDrawingInstruction {
public:
    // Fill-only, `color` for both colours.
    CGridDrawingInstruction(bool clearBackground, const CColor& color, double x, double y, double width, double height,
                            double gridSpacing, double gridZoom);
    CGridDrawingInstruction(const CGridDrawingInstruction& other) = default;

    // x to x + width, y to y + height.
    void CalcBoundingBox() override;
    std::string Dump() const override;

    double mGridSpacing;
    double mGridZoom;
    bool mClearBackground;
    double mX;
    double mY;
    double mWidth;
    double mHeight;
};
