#include "LayoutModule/Layout/VKMLayoutViewController.h"

#include <cmath>

#include <algorithm>

#include "LayoutModule/ActionButtons/VKMLayoutActionButton.h"
#include "LayoutModule/ActionButtons/VKMLayoutActionButtonHelper.h"
#include "LayoutModule/AutoColorize/VKMAutoColorizeOptionsPopupMenuManager.h"
#include "LayoutModule/ElementInfo/VKMLayoutElementInfoHelper.h"
#include "LayoutModule/Experiments/VKMExperimentals.h"
#include "LayoutModule/Info/VKMLayoutInfoHelper.h"
#include "LayoutModule/Layout/VKMLayoutElementHitTestHelper.h"
#include "LayoutModule/Layout/VKMLayoutPreparer.h"
#include "LayoutModule/Layout/VKMLayoutSymbols.h"
#include "engine/services/VKMSoftAssert.h"
#include "LayoutView/ImageExport/VKMLayoutResizeHelper.h"
#include "LayoutModule/Share/VKMSharingHelper.h"
#include "LayoutModule/Zoom/VKMLayoutZoomHelper.h"
#include "LayoutModule/Zoom/VKMZoomButton.h"
#include "SharingModule/Model/QLUserNameCache.h"
#include "SharingModule/Model/VKMSharedLayouts.h"
#include "SharingModule/Model/VKMCurrentCloudLayout.h"
#include "UserProfileModule/Actions/VKMLayoutActionHelper.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "app/Session/VKMLayoutSession.h"
#include "app/Utilities/Colors/UIColorCColor.h"
#include "app/Utilities/Colors/VKMAutoColorizeHelper.h"
#include "app/Utilities/Localization/StringVekmont.h"
#include "app/Utilities/System/QLNotificationObserverTracker.h"
#include "app/Utilities/VKMUISound.h"
#include "app/Utilities/Views/VKMThreeDotProgressHelper.h"
#include "app/Utilities/Views/ZDThreeDotProgressView.h"
#include "app/VKMNotificationNames.h"
#include "widgets/Kits/VKMPaintKitImages.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/LayerManager.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/ElementNames.h"
#include "engine/model/Layout.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ZDUtils.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DisplayLink.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Device.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/input/LongPressGestureRecognizer.h"
#include "platform/ui/views/Notifications.h"
#include "platform/ui/input/PanGestureRecognizer.h"
#include "platform/ui/input/PinchGestureRecognizer.h"
#include "platform/ui/core/ShapeLayer.h"
#include "platform/ui/views/StackView.h"
#include "platform/ui/views/SystemColors.h"
#include "platform/ui/input/TapGestureRecognizer.h"
#include "platform/ui/input/Touch.h"

using namespace platform::ui;
using platform::Point;

namespace {

constexpr auto kRefreshDelayTime = std::chrono::milliseconds(100);
constexpr auto kProgressDelayTime = std::chrono::milliseconds(250);
// Two frames.
constexpr auto kPreparedCentreDelayTime = std::chrono::milliseconds(33);

const char* yesNo(bool value) { return value ? "Y" : "N"; }

}  // namespace

VKMLayoutViewController::VKMLayoutViewController() = default;
VKMLayoutViewController::~VKMLayoutViewController() = default;

std::weak_ptr<VKMLayoutViewController> VKMLayoutViewController::weakSelf() {
    return std::static_pointer_cast<VKMLayoutViewController>(sharedController());
}

// --- delegate ----------------------------------------------------------------

CLayout* VKMLayoutViewController::trackLayout() const { return CCurrentCloudLayout::Instance().Layout(); }

tTransientEditActions VKMLayoutViewController::transientEditActions() const {
    return CCurrentCloudLayout::Instance().GetTransientEditActions();
}

bool VKMLayoutViewController::likedByUser() const {
    if (!VKMLayoutSession::sharedSession().cloudLayoutId()) return false;
    return VKMCurrentCloudLayout::likedByCurrentUser();
}

// --- zoom and offset ---------------------------------------------------------

void VKMLayoutViewController::changeZoomTo(double zoom) {
    if (!(zoom >= kMinimumZoom && zoom <= kMaximumZoom)) return;
    CLayout* layout = trackLayout();
    if (layout == nullptr) return;
    const double originalZoom = layout->GetZoom();
    layout->SetZoom(zoom);
    if (mZoomButton) mZoomButton->setCurrentZoomFactor(zoom);
    adaptContentOffsetWithOriginalZoom(originalZoom);
    platform::NotificationCenter::defaultCenter().postNotificationName(kLayoutZoomedNotification, this);
}

