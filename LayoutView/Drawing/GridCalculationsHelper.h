#pragma once
// GridCalculationsHelper: grid spacings on screen and snapping to the grid.
// Lines never come closer than 7.5 points: a spacing below that grows by the
// unit's multiplier (10 for base-ten units, 12 otherwise) until it fits.

#include "engine/geometry/Point.h"

class GridCalculationsHelper {
public:
    // The closest that grid lines come on screen, in points.
    static constexpr double kMinimumSpacing = 7.5;
    // The zoom range of the document; zooms outside it are brought into it
    // before a spacing is computed.
    static constexpr double kMinimumZoom = 0.01;
    static constexpr double kMaximumZoom = 12.5;

    // zoom x spacing, converted from the unit type to millimetres, then made
    // nice. A zoom outside the document's range (0 or below, not a number)
    // is first clamped into it, so the result is always positive for a
    // positive spacing.
    static double getDrawingSpacingForZoom(double zoom, double gridSpacing, int unitType);
    static double getNiceOnScreenSpacingFor(double spacing, int unitType);
    // Multiplies by 10 (base ten) or 12 while the spacing lies above 0 and
    // below 7.5. `multiplier`, when given, receives 10 or 12.
    static double getNiceOnScreenSpacingFor(double spacing, bool isBaseTenUnitType, int* multiplier = nullptr);
    // The point (layout units) moved to the nearest grid crossing: step =
    // drawing spacing / zoom, each coordinate step x round(coordinate /
    // step), halves away from zero. z is kept.
    static CPoint restrictPointToGrid(const CPoint& point, int gridSpacing, double zoomFactor, int unitType);

    // The zoom brought into the document's range; not-a-number reads as the
    // smallest zoom.
    static double clampZoom(double zoom);
};
