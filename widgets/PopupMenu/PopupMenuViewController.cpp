#include "widgets/PopupMenu/PopupMenuViewController.h"

#include "platform/ui/controllers/BarItems.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/input/PanGestureRecognizer.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/ScrollView.h"
#include "platform/ui/views/StackView.h"
#include "platform/ui/input/TapGestureRecognizer.h"
#include "platform/ui/views/VisualEffectView.h"
#include "platform/ui/views/Window.h"
#include "widgets/PopupMenu/PopupMenuAnimators.h"
#include "widgets/PopupMenu/PopupMenuHaptic.h"

#include <algorithm>

using platform::Color;
using platform::Point;
using platform::Rect;
using platform::Size;
using namespace platform::ui;
using PopupMenuColorHelpers::blackOrWhiteContrastingColor;
using PopupMenuColorHelpers::withAlpha;

std::shared_ptr<View> PopupMenuSource::view() const {
    if (auto view = mView.lock()) return view;
    if (auto item = mItem.lock()) return item->view();
    return nullptr;
}

std::shared_ptr<PopupMenuViewController> PopupMenuViewController::make(
    PopupMenuSource source, std::vector<std::shared_ptr<PopupMenuAction>> actions,
    std::shared_ptr<PopupMenuAppearance> appearance) {
    auto menu = std::make_shared<PopupMenuViewController>();
    menu->mSource = std::move(source);
    menu->mActions = std::move(actions);
    if (appearance) menu->mAppearance = std::move(appearance);
    if (const auto view = menu->sourceViewAsUIView()) {
        menu->mAbsoluteSourceFrame = view->convertRectToView(view->bounds(), nullptr);
    }
    menu->setTransitioningDelegate(menu);
    menu->setModalPresentationStyle(ModalPresentationStyle::overFullScreen);
    return menu;
}

PopupMenuViewController::PopupMenuViewController()
    : mAppearance(std::make_shared<PopupMenuAppearance>()),
      mBackgroundView(std::make_shared<View>()),
      mContainerView(std::make_shared<View>()),
      mContentView(std::make_shared<PopupMenuGradientView>()),
      mActionsView(StackView::make()),
      mMaxContentWidth(0.9 * Screen::mainScreen()->bounds().width) {}

PopupMenuViewController::~PopupMenuViewController() = default;

std::shared_ptr<PopupMenuViewController> PopupMenuViewController::self() {
    return std::static_pointer_cast<PopupMenuViewController>(sharedController());
}

void PopupMenuViewController::setAppearance(std::shared_ptr<PopupMenuAppearance> appearance) {
    if (appearance) mAppearance = std::move(appearance);
}

std::shared_ptr<View> PopupMenuViewController::sourceViewAsUIView() {
    if (!mSourceViewResolved) {
        mSourceViewResolved = true;
        mSourceViewAsUIView = mSource.view();
    }
    return mSourceViewAsUIView.lock();
}

const std::shared_ptr<VisualEffectView>& PopupMenuViewController::blurOverlayView() {
    if (!mBlurOverlayView) {
        mBlurOverlayView = std::make_shared<VisualEffectView>(BlurEffectStyle::dark);
        mBlurOverlayView->setTranslatesAutoresizingMaskIntoConstraints(false);
        mBlurOverlayView->layer()->setCornerRadius(mAppearance->popupMenuCornerRadius());
        mBlurOverlayView->layer()->setMasksToBounds(true);
        mBlurOverlayView->setUserInteractionEnabled(false);
    }
    return mBlurOverlayView;
}

const std::shared_ptr<TapGestureRecognizer>& PopupMenuViewController::tapGestureForDismissal() {
    if (!mTapGestureForDismissal) {
        mTapGestureForDismissal = std::make_shared<TapGestureRecognizer>();
        mTapGestureForDismissal->addTarget(self(), &PopupMenuViewController::backgroundViewDidTap);
        mTapGestureForDismissal->setCancelsTouchesInView(false);
        mTapGestureForDismissal->setDelaysTouchesEnded(false);
    }
    return mTapGestureForDismissal;
}

const std::shared_ptr<PanGestureRecognizer>& PopupMenuViewController::panGestureForMenu() {
    if (!mPanGestureForMenu) {
        mPanGestureForMenu = std::make_shared<PanGestureRecognizer>();
        mPanGestureForMenu->addTarget(self(), &PopupMenuViewController::menuDidPan);
        mPanGestureForMenu->setMaximumNumberOfTouches(1);
    }
    return mPanGestureForMenu;
}