void VKMLayoutViewController::zoomContentWithPinchScale(double scale) {
    const double zoom = std::max(std::min(mTouchDownScale * scale, kMaximumZoom), fittingZoomFactor());
    changeZoomTo(zoom);
}

void VKMLayoutViewController::adaptContentOffsetWithOriginalZoom(double originalZoom) {
    const CLayout* layout = trackLayout();
    if (layout == nullptr || originalZoom <= 0) return;
    const double zoom = layout->GetZoom();
    const Point p{mTouchDownLocation.x - mContentOffset.x, mTouchDownLocation.y - mContentOffset.y};
    const Point q{p.x / originalZoom * zoom, p.y / originalZoom * zoom};
    mContentOffset = {std::min(mContentOffset.x - (q.x - p.x), 0.0), std::min(mContentOffset.y - (q.y - p.y), 0.0)};
    if (auto view = layoutView()) view->setNeedsDisplayOfLayout();
}

void VKMLayoutViewController::panContentWithDelta(Point translation) {
    mContentOffset = {std::min(mTouchDownContentOffset.x + translation.x, 0.0),
                      std::min(mTouchDownContentOffset.y + translation.y, 0.0)};
    if (auto view = layoutView()) view->setNeedsDisplayOfLayout();
}

double VKMLayoutViewController::fittingZoomFactor() const {
    const auto view = layoutView();
    CLayout* layout = trackLayout();
    if (!view || layout == nullptr) return kMinimumZoom;
    const platform::Size content = VKMLayoutResizeHelper::layoutContentSize(*layout);
    const double largest = std::max(content.width, content.height);
    if (!(largest > 0)) return kMinimumZoom;
    const platform::Rect bounds = view->bounds();
    const double zoom = std::min(bounds.width, bounds.height) / largest * kFittingMargin;
    // Within the limits, so that pinching a tiny layout is not refused as
    // out of range.
    return std::clamp(zoom, kMinimumZoom, kMaximumZoom);
}

void VKMLayoutViewController::zoomToFitIntoBounds() {
    CLayout* layout = trackLayout();
    const auto view = layoutView();
    if (layout == nullptr || !view) return;
    const double zoom = fittingZoomFactor();
    layout->SetZoom(zoom);
    if (mZoomButton) mZoomButton->setCurrentZoomFactor(zoom);
    const CLayoutParameters& parameters = layout->GetParameters();
    const platform::Rect bounds = view->bounds();
    mContentOffset = {-(zoom * parameters.mWorkspaceWidth - bounds.width) / 2,
                      -(zoom * parameters.mWorkspaceHeight - bounds.height) / 2};
}

void VKMLayoutViewController::centerOnLayoutContent() {
    CLayout* layout = trackLayout();
    if (layout == nullptr) return;
    // A document an open read was fitted and its elements built on the load
    // queue; they are used unless it has changed since.
    std::optional<VKMPreparedRenderData> prepared = VKMLayoutPreparer::shared()->take(*layout);
    if (prepared && !prepared->holdsFor(*layout, transientEditActions(), VKMLayoutView::isDarkBackground())) {
        prepared.reset();
    }
    const Point delta =
        prepared && prepared->fitDelta ? *prepared->fitDelta : VKMLayoutResizeHelper::sizeLayoutToFitContents(*layout);
    ZDUtils::logDebug("Fit to layout size w/ delta {%g, %g}", delta.x, delta.y);
    zoomToFitIntoBounds();
    const auto view = layoutView();
    if (!view) return;
    if (prepared) {
        // Nothing is left to build while the background shows: all of it
        // at once.
        view->keepPreparedRenderData(std::move(*prepared));
        view->refreshLayoutRenderDataWithPrepared();
        showLayoutWhenDrawn();
        return;
    }
    view->refreshLayoutRenderDataBackgroundOnly(true);
    // Then the elements, built on a later turn of the loop (what is queued
    // for the centred background goes first), and put in once the pause
    // that lets a screen being put up settle has ended.
    const auto due = platform::Clock::shared()->instant() + kRefreshDelayTime;
    const std::weak_ptr<VKMLayoutView> weak = view;
    const auto self = weakSelf();
    const std::uint64_t epoch = mDocumentEpoch;
    platform::DispatchQueue::main().async([weak, self, epoch, due] {
        auto target = weak.lock();
        auto controller = self.lock();
        if (!target || !controller || controller->mDocumentEpoch != epoch) return;
        target->prepareLayoutRenderData();
        const auto left = std::max<platform::Clock::Duration>(due - platform::Clock::shared()->instant(), {});
        platform::DispatchQueue::main().asyncAfter(left, [weak, self, epoch] {
            auto target = weak.lock();
            auto controller = self.lock();
            if (!target || !controller || controller->mDocumentEpoch != epoch) return;
            target->refreshLayoutRenderDataWithPrepared();
            controller->showLayoutWhenDrawn();
        });
    });
}

