#include "platform/ui/controllers/NavigationController.h"

#include "platform/ui/controllers/BarItems.h"
#include "platform/ui/views/Button.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/controllers/detail/ControllerTransitions.h"

#include <algorithm>

namespace platform::ui {

namespace {

std::shared_ptr<Button> barButton(const std::shared_ptr<BarButtonItem>& item) {
    auto button = Button::make(ButtonType::system);
    button->setTitle(item->title(), ControlState::normal);
    if (item->image()) button->setImage(item->image(), ControlState::normal);
    button->setEnabled(item->isEnabled());
    button->addAction(
        [weak = std::weak_ptr<BarButtonItem>(item)](Control&) {
            if (auto strong = weak.lock()) strong->sendAction();
        },
        ControlEvents::touchUpInside);
    item->setView(button);
    return button;
}

}  // namespace

// --- NavigationBar ---------------------------------------------------------

NavigationBar::NavigationBar() : View(Rect{0, 0, 320, kHeight}) { setBackgroundColor(Color{0.97, 0.97, 0.97, 1}); }

void NavigationBar::show(ViewController& top, ViewController* back, std::function<void()> backAction) {
    for (const auto& button : mLeft) button->removeFromSuperview();
    for (const auto& button : mRight) button->removeFromSuperview();
    mLeft.clear();
    mRight.clear();
    if (mBack) mBack->removeFromSuperview();
    mBack.reset();
    if (!mTitle) {
        mTitle = std::make_shared<Label>();
        mTitle->setTextAlignment(TextAlignment::center);
        addSubview(mTitle);
    }
    NavigationItem& item = top.navigationItem();
    mTitle->setText(item.title().empty() ? top.title() : item.title());
    for (const auto& left : item.leftBarButtonItems()) mLeft.push_back(barButton(left));
    for (const auto& right : item.rightBarButtonItems()) mRight.push_back(barButton(right));
    if (back && mLeft.empty() && !item.hidesBackButton()) {
        mBack = Button::make(ButtonType::system);
        const std::string backTitle =
            back->navigationItem().title().empty() ? back->title() : back->navigationItem().title();
        mBack->setTitle(backTitle.empty() ? "Back" : backTitle, ControlState::normal);
        mBack->addAction([action = std::move(backAction)](Control&) { action(); }, ControlEvents::touchUpInside);
        addSubview(mBack);
    }
    for (const auto& button : mLeft) addSubview(button);
    for (const auto& button : mRight) addSubview(button);
    setNeedsLayout();
}

void NavigationBar::layoutSubviews() {
    const Rect b = bounds();
    const double top = b.height - kHeight;
    double left = 8;
    auto place = [&](const std::shared_ptr<Button>& button, bool fromLeft, double& edge) {
        const Size size = button->sizeThatFits({b.width, kHeight});
        const double width = std::max(size.width, 44.0);
        button->setFrame({fromLeft ? edge : edge - width, top, width, kHeight});
        edge += fromLeft ? width + 8 : -(width + 8);
    };
    if (mBack) place(mBack, true, left);
    for (const auto& button : mLeft) place(button, true, left);
    double right = b.width - 8;
    for (const auto& button : mRight) place(button, false, right);
    if (mTitle) {
        const double margin = std::max(left, b.width - right);
        mTitle->setFrame({margin, top, std::max(0.0, b.width - 2 * margin), kHeight});
    }
}

// --- NavigationController -----------------------------------------------------

std::shared_ptr<NavigationController> NavigationController::make(const std::shared_ptr<ViewController>& root) {
    auto navigation = std::make_shared<NavigationController>();
    if (root) navigation->setViewControllers({root}, false);
    return navigation;
}

void NavigationController::loadView() {
    auto view = std::make_shared<View>(Screen::mainScreen()->bounds());
    view->setBackgroundColor(Color{1, 1, 1, 1});
    mContent = std::make_shared<View>(view->bounds());
    view->addSubview(mContent);
    view->addSubview(navigationBar());
    setView(view);
    if (const auto top = topViewController()) {
        mShown = top;
        mContent->addSubview(top->view());
    }
    refreshBar();
}

std::shared_ptr<NavigationBar> NavigationController::navigationBar() {
    if (!mBar) mBar = std::make_shared<NavigationBar>();
    return mBar;
}

void NavigationController::setNavigationBarHidden(bool hidden) {
    mBarHidden = hidden;
    if (mBar) mBar->setHidden(hidden);
    if (const auto view = viewIfLoaded()) view->setNeedsLayout();
}

Rect NavigationController::contentFrame() const {
    const auto view = viewIfLoaded();
    if (!view) return {};
    const Rect b = view->bounds();
    if (mBarHidden) return b;
    const double barBottom = view->safeAreaInsets().top + NavigationBar::kHeight;
    return {b.x, b.y + barBottom, b.width, std::max(0.0, b.height - barBottom)};
}

void NavigationController::viewWillLayoutSubviews() {
    const auto view = viewIfLoaded();
    if (!view) return;
    const Rect b = view->bounds();
    const double barBottom = view->safeAreaInsets().top + NavigationBar::kHeight;
    if (mBar) mBar->setFrame({b.x, b.y, b.width, barBottom});
    const Rect content = contentFrame();
    mContent->setFrame(content);
    if (!mTransitioning && mShown && mShown->viewIfLoaded()) mShown->view()->setFrame(mContent->bounds());
}

std::shared_ptr<ViewController> NavigationController::topViewController() const {
    return mStack.empty() ? nullptr : mStack.back();
}

std::shared_ptr<ViewController> NavigationController::visibleViewController() const {
    if (const auto presented = presentedViewController()) return presented;
    return topViewController();
}

void NavigationController::refreshBar() {
    if (!mBar || mStack.empty()) return;
    ViewController* back = mStack.size() > 1 ? mStack[mStack.size() - 2].get() : nullptr;
    std::weak_ptr<NavigationController> weak = std::static_pointer_cast<NavigationController>(sharedController());
    mBar->show(*mStack.back(), back, [weak] {
        if (auto self = weak.lock()) self->popViewController(true);
    });
}

void NavigationController::pushViewController(const std::shared_ptr<ViewController>& controller, bool animated) {
    if (!controller || mTransitioning) return;
    if (std::find(mStack.begin(), mStack.end(), controller) != mStack.end()) return;
    auto stack = mStack;
    stack.push_back(controller);
    transition(std::move(stack), NavigationControllerOperation::push, animated);
}

std::shared_ptr<ViewController> NavigationController::popViewController(bool animated) {
    if (mStack.size() < 2 || mTransitioning) return nullptr;
    const auto leaving = mStack.back();
    auto stack = mStack;
    stack.pop_back();
    transition(std::move(stack), NavigationControllerOperation::pop, animated);
    return leaving;
}

std::vector<std::shared_ptr<ViewController>> NavigationController::popToRootViewController(bool animated) {
    if (mStack.empty()) return {};
    return popToViewController(*mStack.front(), animated);
}

std::vector<std::shared_ptr<ViewController>> NavigationController::popToViewController(const ViewController& controller,
                                                                                       bool animated) {
    const auto at = std::find_if(mStack.begin(), mStack.end(), [&](const auto& c) { return c.get() == &controller; });
    if (at == mStack.end() || at + 1 == mStack.end() || mTransitioning) return {};
    std::vector<std::shared_ptr<ViewController>> popped(at + 1, mStack.end());
    std::vector<std::shared_ptr<ViewController>> stack(mStack.begin(), at + 1);
    transition(std::move(stack), NavigationControllerOperation::pop, animated);
    return popped;
}

void NavigationController::setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated) {
    if (mTransitioning) return;
    const auto newTop = controllers.empty() ? nullptr : controllers.back();
    const bool wasInStack = std::find(mStack.begin(), mStack.end(), newTop) != mStack.end();
    transition(std::move(controllers),
               wasInStack ? NavigationControllerOperation::pop : NavigationControllerOperation::push, animated);
}

