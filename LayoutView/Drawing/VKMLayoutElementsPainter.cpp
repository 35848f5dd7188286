#include "LayoutView/Drawing/VKMLayoutElementsPainter.h"

#include <unordered_map>

#include "LayoutView/Drawing/VKMLayoutColors.h"
#include "engine/services/VKMSoftAssert.h"
#include "LayoutView/Drawing/VKMTunnelTrackOverlayPainter.h"
#include "engine/drawing/DrawingOptions.h"
#include "engine/drawing/ParallelPathCache.h"
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
    // The elements of each listed layer in layout order, sorted out in one
    // pass rather than one pass per layer.
    std::unordered_map<const CLayer*, tElements> elementsByLayer;
    for (const CLayer* layer : layerList) {
        if (layer != nullptr && layer->IsVisible()) elementsByLayer.try_emplace(layer);
    }
    for (CCompositeGeometry* element : layout.GetElements()) {
        if (element == nullptr) continue;
        const auto found = elementsByLayer.find(element->GetLayer());
        if (found != elementsByLayer.end()) found->second.push_back(element);
    }
    // About three instructions per element (a fill and two lines per track,
    // one per text or shape, a few more for joint ends and tunnels): room
    // for four each, so that the list need not grow.
    std::size_t visibleElements = 0;
    for (const auto& [layer, elements] : elementsByLayer) visibleElements += elements.size();
    instructions.reserve(instructions.size() + 4 * visibleElements);
    for (auto it = layerList.rbegin(); it != layerList.rend(); ++it) {
        const CLayer* layer = *it;
        if (layer == nullptr || !layer->IsVisible()) continue;
        const tElements& elements = elementsByLayer[layer];
        drawElements(elements, parameters.mTrackStyle, parameters.mTunnelDisplayMode, instructions);
        drawOverlaysForElements(elements, parameters.mTrackStyle, parameters.mTunnelDisplayMode, instructions);
    }
    QLPerformanceCounters::addToCounter("CreateElementsRenderData", stopwatch.Stop());
}

namespace {

constexpr std::size_t kElementsAhead = 6;
constexpr std::size_t kComponentsAhead = 3;
// About the size of a track component, joints included.
constexpr std::size_t kComponentBytes = 384;
constexpr std::size_t kCacheLine = 64;

}  // namespace

void VKMLayoutElementsPainter::drawElements(const tElements& elements, std::int32_t trackStyle,
                                            std::int32_t tunnelStyle, tDrawingInstructions& instructions) {
    drawElements(elements, trackStyle, tunnelStyle, instructions, nullptr);
}

void VKMLayoutElementsPainter::drawElements(const tElements& elements, std::int32_t trackStyle,
                                            std::int32_t tunnelStyle, tDrawingInstructions& instructions,
                                            const CColor* outlineColor) {
    CDrawingInstructionsRenderStrategy strategy;
    CDrawingInstructionsRenderOptions fill(&instructions, CDrawingInstructionsRenderOptions::kFillPass);
    CDrawingInstructionsRenderOptions outline(&instructions, CDrawingInstructionsRenderOptions::kOutlinePass, fill);
    for (std::size_t i = 0; i < elements.size(); ++i) {
        // Building waits mostly for memory: each element and its components
        // lie apart on the heap. Ask for an element a few places ahead, and
        // for the components of one nearer (whose own memory is there by
        // then). Written out here: moved into a helper of their own, the
        // prefetches were dropped by the optimizer.
        if (i + kElementsAhead < elements.size() && elements[i + kElementsAhead] != nullptr) {
            const char* const ahead = reinterpret_cast<const char*>(elements[i + kElementsAhead]);
            for (std::size_t at = 0; at < sizeof(CCompositeGeometry); at += kCacheLine) __builtin_prefetch(ahead + at);
        }
        if (i + kComponentsAhead < elements.size() && elements[i + kComponentsAhead] != nullptr) {
            const CCompositeGeometry& next = *elements[i + kComponentsAhead];
            __builtin_prefetch(next.GetIdentifier().data());
            for (const CBasicGeometry* component : next.GetComponents()) {
                const char* const part = reinterpret_cast<const char*>(component);
                for (std::size_t at = 0; at < kComponentBytes; at += kCacheLine) __builtin_prefetch(part + at);
            }
        }
        CCompositeGeometry* const element = elements[i];
        if (element == nullptr) continue;
        fill.mIdentifier = outline.mIdentifier = element->GetIdentifier();
        fill.mOwnerLayer = outline.mOwnerLayer = element->GetLayer();
        drawElement(*element, strategy, fill, outline, trackStyle, tunnelStyle, outlineColor);
    }
}

void VKMLayoutElementsPainter::drawElement(CCompositeGeometry& element,
                                           CDrawingInstructionsRenderStrategy& renderStrategy,
                                           CDrawingInstructionsRenderOptions& fillRenderOptions,
                                           CDrawingInstructionsRenderOptions& outlineRenderOptions,
                                           std::int32_t trackStyle, std::int32_t tunnelStyle,
                                           const CColor* outlineColor) {
    const bool tunnelHidden = tunnelStyle == kTunnelsHidden && UElementInspector::IsTrackElement(&element) &&
                              UElementInspector::IsTunnelTrack(&element);
    CDrawingOptions options(element, trackStyle, tunnelHidden, CColor::White());
    if (outlineColor != nullptr) options.mOutlineColor = *outlineColor;
    if (trackStyle & kLightOutline) options.mRailColor = CColor(kLightOutlineGray, element.GetSecondColor().mAlpha);
    // The outline pass draws the side lines the fill pass worked out. One
    // cache per thread, emptied for each element, keeps its memory.
    thread_local CParallelPathCache pathCache;
    pathCache.Clear();
    options.mPathCache = &pathCache;
    options.mRenderOptions = &fillRenderOptions;
    element.Render(&renderStrategy, element.GetPosition(), options);
    options.mRenderOptions = &outlineRenderOptions;
    element.Render(&renderStrategy, element.GetPosition(), options);
    pathCache.Clear();
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