// --- screen --------------------------------------------------------------------

void VKMLayoutViewController::viewDidLoad() {
    VKMLayoutSymbols::registerSymbols();
    const auto self = weakSelf();
    const std::weak_ptr<GestureRecognizerDelegate> delegate =
        std::static_pointer_cast<VKMLayoutViewController>(sharedController());
    if (auto pinch = outlets.pinchRecognizer.lock()) pinch->setDelegate(delegate);
    if (auto pan = outlets.panRecognizer.lock()) pan->setDelegate(delegate);
    if (auto tap = outlets.tapRecognizer.lock()) tap->setDelegate(delegate);
    *mLikeInProgress = false;
    mPencilDetectedAndReported = false;
    mNotificationTracker = std::make_unique<QLNotificationObserverTracker>();
    registerForNotifications();
    mLongPress = std::make_shared<LongPressGestureRecognizer>();
    mLongPress->addAction([self](GestureRecognizer& recognizer) {
        if (auto controller = self.lock()) controller->handleLongPressGesture(recognizer);
    });
    mLongPress->setDelegate(delegate);
    view()->addGestureRecognizer(mLongPress);
    // A document opened before this screen was made (one handed to the app
    // at launch) was announced before the screen listened, and so was an
    // open still under way.
    if (const CLayout* layout = trackLayout(); layout != nullptr && !layout->GetElements().empty()) {
        handleLayoutDocumentLoaded();
    } else if (VKMLayoutDocumentHelper::isLoading()) {
        handleLayoutIsLoading();
    }
}

double VKMLayoutViewController::titleBlockLeadingInset() {
    const bool tablet = Device::currentDevice().userInterfaceIdiom() == UserInterfaceIdiom::tablet;
    // The column's margin, a button and the same margin again.
    return tablet ? 17.5 + 45 + 17.5 : 16;
}

double VKMLayoutViewController::titleBlockTrailingInset() { return titleBlockLeadingInset(); }

void VKMLayoutViewController::viewWillLayoutSubviews() {
    ViewController::viewWillLayoutSubviews();
    // The title wraps to the room between the insets.
    const auto root = viewIfLoaded();
    const auto title = outlets.layoutTitleLabel.lock();
    if (!root || !title) return;
    const platform::ui::EdgeInsets safe = root->safeAreaInsets();
    const double room =
        root->bounds().width - safe.left - safe.right - titleBlockLeadingInset() - titleBlockTrailingInset();
    if (std::abs(title->preferredMaxLayoutWidth() - room) > 0.5) title->setPreferredMaxLayoutWidth(std::max(0.0, room));
}

void VKMLayoutViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    if (auto view = layoutView())
        view->setDelegate(std::static_pointer_cast<VKMLayoutViewController>(sharedController()));
    adjustLayoutTitleActionButtons();
    adjustEmptyStateView();
    setNeedsStatusBarAppearanceUpdate();
    adjustLabelsForBackgroundStyle();
    refreshLayoutView();
}

void VKMLayoutViewController::didReceiveMemoryWarning() {
    ZDUtils::logInfo("Memory warning received in %s", className().c_str());
    if (mTouchLayer) {
        mTouchLayer->removeFromSuperlayer();
        mTouchLayer.reset();
    }
}

void VKMLayoutViewController::viewWillTransitionToSize(platform::Size size,
                                                       ViewControllerTransitionCoordinator& coordinator) {
    ViewController::viewWillTransitionToSize(size, coordinator);
    const auto target = layoutView();
    const CLayout* layout = trackLayout();
    if (!target || layout == nullptr) return;
    // Read before the size changes: whether the layout is shown fitted, and
    // which point of it lies in the middle of the view.
    const double zoom = layout->GetZoom();
    const double fitting = fittingZoomFactor();
    const bool fitted = !(zoom > 0) || std::abs(zoom - fitting) <= fitting * kFittedZoomTolerance;
    const platform::Rect bounds = target->bounds();
    const Point middle{(bounds.width / 2 - mContentOffset.x) / zoom, (bounds.height / 2 - mContentOffset.y) / zoom};
    const auto self = weakSelf();
    coordinator.animateAlongsideTransition(nullptr, [self, fitted, middle](ViewControllerContextTransitioning&) {
        auto controller = self.lock();
        const auto view = controller ? controller->layoutView() : nullptr;
        const CLayout* shown = controller ? controller->trackLayout() : nullptr;
        if (!view || shown == nullptr) return;
        // The new bounds first.
        controller->view()->layoutIfNeeded();
        if (fitted) {
            controller->zoomToFitIntoBounds();
        } else {
            // The zoom the user chose stays, and so does the point in the
            // middle, as far as the offset's limits allow.
            const double kept = shown->GetZoom();
            const platform::Rect now = view->bounds();
            controller->mContentOffset = {std::min(now.width / 2 - middle.x * kept, 0.0),
                                          std::min(now.height / 2 - middle.y * kept, 0.0)};
        }
        view->setNeedsDisplayOfLayout();
    });
}

