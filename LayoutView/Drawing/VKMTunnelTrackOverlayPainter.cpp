#include "LayoutView/Drawing/VKMTunnelTrackOverlayPainter.h"

#include <cmath>

#include "engine/drawing/PathInstruction.h"
#include "engine/model/CompositeGeometry.h"

std::unique_ptr<VKMTunnelTrackOverlayPainter> VKMTunnelTrackOverlayPainter::painter() {
    return std::make_unique<VKMTunnelTrackOverlayPainter>();
}

void VKMTunnelTrackOverlayPainter::drawTunnelForElements(const tElements& elements, bool useFullTrackBed,
                                                         const CColor& stripeTemplateColor,
                                                         tDrawingInstructions& drawingInstructions) {
    if (elements.empty()) return;
    const tTunnelSectionPaths paths =
        UContiguousTunnelPaths::GetPathsForTunnelTracks(elements, useFullTrackBed ? 1 : 0);
    const CLayer* layer = elements.front() != nullptr ? elements.front()->GetLayer() : nullptr;
    drawTunnelsSectionPaths(paths, stripeTemplateColor, drawingInstructions, layer);
}

void VKMTunnelTrackOverlayPainter::drawTunnelsSectionPaths(const tTunnelSectionPaths& paths, const CColor& stripesColor,
                                                           tDrawingInstructions& drawingInstructions,
                                                           const CLayer* layer) {
    for (const tTunnelSectionPath& path : paths) {
        renderOutline(path.points, path.width * kStripeWidthFactor, stripesColor, drawingInstructions, layer);
    }
}

void VKMTunnelTrackOverlayPainter::renderOutline(const std::vector<CPoint>& points, double width,
                                                 const CColor& fillColor, tDrawingInstructions& drawingInstructions,
                                                 const CLayer* layer) {
    auto* path = new CPathDrawingInstruction(kDrawingStyleStroke, false, fillColor, fillColor);
    const CPoint* lastKept = nullptr;
    for (const CPoint& point : points) {
        // The first point always starts the stripe, even at the origin.
        if (lastKept == nullptr || std::fabs(point.x - lastKept->x) > kMinPointSpacing ||
            std::fabs(point.y - lastKept->y) > kMinPointSpacing) {
            path->AddLineTo(point);
            lastKept = &point;
        }
    }
    path->mLineWidth = width;
    path->mDrawWithDash = true;
    path->mDashPattern = {width / 2.0, width / 2.0};
    path->CalcBoundingBox();
    path->SetOwnerLayer(layer);
    drawingInstructions.push_back(path);
}
