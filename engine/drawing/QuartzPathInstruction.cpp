#include "engine/drawing/QuartzPathInstruction.h"

#include <utility>

#include "engine/geometry/BoundsAccumulator.h"
#include "engine/services/StringFormat.h"
#include "platform/graphics/Path.h"

CQuartzPathDrawingInstruction::CQuartzPathDrawingInstruction(std::shared_ptr<const platform::Path> path, int style,
                                                             bool usePattern, const CColor& fillColor,
                                                             const CColor& strokeColor)
    : CDrawingInstruction(style, usePattern, fillColor, strokeColor), mPath(std::move(path)) {}

void CQuartzPathDrawingInstruction::CalcBoundingBox() {
    if (!mPath) return;
    tDoubleRect bounds;
    CBoundsAccumulator accumulator(bounds);
    for (const platform::Path::Element& element : mPath->elements()) {
        const int points = element.type == platform::Path::ElementType::curveTo        ? 3
                           : element.type == platform::Path::ElementType::closeSubpath ? 0
                                                                                       : 1;
        for (int i = 0; i < points; ++i) accumulator.AddPoint(CPoint(element.points[i].x, element.points[i].y));
    }
    mBounds = bounds;
}

std::string CQuartzPathDrawingInstruction::Dump() const {
    return FormatStringN(255, "CQuartzPathDrawingInstruction<%p> (mPath:%p, %s)", static_cast<const void*>(this),
                         static_cast<const void*>(mPath.get()), DumpStyle().c_str());
}