StatusBarStyle VKMLayoutViewController::preferredStatusBarStyle() const {
    return VKMLayoutView::isDarkBackground() ? StatusBarStyle::lightContent : StatusBarStyle::defaultStyle;
}

std::shared_ptr<platform::Image> VKMLayoutViewController::getLikeImage() const {
    const bool liked = likedByUser() || *mLikeInProgress;
    const platform::Size size{kTitleButtonImageSize, kTitleButtonImageSize};
    const platform::Color tint = UIColorCColor::vkmActionButtonsTintColor();
    return liked ? VKMPaintKitImages::likedImageWithSize(size, tint)
                 : VKMPaintKitImages::likedNotYetImageWithSize(size, tint);
}

void VKMLayoutViewController::adjustLayoutTitleActionButtons() {
    if (auto like = outlets.likeButton.lock()) {
        like->setTitle(std::nullopt, ControlState::normal);
        like->setImage(getLikeImage(), ControlState::normal);
    }
    if (auto info = outlets.infoButton.lock()) {
        info->setTitle(std::nullopt, ControlState::normal);
        info->setImage(VKMPaintKitImages::infoImageWithSize({kTitleButtonImageSize, kTitleButtonImageSize},
                                                            UIColorCColor::vkmActionButtonsTintColor()),
                       ControlState::normal);
    }
}

void VKMLayoutViewController::adjustEmptyStateView() {
    const auto stack = outlets.emptyStateStackView.lock();
    if (!stack) return;
    if (auto image = stack->viewWithTag(kEmptyStateImageTag)) image->setTintColor(SystemColors::kLightGray);
}

void VKMLayoutViewController::adjustLabelsForBackgroundStyle() {
    if (auto title = outlets.layoutTitleLabel.lock()) {
        title->setTextColor(VKMLayoutView::isDarkBackground() ? SystemColors::kWhite : SystemColors::kBlack);
    }
}

void VKMLayoutViewController::updateClippingMask() {
    // A mask of the view's own rectangle clips as its bounds do; clipping to
    // them spares a mask raster of the whole view at every frame.
    if (const auto view = layoutView()) view->setClipsToBounds(true);
}

void VKMLayoutViewController::refreshLayoutView() {
    updateClippingMask();
    const auto view = layoutView();
    if (!view) return;
    if (isViewLoaded() && this->view()->window()) view->refreshLayoutRenderData();
    if (mProgressHUD && view->hasRenderData() && !mOpening) hideProgressOverlay();
    view->setNeedsDisplayOfLayout();
}

void VKMLayoutViewController::refreshTitleAuthorLabel() {
    if (!VKMLayoutSession::sharedSession().cloudLayoutId()) return;
    if (auto title = outlets.layoutTitleLabel.lock()) {
        std::string text = VKMCurrentCloudLayout::title();
        std::replace(text.begin(), text.end(), '_', ' ');
        title->setText(text);
    }
    if (auto author = outlets.authorButton.lock()) {
        const auto name = VKMCurrentCloudLayout::author();
        author->setTitle(name ? StringVekmont::localizedFormat("ByAuthor", {*name}) : std::string(),
                         ControlState::normal);
    }
    if (auto stack = outlets.layoutInfoStackView.lock()) stack->setHidden(false);
}

void VKMLayoutViewController::installActionsStackView() {
    if (mActionsStack) mActionsStack->removeFromSuperview();
    const auto view = layoutView();
    if (!view) return;
    const auto entity = VKMCurrentCloudLayout::layoutEntity();
    const bool browse = entity && entity->weburl().size() >= 6;
    mActionsStack = VKMLayoutActionButtonHelper::addOverlayButtonsTo(view, outlets.layoutInfoStackView.lock(), browse);
}

void VKMLayoutViewController::installZoomButton() {
    if (mZoomButton) mZoomButton->removeFromSuperview();
    const auto view = layoutView();
    CLayout* layout = trackLayout();
    if (!view || layout == nullptr) return;
    mZoomButton = VKMLayoutZoomHelper::addZoomButtonTo(view, mActionsStack, layout->GetZoom());
}

