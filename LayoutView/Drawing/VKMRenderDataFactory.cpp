#include "LayoutView/Drawing/VKMRenderDataFactory.h"

#include "LayoutView/Drawing/VKMBaseboardsPainter.h"
#include "LayoutView/Drawing/VKMImagesPainter.h"
#include "LayoutView/Drawing/VKMInstructionList.h"
#include "LayoutView/Drawing/VKMLayoutElementsOverlayPainter.h"
#include "LayoutView/Drawing/VKMLayoutElementsPainter.h"
#include "LayoutView/Drawing/VKMLayoutPictures.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/model/Layout.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ZDUtils.h"

namespace {

template <typename Build>
VKMRenderDataFactory::tLayer MakeLayer(const char* counter, Build&& build) {
    CStopwatch stopwatch;
    stopwatch.Start();
    VKMScopedInstructionList instructions;
    build(instructions.list());
    tDrawingInstructions built = instructions.release();
    VKMRenderDataFactory::tLayer layer = VKMDrawingInstructionsRenderData::renderDataWithDrawingInstructions(&built);
    QLPerformanceCounters::addToCounter(counter, stopwatch.Stop());
    return layer;
}

}  // namespace

VKMRenderDataFactory::tLayer VKMRenderDataFactory::getBackgroundDataForLayout(const CLayout& layout) {
    return MakeLayer("CreateBackgroundRenderData", [&](tDrawingInstructions& instructions) {
        createBackgroundDrawingInstructionsForLayout(layout, instructions);
    });
}

VKMRenderDataFactory::tLayer VKMRenderDataFactory::getElementsDataForLayout(const CLayout& layout,
                                                                            const std::function<bool()>& stopped) {
    ZDUtils::logDebug("Refreshing render data for elements");
    return MakeLayer("CreateContentRenderData", [&](tDrawingInstructions& instructions) {
        createContentDrawingInstructions(instructions, layout, stopped);
    });
}

VKMRenderDataFactory::tLayer VKMRenderDataFactory::getOverlayDataForLayout(const CLayout& layout, bool darkBackground) {
    ZDUtils::logDebug("Refreshing render data for overlays");
    return MakeLayer("CreateOverlayRenderData", [&](tDrawingInstructions& instructions) {
        createOverlayDrawingInstructions(instructions, layout, darkBackground);
    });
}

void VKMRenderDataFactory::createBackgroundDrawingInstructionsForLayout(const CLayout& layout,
                                                                        tDrawingInstructions& instructions) {
    // The first build decodes every picture, those of hidden layers too, so
    // that showing a layer later decodes nothing; later builds find them.
    VKMLayoutPictures::decodePictures(layout.GetImages());
    const tLayers layerList = layout.GetLayerManager().GetLayers();
    if (layerList.empty()) {
        ZDUtils::logWarning("Empty layer list encountered in %s?", __func__);
        return;
    }
    for (auto it = layerList.rbegin(); it != layerList.rend(); ++it) {
        const CLayer* layer = *it;
        if (layer == nullptr || !layer->IsVisible()) continue;
        if (layer->GetLayerType() == CLayer::kBaseboardLayer) {
            // Each baseboard layer draws the baseboards that lie on it.
            tBaseboardElements onLayer;
            for (CBaseboardElement* baseboard : layout.GetBaseboards()) {
                if (baseboard != nullptr && baseboard->GetLayer() == layer) onLayer.push_back(baseboard);
            }
            VKMBaseboardsPainter::drawBaseboards(onLayer, layout, instructions);
        } else if (layer->GetLayerType() == CLayer::kImageLayer) {
            VKMImagesPainter::drawImages(layout.GetImages(), layer, instructions);
        }
    }
}

void VKMRenderDataFactory::createContentDrawingInstructions(tDrawingInstructions& instructions, const CLayout& layout,
                                                            const std::function<bool()>& stopped) {
    VKMLayoutElementsPainter::drawElementsInLayout(layout, instructions, stopped);
}

void VKMRenderDataFactory::createOverlayDrawingInstructions(tDrawingInstructions& instructions, const CLayout& layout,
                                                            bool darkBackground) {
    VKMLayoutElementsOverlayPainter::drawOverlaysForElementsInLayout(layout, instructions, darkBackground);
}
