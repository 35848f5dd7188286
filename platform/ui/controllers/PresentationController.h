#pragma once
// Presentation controllers: they place a presented controller's view in
// the presentation's container view (a view over the whole window, above
// what was there) and may add views of their own around it (a dimming view,
// a popover's arrowed background). A subclass made by a transitioning
// delegate customises a presentation (ModalPresentationStyle::custom).
//
// Adaptation: in a horizontally compact environment (a phone) a popover, a
// form sheet or a page sheet shows as a page sheet (the width of the
// screen, from just below the status bar to the bottom), unless the
// adaptive delegate names another style (ModalPresentationStyle::none
// keeps it as it is).
//
// Sheets (page and form sheets in force) dim what lies behind them and
// follow a finger dragged down on them: let go past kSheetDismissFraction
// of their height, or flicked down faster than kSheetDismissVelocity, they
// are dismissed (and the delegate hears of it); otherwise they spring
// back. Main thread only.

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "platform/ui/views/TraitCollection.h"
#include "platform/ui/controllers/ViewController.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform::ui {

class PresentationController;
class View;

class AdaptivePresentationControllerDelegate {
public:
    virtual ~AdaptivePresentationControllerDelegate() = default;
    // Nothing: the toolkit's adaptation.
    virtual std::optional<ModalPresentationStyle> adaptivePresentationStyleForPresentationController(
        PresentationController& controller, const TraitCollection& traits) {
        (void)controller, (void)traits;
        return std::nullopt;
    }
    // Asked before a user dismisses the presentation (a drag, a tap
    // outside, Escape).
    virtual bool presentationControllerShouldDismiss(PresentationController& controller) {
        (void)controller;
        return true;
    }
    // After the user dismissed it (not after dismissViewController).
    virtual void presentationControllerDidDismiss(PresentationController& controller) { (void)controller; }
};

class PanGestureRecognizer;

class PresentationController : public std::enable_shared_from_this<PresentationController> {
public:
    PresentationController(const std::shared_ptr<ViewController>& presented,
                           const std::shared_ptr<ViewController>& presenting);
    virtual ~PresentationController();

    // The presented controller owns this; presenting is weak too.
    std::shared_ptr<ViewController> presentedViewController() const { return mPresented.lock(); }
    std::shared_ptr<ViewController> presentingViewController() const { return mPresenting.lock(); }
    // Null outside a presentation.
    std::shared_ptr<View> containerView() const { return mContainerView; }
    // The view the transition moves: the presented controller's view
    // (subclasses may wrap it).
    virtual std::shared_ptr<View> presentedView() const;

    // The style asked for, and the one in force under the traits.
    ModalPresentationStyle presentationStyle() const;
    ModalPresentationStyle adaptivePresentationStyle(const TraitCollection& traits);
    std::shared_ptr<AdaptivePresentationControllerDelegate> delegate() const { return mDelegate.lock(); }
    void setDelegate(std::weak_ptr<AdaptivePresentationControllerDelegate> delegate) {
        mDelegate = std::move(delegate);
    }

    // Where the presented view ends, in the container: the whole container
    // for full-screen styles, a centred box for a form sheet.
    virtual Rect frameOfPresentedViewInContainerView() const;
    // Whether the presenter's view leaves the window once the presentation
    // is shown (full screen only); the presenter then disappears too.
    virtual bool shouldRemovePresentersView() const;
    // Whether the presented view covers the screen (full screen and over
    // full screen do); such a presentation speaks for the status bar.
    virtual bool shouldPresentInFullscreen() const;

    virtual void presentationTransitionWillBegin() {}
    virtual void presentationTransitionDidEnd(bool completed) { (void)completed; }
    virtual void dismissalTransitionWillBegin() {}
    virtual void dismissalTransitionDidEnd(bool completed) { (void)completed; }
    virtual void containerViewWillLayoutSubviews();
    virtual void containerViewDidLayoutSubviews() {}
    // The presented controller's preferred size changed.
    virtual void preferredContentSizeDidChangeForChildContentContainer(ViewController& child) { (void)child; }

    // Dismisses the presented controller as a user's gesture does (Escape,
    // a tap outside a popover): not while it is modal in presentation or
    // being dismissed, nor when the delegate declines; asked as it slides
    // in, it goes once shown. The delegate hears
    // presentationControllerDidDismiss once it has gone. True when the
    // dismissal was taken.
    virtual bool dismissByUser();

    // For the toolkit's presentation: the adapted style used now.
    ModalPresentationStyle styleInForce() const { return mStyleInForce; }

    // A form sheet's size when the presented controller prefers none.
    static constexpr Size kFormSheetSize{540, 620};
    // A page sheet: on a phone below the status bar by the gap, elsewhere
    // at most this wide, centred, from the gap to the bottom.
    static constexpr double kPageSheetWidth = 704;
    static constexpr double kSheetTopGap = 10;
    static constexpr double kSheetCornerRadius = 10;
    // How dark the dimming behind a sheet is.
    static constexpr double kDimmingAlpha = 0.4;
    static constexpr double kSheetDismissFraction = 0.3;
    static constexpr double kSheetDismissVelocity = 1000;  // points a second