void VKMLayoutViewController::showProgressOverlay() {
    const auto self = weakSelf();
    const std::uint64_t request = ++mProgressRequests;
    platform::DispatchQueue::main().asyncAfter(kProgressDelayTime, [self, request] {
        auto controller = self.lock();
        if (!controller || controller->mProgressHUD || controller->mProgressRequests != request) return;
        const CLayout* layout = controller->trackLayout();
        const auto view = controller->layoutView();
        const bool drawn = layout != nullptr && !layout->GetElements().empty() && view && view->hasRenderData();
        if (drawn) return;
        controller->mProgressHUD = VKMThreeDotProgressHelper::insertThreeDotProgressAt(
            controller->view(), kProgressViewSize, kProgressPointSize);
    });
}

void VKMLayoutViewController::hideProgressOverlay() {
    ++mProgressRequests;
    if (auto progress = mProgressHUD) {
        mProgressHUD.reset();
        View::animate(
            kFadeOutDuration, [progress] { progress->setAlpha(0); },
            [progress](bool) {
                progress->removeFromSuperview();
                progress->setAnimating(false);
            });
    }
    if (auto stack = outlets.emptyStateStackView.lock()) stack->setHidden(true);
}

// --- buttons -------------------------------------------------------------------

void VKMLayoutViewController::infoButtonTapped() {
    VKMLayoutInfoHelper::presentLayoutInfoWithInfoButton(outlets.infoButton.lock());
    QLActivityAnalytics::trackEvent("LayoutInfoOpened");
}

void VKMLayoutViewController::likeButtonTapped() {
    if (*mLikeInProgress) return;
    const auto self = weakSelf();
    VKMLayoutActionHelper::likeLayout(std::const_pointer_cast<QLLayoutEntity>(VKMCurrentCloudLayout::layoutEntity()),
                                      mLikeInProgress, outlets.likeButton.lock(),
                                      [self](const QLSharedLayoutsClient::EntityPtr& entity) {
                                          auto controller = self.lock();
                                          if (!controller) return;
                                          controller->adjustLayoutTitleActionButtons();
                                          const auto user = VKMSharedLayouts::sharedLayoutsUser()->userID();
                                          if (entity && user && entity->isLikedByUser(*user))
                                              VKMUISound::playLayoutLikedSound();
                                      });
    adjustLayoutTitleActionButtons();
}

void VKMLayoutViewController::authorTapped() {
    const auto entity = VKMCurrentCloudLayout::layoutEntity();
    const std::string author = entity ? entity->author() : std::string();
    const platform::Value info(platform::Value::Dictionary{{"QLKeyModelScale", platform::Value("User#" + author)}});
    platform::NotificationCenter::defaultCenter().postNotificationName(VKMNotificationNames::kChangeCatalogFilter, this,
                                                                       info);
}

// --- gestures ------------------------------------------------------------------

bool VKMLayoutViewController::gestureRecognizerShouldReceiveTouch(GestureRecognizer& recognizer, const Touch& touch) {
    const bool pencil = touch.type() == TouchType::pencil;
    ZDUtils::logDebug("Tapped view: %s, UIGestureRecognizer: %s (isApplePencilTouch: %s)",
                      touch.view() ? touch.view()->className().c_str() : "(none)", recognizer.name().c_str(),
                      yesNo(pencil));
    if (pencil && !mPencilDetectedAndReported) {
        mPencilDetectedAndReported = true;
        QLActivityAnalytics::trackEvent("ApplePencilTouchDetected");
    }
    const auto view = layoutView();
    return view && touch.view() == view;
}

void VKMLayoutViewController::handlePinchGesture(GestureRecognizer& recognizer) {
    auto* pinch = dynamic_cast<PinchGestureRecognizer*>(&recognizer);
    CLayout* layout = trackLayout();
    if (pinch == nullptr || layout == nullptr) return;
    switch (recognizer.state()) {
        case GestureRecognizerState::began:
            mTouchDownContentOffset = mContentOffset;
            mTouchDownScale = layout->GetZoom();
            mTouchDownLocation = recognizer.locationInView(view().get());
            // Frames of the pinch stretch the picture; its end draws afresh.
            if (auto target = layoutView()) target->setInteractiveZoom(true);
            break;
        case GestureRecognizerState::changed: zoomContentWithPinchScale(pinch->scale()); break;
        case GestureRecognizerState::cancelled:
            if (auto target = layoutView()) target->setInteractiveZoom(false);
            break;
        case GestureRecognizerState::ended:
            if (auto target = layoutView()) {
                target->setInteractiveZoom(false);
                target->setNeedsDisplayOfLayout();
            }
            if (mTouchLayer) {
                mTouchLayer->removeFromSuperlayer();
                mTouchLayer.reset();
            }
            break;
        default: break;
    }
}

