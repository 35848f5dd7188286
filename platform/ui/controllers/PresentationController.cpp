#include "platform/ui/controllers/PresentationController.h"

#include "platform/graphics/Context.h"
#include "platform/graphics/Path.h"
#include "platform/ui/input/PanGestureRecognizer.h"
#include "platform/ui/views/ScrollView.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/input/TapGestureRecognizer.h"
#include "platform/ui/views/View.h"
#include "platform/ui/views/Window.h"
#include "platform/ui/controllers/detail/ControllerTransitions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace platform::ui {

namespace {

double midX(const Rect& r) { return r.x + r.width / 2; }
double midY(const Rect& r) { return r.y + r.height / 2; }

bool compact(const TraitCollection& traits) { return traits.horizontalSizeClass == UserInterfaceSizeClass::compact; }

// The view over the window that a presentation happens in; it places the
// presented view as its presentation controller says.
class PresentationContainerView final : public View {
public:
    PresentationContainerView(const Rect& frame, std::weak_ptr<PresentationController> controller)
        : View(frame), mController(std::move(controller)) {}
    void layoutSubviews() override {
        if (auto controller = mController.lock()) {
            controller->containerViewWillLayoutSubviews();
            controller->containerViewDidLayoutSubviews();
        }
    }
    std::string className() const override { return "PresentationContainerView"; }

private:
    std::weak_ptr<PresentationController> mController;
};

// A popover's box with its arrow, edged with a hairline and shadowed so
// that it stands out from a white screen; the presented view sits in the
// box.
class PopoverBackgroundView final : public View {
public:
    static constexpr Color kBorderColor{0, 0, 0, 0.18};
    static constexpr double kShadowOpacity = 0.22;
    static constexpr double kShadowRadius = 8;

    PopoverBackgroundView() {
        setOpaque(false);
        layer()->setShadowColor(Color{0, 0, 0, 1});
        layer()->setShadowOpacity(kShadowOpacity);
        layer()->setShadowRadius(kShadowRadius);
        layer()->setShadowOffset({0, 2});
        setNeedsDisplay();
    }
    void configure(const Rect& box, PopoverArrowDirection arrow, double arrowOffset, const Color& color) {
        mBox = box;
        mArrow = arrow;
        mArrowOffset = arrowOffset;
        mColor = color;
        // The shadow of the outline alone: no pass over the drawing.
        layer()->setShadowPath(outline());
        setNeedsDisplay();
    }
    Rect box() const { return mBox; }
    // Only the box takes touches; outside it they reach the view that dismisses.
    bool pointInside(Point point, const Event*) const override { return mBox.contains(point); }
    void drawRect(Context& context, const Rect&) override {
        // A stroke of two hairlines, then the fill over its inner half:
        // one hairline outside the box and the arrow, none where they join.
        const Path shape = outline();
        const auto screen = Screen::mainScreen();
        const double hairline = 1 / std::max(1.0, screen ? screen->scale() : 1.0);
        context.setStrokeColor(kBorderColor);
        context.setLineWidth(2 * hairline);
        context.strokePath(shape);
        context.setFillColor(mColor);
        context.fillPath(shape);
    }
    std::string className() const override { return "PopoverBackgroundView"; }

private:
    // The rounded box and, as a second subpath, the arrow.
    Path outline() const {
        using P = PopoverPresentationController;
        Path path;
        path.addRoundedRect(mBox, P::kCornerRadius);
        const double half = P::kArrowBase / 2;
        const double h = P::kArrowHeight;
        const Point mid{midX(mBox) + mArrowOffset, midY(mBox) + mArrowOffset};
        switch (mArrow) {
            case PopoverArrowDirection::up:
                path.moveTo({mid.x - half, mBox.y + 1});
                path.lineTo({mid.x, mBox.y - h});
                path.lineTo({mid.x + half, mBox.y + 1});
                break;
            case PopoverArrowDirection::down:
                path.moveTo({mid.x - half, mBox.maxY() - 1});
                path.lineTo({mid.x, mBox.maxY() + h});
                path.lineTo({mid.x + half, mBox.maxY() - 1});
                break;
            case PopoverArrowDirection::left:
                path.moveTo({mBox.x + 1, mid.y - half});
                path.lineTo({mBox.x - h, mid.y});
                path.lineTo({mBox.x + 1, mid.y + half});
                break;
            case PopoverArrowDirection::right:
                path.moveTo({mBox.maxX() - 1, mid.y - half});
                path.lineTo({mBox.maxX() + h, mid.y});
                path.lineTo({mBox.maxX() - 1, mid.y + half});
                break;
            default: return path;
        }
        path.closePath();
        return path;
    }

