#pragma once
// CQuartzPathDrawingInstruction: a ready-made platform path, filled and/or
// stroked. Nothing in the engine makes one; the painter draws one wherever a
// list holds it. It is stroked at the line width the context has when it is
// painted: the instruction carries none.

#include <memory>
#include <string>

#include "engine/drawing/DrawingInstruction.h"

namespace platform {
class Path;
}

class CQuartzPathDrawingInstruction : public CDrawingInstruction {
public:
    // Keeps the path, shared: a path is never changed once made.
    CQuartzPathDrawingInstruction(std::shared_ptr<const platform::Path> path, int style, bool usePattern,
                                  const CColor& fillColor, const CColor& strokeColor);
    CQuartzPathDrawingInstruction(const CQuartzPathDrawingInstruction& other) = default;

    // The box of every point of the path, the control points of its curves
    // included; a stroke reaches beyond it by half the context's line width.
    // An empty path leaves the rectangle inverted (it meets no area), and
    // without a path the bounds stay as they were.
    void CalcBoundingBox() override;
    std::string Dump() const override;

    std::shared_ptr<const platform::Path> mPath;
};