Rect PopupMenuViewController::contentFrame() {
    // The frame is measured in the root view.
    if (!isViewLoaded()) loadViewIfNeeded();
    if (!mContentFrame) mContentFrame = calculateContentFrame();
    return *mContentFrame;
}

// --- building the views -----------------------------------------------------------

void PopupMenuViewController::loadView() {
    ViewController::loadView();
    const auto root = viewIfLoaded();
    root->setBackgroundColor(Color::clear());
    // Follows the presentation's container through changes of size.
    root->setAutoresizingMask(ViewAutoresizing::flexibleWidth | ViewAutoresizing::flexibleHeight);
    configureBackgroundView();
    configureContentView();
    configureActionsView();
}

void PopupMenuViewController::configureBackgroundView() {
    const auto root = viewIfLoaded();
    mBackgroundView->setFrame(root->frame());
    mBackgroundView->setBackgroundColor(Color::clear());
    mBackgroundView->setTranslatesAutoresizingMaskIntoConstraints(false);
    mBackgroundView->addGestureRecognizer(tapGestureForDismissal());
    mBackgroundView->setUserInteractionEnabled(true);

    const PopupMenuBackgroundStyle& style = mAppearance->popupMenuBackgroundStyle();
    // Built again on a change of size: the blur of the old size goes.
    if (mBackgroundBlur) mBackgroundBlur->removeFromSuperview();
    mBackgroundBlur.reset();
    if (style.isBlurred.value_or(false) && style.blurStyle) {
        mBackgroundBlur = std::make_shared<VisualEffectView>(*style.blurStyle, mBackgroundView->frame());
        mBackgroundView->addSubview(mBackgroundBlur);
    }
    if (style.isDimmed.value_or(false) && style.dimColor && style.dimOpacity) {
        mBackgroundView->setBackgroundColor(withAlpha(*style.dimColor, *style.dimOpacity));
    }
    root->insertSubview(mBackgroundView, 0);
}

void PopupMenuViewController::configureContentView() {
    const double radius = mAppearance->popupMenuCornerRadius();
    mContainerView->setTranslatesAutoresizingMaskIntoConstraints(false);
    const auto& panel = mContainerView->layer();
    panel->setShadowColor(Color::white(0));
    panel->setShadowOffset(Size{0, 1});
    panel->setShadowOpacity(0.5);
    panel->setShadowRadius(20);
    panel->setMasksToBounds(false);
    panel->setCornerRadius(radius);
    mContainerView->setBackgroundColor(Color::clear());
    viewIfLoaded()->addSubview(mContainerView);

    mContentView->setTranslatesAutoresizingMaskIntoConstraints(false);
    mContentView->layer()->setCornerRadius(radius);
    mContentView->layer()->setMasksToBounds(true);
    mContentView->setClipsToBounds(true);

    const auto& colors = mAppearance->popupMenuColor().backgroundColor.colors;
    if (colors.empty()) {
        // Only the dark blur: not the gradient view's own black to white.
        mContentView->setStartColor(Color::clear());
        mContentView->setEndColor(Color::clear());
    } else if (colors.size() == 1) {
        mContentView->setBackgroundColor(withAlpha(colors.front(), 0.9));
        mContentView->setStartColor(Color::clear());
        mContentView->setEndColor(Color::clear());
    } else if (colors.size() >= 2) {
        mContentView->setDiagonalMode(true);
        mContentView->updatePoints();
        mContentView->setStartColor(colors.front());
        mContentView->setEndColor(colors.back());
        // Fades the rows too, as the panel's look has it.
        mContentView->layer()->setOpacity(0.8);
    }

    mContainerView->addSubview(blurOverlayView());
    mContainerView->addSubview(mContentView);
    setupContentConstraints();
}