    Rect mBox;
    PopoverArrowDirection mArrow = PopoverArrowDirection::unknown;
    double mArrowOffset = 0;
    Color mColor{1, 1, 1, 1};
};

}  // namespace

namespace detail {

std::shared_ptr<View> makePresentationContainer(const Rect& frame,
                                                const std::shared_ptr<PresentationController>& controller) {
    auto container = std::make_shared<PresentationContainerView>(frame, controller);
    container->setAutoresizingMask(ViewAutoresizing::flexibleWidth | ViewAutoresizing::flexibleHeight);
    return container;
}

}  // namespace detail

// --- PresentationController ---------------------------------------------------

PresentationController::PresentationController(const std::shared_ptr<ViewController>& presented,
                                               const std::shared_ptr<ViewController>& presenting)
    : mPresented(presented), mPresenting(presenting) {}

PresentationController::~PresentationController() = default;

std::shared_ptr<View> PresentationController::presentedView() const {
    const auto presented = presentedViewController();
    return presented ? presented->view() : nullptr;
}

ModalPresentationStyle PresentationController::presentationStyle() const {
    const auto presented = presentedViewController();
    return presented ? presented->modalPresentationStyle() : ModalPresentationStyle::fullScreen;
}

ModalPresentationStyle PresentationController::adaptivePresentationStyle(const TraitCollection& traits) {
    const ModalPresentationStyle style = presentationStyle();
    const bool adapts = style == ModalPresentationStyle::popover || style == ModalPresentationStyle::formSheet ||
                        style == ModalPresentationStyle::pageSheet;
    if (!adapts || !compact(traits)) return style;
    if (auto delegate = mDelegate.lock()) {
        if (const auto asked = delegate->adaptivePresentationStyleForPresentationController(*this, traits)) {
            return *asked == ModalPresentationStyle::none ? style : *asked;
        }
    }
    // A sheet, which a drag down dismisses, rather than a full screen that
    // traps a screen without a close button.
    return ModalPresentationStyle::pageSheet;
}

TraitCollection PresentationController::traits() const {
    if (mContainerView) {
        if (auto window = mContainerView->window()) return window->traitCollection();
    }
    if (auto presenting = presentingViewController()) return presenting->traitCollection();
    const auto screen = Screen::mainScreen();
    return Window::traitsFor(screen->bounds().size(), *screen, UserInterfaceStyle::light);
}

Rect PresentationController::frameOfPresentedViewInContainerView() const {
    const Rect bounds = mContainerView ? mContainerView->bounds() : Rect{};
    if (mStyleInForce == ModalPresentationStyle::pageSheet) {
        const double top = std::min(bounds.height, mContainerView->safeAreaInsets().top + kSheetTopGap);
        const double width = compact(traits()) ? bounds.width : std::min(kPageSheetWidth, bounds.width);
        return {midX(bounds) - width / 2, top, width, bounds.height - top};
    }
    if (mStyleInForce != ModalPresentationStyle::formSheet) return bounds;
    const auto presented = presentedViewController();
    Size size = presented ? presented->preferredContentSize() : Size{};
    if (size.width <= 0) size.width = kFormSheetSize.width;
    if (size.height <= 0) size.height = kFormSheetSize.height;
    size.width = std::min(size.width, bounds.width);
    size.height = std::min(size.height, bounds.height);
    return {midX(bounds) - size.width / 2, midY(bounds) - size.height / 2, size.width, size.height};
}

bool PresentationController::shouldRemovePresentersView() const {
    return mStyleInForce == ModalPresentationStyle::fullScreen;
}

