#pragma once
// VKMTunnelTrackOverlayPainter: tunnels as wide dashed bands along the
// joined tunnel sections of a layer's tracks, seen as stripes over them.

#include <memory>
#include <vector>

#include "engine/drawing/DrawingInstruction.h"
#include "engine/geometry/Color.h"
#include "engine/geometry/Point.h"
#include "engine/model/TrackElementsContainer.h"
#include "engine/model/TunnelPaths.h"

class CLayer;

class VKMTunnelTrackOverlayPainter {
public:
    // A stripe is this much wider than its tunnel path.
    static constexpr double kStripeWidthFactor = 1.025;
    // Points closer than this (in x and in y) to the last kept one are left
    // out of a stripe.
    static constexpr double kMinPointSpacing = 0.5;

    static std::unique_ptr<VKMTunnelTrackOverlayPainter> painter();

    // Nothing for an empty list; every instruction takes the first
    // element's layer.
    void drawTunnelForElements(const tElements& elements, bool useFullTrackBed, const CColor& stripeTemplateColor,
                               tDrawingInstructions& drawingInstructions);
    void drawTunnelsSectionPaths(const tTunnelSectionPaths& paths, const CColor& stripesColor,
                                 tDrawingInstructions& drawingInstructions, const CLayer* layer);
    // One stroked, dashed path along the points; the first point is always
    // kept, later ones only when they moved more than kMinPointSpacing.
    void renderOutline(const std::vector<CPoint>& points, double width, const CColor& fillColor,
                       tDrawingInstructions& drawingInstructions, const CLayer* layer);
};
