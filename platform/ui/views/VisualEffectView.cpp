#include "platform/ui/views/VisualEffectView.h"

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Shadow.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/render/FramePlan.h"
#include "platform/ui/render/LayerRenderer.h"
#include "platform/ui/core/MediaTime.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/Window.h"
#include "platform/ui/core/detail/MainLoop.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace platform::ui {

namespace {

// The tint laid over the blur, per style.
Color tintFor(BlurEffectStyle style) {
    switch (style) {
        case BlurEffectStyle::extraLight: return {0.97, 0.97, 0.97, 0.8};
        case BlurEffectStyle::light: return {1, 1, 1, 0.3};
        case BlurEffectStyle::dark: return {0.11, 0.11, 0.11, 0.73};
        case BlurEffectStyle::regular: return {0.98, 0.98, 0.98, 0.5};
        case BlurEffectStyle::prominent: return {0.92, 0.92, 0.92, 0.8};
    }
    return {1, 1, 1, 0};
}

// The still is drawn at this many pixels a point, four points a pixel: the
// blur of ten points hides finer detail, and is then 2.5 pixels wide.
constexpr double kBackdropScale = 0.25;

}  // namespace

VisualEffectView::VisualEffectView(std::optional<BlurEffectStyle> effect, const Rect& frame)
    : View(frame), mEffect(effect) {
    setClipsToBounds(true);
}

std::shared_ptr<View> VisualEffectView::contentView() {
    if (!mContent) {
        mContent = std::make_shared<View>(bounds());
        mContent->setAutoresizingMask(ViewAutoresizing::flexibleWidth | ViewAutoresizing::flexibleHeight);
        addSubview(mContent);
    }
    return mContent;
}

void VisualEffectView::setEffect(std::optional<BlurEffectStyle> effect) {
    mEffect = effect;
    scheduleBackdrop();
}

void VisualEffectView::didMoveToWindow() {
    if (window()) scheduleBackdrop();
}

void VisualEffectView::layoutSubviews() {
    if (mContent) mContent->setFrame(bounds());
    if (window() && bounds().size() != mBackdropSize) scheduleBackdrop();
}

void VisualEffectView::scheduleBackdrop() {
    if (mBackdropPosted) return;
    mBackdropPosted = true;
    detail::postToMain([weak = std::weak_ptr<View>(sharedView())] {
        const auto self = std::static_pointer_cast<VisualEffectView>(weak.lock());
        if (!self) return;
        self->mBackdropPosted = false;
        self->refreshBackdrop();
    });
}

void VisualEffectView::refreshBackdrop() {
    const auto window = this->window();
    if (!window || !mEffect) {
        layer()->setContents(nullptr);
        setBackgroundColor(std::nullopt);
        return;
    }
    const Rect area = convertRectToView(bounds(), nullptr);
    mBackdropSize = bounds().size();
    if (area.isEmpty()) return;
    // What lies beneath: the window without this view and whatever is
    // above it (later siblings of it and of each of its ancestors).
    std::vector<std::shared_ptr<Layer>> hidden;
    auto hide = [&](const std::shared_ptr<Layer>& layer) {
        if (!layer->isHidden()) {
            layer->setHidden(true);
            hidden.push_back(layer);
        }
    };
    hide(layer());
    for (auto view = sharedView(); view && view.get() != window.get();) {
        const auto super = view->superview();
        if (!super) break;
        bool after = false;
        for (const auto& sibling : super->subviews()) {
            if (after) hide(sibling->layer());
            if (sibling == view) after = true;
        }
        view = super;
    }
    auto context = BitmapContext::createForPointSize(area.size(), kBackdropScale);
    if (context) {
        const auto fromScreen = window->layer()->transformToSuperlayer().inverted();
        // Whole pixels over the area: a last pixel partly outside it would
        // be partly transparent, and its edge spread by the blur.
        context->scale(context->pixelWidth() / (area.width * kBackdropScale),
                       context->pixelHeight() / (area.height * kBackdropScale));
        context->translate(-area.x, -area.y);
        if (fromScreen) context->concat(*fromScreen);
        // Drawn afresh at the backdrop's scale: the rasters the screen keeps
        // stay as they are for its next frame.
        RenderOptions options{currentMediaTime(), kBackdropScale};
        options.keepsRasters = false;
        if (!mPlans) mPlans = std::make_shared<PlanStorage>();
        options.plans = mPlans.get();
        renderLayerTree(*window->layer(), *context, options);
    }
    for (const auto& layer : hidden) layer->setHidden(false);
    std::shared_ptr<Image> blurred;
    if (context) {
        if (const auto still = BitmapContext::takeImage(std::move(context))) {
            blurred = makeBlurredImage(*still, kBlurRadius * kBackdropScale);
        }
    }
    if (blurred) {
        // Kept at the screen's pixels, the tint laid over the blur once, so
        // that a frame copies it pixel for pixel.
        const auto screen = window->screen();
        const double scale = std::max(screen ? screen->scale() : kBackdropScale, kBackdropScale);
        const Size cover{area.width * scale, area.height * scale};
        blurred = makeTintedEnlargement(*blurred, static_cast<int>(std::ceil(cover.width)),
                                        static_cast<int>(std::ceil(cover.height)), cover, scale, tintFor(*mEffect));
    }
    layer()->setContents(blurred);
    ++mRenders;
}

}  // namespace platform::ui