void PopupMenuViewController::setupContentConstraints() {
    const auto root = viewIfLoaded();
    // A change of size replaces the constraints of the old size.
    std::vector<std::shared_ptr<LayoutConstraint>> old = mPinning;
    for (const auto& constraint : {mLeft, mTop, mWidth, mHeight}) {
        if (constraint) old.push_back(constraint);
    }
    LayoutConstraint::deactivateConstraints(old);

    const Rect frame = contentFrame();
    mLeft = mContainerView->leftAnchor().constraintEqualToAnchor(root->leftAnchor(), frame.x);
    mTop = mContainerView->topAnchor().constraintEqualToAnchor(root->topAnchor(), frame.y);
    mWidth = mContainerView->widthAnchor().constraintEqualToConstant(frame.width);
    mHeight = mContainerView->heightAnchor().constraintEqualToConstant(frame.height);
    LayoutConstraint::activateConstraints({mLeft, mTop, mWidth, mHeight});

    mPinning.clear();
    for (const auto& view : {std::shared_ptr<View>(mContentView), std::shared_ptr<View>(blurOverlayView())}) {
        mPinning.push_back(view->leftAnchor().constraintEqualToAnchor(mContainerView->leftAnchor()));
        mPinning.push_back(view->rightAnchor().constraintEqualToAnchor(mContainerView->rightAnchor()));
        mPinning.push_back(view->topAnchor().constraintEqualToAnchor(mContainerView->topAnchor()));
        mPinning.push_back(view->bottomAnchor().constraintEqualToAnchor(mContainerView->bottomAnchor()));
    }
    LayoutConstraint::activateConstraints(mPinning);
}

void PopupMenuViewController::configureActionsView() {
    mActionsView->setTranslatesAutoresizingMaskIntoConstraints(false);
    mActionsView->setAxis(LayoutConstraintAxis::vertical);
    mActionsView->setAlignment(StackViewAlignment::fill);
    mActionsView->setDistribution(StackViewDistribution::fillEqually);
    for (const auto& action : mActions) configureAction(*action);

    if (mActions.size() >= mAppearance->popupMenuActionCountForScrollable()) {
        mScrollView = ScrollView::make();
        mScrollView->setTranslatesAutoresizingMaskIntoConstraints(false);
        mScrollView->setShowsHorizontalScrollIndicator(false);
        mScrollView->setShowsVerticalScrollIndicator(!mAppearance->popupMenuScrollIndicatorHidden());
        mScrollView->setIndicatorStyle(mAppearance->popupMenuScrollIndicatorStyle());
        const double height = mAppearance->popupMenuActionHeight() * static_cast<double>(mActions.size());
        mScrollView->setContentSize(Size{mScrollView->contentSize().width, height});
        // The rows sit in the scroll view's content by frame, as wide as the
        // panel: our solver reads a constraint to a scroll view as one to its
        // frame, which would hold the rows still while the content scrolls.
        mActionsView->setTranslatesAutoresizingMaskIntoConstraints(true);
        mActionsView->setFrame(Rect{0, 0, 0, height});
        mActionsView->setAutoresizingMask(ViewAutoresizing::flexibleWidth);
        mScrollView->addSubview(mActionsView);
        mContentView->addSubview(mScrollView);
        LayoutConstraint::activateConstraints({
            mScrollView->leftAnchor().constraintEqualToAnchor(mContentView->leftAnchor()),
            mScrollView->topAnchor().constraintEqualToAnchor(mContentView->topAnchor()),
            mScrollView->rightAnchor().constraintEqualToAnchor(mContentView->rightAnchor()),
            mScrollView->bottomAnchor().constraintEqualToAnchor(mContentView->bottomAnchor()),
        });
    } else {
        mActionsView->addGestureRecognizer(panGestureForMenu());
        mContentView->addSubview(mActionsView);
        LayoutConstraint::activateConstraints({
            mActionsView->leftAnchor().constraintEqualToAnchor(mContentView->leftAnchor()),
            mActionsView->rightAnchor().constraintEqualToAnchor(mContentView->rightAnchor()),
            mActionsView->topAnchor().constraintEqualToAnchor(mContentView->topAnchor(), kActionsInset),
            mActionsView->bottomAnchor().constraintEqualToAnchor(mContentView->bottomAnchor(), -kActionsInset),
        });
    }
}

void PopupMenuViewController::configureAction(PopupMenuAction& action) {
    action.setFont(mAppearance->popupMenuFont());
    action.setTintColor(action.color().value_or(mAppearance->popupMenuColor().actionColor.color));
    action.setCornerRadius(mAppearance->popupMenuCornerRadius() * 0.5);
    action.renderActionView();

    const auto& row = action.view();
    if (mActions.empty() || mActions.back().get() != &action) addSeparator(*row);
    auto tap = std::make_shared<TapGestureRecognizer>();
    tap->addTarget(self(), &PopupMenuViewController::menuDidTap);
    tap->setDelaysTouchesEnded(false);
    row->addGestureRecognizer(tap);
    mActionsView->addArrangedSubview(row);
}