void VKMLayoutViewController::handlePanGesture(GestureRecognizer& recognizer) {
    auto* pan = dynamic_cast<PanGestureRecognizer*>(&recognizer);
    CLayout* layout = trackLayout();
    const auto target = layoutView();
    if (pan == nullptr || layout == nullptr || !target) return;
    switch (recognizer.state()) {
        case GestureRecognizerState::began:
            mTouchDownContentOffset = mContentOffset;
            mTouchDownScale = layout->GetZoom();
            break;
        case GestureRecognizerState::changed: panContentWithDelta(pan->translationInView(target.get())); break;
        case GestureRecognizerState::ended: target->setNeedsDisplayOfLayout(); break;
        default: break;
    }
}

void VKMLayoutViewController::handleDoubleTapAction(GestureRecognizer& recognizer) {
    CLayout* layout = trackLayout();
    if (layout == nullptr || recognizer.state() != GestureRecognizerState::recognized) return;
    mTouchDownScale = layout->GetZoom();
    mTouchDownLocation = recognizer.locationInView(view().get());
    zoomContentWithPinchScale(kDoubleTapZoomStep);
}

void VKMLayoutViewController::handleLongPressGesture(GestureRecognizer& recognizer) {
    CLayout* layout = trackLayout();
    const auto target = layoutView();
    if (recognizer.state() != GestureRecognizerState::began || layout == nullptr || !target) return;
    const Point location = recognizer.locationInView(target.get());
    const double zoom = layout->GetZoom();
    const Point inLayout{(location.x - mContentOffset.x) / zoom, (location.y - mContentOffset.y) / zoom};
    // The element boxes kept with the render data (made by the first search
    // after a rebuild) spare a look at every element.
    const std::shared_ptr<VKMLayoutRenderData>& renderData = target->renderData();
    std::shared_ptr<const VKMElementIndex> index = renderData ? renderData->elementIndex() : nullptr;
    CCompositeGeometry* element =
        VKMLayoutElementHitTestHelper::findElementAtPosition(inLayout, *layout, transientEditActions(), index);
    if (renderData) renderData->setElementIndex(std::move(index));
    if (element == nullptr) return;
    VKMLayoutElementInfoHelper::presentInfoForElement(element, recognizer.locationInView(view().get()), view());
}

// --- notifications -------------------------------------------------------------

void VKMLayoutViewController::registerForNotifications() {
    const auto self = weakSelf();
    auto on = [this, self](const std::string& name, void (VKMLayoutViewController::*action)()) {
        mNotificationTracker->observeNotification(name, [self, action](const platform::Notification&) {
            if (auto controller = self.lock()) ((*controller).*action)();
        });
    };
    on(kDeviceOrientationDidChangeNotification, &VKMLayoutViewController::handleDeviceRotated);
    on(VKMLayoutDocumentHelper::kDocumentDidCloseNotification, &VKMLayoutViewController::handleLayoutDocumentClosed);
    on(kLayoutIsLoadingNotification, &VKMLayoutViewController::handleLayoutIsLoading);
    on(VKMLayoutDocumentHelper::kDocumentLoadedNotification, &VKMLayoutViewController::handleLayoutDocumentLoaded);
    on(VKMLayoutDocumentHelper::kDocumentLoadFailedNotification,
       &VKMLayoutViewController::handleLayoutDocumentLoadFailed);
    mNotificationTracker->observeNotification(
        VKMLayoutZoomHelper::kChangeZoomFactorNotification, [self](const platform::Notification& notification) {
            auto controller = self.lock();
            const platform::Value* zoom = notification.userInfo().find(VKMLayoutZoomHelper::kNewZoomFactorKey);
            const auto value = zoom ? zoom->numberAsDouble() : std::nullopt;
            if (!controller || !value) return;
            const platform::Rect frame = controller->view()->frame();
            controller->mTouchDownLocation = {frame.x + frame.width / 2, frame.y + frame.height / 2};
            controller->changeZoomTo(*value);
        });
    for (const char* name :
         {"QLLayoutElementColorChangedNotification", "QLLayoutSessionFillColorChangedNotification"}) {
        on(name, &VKMLayoutViewController::handleTracksModified);
    }
    mNotificationTracker->observeNotification(kShowColorizeOptionsNotification,
                                              [self](const platform::Notification& notification) {
                                                  if (auto controller = self.lock())
                                                      controller->handleShowColorizeOptions(notification.object());
                                              });
    for (const char* name : {"QLPropertyDidChangeForLayerNotification", "QLLayoutGridSettingChangedNotification",
                             kQLLayoutPropertiesChangedNotification, kApplicationWillEnterForegroundNotification}) {
        mNotificationTracker->observeNotification(name, [self](const platform::Notification&) {
            auto controller = self.lock();
            if (!controller) return;
            controller->adjustLabelsForBackgroundStyle();
            controller->setNeedsStatusBarAppearanceUpdate();
            controller->refreshLayoutView();
        });
    }
    mNotificationTracker->observeNotification(kShareLayoutNotification, [self](const platform::Notification& n) {
        auto controller = self.lock();
        if (!controller) return;
        VKMSharingHelper::shareImageOfLayout(*controller->trackLayout(), controller,
                                             VKMLayoutActionButtonHelper::buttonForObject(n.object()));
    });
    mNotificationTracker->observeNotification(kDebugActionTriggeredNotification, [self](const platform::Notification&) {
        if (auto controller = self.lock()) VKMExperimentals::testLineDrawingFilterForLayout(*controller->trackLayout());
    });
    // Tool changes mean nothing to this screen.
    mNotificationTracker->observeNotification("QLCurrentToolChangedNotification", [](const platform::Notification&) {});
    on(QLUserNameCache::kUpdatedNotification, &VKMLayoutViewController::refreshTitleAuthorLabel);
}

