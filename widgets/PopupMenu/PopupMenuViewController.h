#pragma once
// The screen of one open pop-up menu, presented over the whole screen: a
// background that dims or blurs what lies beneath, and a rounded, shadowed
// panel of rows stacked top to bottom (scrolling from
// popupMenuActionCountForScrollable rows on) placed over the control that
// opened it and kept on screen. A row is chosen by a tap, or by sliding a
// finger over the rows and lifting it; the menu reports the choice, gives
// haptic feedback and closes itself; a tap on the background outside the
// panel closes it too. It is its own transitioning delegate: the animators
// of PopupMenuAnimators.h open and close it.
//
// Made with make(); the view tree is built once when the view loads, from
// the appearance as it is then. Main thread only.

#include "platform/graphics/Geometry.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/ViewControllerTransitioning.h"
#include "widgets/PopupMenu/PopupMenuAction.h"
#include "widgets/PopupMenu/PopupMenuAppearance.h"
#include "widgets/PopupMenu/PopupMenuGradientView.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

namespace platform::ui {
class BarButtonItem;
class GestureRecognizer;
class LayoutConstraint;
class PanGestureRecognizer;
class StackView;
class TapGestureRecognizer;
class View;
class VisualEffectView;
}  // namespace platform::ui

class PopupMenuViewController;

// What opened a menu: a view, a bar button item (the view showing it, while
// it is in a bar), or nothing. Held weakly.
class PopupMenuSource {
public:
    PopupMenuSource() = default;
    PopupMenuSource(std::nullptr_t) {}
    template <typename T, typename = std::enable_if_t<std::is_base_of_v<platform::ui::View, T>>>
    PopupMenuSource(const std::shared_ptr<T>& view) : mView(std::shared_ptr<platform::ui::View>(view)) {}
    PopupMenuSource(const std::shared_ptr<platform::ui::BarButtonItem>& item) : mItem(item) {}

    // The source as a view: the view itself, or the bar button item's
    // view; null for anything else.
    std::shared_ptr<platform::ui::View> view() const;

private:
    std::weak_ptr<platform::ui::View> mView;
    std::weak_ptr<platform::ui::BarButtonItem> mItem;
};

class PopupMenuViewControllerDelegate {
public:
    virtual ~PopupMenuViewControllerDelegate() = default;
    // A row was chosen, after its own handler ran.
    virtual void popupMenuDidSelectItem(PopupMenuViewController& menu, std::ptrdiff_t index) {
        (void)menu;
        (void)index;
    }
};