    // Whether the style in force is a page or form sheet.
    bool isSheet() const;
    // The view that dims behind a sheet; null otherwise.
    std::shared_ptr<View> dimmingView() const { return mDimmingView; }

protected:
    friend class detail::PresentationTransition;
    friend class ViewController;
    // The environment's traits (the container's window, else the presenter's).
    TraitCollection traits() const;

private:
    std::weak_ptr<ViewController> mPresented;
    std::weak_ptr<ViewController> mPresenting;
    std::weak_ptr<AdaptivePresentationControllerDelegate> mDelegate;
    std::shared_ptr<View> mContainerView;
    ModalPresentationStyle mStyleInForce = ModalPresentationStyle::fullScreen;
    // Where a full-screen presentation took the presenter's view from.
    std::weak_ptr<View> mPresenterSuperview;
    std::size_t mPresenterIndex = 0;
    // A dismissal asked while a transition moved the presented controller:
    // done as that transition ends (animated unless one asked otherwise),
    // the completions of every such request run once it has gone.
    bool mDismissalWaiting = false;
    bool mWaitingDismissalAnimated = true;
    std::vector<std::function<void()>> mWaitingCompletions;

    // Sheets: the dimming behind, and the drag that pulls them down.
    class SheetDragDelegate;
    void installSheetChrome(bool animated);
    void sheetDismissalWillBegin(bool animated);
    void sheetDismissalDidEnd(bool completed);
    void sheetDragged(PanGestureRecognizer& pan);
    void springBack();
    std::shared_ptr<View> mDimmingView;
    std::shared_ptr<PanGestureRecognizer> mSheetDrag;
    std::shared_ptr<SheetDragDelegate> mSheetDragDelegate;
    bool mDragging = false;
};

// The platform's values.
enum class PopoverArrowDirection : unsigned {
    up = 1u << 0,
    down = 1u << 1,
    left = 1u << 2,
    right = 1u << 3,
    any = 0xF,
    unknown = 0xFFFFFFFFu,
};
constexpr PopoverArrowDirection operator|(PopoverArrowDirection a, PopoverArrowDirection b) {
    return static_cast<PopoverArrowDirection>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool hasFlag(PopoverArrowDirection set, PopoverArrowDirection flag) {
    return (static_cast<unsigned>(set) & static_cast<unsigned>(flag)) != 0;
}

class PopoverPresentationControllerDelegate : public AdaptivePresentationControllerDelegate {
public:
    // Asked when a tap outside the popover would dismiss it.
    virtual bool popoverPresentationControllerShouldDismissPopover(PopoverPresentationController& controller) {
        (void)controller;
        return true;
    }
};

// A popover: the presented view in a rounded box with an arrow pointing at
// the source rectangle (in the source view), placed on the first permitted
// side (below, above, right, left: arrows up, down, left, right) where the
// preferred content size fits within the window's safe area less a margin,
// else on the permitted side with the most room, shrunk to fit. A tap
// outside dismisses it (animated) when the delegate allows, and tells the
// delegate.
class PopoverPresentationController : public PresentationController {
public:
    // A popover's size when the presented controller prefers none.
    static constexpr Size kDefaultContentSize{320, 480};
    static constexpr double kArrowHeight = 13;
    static constexpr double kArrowBase = 26;
    static constexpr double kScreenMargin = 10;
    static constexpr double kCornerRadius = 13;

    using PresentationController::PresentationController;

    std::shared_ptr<View> sourceView() const { return mSourceView.lock(); }
    void setSourceView(const std::shared_ptr<View>& view) { mSourceView = view; }
    // In the source view; the zero rectangle means its bounds.
    Rect sourceRect() const { return mSourceRect; }
    void setSourceRect(const Rect& rect) { mSourceRect = rect; }
    PopoverArrowDirection permittedArrowDirections() const { return mPermitted; }
    void setPermittedArrowDirections(PopoverArrowDirection directions) { mPermitted = directions; }
    // The box's colour (the arrow's too); white when none.
    std::optional<Color> backgroundColor() const { return mBackgroundColor; }
    void setBackgroundColor(std::optional<Color> color);
    // Whether the box may cover the source rectangle when no side fits.
    bool canOverlapSourceViewRect() const { return mCanOverlap; }
    void setCanOverlapSourceViewRect(bool can) { mCanOverlap = can; }
    std::shared_ptr<PopoverPresentationControllerDelegate> popoverDelegate() const;
    void setPopoverDelegate(const std::shared_ptr<PopoverPresentationControllerDelegate>& delegate);

    // Where the arrow points once placed: unknown before, and when the
    // popover shows adapted (full screen).
    PopoverArrowDirection arrowDirection() const { return mArrowDirection; }
    // The box with its arrow, in the container; the presented view fills
    // the box.
    std::shared_ptr<View> presentedView() const override;
    Rect frameOfPresentedViewInContainerView() const override;
    // As a full-screen presentation when adapted.
    bool shouldRemovePresentersView() const override;
    bool shouldPresentInFullscreen() const override {
        return adapted() && PresentationController::shouldPresentInFullscreen();
    }
    void presentationTransitionWillBegin() override;
    void dismissalTransitionDidEnd(bool completed) override;
    void containerViewWillLayoutSubviews() override;
    void preferredContentSizeDidChangeForChildContentContainer(ViewController& child) override;
    // Asks the popover delegate too.
    bool dismissByUser() override;

private:
    struct Placement {
        Rect box;  // the content, without the arrow
        PopoverArrowDirection arrow = PopoverArrowDirection::unknown;
        double arrowOffset = 0;  // from the box's centre along its side
    };
    Placement place() const;
    bool adapted() const;
    void backgroundTapped();

    std::weak_ptr<View> mSourceView;
    Rect mSourceRect;
    PopoverArrowDirection mPermitted = PopoverArrowDirection::any;
    std::optional<Color> mBackgroundColor;
    bool mCanOverlap = false;
    std::weak_ptr<PopoverPresentationControllerDelegate> mPopoverDelegate;
    PopoverArrowDirection mArrowDirection = PopoverArrowDirection::unknown;
    mutable std::shared_ptr<View> mBackgroundView;  // box and arrow, the presented view inside
    std::shared_ptr<View> mDismissView;             // catches taps outside the box
};

}  // namespace platform::ui