bool PresentationController::shouldPresentInFullscreen() const {
    return mStyleInForce == ModalPresentationStyle::fullScreen ||
           mStyleInForce == ModalPresentationStyle::overFullScreen;
}

void PresentationController::containerViewWillLayoutSubviews() {
    const auto view = presentedView();
    const auto presented = presentedViewController();
    if (!view || !presented || presented->transitionCoordinator() || mDragging) return;
    if (view->superview() == mContainerView) view->setFrame(frameOfPresentedViewInContainerView());
}

// --- sheets -----------------------------------------------------------------------

namespace {

bool atTop(const ScrollView& scroll) { return scroll.contentOffset().y <= -scroll.contentInset().top + 0.5; }

}  // namespace

// A drag on a sheet begins only downwards, once the sheet is shown, and not
// in a list scrolled away from its top (that scrolls back first). A list at
// its top gives way: its pan and the sheet's may both begin, and the
// sheet's then stops the list's.
class PresentationController::SheetDragDelegate final : public GestureRecognizerDelegate {
public:
    explicit SheetDragDelegate(std::weak_ptr<PresentationController> controller) : mController(std::move(controller)) {}
    bool gestureRecognizerShouldBegin(GestureRecognizer& recognizer) override {
        const auto controller = mController.lock();
        const auto presented = controller ? controller->presentedViewController() : nullptr;
        const auto* pan = dynamic_cast<PanGestureRecognizer*>(&recognizer);
        if (!presented || !pan || presented->isModalInPresentation() || presented->isBeingPresented() ||
            presented->isBeingDismissed())
            return false;
        const Point moved = pan->translationInView(nullptr);
        if (moved.y <= 0 || moved.y < std::fabs(moved.x)) return false;
        const auto view = recognizer.view();
        if (!view) return false;
        for (auto v = view->hitTest(recognizer.locationInView(view.get()), nullptr); v && v != view;
             v = v->superview()) {
            const auto* scroll = dynamic_cast<const ScrollView*>(v.get());
            if (scroll && !atTop(*scroll)) return false;
        }
        return true;
    }
    bool gestureRecognizerShouldRecognizeSimultaneously(GestureRecognizer& recognizer,
                                                        GestureRecognizer& other) override {
        (void)recognizer;
        const auto view = other.view();
        const auto* scroll = dynamic_cast<const ScrollView*>(view.get());
        return scroll && dynamic_cast<PanGestureRecognizer*>(&other) && atTop(*scroll);
    }

private:
    std::weak_ptr<PresentationController> mController;
};

bool PresentationController::isSheet() const {
    return mContainerView &&
           (mStyleInForce == ModalPresentationStyle::pageSheet || mStyleInForce == ModalPresentationStyle::formSheet);
}

void PresentationController::installSheetChrome(bool animated) {
    if (!isSheet()) return;
    const auto view = presentedView();
    if (!view) return;
    mDimmingView = std::make_shared<View>(mContainerView->bounds());
    mDimmingView->setAutoresizingMask(ViewAutoresizing::flexibleWidth | ViewAutoresizing::flexibleHeight);
    mDimmingView->setBackgroundColor(Color{0, 0, 0, kDimmingAlpha});
    mContainerView->insertSubview(mDimmingView, 0);
    if (animated) {
        mDimmingView->setAlpha(0);
        const auto dimming = mDimmingView;
        View::animate(0.3, 0, ViewAnimationOptions::curveEaseInOut, [dimming] { dimming->setAlpha(1); }, {});
    }
    view->layer()->setCornerRadius(kSheetCornerRadius);
    view->setClipsToBounds(true);
    mSheetDragDelegate = std::make_shared<SheetDragDelegate>(weak_from_this());
    mSheetDrag = std::make_shared<PanGestureRecognizer>();
    mSheetDrag->setName("sheet drag");
    mSheetDrag->setDelegate(mSheetDragDelegate);
    mSheetDrag->addAction([weak = weak_from_this()](GestureRecognizer& recognizer) {
        const auto self = weak.lock();
        if (auto* pan = dynamic_cast<PanGestureRecognizer*>(&recognizer); self && pan) self->sheetDragged(*pan);
    });
    view->addGestureRecognizer(mSheetDrag);
}