class PopupMenuViewController : public platform::ui::ViewController,
                                public platform::ui::ViewControllerTransitioningDelegate {
public:
    using DidDismiss = std::function<void(bool selected)>;

    // The rows' margin inside an unscrolled panel, above and below.
    static constexpr double kActionsInset = 4;
    // The panel keeps this far from the root view's sides when it must move.
    static constexpr double kEdgeMargin = 8;
    // A scrolling panel shows this much less than its visible rows.
    static constexpr double kScrollablePeek = 20;

    // Without an appearance, a new default one. The source's place in its
    // window is taken now.
    static std::shared_ptr<PopupMenuViewController> make(PopupMenuSource source,
                                                         std::vector<std::shared_ptr<PopupMenuAction>> actions,
                                                         std::shared_ptr<PopupMenuAppearance> appearance = nullptr);
    // Use make(): the controller must be shared to be its own transitioning
    // delegate.
    PopupMenuViewController();
    ~PopupMenuViewController() override;

    // --- settings ---------------------------------------------------------
    std::shared_ptr<PopupMenuViewControllerDelegate> delegate() const { return mDelegate.lock(); }
    void setDelegate(std::weak_ptr<PopupMenuViewControllerDelegate> delegate) { mDelegate = std::move(delegate); }
    const std::shared_ptr<PopupMenuAppearance>& appearance() const { return mAppearance; }
    void setAppearance(std::shared_ptr<PopupMenuAppearance> appearance);
    bool shouldDismissOnSelection() const { return mShouldDismissOnSelection; }
    void setShouldDismissOnSelection(bool dismiss) { mShouldDismissOnSelection = dismiss; }
    bool shouldEnablePanGesture() const { return mShouldEnablePanGesture; }
    void setShouldEnablePanGesture(bool enable) { mShouldEnablePanGesture = enable; }
    bool shouldEnableHaptics() const { return mShouldEnableHaptics; }
    void setShouldEnableHaptics(bool enable) { mShouldEnableHaptics = enable; }
    // Heard with true after a selection, false after a tap on the
    // background; not for any other dismissal.
    const DidDismiss& didDismiss() const { return mDidDismiss; }
    void setDidDismiss(DidDismiss didDismiss) { mDidDismiss = std::move(didDismiss); }
    const std::vector<std::shared_ptr<PopupMenuAction>>& actions() const { return mActions; }
    // Rows added after the view loaded are not shown.
    void setActions(std::vector<std::shared_ptr<PopupMenuAction>> actions) { mActions = std::move(actions); }
    double maxContentWidth() const { return mMaxContentWidth; }

    // --- views and placement (the animators change these) ------------------
    const std::shared_ptr<platform::ui::View>& backgroundView() const { return mBackgroundView; }
    // The panel's dark blur, made on first use.
    const std::shared_ptr<platform::ui::VisualEffectView>& blurOverlayView();
    // The shadowed panel.
    const std::shared_ptr<platform::ui::View>& containerView() const { return mContainerView; }
    const std::shared_ptr<PopupMenuGradientView>& contentView() const { return mContentView; }
    const std::shared_ptr<platform::ui::StackView>& actionsView() const { return mActionsView; }
    // The scroll view holding the rows when they scroll; null otherwise.
    const std::shared_ptr<platform::ui::ScrollView>& actionsScrollView() const { return mScrollView; }
    const PopupMenuSource& sourceView() const { return mSource; }
    std::shared_ptr<platform::ui::View> sourceViewAsUIView();
    // The source's bounds in window coordinates when the menu was made.
    const std::optional<platform::Rect>& absoluteSourceFrame() const { return mAbsoluteSourceFrame; }
    // Where the panel ends, in the root view: computed on first use and on
    // every change of size.
    platform::Rect contentFrame();
    const std::shared_ptr<platform::ui::LayoutConstraint>& contentLeftConstraint() const { return mLeft; }
    const std::shared_ptr<platform::ui::LayoutConstraint>& contentTopConstraint() const { return mTop; }
    const std::shared_ptr<platform::ui::LayoutConstraint>& contentWidthConstraint() const { return mWidth; }
    const std::shared_ptr<platform::ui::LayoutConstraint>& contentHeightConstraint() const { return mHeight; }
    const std::shared_ptr<platform::ui::TapGestureRecognizer>& tapGestureForDismissal();
    const std::shared_ptr<platform::ui::PanGestureRecognizer>& panGestureForMenu();

    // --- gestures ---------------------------------------------------------
    void backgroundViewDidTap(platform::ui::GestureRecognizer& recognizer);
    void menuDidTap(platform::ui::GestureRecognizer& recognizer);
    void menuDidPan(platform::ui::GestureRecognizer& recognizer);
    // The row under the recogniser's touch; none outside the panel.
    std::optional<std::size_t> associatedActionIndex(const platform::ui::GestureRecognizer& recognizer) const;
    // Runs the row's selection, the impact haptic, the delegate, then
    // closes the menu when it should.
    void actionDidSelect(std::size_t index, bool animated);

    // --- the view controller's part -----------------------------------------
    void loadView() override;
    platform::ui::StatusBarStyle preferredStatusBarStyle() const override;
    void viewWillTransitionToSize(platform::Size size,
                                  platform::ui::ViewControllerTransitionCoordinator& coordinator) override;
    std::shared_ptr<platform::ui::ViewControllerAnimatedTransitioning> animationControllerForPresentedController(
        platform::ui::ViewController& presented, platform::ui::ViewController& presenting,
        platform::ui::ViewController& source) override;
    std::shared_ptr<platform::ui::ViewControllerAnimatedTransitioning> animationControllerForDismissedController(
        platform::ui::ViewController& dismissed) override;
    std::string className() const override { return "PopupMenuViewController"; }

private:
    void configureBackgroundView();
    void configureContentView();
    void configureActionsView();
    void configureAction(PopupMenuAction& action);
    void addSeparator(platform::ui::View& row);
    void setupContentConstraints();
    platform::Rect calculateContentFrame();
    double calculateContentWidth();
    platform::Point calculateContentOrigin(double width, double height);
    platform::Point fitContentHorizontally(platform::Point origin, double width);
    platform::Point fitContentVertically(platform::Point origin, double height);
    std::shared_ptr<PopupMenuViewController> self();

    std::weak_ptr<PopupMenuViewControllerDelegate> mDelegate;
    std::shared_ptr<PopupMenuAppearance> mAppearance;
    std::shared_ptr<platform::ui::View> mBackgroundView;
    std::shared_ptr<platform::ui::VisualEffectView> mBackgroundBlur;
    std::shared_ptr<platform::ui::VisualEffectView> mBlurOverlayView;
    std::shared_ptr<platform::ui::View> mContainerView;
    std::shared_ptr<PopupMenuGradientView> mContentView;
    std::shared_ptr<platform::ui::StackView> mActionsView;
    std::shared_ptr<platform::ui::ScrollView> mScrollView;
    PopupMenuSource mSource;
    std::optional<platform::Rect> mAbsoluteSourceFrame;
    std::optional<platform::Rect> mContentFrame;
    bool mShouldDismissOnSelection = true;
    bool mShouldEnablePanGesture = true;
    bool mShouldEnableHaptics = true;
    DidDismiss mDidDismiss;
    std::shared_ptr<platform::ui::LayoutConstraint> mLeft;
    std::shared_ptr<platform::ui::LayoutConstraint> mTop;
    std::shared_ptr<platform::ui::LayoutConstraint> mWidth;
    std::shared_ptr<platform::ui::LayoutConstraint> mHeight;
    std::vector<std::shared_ptr<platform::ui::LayoutConstraint>> mPinning;
    bool mSourceViewResolved = false;
    std::weak_ptr<platform::ui::View> mSourceViewAsUIView;
    std::shared_ptr<platform::ui::TapGestureRecognizer> mTapGestureForDismissal;
    std::shared_ptr<platform::ui::PanGestureRecognizer> mPanGestureForMenu;
    std::vector<std::shared_ptr<PopupMenuAction>> mActions;
    double mMaxContentWidth;
};