void PopupMenuViewController::addSeparator(View& row) {
    const PopupMenuActionSeparator& separator = mAppearance->popupMenuItemSeparator();
    if (separator.color == Color::clear() && separator.height == 0) return;
    auto line = std::make_shared<View>();
    line->setBackgroundColor(separator.color);
    line->setTranslatesAutoresizingMaskIntoConstraints(false);
    row.addSubview(line);
    LayoutConstraint::activateConstraints({
        line->leftAnchor().constraintEqualToAnchor(row.leftAnchor()),
        line->rightAnchor().constraintEqualToAnchor(row.rightAnchor()),
        line->bottomAnchor().constraintEqualToAnchor(row.bottomAnchor()),
        line->heightAnchor().constraintEqualToConstant(separator.height),
    });
}

// --- placement ------------------------------------------------------------------

Rect PopupMenuViewController::calculateContentFrame() {
    const double rowHeight = mAppearance->popupMenuActionHeight();
    const std::size_t scrollFrom = mAppearance->popupMenuActionCountForScrollable();
    // A scrolling panel cuts its last visible row, to show there is more.
    const double height = mActions.size() >= scrollFrom ? rowHeight * static_cast<double>(scrollFrom) - kScrollablePeek
                                                        : rowHeight * static_cast<double>(mActions.size());
    const double width = calculateContentWidth();
    const Point origin = calculateContentOrigin(width, height);
    return {origin.x, origin.y, width, height};
}

double PopupMenuViewController::calculateContentWidth() {
    const double base = 2 * PopupMenuDefaultAction::textLeftPadding;
    if (mActions.empty()) return std::min(mMaxContentWidth, base);

    const PopupMenuAction* longest = mActions.front().get();
    for (std::size_t i = 1; i < mActions.size(); ++i) {
        const auto& title = mActions[i]->title();
        if (title && longest->title() && longest->title()->size() < title->size()) longest = mActions[i].get();
    }
    Label measure;
    measure.setText(longest->title().value_or(""));
    const double textWidth = measure.sizeThatFits(viewIfLoaded()->bounds().size()).width;
    return std::min(mMaxContentWidth, base + textWidth + longest->iconWidthHeight());
}

Point PopupMenuViewController::calculateContentOrigin(double width, double height) {
    const auto root = viewIfLoaded();
    if (!mAbsoluteSourceFrame) return {root->center().x - width / 2, root->center().y - height / 2};

    const Rect source = *mAbsoluteSourceFrame;
    Point origin{source.minX() - (width - source.width) / 2, source.minY()};
    const double screenWidth = Screen::mainScreen()->bounds().width;
    const double least = 0.05 * screenWidth;
    const double most = 0.95 * screenWidth;
    if (origin.x + width > most) {
        origin.x = std::max(most - width, least);
    } else if (origin.x < least) {
        origin.x = least;
    }
    origin = fitContentHorizontally(origin, width);
    return fitContentVertically(origin, height);
}

Point PopupMenuViewController::fitContentHorizontally(Point origin, double width) {
    const Rect frame = viewIfLoaded()->frame();
    const double centerX = viewIfLoaded()->center().x;
    const bool leftOfCenter = origin.x < centerX;
    const Point edge{leftOfCenter ? origin.x : origin.x + width, origin.y};
    if (!frame.contains(edge)) {
        origin.x = leftOfCenter ? frame.minX() + kEdgeMargin : frame.maxX() - width - kEdgeMargin;
    }
    return origin;
}

Point PopupMenuViewController::fitContentVertically(Point origin, double height) {
    const Rect frame = viewIfLoaded()->frame();
    const auto window = Application::sharedApplication().keyWindow();
    const double inset = window ? window->windowSafeAreaInsets().bottom : kEdgeMargin;
    if (!frame.contains(Point{origin.x, origin.y + height})) origin.y = frame.height - height - inset;
    return origin;
}

// --- gestures and selection ---------------------------------------------------------

std::optional<std::size_t> PopupMenuViewController::associatedActionIndex(const GestureRecognizer& recognizer) const {
    const auto root = viewIfLoaded();
    if (!root || !mContainerView->frame().contains(recognizer.locationInView(root.get()))) return std::nullopt;
    const Point point = recognizer.locationInView(mActionsView.get());
    const auto& rows = mActionsView->arrangedSubviews();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i]->frame().contains(point)) return i;
    }
    return std::nullopt;
}

