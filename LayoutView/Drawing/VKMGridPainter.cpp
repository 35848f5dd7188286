#include "LayoutView/Drawing/VKMGridPainter.h"

#include <algorithm>
#include <cmath>

#include "LayoutView/Drawing/GridCalculationsHelper.h"
#include "platform/foundation/Locale.h"
#include "platform/graphics/Path.h"

namespace {

constexpr int kCentimetres = 2;
constexpr int kInches = 4;
constexpr double kMetricBaseGrid = 10;    // 10 cm
constexpr double kImperialBaseGrid = 12;  // 1 foot

// Strokes the lines at start + i x spacing (i from 0) below `end` that lie
// strictly inside (low, high). Lines before the dirty extent are skipped by
// arithmetic, not by walking, so a long grid costs only its visible lines.
template <typename StrokeLine>
void StrokeLines(double start, double end, double spacing, double low, double high, StrokeLine&& strokeLine) {
    if (!(spacing > 0) || !std::isfinite(spacing) || !std::isfinite(start) || !(end > start)) return;
    long long index = 0;
    if (low > start) index = static_cast<long long>(std::min(std::floor((low - start) / spacing), 9.0e18));
    for (double position = start + static_cast<double>(index) * spacing; position < end && position < high;
         ++index, position = start + static_cast<double>(index) * spacing) {
        if (position > low) strokeLine(index, position);
    }
}

}  // namespace

double VKMGridPainter::lineWidthForSubMainTick(long long index, bool isBaseTenUnitType) {
    const int multiplier = isBaseTenUnitType ? 10 : 12;
    if (index % multiplier == 0) return kMainLineWidth;
    if (index % (multiplier / 2) == 0) return kHalfLineWidth;
    return kSubLineWidth;
}

void VKMGridPainter::setLineWidthForSubMainTick(long long index, platform::Context& context, bool isBaseTenUnitType) {
    context.setLineWidth(lineWidthForSubMainTick(index, isBaseTenUnitType));
}

void VKMGridPainter::drawGridInRect(platform::Context& context, const platform::Rect& gridRect,
                                    const platform::Rect& dirtyRect, double scaleX, double scaleY,
                                    const platform::Color& color) {
    const bool metric = platform::Locale::current().usesMetricSystem();
    const int unitType = metric ? kCentimetres : kInches;
    const double baseGrid = metric ? kMetricBaseGrid : kImperialBaseGrid;
    platform::Color lineColor = color;
    lineColor.alpha = kLineAlpha;

    context.save();
    context.setStrokeColor(lineColor);
    context.setLineDash(0, {});
    context.setLineCap(platform::LineCap::butt);

    const double top = gridRect.minY();
    const double bottom = gridRect.maxY();
    const double left = gridRect.minX();
    const double right = gridRect.maxX();

    const double spacingX = GridCalculationsHelper::getDrawingSpacingForZoom(scaleX, baseGrid, unitType);
    StrokeLines(left - 0.5, right, spacingX, dirtyRect.minX(), dirtyRect.maxX(), [&](long long index, double x) {
        platform::Path line;
        line.moveTo({x, top});
        line.lineTo({x, bottom});
        setLineWidthForSubMainTick(index, context, metric);
        context.strokePath(line);
    });

    const double spacingY = GridCalculationsHelper::getDrawingSpacingForZoom(scaleY, baseGrid, unitType);
    StrokeLines(top - 0.5, bottom, spacingY, dirtyRect.minY(), dirtyRect.maxY(), [&](long long index, double y) {
        platform::Path line;
        line.moveTo({left, y});
        line.lineTo({right, y});
        setLineWidthForSubMainTick(index, context, metric);
        context.strokePath(line);
    });
    context.restore();
}
