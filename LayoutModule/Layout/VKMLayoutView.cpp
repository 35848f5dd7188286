#include "LayoutModule/Layout/VKMLayoutView.h"

#include "LayoutModule/LayoutView/Drawing/VKMGridPainter.h"
#include "LayoutModule/LayoutView/Drawing/VKMLayoutColors.h"
#include "LayoutModule/LayoutView/Drawing/VKMRenderDataFactory.h"
#include "LayoutModule/LayoutView/Drawing/VKMSoftAssert.h"
#include "engine/model/Layout.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ZDUtils.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/graphics/Context.h"
#include "platform/ui/Touch.h"

VKMLayoutView::VKMLayoutView() : VKMLayoutView(platform::Rect{}) {}

VKMLayoutView::VKMLayoutView(const platform::Rect& frame) : View(frame) { setNeedsDisplay(); }

bool VKMLayoutView::isDarkBackground() {
    return platform::UserDefaults::standard().boolValue(kDarkBackgroundKey).value_or(false);
}

void VKMLayoutView::drawRect(platform::Context& context, const platform::Rect& rect) {
    const auto source = delegate();
    drawLayout(context, rect, source ? source->trackLayout() : nullptr, mRenderData.get(),
               source ? source->contentOffset() : platform::Point{0, 0});
}

void VKMLayoutView::drawLayout(platform::Context& context, const platform::Rect& dirtyRect, const CLayout* layout,
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

void VKMLayoutView::refreshLayoutRenderDataBackgroundOnly(bool backgroundOnly) {
    const auto source = delegate();
    if (!source) return;
    CLayout* layout = source->trackLayout();
    if (!VKM_SOFT_ASSERT(layout != nullptr)) return;
    CStopwatch stopwatch;
    stopwatch.Start();
    buildRenderData(mRenderData, *layout, source->transientEditActions(), backgroundOnly);
    QLPerformanceCounters::addToCounter("CreateLayoutRenderData", stopwatch.Stop());
    setNeedsDisplay();
}

void VKMLayoutView::buildRenderData(std::shared_ptr<VKMLayoutRenderData>& renderData, CLayout& layout,
                                    const tTransientEditActions& actions, bool backgroundOnly) {
    if (!renderData) renderData = std::make_shared<VKMLayoutRenderData>();
    VKM_SOFT_ASSERT(renderData != nullptr);
    // Every layer is built first and stored only when all were built, so a
    // failed build leaves the render data as they were; the scope restores
    // the document on every way out.
    VKMRenderDataFactory::tLayer background;
    VKMRenderDataFactory::tLayer elements;
    VKMRenderDataFactory::tLayer overlays;
    {
        CTransientEditScope edits(layout, actions);
        background = VKMRenderDataFactory::getBackgroundDataForLayout(layout);
        if (!backgroundOnly) {
            elements = VKMRenderDataFactory::getElementsDataForLayout(layout);
            overlays = VKMRenderDataFactory::getOverlayDataForLayout(layout);
        }
    }
    renderData->setBackgroundData(std::move(background));
    if (!backgroundOnly) {
        renderData->setElementsData(std::move(elements));
        renderData->setOverlayData(std::move(overlays));
    }
}

void VKMLayoutView::clearRenderData() {
    mRenderData = std::make_shared<VKMLayoutRenderData>();
    setNeedsDisplay();
}

platform::Size VKMLayoutView::intrinsicContentSize() const {
    const auto source = delegate();
    const CLayout* layout = source ? source->trackLayout() : nullptr;
    return layout == nullptr ? View::intrinsicContentSize() : intrinsicContentSize(*layout);
}

platform::Size VKMLayoutView::intrinsicContentSize(const CLayout& layout) {
    const double zoom = layout.GetZoom();
    return {zoom * layout.GetParameters().mWorkspaceWidth, zoom * layout.GetParameters().mWorkspaceHeight};
}

void VKMLayoutView::touchesEnded(const platform::ui::TouchSet& touches, const platform::ui::Event& event) {
    ZDUtils::logDebug("Received touch %zu touch(es)", touches.size());
    View::touchesEnded(touches, event);
}