void PresentationController::sheetDismissalWillBegin(bool animated) {
    if (!mDimmingView) return;
    const auto dimming = mDimmingView;
    if (animated) {
        View::animate(0.3, 0, ViewAnimationOptions::curveEaseInOut, [dimming] { dimming->setAlpha(0); }, {});
    } else {
        dimming->setAlpha(0);
    }
}

void PresentationController::sheetDismissalDidEnd(bool completed) {
    if (!mDimmingView) return;
    if (!completed) {
        mDimmingView->setAlpha(1);
        return;
    }
    if (const auto view = presentedView(); view && mSheetDrag) view->removeGestureRecognizer(mSheetDrag.get());
    mDimmingView->removeFromSuperview();
    mDimmingView.reset();
    mSheetDrag.reset();
    mSheetDragDelegate.reset();
    mDragging = false;
}

void PresentationController::sheetDragged(PanGestureRecognizer& pan) {
    const auto view = presentedView();
    const auto presented = presentedViewController();
    if (!view || !presented || !mContainerView) return;
    const Rect rest = frameOfPresentedViewInContainerView();
    const double down = std::max(0.0, pan.translationInView(mContainerView.get()).y);
    if (pan.state() == GestureRecognizerState::began) {
        // The sheet follows now, not the list under the finger.
        for (auto v = view->hitTest(pan.locationInView(view.get()), nullptr); v && v != view; v = v->superview()) {
            if (!dynamic_cast<ScrollView*>(v.get())) continue;
            for (const auto& other : v->gestureRecognizers()) {
                const auto state = other->state();
                if (!dynamic_cast<PanGestureRecognizer*>(other.get()) ||
                    (state != GestureRecognizerState::began && state != GestureRecognizerState::changed)) {
                    continue;
                }
                other->setEnabled(false);
                other->setEnabled(true);
            }
        }
    }
    switch (pan.state()) {
        case GestureRecognizerState::began:
        case GestureRecognizerState::changed: {
            mDragging = true;
            Rect frame = rest;
            frame.y += down;
            view->setFrame(frame);
            if (mDimmingView) mDimmingView->setAlpha(1 - std::min(1.0, down / std::max(1.0, rest.height)));
            break;
        }
        case GestureRecognizerState::ended: {
            mDragging = false;
            const double speed = pan.velocityInView(mContainerView.get()).y;
            const bool far = down > rest.height * kSheetDismissFraction;
            const bool flicked = down > 0 && speed > kSheetDismissVelocity;
            // Dismissed as a tap outside would dismiss it, or put back.
            if (!(far || flicked) || !dismissByUser()) springBack();
            break;
        }
        default:
            mDragging = false;
            springBack();
            break;
    }
}

void PresentationController::springBack() {
    const auto view = presentedView();
    if (!view) return;
    const Rect rest = frameOfPresentedViewInContainerView();
    const auto dimming = mDimmingView;
    View::animate(0.25, 0, ViewAnimationOptions::curveEaseOut,
                  [view, rest, dimming] {
                      view->setFrame(rest);
                      if (dimming) dimming->setAlpha(1);
                  },
                  {});
}

// --- PopoverPresentationController --------------------------------------------

void PopoverPresentationController::setBackgroundColor(std::optional<Color> color) {
    mBackgroundColor = std::move(color);
    if (mBackgroundView && containerView()) containerViewWillLayoutSubviews();
}

std::shared_ptr<PopoverPresentationControllerDelegate> PopoverPresentationController::popoverDelegate() const {
    return mPopoverDelegate.lock();
}

void PopoverPresentationController::setPopoverDelegate(
    const std::shared_ptr<PopoverPresentationControllerDelegate>& delegate) {
    mPopoverDelegate = delegate;
    setDelegate(delegate);
}

bool PopoverPresentationController::shouldRemovePresentersView() const {
    return adapted() && PresentationController::shouldRemovePresentersView();
}

bool PopoverPresentationController::adapted() const { return styleInForce() != ModalPresentationStyle::popover; }