void VKMLayoutViewController::handleDeviceRotated() {
    const DeviceOrientation orientation = Device::currentDevice().orientation();
    ZDUtils::logInfo("Device rotated to orientation: %ld", static_cast<long>(orientation));
    switch (orientation) {
        case DeviceOrientation::portrait:
        case DeviceOrientation::portraitUpsideDown:
        case DeviceOrientation::landscapeLeft:
        case DeviceOrientation::landscapeRight: {
            const auto self = weakSelf();
            platform::DispatchQueue::main().asyncAfter(kRefreshDelayTime, [self] {
                if (auto controller = self.lock()) controller->refreshLayoutView();
            });
            break;
        }
        default: break;
    }
}

void VKMLayoutViewController::removeActionsAndZoomButton() {
    VKMLayoutActionButtonHelper::removeActionButtons();
    if (mActionsStack) mActionsStack->removeFromSuperview();
    mActionsStack.reset();
    if (mZoomButton) mZoomButton->removeFromSuperview();
    mZoomButton.reset();
}

void VKMLayoutViewController::handleLayoutDocumentClosed() {
    ++mDocumentEpoch;
    mShownWatch.reset();
    if (auto view = layoutView()) view->clearRenderData();
    if (auto author = outlets.authorButton.lock()) author->setTitle(std::string(), ControlState::normal);
    if (auto title = outlets.layoutTitleLabel.lock()) title->setText("");
    if (auto stack = outlets.layoutInfoStackView.lock()) stack->setHidden(true);
    removeActionsAndZoomButton();
    // Closed for good, not on the way to another document.
    if (VKMLayoutDocumentHelper::isLoading()) return;
    mOpening = false;
    if (auto view = layoutView()) view->setDrawsTilesAside(false);
    showEmptyState();
}

void VKMLayoutViewController::handleLayoutIsLoading() {
    mOpening = true;
    if (auto view = layoutView()) view->setDrawsTilesAside(true);
    if (auto stack = outlets.emptyStateStackView.lock()) stack->setHidden(true);
    showProgressOverlay();
}

void VKMLayoutViewController::handleLayoutDocumentLoadFailed() {
    mOpening = false;
    mShownWatch.reset();
    if (auto view = layoutView()) view->setDrawsTilesAside(false);
    hideProgressOverlay();
    showEmptyState();
}

void VKMLayoutViewController::showLayoutWhenDrawn() {
    mShownWatch.reset();
    const auto view = layoutView();
    if (view) view->layoutIfNeeded();
    if (!view || view->missingTiles() == 0) {
        layoutShown();
        return;
    }
    // Tiles drawn aside arrive on later turns of the loop.
    const auto self = weakSelf();
    mShownWatch = std::make_unique<platform::DisplayLink>([self](const platform::DisplayLink::Frame&) {
        const auto controller = self.lock();
        const auto target = controller ? controller->layoutView() : nullptr;
        if (!target) return;
        target->layoutIfNeeded();
        if (target->missingTiles() == 0) controller->layoutShown();
    });
    mShownWatch->addToRunLoop(platform::RunLoop::main(), platform::RunLoopMode::Common);
}

