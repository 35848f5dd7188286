#include "platform/ui/controllers/PageViewController.h"

#include "platform/ui/views/PageControl.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/input/PanGestureRecognizer.h"
#include "platform/ui/views/View.h"
#include "platform/ui/controllers/detail/ControllerTransitions.h"

#include <cmath>

namespace platform::ui {

// The page's drag begins only when it runs sideways.
class PageViewController::DragDelegate final : public GestureRecognizerDelegate {
public:
    bool gestureRecognizerShouldBegin(GestureRecognizer& recognizer) override {
        const Point t = static_cast<PanGestureRecognizer&>(recognizer).translationInView(nullptr);
        return std::fabs(t.x) > std::fabs(t.y);
    }
};

std::vector<std::shared_ptr<ViewController>> PageViewController::viewControllers() const {
    if (!mPage) return {};
    return {mPage};
}

void PageViewController::setDataSource(std::weak_ptr<PageViewControllerDataSource> source) {
    mDataSource = std::move(source);
    refreshPageControl();
}

void PageViewController::loadView() {
    auto view = std::make_shared<View>(Screen::mainScreen()->bounds());
    view->setClipsToBounds(true);
    mPageControl = std::make_shared<PageControl>();
    std::weak_ptr<PageViewController> weak = std::static_pointer_cast<PageViewController>(sharedController());
    mPageControl->addAction(
        [weak](Control&) {
            if (auto self = weak.lock()) self->pageControlTapped();
        },
        ControlEvents::valueChanged);
    view->addSubview(mPageControl);
    setView(view);
    if (mPage) view->insertSubview(mPage->view(), 0);
}

void PageViewController::viewDidLoad() {
    std::weak_ptr<PageViewController> weak = std::static_pointer_cast<PageViewController>(sharedController());
    auto drag = std::make_shared<PanGestureRecognizer>();
    mDragDelegate = std::make_shared<DragDelegate>();
    drag->setDelegate(mDragDelegate);
    drag->addAction([weak](GestureRecognizer& recognizer) {
        if (auto self = weak.lock()) self->handleDrag(recognizer);
    });
    view()->addGestureRecognizer(drag);
    refreshPageControl();
}

void PageViewController::handleDrag(GestureRecognizer& recognizer) {
    auto& drag = static_cast<PanGestureRecognizer&>(recognizer);
    const auto view = viewIfLoaded();
    if (!view || !mPage || mTurning) return;
    const auto pageView = mPage->view();
    const Rect b = view->bounds();
    const double dx = drag.translationInView(view.get()).x;
    const auto source = dataSource();
    const bool next = dx < 0;
    const auto neighbour = !source ? nullptr
                           : next  ? source->viewControllerAfter(*this, *mPage)
                                   : source->viewControllerBefore(*this, *mPage);
    switch (drag.state()) {
        case GestureRecognizerState::began:
        case GestureRecognizerState::changed:
            // Without a page that way the page gives a little, as at an edge.
            pageView->setFrame({b.x + (neighbour ? dx : dx / 3), b.y, b.width, b.height});
            break;
        case GestureRecognizerState::ended:
        case GestureRecognizerState::cancelled: {
            const double vx = drag.velocityInView(view.get()).x;
            const bool far = std::fabs(dx) > b.width * kTurnShare;
            const bool flicked = next ? vx < -kTurnSpeed : vx > kTurnSpeed;
            if (drag.state() == GestureRecognizerState::ended && neighbour && (far || flicked)) {
                showAdjacentPage(next);
            } else {
                View::animate(0.25, [pageView, b] { pageView->setFrame(b); });
            }
            break;
        }
        default: break;
    }
}

void PageViewController::pageControlTapped() {
    const int wanted = mPageControl->currentPage();
    const int shown = mIndicatedPage;
    // The dot goes back until the page has turned.
    mPageControl->setCurrentPage(shown);
    if (wanted > shown) {
        showNextPage();
    } else if (wanted < shown) {
        showPreviousPage();
    }
}

void PageViewController::viewWillLayoutSubviews() {
    const auto view = viewIfLoaded();
    if (!view) return;
    const Rect b = view->bounds();
    if (mPage && !mTurning) mPage->view()->setFrame(b);
    const double bottom = view->safeAreaInsets().bottom;
    mPageControl->setFrame({b.x, b.maxY() - bottom - PageControl::kHeight, b.width, PageControl::kHeight});
}

void PageViewController::refreshPageControl() {
    if (!mPageControl) return;
    const auto source = dataSource();
    const int count = source ? source->presentationCount(*this) : 0;
    mPageControl->setNumberOfPages(std::max(count, 0));
    if (count > 0) mPageControl->setCurrentPage(source->presentationIndex(*this));
    mIndicatedPage = mPageControl->currentPage();
    mPageControl->setHidden(count <= 0);
}

void PageViewController::stepPageControl(int step) {
    if (!mPageControl || mPageControl->numberOfPages() <= 0) return;
    mPageControl->setCurrentPage(mIndicatedPage + step);
    mIndicatedPage = mPageControl->currentPage();
}

void PageViewController::setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers,
                                            PageViewControllerNavigationDirection direction, bool animated,
                                            std::function<void(bool)> completion) {
    if (mTurning || controllers.empty()) return;
    turn(controllers.front(), direction, animated, false, std::move(completion));
}