PopoverPresentationController::Placement PopoverPresentationController::place() const {
    Placement placement;
    const auto container = containerView();
    if (!container) return placement;
    const Rect bounds = container->bounds();
    const EdgeInsets safe = container->safeAreaInsets();
    const Rect area{bounds.x + safe.left + kScreenMargin, bounds.y + safe.top + kScreenMargin,
                    bounds.width - safe.left - safe.right - 2 * kScreenMargin,
                    bounds.height - safe.top - safe.bottom - 2 * kScreenMargin};
    Rect source{midX(bounds), midY(bounds), 0, 0};
    if (const auto view = sourceView()) {
        const Rect local = mSourceRect == Rect{} ? view->bounds() : mSourceRect;
        source = view->convertRectToView(local, container.get());
    }
    Size wanted = kDefaultContentSize;
    if (const auto presented = presentedViewController()) {
        const Size preferred = presented->preferredContentSize();
        if (preferred.width > 0) wanted.width = preferred.width;
        if (preferred.height > 0) wanted.height = preferred.height;
    }
    const PopoverArrowDirection order[] = {PopoverArrowDirection::up, PopoverArrowDirection::down,
                                           PopoverArrowDirection::left, PopoverArrowDirection::right};
    PopoverArrowDirection permitted = mPermitted;
    if ((static_cast<unsigned>(permitted) & 0xF) == 0) permitted = PopoverArrowDirection::any;
    // The room on the side the box would take for each arrow.
    auto room = [&](PopoverArrowDirection arrow) -> Size {
        switch (arrow) {
            case PopoverArrowDirection::up: return {area.width, area.maxY() - source.maxY() - kArrowHeight};
            case PopoverArrowDirection::down: return {area.width, source.y - kArrowHeight - area.y};
            case PopoverArrowDirection::left: return {area.maxX() - source.maxX() - kArrowHeight, area.height};
            default: return {source.x - kArrowHeight - area.x, area.height};
        }
    };
    PopoverArrowDirection chosen = PopoverArrowDirection::unknown;
    double bestArea = -1;
    for (const auto arrow : order) {
        if (!hasFlag(permitted, arrow)) continue;
        const Size r = room(arrow);
        if (wanted.width <= r.width && wanted.height <= r.height) {
            chosen = arrow;
            break;
        }
        const double shown =
            std::max(0.0, std::min(wanted.width, r.width)) * std::max(0.0, std::min(wanted.height, r.height));
        if (shown > bestArea) {
            bestArea = shown;
            chosen = arrow;
        }
    }
    const Size r = room(chosen);
    Size size{std::max(0.0, std::min(wanted.width, r.width)), std::max(0.0, std::min(wanted.height, r.height))};
    if (size.width * size.height <= 0 && mCanOverlap) {
        // No side has room: cover the source instead, without an arrow.
        size = {std::min(wanted.width, area.width), std::min(wanted.height, area.height)};
        placement.box = {std::clamp(midX(source) - size.width / 2, area.x, area.maxX() - size.width),
                         std::clamp(midY(source) - size.height / 2, area.y, area.maxY() - size.height), size.width,
                         size.height};
        return placement;
    }
    auto clampAlong = [](double centre, double length, double lo, double hi) {
        return std::max(lo, std::min(centre - length / 2, hi - length));
    };
    Rect box{0, 0, size.width, size.height};
    if (chosen == PopoverArrowDirection::up || chosen == PopoverArrowDirection::down) {
        box.x = clampAlong(midX(source), size.width, area.x, area.maxX());
        box.y =
            chosen == PopoverArrowDirection::up ? source.maxY() + kArrowHeight : source.y - kArrowHeight - size.height;
        placement.arrowOffset = midX(source) - midX(box);
    } else {
        box.y = clampAlong(midY(source), size.height, area.y, area.maxY());
        box.x =
            chosen == PopoverArrowDirection::left ? source.maxX() + kArrowHeight : source.x - kArrowHeight - size.width;
        placement.arrowOffset = midY(source) - midY(box);
    }
    const double along =
        (chosen == PopoverArrowDirection::up || chosen == PopoverArrowDirection::down ? size.width : size.height);
    const double limit = std::max(0.0, along / 2 - kCornerRadius - kArrowBase / 2);
    placement.arrowOffset = std::clamp(placement.arrowOffset, -limit, limit);
    placement.box = box;
    placement.arrow = chosen;
    return placement;
}