void PopupMenuViewController::backgroundViewDidTap(GestureRecognizer& recognizer) {
    if (&recognizer != mTapGestureForDismissal.get()) return;
    if (mContainerView->frame().contains(recognizer.locationInView(viewIfLoaded().get()))) return;
    dismissViewController(true, [menu = self()] {
        if (menu->mDidDismiss) menu->mDidDismiss(false);
    });
}

void PopupMenuViewController::menuDidTap(GestureRecognizer& recognizer) {
    const auto row = recognizer.view();
    if (!row) return;
    const auto found = std::find_if(mActions.begin(), mActions.end(),
                                    [&](const std::shared_ptr<PopupMenuAction>& a) { return a->view() == row; });
    if (found != mActions.end()) actionDidSelect(static_cast<std::size_t>(found - mActions.begin()), true);
}

void PopupMenuViewController::menuDidPan(GestureRecognizer& recognizer) {
    if (!mShouldEnablePanGesture) return;
    switch (recognizer.state()) {
        case GestureRecognizerState::began:
        case GestureRecognizerState::changed: {
            const auto index = associatedActionIndex(recognizer);
            if (!index || *index >= mActions.size()) return;
            const auto& action = mActions[*index];
            if (action->highlighted()) return;
            if (mShouldEnableHaptics) Haptic::selection().trigger();
            action->setHighlighted(true);
            for (const auto& other : mActions) {
                if (other != action) other->setHighlighted(false);
            }
            break;
        }
        case GestureRecognizerState::ended: {
            for (const auto& action : mActions) {
                if (action->highlighted()) action->setHighlighted(false);
            }
            const auto index = associatedActionIndex(recognizer);
            if (index && *index < mActions.size()) actionDidSelect(*index, false);
            break;
        }
        default: break;
    }
}

void PopupMenuViewController::actionDidSelect(std::size_t index, bool animated) {
    const auto keep = self();
    const auto action = mActions.at(index);
    action->actionSelected(animated);
    if (mShouldEnableHaptics) Haptic::impact(ImpactFeedbackStyle::medium).trigger();
    if (const auto delegate = mDelegate.lock()) {
        delegate->popupMenuDidSelectItem(*this, static_cast<std::ptrdiff_t>(index));
    }
    if (mShouldDismissOnSelection) {
        dismissViewController(true, [menu = keep] {
            if (menu->mDidDismiss) menu->mDidDismiss(true);
        });
    }
}

// --- the view controller's part ------------------------------------------------------

StatusBarStyle PopupMenuViewController::preferredStatusBarStyle() const {
    if (const auto style = mAppearance->popupMenuStatusBarStyle()) return *style;
    const PopupMenuBackgroundStyle& background = mAppearance->popupMenuBackgroundStyle();
    if (background.blurStyle) {
        return *background.blurStyle == BlurEffectStyle::dark ? StatusBarStyle::lightContent
                                                              : StatusBarStyle::defaultStyle;
    }
    if (background.dimColor) {
        return blackOrWhiteContrastingColor(*background.dimColor) == Color::white(1) ? StatusBarStyle::lightContent
                                                                                     : StatusBarStyle::defaultStyle;
    }
    return StatusBarStyle::lightContent;
}

void PopupMenuViewController::viewWillTransitionToSize(Size size, ViewControllerTransitionCoordinator& coordinator) {
    std::weak_ptr<PopupMenuViewController> weak = self();
    coordinator.animateAlongsideTransition(
        [weak](ViewControllerContextTransitioning&) {
            const auto menu = weak.lock();
            if (!menu || !menu->isViewLoaded()) return;
            menu->configureBackgroundView();
            menu->mContentFrame = menu->calculateContentFrame();
            menu->setupContentConstraints();
        },
        nullptr);
    ViewController::viewWillTransitionToSize(size, coordinator);
}

std::shared_ptr<ViewControllerAnimatedTransitioning> PopupMenuViewController::animationControllerForPresentedController(
    ViewController&, ViewController&, ViewController&) {
    return std::make_shared<PopupMenuPresentAnimationController>(mAbsoluteSourceFrame);
}

std::shared_ptr<ViewControllerAnimatedTransitioning> PopupMenuViewController::animationControllerForDismissedController(
    ViewController&) {
    return std::make_shared<PopupMenuDismissAnimationController>(mAbsoluteSourceFrame);
}
