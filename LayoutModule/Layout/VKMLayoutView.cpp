#include "LayoutModule/Layout/VKMLayoutView.h"

#include <cmath>
#include <vector>

#include "LayoutView/Drawing/VKMGridPainter.h"
#include "LayoutView/Drawing/VKMLayoutColors.h"
#include "LayoutView/Drawing/VKMRenderDataFactory.h"
#include "engine/services/VKMSoftAssert.h"
#include "engine/model/Layout.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ZDUtils.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Image.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/core/Transform3D.h"
#include "platform/ui/views/Window.h"
#include "platform/ui/input/Touch.h"

VKMLayoutView::VKMLayoutView() : VKMLayoutView(platform::Rect{}) {}

VKMLayoutView::VKMLayoutView(const platform::Rect& frame) : View(frame) {}

bool VKMLayoutView::isDarkBackground() {
    return platform::UserDefaults::standard().boolValue(kDarkBackgroundKey).value_or(false);
}

namespace {

// A pan moves the last picture and draws the strips it uncovers while they
// are small; beyond this share of a side it draws afresh.
constexpr double kLargestUncoveredShare = 0.4;

}  // namespace

double VKMLayoutView::screenScale() const {
    const auto inWindow = window();
    const auto screen = inWindow ? inWindow->screen() : platform::ui::Screen::mainScreen();
    return screen ? screen->scale() : 1.0;
}

void VKMLayoutView::drawRect(platform::Context& context, const platform::Rect& rect) {
    const auto source = delegate();
    drawLayout(context, rect, source ? source->trackLayout() : nullptr, mRenderData.get(),
               source ? source->contentOffset() : platform::Point{0, 0});
}

void VKMLayoutView::layoutSubviews() {
    View::layoutSubviews();
    showLayout();
}

void VKMLayoutView::showLayout() {
    const auto source = delegate();
    const CLayout* layout = source ? source->trackLayout() : nullptr;
    const bool dark = isDarkBackground();
    // The picture covers the view but while a pinch shrinks it.
    setBackgroundColor(layout == nullptr || mInteractiveZoom
                           ? std::optional<platform::Color>(dark ? VKMLayoutColors::vkmDocumentDarkBackgroundColor()
                                                                 : VKMLayoutColors::vkmDocumentBackgroundColor())
                           : std::nullopt);
    if (!mPictureLayer) {
        mPictureLayer = platform::ui::Layer::make();
        mPictureLayer->setAnchorPoint({0, 0});
        // Below the buttons that are subviews of this view.
        layer()->insertSublayer(mPictureLayer, 0);
    }
    if (layout == nullptr) {
        mPicture = {};
        mPictureLayer->setContents(nullptr);
        removeStrips();
        return;
    }
    // On whole pixels, so that a moved picture lands pixel on pixel.
    const double scale = screenScale();
    const platform::Point requested = source->contentOffset();
    const platform::Point offset{std::round(requested.x * scale) / scale, std::round(requested.y * scale) / scale};
    const bool reusable = mPicture.image && mPicture.layout == layout && mPicture.size == bounds().size() &&
                          mPicture.scale == scale && mPicture.dark == dark &&
                          mPicture.grid == layout->GetParameters().mShowGrid;
    if (reusable && mPicture.zoom == layout->GetZoom()) {
        showMoved(*layout, offset);
    } else if (reusable && mInteractiveZoom) {
        showStretched(offset, layout->GetZoom());
    } else {
        drawPicture(*layout, offset);
    }
}

void VKMLayoutView::drawPicture(const CLayout& layout, platform::Point offset) {
    const platform::Size size = bounds().size();
    const double scale = screenScale();
    removeStrips();
    auto canvas = platform::BitmapContext::createForPointSize(size, scale);
    if (!canvas) return;
    drawLayout(*canvas, {0, 0, size.width, size.height}, &layout, mRenderData.get(), offset);
    mPicture = {platform::BitmapContext::takeImage(std::move(canvas)),
                offset,
                layout.GetZoom(),
                &layout,
                size,
                scale,
                isDarkBackground(),
                layout.GetParameters().mShowGrid};
    mPictureLayer->setTransform(platform::ui::Transform3D::identity());
    mPictureLayer->setBounds({0, 0, size.width, size.height});
    mPictureLayer->setPosition({0, 0});
    mPictureLayer->setContents(mPicture.image);
}

void VKMLayoutView::showMoved(const CLayout& layout, platform::Point offset) {
    const platform::Size size = bounds().size();
    const double dx = offset.x - mPicture.offset.x;
    const double dy = offset.y - mPicture.offset.y;
    if (std::abs(dx) > size.width * kLargestUncoveredShare || std::abs(dy) > size.height * kLargestUncoveredShare) {
        drawPicture(layout, offset);
        return;
    }
    mPictureLayer->setTransform(platform::ui::Transform3D::identity());
    mPictureLayer->setPosition({dx, dy});
    removeStrips();
    std::vector<platform::Rect> uncovered;
    if (dx > 0) uncovered.push_back({0, 0, dx, size.height});
    if (dx < 0) uncovered.push_back({size.width + dx, 0, -dx, size.height});
    if (dy > 0) uncovered.push_back({0, 0, size.width, dy});
    if (dy < 0) uncovered.push_back({0, size.height + dy, size.width, -dy});
    for (const platform::Rect& strip : uncovered) {
        if (auto made = stripLayer(layout, offset, strip)) {
            layer()->insertSublayerAbove(made, mPictureLayer.get());
            mStrips.push_back(std::move(made));
        }
    }
}

std::shared_ptr<platform::ui::Layer> VKMLayoutView::stripLayer(const CLayout& layout, platform::Point offset,
                                                               const platform::Rect& rect) const {
    auto canvas = platform::BitmapContext::createForPointSize(rect.size(), screenScale());
    if (!canvas) return nullptr;
    canvas->translate(-rect.x, -rect.y);
    drawLayout(*canvas, rect, &layout, mRenderData.get(), offset);
    auto strip = platform::ui::Layer::make();
    strip->setFrame(rect);
    strip->setContents(platform::BitmapContext::takeImage(std::move(canvas)));
    return strip;
}

void VKMLayoutView::removeStrips() {
    for (const auto& strip : mStrips) strip->removeFromSuperlayer();
    mStrips.clear();
}

void VKMLayoutView::showStretched(platform::Point offset, double zoom) {
    // A layout point p lies at picture offset + picture zoom x p in the
    // picture, and belongs at offset + zoom x p.
    const double stretch = zoom / mPicture.zoom;
    removeStrips();
    mPictureLayer->setTransform(platform::ui::Transform3D::scale(stretch, stretch));
    mPictureLayer->setPosition({offset.x - stretch * mPicture.offset.x, offset.y - stretch * mPicture.offset.y});
}

void VKMLayoutView::setInteractiveZoom(bool interactive) {
    if (mInteractiveZoom == interactive) return;
    mInteractiveZoom = interactive;
    if (!interactive) setNeedsDisplayOfLayout();
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
    mPicture = {};
    QLPerformanceCounters::addToCounter("CreateLayoutRenderData", stopwatch.Stop());
    setNeedsDisplayOfLayout();
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
            overlays = VKMRenderDataFactory::getOverlayDataForLayout(layout, isDarkBackground());
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
    mPicture = {};
    setNeedsDisplayOfLayout();
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
