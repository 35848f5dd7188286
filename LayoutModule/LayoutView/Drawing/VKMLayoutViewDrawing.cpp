#include "LayoutModule/LayoutView/Drawing/VKMLayoutViewDrawing.h"

#include "LayoutModule/LayoutView/Drawing/VKMGridPainter.h"
#include "LayoutModule/LayoutView/Drawing/VKMLayoutColors.h"
#include "LayoutModule/LayoutView/Drawing/VKMRenderDataFactory.h"
#include "LayoutModule/LayoutView/Drawing/VKMSoftAssert.h"
#include "engine/model/Layout.h"
#include "engine/services/PerformanceCounters.h"
#include "platform/foundation/UserDefaults.h"

bool VKMLayoutViewDrawing::isDarkBackground() {
    return platform::UserDefaults::standard().boolValue(kDarkBackgroundKey).value_or(false);
}

void VKMLayoutViewDrawing::drawRect(platform::Context& context, const platform::Rect& dirtyRect, const CLayout* layout,
                                    VKMLayoutRenderData* renderData, platform::Point contentOffset) {
    context.save();
    context.translate(contentOffset.x, contentOffset.y);
    const platform::Rect moved{dirtyRect.x - contentOffset.x, dirtyRect.y - contentOffset.y, dirtyRect.width,
                               dirtyRect.height};
    const bool dark = isDarkBackground();
    context.setFillColor(dark ? VKMLayoutColors::vkmDocumentDarkBackgroundColor()
                              : VKMLayoutColors::vkmDocumentBackgroundColor());
    context.fillRect(moved);
    if (layout == nullptr) {
        context.restore();
        return;
    }

    CStopwatch stopwatch;
    stopwatch.Start();
    const double zoom = layout->GetZoom();
    const CLayoutParameters& parameters = layout->GetParameters();
    if (parameters.mShowGrid) {
        const platform::Rect grid{0, 0, zoom * parameters.mWorkspaceWidth, zoom * parameters.mWorkspaceHeight};
        VKMGridPainter::drawGridInRect(context, grid, moved, zoom, zoom,
                                       dark ? platform::Color::white(1.0) : VKMLayoutColors::vkmLayoutGridColor());
    }
    if (renderData != nullptr) renderData->drawWithScaleFactor(context, zoom, moved);
    QLPerformanceCounters::addToCounter("DrawLayoutView", stopwatch.Stop());
    context.restore();
}

void VKMLayoutViewDrawing::refreshLayoutRenderDataBackgroundOnly(std::shared_ptr<VKMLayoutRenderData>& renderData,
                                                                 CLayout* layout, const tTransientEditActions& actions,
                                                                 bool backgroundOnly) {
    if (!VKM_SOFT_ASSERT(layout != nullptr)) return;
    if (!renderData) renderData = std::make_shared<VKMLayoutRenderData>();
    VKM_SOFT_ASSERT(renderData != nullptr);

    CStopwatch stopwatch;
    stopwatch.Start();
    // Build every layer first and store them only when all were built, so a
    // failed build leaves the render data as they were.
    VKMRenderDataFactory::tLayer background;
    VKMRenderDataFactory::tLayer elements;
    VKMRenderDataFactory::tLayer overlays;
    {
        CTransientEditScope edits(*layout, actions);
        background = VKMRenderDataFactory::getBackgroundDataForLayout(*layout);
        if (!backgroundOnly) {
            elements = VKMRenderDataFactory::getElementsDataForLayout(*layout);
            overlays = VKMRenderDataFactory::getOverlayDataForLayout(*layout);
        }
    }
    renderData->setBackgroundData(std::move(background));
    if (!backgroundOnly) {
        renderData->setElementsData(std::move(elements));
        renderData->setOverlayData(std::move(overlays));
    }
    QLPerformanceCounters::addToCounter("CreateLayoutRenderData", stopwatch.Stop());
}

void VKMLayoutViewDrawing::refreshLayoutRenderData(std::shared_ptr<VKMLayoutRenderData>& renderData, CLayout* layout,
                                                   const tTransientEditActions& actions) {
    refreshLayoutRenderDataBackgroundOnly(renderData, layout, actions, false);
}

platform::Size VKMLayoutViewDrawing::intrinsicContentSize(const CLayout& layout) {
    const double zoom = layout.GetZoom();
    return {zoom * layout.GetParameters().mWorkspaceWidth, zoom * layout.GetParameters().mWorkspaceHeight};
}
