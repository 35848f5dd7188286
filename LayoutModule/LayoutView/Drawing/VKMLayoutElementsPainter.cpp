#include "LayoutModule/LayoutView/Drawing/VKMLayoutElementsPainter.h"

#include "LayoutModule/LayoutView/Drawing/VKMLayoutColors.h"
#include "LayoutModule/LayoutView/Drawing/VKMSoftAssert.h"
#include "LayoutModule/LayoutView/Drawing/VKMTunnelTrackOverlayPainter.h"
#include "engine/drawing/DrawingOptions.h"
#include "engine/drawing/RenderStrategy.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/services/PerformanceCounters.h"

void VKMLayoutElementsPainter::drawElementsInLayout(const CLayout& layout, tDrawingInstructions& instructions) {
    CStopwatch stopwatch;
    stopwatch.Start();
    const tLayers layerList = layout.GetLayerManager().GetLayers();
    if (!VKM_SOFT_ASSERT(!layerList.empty())) return;
    const CLayoutParameters& parameters = layout.GetParameters();
    for (auto it = layerList.rbegin(); it != layerList.rend(); ++it) {
        const CLayer* layer = *it;
        if (layer == nullptr || !layer->IsVisible()) continue;
        const tElements elements = UElementVectorOperations::GetElementsOfLayer(layout.GetElements(), layer);
        drawElements(elements, parameters.mTrackStyle, parameters.mTunnelDisplayMode, instructions);
        drawOverlaysForElements(elements, parameters.mTrackStyle, parameters.mTunnelDisplayMode, instructions);
    }
    QLPerformanceCounters::addToCounter("CreateElementsRenderData", stopwatch.Stop());
}

void VKMLayoutElementsPainter::drawElements(const tElements& elements, std::int32_t trackStyle,
                                            std::int32_t tunnelStyle, tDrawingInstructions& instructions) {
    CDrawingInstructionsRenderStrategy strategy;
    CDrawingInstructionsRenderOptions fill(&instructions, CDrawingInstructionsRenderOptions::kFillPass);
    CDrawingInstructionsRenderOptions outline(&instructions, CDrawingInstructionsRenderOptions::kOutlinePass);
    for (CCompositeGeometry* element : elements) {
        if (element == nullptr) continue;
        fill.mIdentifier = outline.mIdentifier = element->GetIdentifier();
        fill.mOwnerLayer = outline.mOwnerLayer = element->GetLayer();
        drawElement(*element, strategy, fill, outline, trackStyle, tunnelStyle);
    }
}

void VKMLayoutElementsPainter::drawElement(CCompositeGeometry& element,
                                           CDrawingInstructionsRenderStrategy& renderStrategy,
                                           CDrawingInstructionsRenderOptions& fillRenderOptions,
                                           CDrawingInstructionsRenderOptions& outlineRenderOptions,
                                           std::int32_t trackStyle, std::int32_t tunnelStyle) {
    const bool tunnelHidden = tunnelStyle == kTunnelsHidden && UElementInspector::IsTrackElement(&element) &&
                              UElementInspector::IsTunnelTrack(&element);
    CDrawingOptions options(element, trackStyle, tunnelHidden, CColor::White());
    if (trackStyle & kLightOutline) options.mRailColor = CColor(kLightOutlineGray, element.GetSecondColor().mAlpha);
    options.mRenderOptions = &fillRenderOptions;
    element.Render(&renderStrategy, element.GetPosition(), options);
    options.mRenderOptions = &outlineRenderOptions;
    element.Render(&renderStrategy, element.GetPosition(), options);
}

void VKMLayoutElementsPainter::drawOverlaysForElements(const tElements& elements, std::int32_t trackStyle,
                                                       std::int32_t tunnelStyle,
                                                       tDrawingInstructions& drawingInstructions) {
    CStopwatch stopwatch;
    stopwatch.Start();
    if (tunnelStyle != kTunnelsHidden) {
        CColor stripeColor = tunnelStyle == kTunnelsShown
                                 ? CColor(kShownTunnelGray, 1.0)
                                 : VKMLayoutColors::cColorWithColor(VKMLayoutColors::vkmDocumentBackgroundColor());
        stripeColor.mAlpha = kTunnelStripeAlpha;
        VKMTunnelTrackOverlayPainter::painter()->drawTunnelForElements(elements, (trackStyle & kFullTrackBed) != 0,
                                                                       stripeColor, drawingInstructions);
    }
    QLPerformanceCounters::addToCounter("DrawPerLayerTunnelOverlays", stopwatch.Stop());
}
