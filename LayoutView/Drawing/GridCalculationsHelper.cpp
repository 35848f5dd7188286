#include "LayoutView/Drawing/GridCalculationsHelper.h"

#include <cmath>

#include "engine/model/MeasureUnits.h"

double GridCalculationsHelper::clampZoom(double zoom) {
    if (!(zoom >= kMinimumZoom)) return kMinimumZoom;
    if (zoom > kMaximumZoom) return kMaximumZoom;
    return zoom;
}

double GridCalculationsHelper::getDrawingSpacingForZoom(double zoom, double gridSpacing, int unitType) {
    const double length = UMeasureUnits::ConvertToMillimeters(unitType, clampZoom(zoom) * gridSpacing);
    return getNiceOnScreenSpacingFor(length, unitType);
}

double GridCalculationsHelper::getNiceOnScreenSpacingFor(double spacing, int unitType) {
    return getNiceOnScreenSpacingFor(spacing, UMeasureUnits::IsBaseTenUnit(unitType));
}

double GridCalculationsHelper::getNiceOnScreenSpacingFor(double spacing, bool isBaseTenUnitType, int* multiplier) {
    const int factor = isBaseTenUnitType ? 10 : 12;
    if (multiplier != nullptr) *multiplier = factor;
    while (spacing > 0 && spacing < kMinimumSpacing) spacing *= factor;
    return spacing;
}

CPoint GridCalculationsHelper::restrictPointToGrid(const CPoint& point, int gridSpacing, double zoomFactor,
                                                   int unitType) {
    const double zoom = clampZoom(zoomFactor);
    const double step = getDrawingSpacingForZoom(zoom, gridSpacing, unitType) / zoom;
    if (!(step > 0) || !std::isfinite(step)) return point;
    CPoint snapped(point);
    snapped.x = step * std::round(point.x / step);
    snapped.y = step * std::round(point.y / step);
    return snapped;
}