void NavigationController::transition(std::vector<std::shared_ptr<ViewController>> stack,
                                      NavigationControllerOperation operation, bool animated) {
    const auto keep = sharedController();
    const auto from = mShown;
    const auto to = stack.empty() ? nullptr : stack.back();
    // Children follow the stack: the new ones join, the ones gone leave.
    std::vector<std::shared_ptr<ViewController>> added;
    for (const auto& c : stack) {
        if (c->parentViewController().get() == this) continue;
        addChildViewController(c);
        added.push_back(c);
    }
    const bool toAdded = std::find(added.begin(), added.end(), to) != added.end();
    for (const auto& c : added) {
        if (c != to) c->didMoveToParentViewController(this);
    }
    std::vector<std::shared_ptr<ViewController>> leaving;
    for (const auto& c : mStack) {
        if (std::find(stack.begin(), stack.end(), c) == stack.end()) leaving.push_back(c);
    }
    for (const auto& c : leaving) {
        if (c != from) {
            c->willMoveToParentViewController(nullptr);
            c->removeFromParentViewController();
        }
    }
    mStack = std::move(stack);
    const bool leavingFrom = from && std::find(mStack.begin(), mStack.end(), from) == mStack.end();
    const auto view = viewIfLoaded();
    if (!view || from == to || !to) {
        // Nothing to animate: not loaded, the same top, or an empty stack.
        if (view && from != to) {
            if (from && from->viewIfLoaded()) from->view()->removeFromSuperview();
            if (to) mContent->addSubview(to->view());
        }
        mShown = to;
        if (leavingFrom) {
            from->willMoveToParentViewController(nullptr);
            from->removeFromParentViewController();
        }
        if (toAdded) to->didMoveToParentViewController(this);
        refreshBar();
        return;
    }
    const bool shown = appearanceState() == AppearanceState::appeared;
    const auto delegate = this->delegate();
    if (delegate && to) delegate->willShowViewController(*this, *to, animated);
    if (shown && from) from->beginAppearanceTransition(false, animated);
    if (shown && to) to->beginAppearanceTransition(true, animated);
    mShown = to;
    mTransitioning = true;
    refreshBar();

    auto transition = std::make_shared<detail::Transition>();
    transition->container = mContent;
    transition->from = from;
    transition->to = to;
    transition->fromView = from ? from->viewIfLoaded() : nullptr;
    transition->toView = to ? to->view() : nullptr;
    transition->fromInitial = mContent->bounds();
    transition->toFinal = mContent->bounds();
    transition->animated = animated && from && to;
    if (transition->animated) {
        if (delegate) transition->animator = delegate->animationControllerForOperation(*this, operation, *from, *to);
        if (!transition->animator) {
            transition->animator = detail::makePushAnimator(operation == NavigationControllerOperation::pop);
        }
    } else if (transition->toView) {
        mContent->addSubview(transition->toView);
    }
    setTransitionCoordinator(transition);
    std::weak_ptr<NavigationController> weak = std::static_pointer_cast<NavigationController>(keep);
    transition->finish = [weak, from, to, shown, animated, leavingFrom, toAdded](bool completed) {
        const auto self = weak.lock();
        if (!self) return;
        self->mTransitioning = false;
        self->setTransitionCoordinator(nullptr);
        if (!completed) {
            // Back as it was: the from controller stays on top.
            if (to && to->viewIfLoaded()) to->view()->removeFromSuperview();
            self->mShown = from;
            if (shown && to) {
                to->beginAppearanceTransition(false, false);
                to->endAppearanceTransition();
            }
            if (shown && from) {
                from->beginAppearanceTransition(true, false);
                from->endAppearanceTransition();
            }
            return;
        }
        if (from && from->viewIfLoaded() && from != to) from->view()->removeFromSuperview();
        if (from && from->viewIfLoaded()) from->view()->setFrame(self->mContent->bounds());
        if (shown && from) from->endAppearanceTransition();
        if (shown && to) to->endAppearanceTransition();
        if (leavingFrom) {
            from->willMoveToParentViewController(nullptr);
            from->removeFromParentViewController();
        }
        if (toAdded) to->didMoveToParentViewController(self.get());
        if (const auto d = self->delegate(); d && to) d->didShowViewController(*self, *to, animated);
    };
    transition->start();
}

}  // namespace platform::ui
