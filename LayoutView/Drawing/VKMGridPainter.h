#pragma once
// VKMGridPainter: strokes the measuring grid in view points, in metric
// (10 cm) or imperial (1 foot) steps by the user's locale. Every line counts
// from the grid's left or top edge: each multiplier-th line (10 or 12) is a
// main line, each half-multiplier-th a half line, the rest sub lines.

#include "platform/graphics/Color.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Geometry.h"

class VKMGridPainter {
public:
    static constexpr double kMainLineWidth = 0.5;
    static constexpr double kHalfLineWidth = 0.25;
    static constexpr double kSubLineWidth = 0.15;
    static constexpr double kLineAlpha = 0.85;

    // Lines from the grid's left and top edges less half a point (so lines
    // of one point sit on pixel centres) to its right and bottom edges; only
    // lines strictly inside the dirty rectangle's extent are stroked. A scale
    // outside the document's zoom range is clamped into it.
    static void drawGridInRect(platform::Context& context, const platform::Rect& gridRect,
                               const platform::Rect& dirtyRect, double scaleX, double scaleY,
                               const platform::Color& color);

    // 0.5 for an index divisible by the multiplier (10 or 12), 0.25 for one
    // divisible by half of it, else 0.15.
    static double lineWidthForSubMainTick(long long index, bool isBaseTenUnitType);
    static void setLineWidthForSubMainTick(long long index, platform::Context& context, bool isBaseTenUnitType);
};