void VKMLayoutViewController::layoutShown() {
    mShownWatch.reset();
    if (mOpening) {
        mOpening = false;
        if (auto view = layoutView()) view->setDrawsTilesAside(false);
        hideProgressOverlay();
    }
    platform::NotificationCenter::defaultCenter().postNotificationName(kLayoutShownNotification, nullptr);
}

void VKMLayoutViewController::showEmptyState() {
    if (auto stack = outlets.emptyStateStackView.lock()) stack->setHidden(false);
}

void VKMLayoutViewController::handleLayoutDocumentLoaded() {
    CStopwatch stopwatch;
    stopwatch.Start();
    refreshTitleAuthorLabel();
    adjustLayoutTitleActionButtons();
    installActionsStackView();
    installZoomButton();
    // An open's busy view stays until the layout is drawn.
    if (!mOpening) hideProgressOverlay();
    QLActivityAnalytics::trackEvent("LayoutLoaded");
    QLPerformanceCounters::addToCounter("HandleLayoutLoadedLVVC", stopwatch.Stop());
    const auto self = weakSelf();
    const std::uint64_t epoch = mDocumentEpoch;
    const auto centre = [self, epoch] {
        auto controller = self.lock();
        if (controller && controller->mDocumentEpoch == epoch) controller->centerOnLayoutContent();
    };
    // The pause lets a screen that is still being put up settle before it
    // is fitted. A document that comes prepared to a screen already shown
    // waits only for the frames that show the screen's loaded state.
    const CLayout* layout = trackLayout();
    const auto view = layoutView();
    const bool settled = view && view->window() && view->bounds().width > 0 && view->bounds().height > 0;
    if (settled && layout != nullptr && VKMLayoutPreparer::shared()->hasPreparedFor(*layout)) {
        platform::DispatchQueue::main().asyncAfter(kPreparedCentreDelayTime, centre);
    } else {
        platform::DispatchQueue::main().asyncAfter(kRefreshDelayTime, centre);
    }
}

void VKMLayoutViewController::handleTracksModified() {
    CLayout* layout = trackLayout();
    if (layout == nullptr) return;
    const Point delta = VKMLayoutResizeHelper::sizeLayoutToFitContents(*layout);
    const double zoom = layout->GetZoom();
    mContentOffset = {mContentOffset.x - delta.x * zoom, mContentOffset.y - delta.y * zoom};
    if (auto view = layoutView()) view->refreshLayoutRenderData();
}

void VKMLayoutViewController::handleShowColorizeOptions(const void* button) {
    const auto source = VKMLayoutActionButtonHelper::buttonForObject(button);
    if (!source) return;
    VKMAutoColorizeOptionsPopupMenuManager::sharedInstance().showPopupMenuAt(source, sharedController());
}

// --- diagnostics ---------------------------------------------------------------

void VKMLayoutViewController::addDebugTapLocationIndicatorAt(Point point) {
    CLayout* layout = trackLayout();
    const auto view = layoutView();
    if (layout == nullptr || !view) return;
    std::unique_ptr<CCompositeGeometry> marker(UCompositeGeometryFactory::CreateOval(
        CPoint(point.x, point.y), CColor(0.6, 0.6, 0.6, 1.0), CColor(0.2, 0.2, 0.2, 1.0), true, "", nullptr));
    if (!marker) return;
    auto* circle = marker->GetComponents().empty() ? nullptr : dynamic_cast<COvalBIG*>(marker->GetComponents()[0]);
    if (!UElementInspector::IsCircleElement(marker.get())) {
        ZDUtils::logError("Not a circle component");
    } else if (circle == nullptr) {
        ZDUtils::logError("Element doesn't contain a circle component at index 0");
    } else {
        circle->SetRadiusX(kDebugMarkerRadius);
        circle->SetRadiusY(kDebugMarkerRadius);
        marker->MoveToOrigin(nullptr);
        UElementNameGenerator::SetGenericDescription(marker.get(), "en");
    }
    layout->AddElement(marker.get(), layout->GetLayerManager().GetCurrentLayer());
    const CPoint& position = marker->GetPosition();
    marker->SetPosition(CPoint(position.x - kDebugMarkerRadius, position.y - kDebugMarkerRadius, position.z));
    ZDUtils::logDebug("Circle inserted at %.1f, %.1f", marker->GetPosition().x, marker->GetPosition().y);
    // The marker stays only in the render data: it leaves the document and
    // is deleted however the build ends.
    struct TakeOut {
        CLayout& layout;
        CCompositeGeometry* element;
        ~TakeOut() { layout.RemoveElements({element}); }
    } takeOut{*layout, marker.get()};
    view->refreshLayoutRenderData();
    view->setNeedsDisplayOfLayout();
}