std::shared_ptr<View> PopoverPresentationController::presentedView() const {
    if (adapted()) return PresentationController::presentedView();
    if (!mBackgroundView) mBackgroundView = std::make_shared<PopoverBackgroundView>();
    return mBackgroundView;
}

Rect PopoverPresentationController::frameOfPresentedViewInContainerView() const {
    if (adapted()) return PresentationController::frameOfPresentedViewInContainerView();
    return mBackgroundView ? mBackgroundView->frame() : Rect{};
}

void PopoverPresentationController::presentationTransitionWillBegin() {
    if (adapted()) {
        mArrowDirection = PopoverArrowDirection::unknown;
        return;
    }
    const auto container = containerView();
    mDismissView = std::make_shared<View>(container->bounds());
    mDismissView->setAutoresizingMask(ViewAutoresizing::flexibleWidth | ViewAutoresizing::flexibleHeight);
    auto tap = std::make_shared<TapGestureRecognizer>();
    tap->addAction([weak = std::weak_ptr<PresentationController>(shared_from_this())](GestureRecognizer&) {
        if (auto self = std::static_pointer_cast<PopoverPresentationController>(weak.lock())) self->backgroundTapped();
    });
    mDismissView->addGestureRecognizer(tap);
    container->addSubview(mDismissView);
    const auto background = presentedView();
    if (const auto presented = presentedViewController()) background->addSubview(presented->view());
    containerViewWillLayoutSubviews();
}

void PopoverPresentationController::containerViewWillLayoutSubviews() {
    if (adapted()) {
        PresentationController::containerViewWillLayoutSubviews();
        return;
    }
    const auto container = containerView();
    const auto presented = presentedViewController();
    if (!container || !presented || !mBackgroundView) return;
    const Placement placement = place();
    mArrowDirection = placement.arrow;
    // Only the box and its arrow: a raster the size of the window would be
    // composited every frame.
    const double a = kArrowHeight;
    const Rect frame{placement.box.x - a, placement.box.y - a, placement.box.width + 2 * a,
                     placement.box.height + 2 * a};
    const Rect box{a, a, placement.box.width, placement.box.height};
    mBackgroundView->setFrame(frame);
    std::static_pointer_cast<PopoverBackgroundView>(mBackgroundView)
        ->configure(box, placement.arrow, placement.arrowOffset, mBackgroundColor.value_or(Color{1, 1, 1, 1}));
    const auto view = presented->view();
    view->setFrame(box);
    view->layer()->setCornerRadius(kCornerRadius);
    view->setClipsToBounds(true);
}

void PopoverPresentationController::preferredContentSizeDidChangeForChildContentContainer(ViewController&) {
    containerViewWillLayoutSubviews();
}

void PopoverPresentationController::dismissalTransitionDidEnd(bool completed) {
    if (!completed) return;
    if (mDismissView) mDismissView->removeFromSuperview();
    mDismissView.reset();
    if (const auto presented = presentedViewController()) {
        if (auto view = presented->viewIfLoaded()) view->removeFromSuperview();
    }
    mBackgroundView.reset();
}

void PopoverPresentationController::backgroundTapped() { dismissByUser(); }

bool PopoverPresentationController::dismissByUser() {
    const auto presented = presentedViewController();
    if (!presented || presented->isBeingDismissed()) return false;
    const auto delegate = popoverDelegate();
    if (delegate && !delegate->popoverPresentationControllerShouldDismissPopover(*this)) return false;
    return PresentationController::dismissByUser();
}

bool PresentationController::dismissByUser() {
    const auto presented = presentedViewController();
    // Asked as it slides in, it goes once shown (see dismissViewController).
    if (!presented || presented->isModalInPresentation() || presented->isBeingDismissed() || mDismissalWaiting)
        return false;
    if (const auto d = delegate(); d && !d->presentationControllerShouldDismiss(*this)) return false;
    const auto self = shared_from_this();
    presented->dismissViewController(true, [self] {
        if (auto d = self->delegate()) d->presentationControllerDidDismiss(*self);
    });
    return true;
}

}  // namespace platform::ui
