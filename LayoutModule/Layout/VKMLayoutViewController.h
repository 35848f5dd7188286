#pragma once
// The layout screen: shows the open document in its layout view, zooms and
// pans it with its own recognisers (the view does not scroll), shows the
// shared layout's title, author, like and info buttons, installs the action
// buttons and the zoom button, shows a progress view while a layout
// downloads, and redraws or refits on the notifications that announce
// loads, closes and display changes. It is the layout view's delegate.
// Main thread only.

#include <cstdint>
#include <memory>
#include <string>

#include "LayoutModule/Layout/VKMLayoutView.h"
#include "platform/ui/input/GestureRecognizer.h"
#include "platform/ui/controllers/ViewController.h"

namespace platform::ui {
class Button;
class Label;
class Layer;
class LongPressGestureRecognizer;
class PanGestureRecognizer;
class PinchGestureRecognizer;
class StackView;
class TapGestureRecognizer;
}  // namespace platform::ui
class QLNotificationObserverTracker;
class VKMZoomButton;
class ZDThreeDotProgressView;

class VKMLayoutViewController : public platform::ui::ViewController,
                                public VKMLayoutViewDelegate,
                                public platform::ui::GestureRecognizerDelegate {
public:
    static constexpr const char* kSceneIdentifier = "VKMLayoutViewController";
    static constexpr double kMinimumZoom = 0.01;
    static constexpr double kMaximumZoom = 12.5;
    static constexpr double kDoubleTapZoomStep = 1.5;
    static constexpr double kFittingMargin = 0.9;
    // A zoom this close to the fitting zoom (relative) counts as fitted.
    static constexpr double kFittedZoomTolerance = 0.005;
    static constexpr double kTitleButtonImageSize = 22.5;
    static constexpr long kEmptyStateImageTag = 42;
    // How far the title block keeps from the safe area's sides: on a tablet
    // the action column sits at its left and the browse button at its
    // right, so it starts and ends past them.
    static double titleBlockLeadingInset();
    static double titleBlockTrailingInset();
    static constexpr double kProgressViewSize = 100;
    static constexpr double kProgressPointSize = 12.5;
    static constexpr double kProgressDelay = 0.25;
    static constexpr double kRefreshDelay = 0.1;
    static constexpr double kFadeOutDuration = 0.5;
    static constexpr double kDebugMarkerRadius = 3.5;

    static constexpr const char* kLayoutZoomedNotification = "QLLayoutZoomedNotification";
    static constexpr const char* kLayoutIsLoadingNotification = "VKMLayoutIsLoadingFromApiNotification";
    // A loaded document has been centred and drawn in full; object: none.
    static constexpr const char* kLayoutShownNotification = "VKMLayoutDocumentShownNotification";
    static constexpr const char* kShowColorizeOptionsNotification = "QLShowColorizeLayoutOptionsNotification";
    static constexpr const char* kShareLayoutNotification = "VKMShareLayoutNotification";
    static constexpr const char* kDebugActionTriggeredNotification = "VKMDebugActionTriggeredNotification";

    // What the scene connects: the storyboard's outlets and recognisers.
    struct Outlets {
        std::weak_ptr<platform::ui::Label> layoutTitleLabel;
        std::weak_ptr<platform::ui::Button> authorButton;
        std::weak_ptr<platform::ui::Button> likeButton;
        std::weak_ptr<platform::ui::Button> infoButton;
        std::weak_ptr<platform::ui::StackView> layoutInfoStackView;
        std::weak_ptr<platform::ui::StackView> emptyStateStackView;
        std::weak_ptr<platform::ui::StackView> actionsStackView;
        std::weak_ptr<VKMLayoutView> layoutView;
        std::weak_ptr<platform::ui::PinchGestureRecognizer> pinchRecognizer;
        std::weak_ptr<platform::ui::PanGestureRecognizer> panRecognizer;
        std::weak_ptr<platform::ui::TapGestureRecognizer> tapRecognizer;
    };
    Outlets outlets;

    VKMLayoutViewController();
    ~VKMLayoutViewController() override;

    // --- the layout view's delegate ------------------------------------
    // The current-layout holder's document.
    CLayout* trackLayout() const override;
    platform::Point contentOffset() const override { return mContentOffset; }
    void setContentOffset(platform::Point offset) { mContentOffset = offset; }
    // A copy of the holder's display edits.
    tTransientEditActions transientEditActions() const override;

    // --- zoom and offset -----------------------------------------------
    // Ignores zooms outside kMinimumZoom..kMaximumZoom; otherwise stores the
    // zoom in the document, shows it, keeps the touch-down point fixed and
    // posts kLayoutZoomedNotification.
    void changeZoomTo(double zoom);
    // touchDownScale x scale, at most kMaximumZoom and at least the fitting
    // zoom (never beyond the limits).
    void zoomContentWithPinchScale(double scale);
    void adaptContentOffsetWithOriginalZoom(double originalZoom);
    void panContentWithDelta(platform::Point translation);
    // min(view size) / max(content size) x 0.9, within the zoom limits.
    double fittingZoomFactor() const;
    void zoomToFitIntoBounds();
    void centerOnLayoutContent();

    void setTouchDownScale(double scale) { mTouchDownScale = scale; }
    void setTouchDownLocation(platform::Point location) { mTouchDownLocation = location; }
    void setTouchDownContentOffset(platform::Point offset) { mTouchDownContentOffset = offset; }

    // --- screen --------------------------------------------------------
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillLayoutSubviews() override;
    void didReceiveMemoryWarning() override;
    // A resized window (the desktop's, or a tablet turned) fits and centres
    // the layout again when it was shown fitted (within
    // kFittedZoomTolerance); otherwise it keeps the zoom and the point of
    // the layout in the middle of the view.
    void viewWillTransitionToSize(platform::Size size,
                                  platform::ui::ViewControllerTransitionCoordinator& coordinator) override;
    platform::ui::StatusBarStyle preferredStatusBarStyle() const override;
    std::string className() const override { return "VKMLayoutViewController"; }

    void refreshLayoutView();
    void refreshTitleAuthorLabel();
    void adjustLayoutTitleActionButtons();
    void installActionsStackView();
    void installZoomButton();
    void showProgressOverlay();
    void hideProgressOverlay();

    // --- buttons -------------------------------------------------------
    void infoButtonTapped();
    void likeButtonTapped();
    void authorTapped();

    // --- gestures ------------------------------------------------------
    void handlePinchGesture(platform::ui::GestureRecognizer& recognizer);
    void handlePanGesture(platform::ui::GestureRecognizer& recognizer);
    void handleDoubleTapAction(platform::ui::GestureRecognizer& recognizer);
    void handleLongPressGesture(platform::ui::GestureRecognizer& recognizer);
    bool gestureRecognizerShouldReceiveTouch(platform::ui::GestureRecognizer& recognizer,
                                             const platform::ui::Touch& touch) override;
    bool gestureRecognizerShouldRecognizeSimultaneously(platform::ui::GestureRecognizer& recognizer,
                                                        platform::ui::GestureRecognizer& other) override {
        return false;
    }

    // A diagnostic marker: a small grey circle drawn at the point (layout
    // units) in the render data only; the element is deleted afterwards.
    void addDebugTapLocationIndicatorAt(platform::Point point);

    // Observed state, for whoever drives the screen.
    const std::shared_ptr<VKMZoomButton>& zoomButton() const { return mZoomButton; }
    const std::shared_ptr<ZDThreeDotProgressView>& progressHUD() const { return mProgressHUD; }
    const std::shared_ptr<platform::ui::StackView>& actionsStack() const { return mActionsStack; }
    const std::shared_ptr<platform::ui::LongPressGestureRecognizer>& longPressRecognizer() const { return mLongPress; }
    bool likedByUser() const;

private:
    void registerForNotifications();
    void handleDeviceRotated();
    void handleLayoutDocumentClosed();
    // A read that failed: no busy view, and the screen as it is with no layout.
    void handleLayoutDocumentLoadFailed();
    void showEmptyState();
    void handleLayoutDocumentLoaded();
    void handleTracksModified();
    void handleShowColorizeOptions(const void* button);
    void adjustEmptyStateView();
    void adjustLabelsForBackgroundStyle();
    void updateClippingMask();
    void removeActionsAndZoomButton();
    std::shared_ptr<platform::Image> getLikeImage() const;
    std::shared_ptr<VKMLayoutView> layoutView() const { return outlets.layoutView.lock(); }
    std::weak_ptr<VKMLayoutViewController> weakSelf();

    std::unique_ptr<QLNotificationObserverTracker> mNotificationTracker;
    std::shared_ptr<ZDThreeDotProgressView> mProgressHUD;
    // Counts the loads begun and ended: a progress view asked for by a load
    // that has ended meanwhile is not shown.
    std::uint64_t mProgressRequests = 0;
    std::shared_ptr<VKMZoomButton> mZoomButton;
    std::shared_ptr<platform::ui::StackView> mActionsStack;
    std::shared_ptr<platform::ui::Layer> mTouchLayer;
    std::shared_ptr<platform::ui::LongPressGestureRecognizer> mLongPress;
    // Shared with the like action, which may outlive the screen.
    std::shared_ptr<bool> mLikeInProgress = std::make_shared<bool>(false);
    bool mPencilDetectedAndReported = false;

    double mTouchDownScale = 1.0;
    platform::Point mTouchDownContentOffset{0, 0};
    platform::Point mTouchDownLocation{0, 0};
    platform::Point mContentOffset{0, 0};
};