bool PageViewController::showNextPage() { return showAdjacentPage(true); }

bool PageViewController::showPreviousPage() { return showAdjacentPage(false); }

bool PageViewController::showAdjacentPage(bool next) {
    const auto source = dataSource();
    if (!source || !mPage || mTurning) return false;
    const auto page = next ? source->viewControllerAfter(*this, *mPage) : source->viewControllerBefore(*this, *mPage);
    if (!page) return false;
    turn(page, next ? PageViewControllerNavigationDirection::forward : PageViewControllerNavigationDirection::reverse,
         true, true, {});
    return true;
}

void PageViewController::turn(const std::shared_ptr<ViewController>& to,
                              PageViewControllerNavigationDirection direction, bool animated, bool bySwipe,
                              std::function<void(bool)> completion) {
    const auto keep = sharedController();
    const auto from = mPage;
    if (to == from) {
        if (completion) completion(true);
        return;
    }
    if (to->parentViewController().get() != this) addChildViewController(to);
    mPage = to;
    const auto view = viewIfLoaded();
    if (!view) {
        if (from) {
            from->willMoveToParentViewController(nullptr);
            from->removeFromParentViewController();
        }
        to->didMoveToParentViewController(this);
        if (completion) completion(true);
        return;
    }
    const bool shown = appearanceState() == AppearanceState::appeared;
    if (shown && from) from->beginAppearanceTransition(false, animated);
    if (shown) to->beginAppearanceTransition(true, animated);
    mTurning = true;
    auto transition = std::make_shared<detail::Transition>();
    transition->container = view;
    transition->from = from;
    transition->to = to;
    transition->fromView = from ? from->viewIfLoaded() : nullptr;
    transition->toView = to->view();
    transition->toFinal = view->bounds();
    transition->animated = animated && from;
    if (transition->animated) {
        transition->animator = detail::makePushAnimator(direction == PageViewControllerNavigationDirection::reverse);
    } else {
        view->insertSubview(to->view(), 0);
    }
    setTransitionCoordinator(transition);
    std::weak_ptr<PageViewController> weak = std::static_pointer_cast<PageViewController>(keep);
    const int step = direction == PageViewControllerNavigationDirection::forward ? 1 : -1;
    transition->finish = [weak, from, to, shown, bySwipe, step, completion = std::move(completion)](bool completed) {
        const auto self = weak.lock();
        if (!self) return;
        self->mTurning = false;
        self->setTransitionCoordinator(nullptr);
        if (from && from->viewIfLoaded()) from->view()->removeFromSuperview();
        if (shown && from) from->endAppearanceTransition();
        if (shown) to->endAppearanceTransition();
        if (from) {
            from->willMoveToParentViewController(nullptr);
            from->removeFromParentViewController();
        }
        to->didMoveToParentViewController(self.get());
        // The page control stays below the pages that slide in above it.
        if (self->mPageControl) self->view()->bringSubviewToFront(self->mPageControl.get());
        // A page turned by hand moves the dot itself; pages set ask the data
        // source where they are, once its completion has heard of them.
        if (bySwipe) self->stepPageControl(step);
        if (bySwipe) {
            if (const auto d = self->delegate()) {
                d->didFinishAnimating(
                    *self, true, from ? std::vector{from} : std::vector<std::shared_ptr<ViewController>>{}, completed);
            }
        }
        if (completion) completion(completed);
        if (!bySwipe) self->refreshPageControl();
    };
    transition->start();
}

}  // namespace platform::ui
