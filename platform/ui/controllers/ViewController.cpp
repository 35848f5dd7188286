#include "platform/ui/controllers/ViewController.h"

#include "platform/foundation/ScreenAppearance.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/controllers/BarItems.h"
#include "platform/ui/controllers/NavigationController.h"
#include "platform/ui/controllers/PresentationController.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/views/View.h"
#include "platform/ui/views/Window.h"
#include "platform/ui/controllers/detail/ControllerTransitions.h"
#include "platform/ui/views/detail/ControllerBridge.h"
#include "platform/ui/views/detail/ViewAccess.h"

#include <algorithm>

namespace platform::ui {

namespace detail {

namespace {

ViewController* controllerOf(const View& view) {
    return dynamic_cast<ViewController*>(ViewAccess::controller(view).get());
}

// The controllers' answers to what views, windows and the application ask
// of them.
class Bridge final : public ControllerBridge {
public:
    void viewMovedToWindow(View& view, bool inWindow) const override {
        if (auto* controller = controllerOf(view)) {
            const auto keep = controller->sharedController();
            ControllerAccess::viewMovedToWindow(*controller, inWindow);
        }
    }

    void willLayout(View& view) const override {
        if (auto* controller = controllerOf(view)) controller->viewWillLayoutSubviews();
    }

    void didLayout(View& view) const override {
        if (auto* controller = controllerOf(view)) controller->viewDidLayoutSubviews();
    }

    std::shared_ptr<View> view(ViewController& controller) const override { return controller.view(); }

    void dismissPresented(ViewController& controller) const override {
        if (controller.presentedViewController()) controller.dismissViewController(false);
    }

    void beginAppearanceTransition(ViewController& controller, bool appearing) const override {
        controller.beginAppearanceTransition(appearing, false);
    }

    void endAppearanceTransition(ViewController& controller) const override { controller.endAppearanceTransition(); }

    void updateTraits(const std::shared_ptr<ViewController>& root, const TraitCollection& before,
                      const TraitCollection& now) const override {
        std::vector<std::shared_ptr<ViewController>> pending{root};
        while (!pending.empty()) {
            const auto controller = pending.back();
            pending.pop_back();
            if (!controller) continue;
            // Each controller's own override stays in what it heard before.
            TraitCollection previous = before;
            previous.userInterfaceStyle = controller->traitCollection().userInterfaceStyle == now.userInterfaceStyle
                                              ? before.userInterfaceStyle
                                              : controller->traitCollection().userInterfaceStyle;
            ControllerAccess::notifyTraitChange(*controller, previous);
            for (const auto& child : controller->childViewControllers()) pending.push_back(child);
            pending.push_back(controller->presentedViewController());
        }
    }

    void setCoordinator(ViewController& controller,
                        std::shared_ptr<ViewControllerTransitionCoordinator> coordinator) const override {
        ControllerAccess::setCoordinator(controller, std::move(coordinator));
    }

    void viewWillTransitionToSize(ViewController& controller, Size size,
                                  ViewControllerTransitionCoordinator& coordinator) const override {
        controller.viewWillTransitionToSize(size, coordinator);
    }

    void sendMemoryWarning() const override { ViewController::sendMemoryWarning(); }
};

}  // namespace

}  // namespace detail

namespace {

template <typename Visit>
void forEachController(const std::shared_ptr<ViewController>& controller, const Visit& visit) {
    if (!controller) return;
    visit(*controller);
    for (const auto& child : controller->childViewControllers()) forEachController(child, visit);
    forEachController(controller->presentedViewController(), visit);
}

}  // namespace

ViewController::ViewController() {
    // Views and windows reach controllers through the bridge, set with the
    // first controller; it lives as long as the process.
    static const bool connected = (detail::setControllerBridge(*new detail::Bridge()), true);
    (void)connected;
}

ViewController::~ViewController() = default;

std::shared_ptr<View> ViewController::view() {
    if (!mView) {
        loadView();
        if (!mView) setView(std::make_shared<View>(Screen::mainScreen()->bounds()));
    }
    if (!mViewDidLoadCalled) {
        mViewDidLoadCalled = true;
        viewDidLoad();
    }
    return mView;
}

void ViewController::setView(std::shared_ptr<View> view) {
    if (mView) mView->setViewControllerResponder({});
    mView = std::move(view);
    if (mView) mView->setViewControllerResponder(weak_from_this());
}

void ViewController::loadView() { setView(std::make_shared<View>(Screen::mainScreen()->bounds())); }

// --- appearance ----------------------------------------------------------------

void ViewController::moveAppearance(AppearanceState to, bool animated) {
    mAppearance = to;
    mAppearanceAnimated = animated;
    switch (to) {
        case AppearanceState::appearing:
            viewWillAppear(animated);
            notifyScreenWillAppear(className());
            break;
        case AppearanceState::appeared: viewDidAppear(animated); break;
        case AppearanceState::disappearing: viewWillDisappear(animated); break;
        case AppearanceState::disappeared: viewDidDisappear(animated); break;
    }
}

void ViewController::beginAppearanceTransition(bool appearing, bool animated) {
    const auto keep = sharedController();
    const bool moves =
        appearing ? mAppearance != AppearanceState::appeared && mAppearance != AppearanceState::appearing
                  : mAppearance != AppearanceState::disappeared && mAppearance != AppearanceState::disappearing;
    if (!moves) return;
    if (appearing) loadViewIfNeeded();
    moveAppearance(appearing ? AppearanceState::appearing : AppearanceState::disappearing, animated);
    if (!shouldAutomaticallyForwardAppearanceMethods()) return;
    for (const auto& child : childViewControllers()) {
        const auto childView = child->viewIfLoaded();
        if (childView && mView && childView->isDescendantOfView(mView.get())) {
            child->beginAppearanceTransition(appearing, animated);
        }
    }
}

void ViewController::endAppearanceTransition() {
    const auto keep = sharedController();
    if (mAppearance == AppearanceState::appearing) {
        moveAppearance(AppearanceState::appeared, mAppearanceAnimated);
    } else if (mAppearance == AppearanceState::disappearing) {
        moveAppearance(AppearanceState::disappeared, mAppearanceAnimated);
    } else {
        return;
    }
    if (!shouldAutomaticallyForwardAppearanceMethods()) return;
    for (const auto& child : childViewControllers()) child->endAppearanceTransition();
}

void ViewController::viewMovedToWindow(bool inWindow) {
    // Transitions begin before they move views; only moves outside one
    // (a custom container's child) drive appearance here.
    if (inWindow && mAppearance == AppearanceState::disappeared) {
        const auto parent = parentViewController();
        if (parent && parent->appearanceState() == AppearanceState::disappeared) return;
        beginAppearanceTransition(true, false);
        endAppearanceTransition();
    } else if (!inWindow && mAppearance == AppearanceState::appeared) {
        beginAppearanceTransition(false, false);
        endAppearanceTransition();
    }
}

// --- traits and size -----------------------------------------------------------

TraitCollection ViewController::traitCollection() const {
    TraitCollection traits;
    std::shared_ptr<Window> window = mView ? mView->window() : nullptr;
    if (!window) {
        if (auto presenting = presentingViewController(); presenting && presenting.get() != this) {
            traits = presenting->traitCollection();
        } else if (auto parent = parentViewController()) {
            traits = parent->traitCollection();
        } else {
            traits = Window::traitsFor(Screen::mainScreen()->bounds().size(), *Screen::mainScreen(),
                                       UserInterfaceStyle::light);
        }
    } else {
        traits = window->traitCollection();
    }
    for (const ViewController* c = this; c;) {
        if (c->mStyleOverride) {
            traits.userInterfaceStyle = *c->mStyleOverride;
            break;
        }
        c = c->mParent.lock().get();
    }
    return traits;
}

void ViewController::setOverrideUserInterfaceStyle(std::optional<UserInterfaceStyle> style) {
    if (style == mStyleOverride) return;
    const TraitCollection before = traitCollection();
    mStyleOverride = style;
    forEachController(sharedController(), [&](ViewController& c) {
        TraitCollection previous = c.traitCollection();
        previous.userInterfaceStyle = before.userInterfaceStyle;
        c.notifyTraitChange(previous);
    });
}

void ViewController::notifyTraitChange(const TraitCollection& previous) {
    if (previous != traitCollection()) traitCollectionDidChange(previous);
}

void ViewController::viewWillTransitionToSize(Size size, ViewControllerTransitionCoordinator& coordinator) {
    for (const auto& child : childViewControllers()) child->viewWillTransitionToSize(size, coordinator);
    if (mPresented) mPresented->viewWillTransitionToSize(size, coordinator);
}

void ViewController::sendMemoryWarning() {
    for (const auto& window : Application::sharedApplication().windows()) {
        forEachController(window->rootViewController(), [](ViewController& c) { c.didReceiveMemoryWarning(); });
    }
}

// --- content -------------------------------------------------------------------

void ViewController::setTitle(std::string title) { mTitle = std::move(title); }

NavigationItem& ViewController::navigationItem() {
    if (!mNavigationItem) mNavigationItem = std::make_unique<NavigationItem>();
    return *mNavigationItem;
}

TabBarItem& ViewController::tabBarItem() {
    if (!mTabBarItem) mTabBarItem = std::make_unique<TabBarItem>();
    return *mTabBarItem;
}

void ViewController::setPreferredContentSize(Size size) {
    if (size == mPreferredContentSize) return;
    mPreferredContentSize = size;
    if (auto parent = parentViewController()) parent->preferredContentSizeDidChangeForChildContentContainer(*this);
    if (mPresentationController && mPresentationController->containerView()) {
        mPresentationController->preferredContentSizeDidChangeForChildContentContainer(*this);
    }
}

void ViewController::setNeedsStatusBarAppearanceUpdate() {
    const auto window = Application::sharedApplication().keyWindow();
    auto shown = window ? window->rootViewController() : nullptr;
    if (!shown) return;
    // The last presented controller that covers the screen speaks for it.
    for (auto next = shown->presentedViewController(); next; next = next->presentedViewController()) {
        const auto presentation = next->presentationController();
        if (presentation && presentation->shouldPresentInFullscreen()) shown = next;
    }
    Application::sharedApplication().setStatusBarStyle(shown->preferredStatusBarStyle());
}

// --- containment ---------------------------------------------------------------

void ViewController::addChildViewController(const std::shared_ptr<ViewController>& child) {
    if (!child || child.get() == this) return;
    if (child->parentViewController().get() == this) return;
    if (child->parentViewController()) child->removeFromParentViewController();
    child->mMovingToParent = true;
    child->willMoveToParentViewController(this);
    mChildren.push_back(child);
    child->mParent = sharedController();
    child->mMovingToParent = false;
}

void ViewController::removeFromParentViewController() {
    const auto parent = parentViewController();
    if (!parent) return;
    const auto keep = sharedController();
    mMovingFromParent = true;
    auto& siblings = parent->mChildren;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), keep), siblings.end());
    mParent.reset();
    didMoveToParentViewController(nullptr);
    mMovingFromParent = false;
}

std::shared_ptr<NavigationController> ViewController::navigationController() const {
    for (auto c = parentViewController(); c; c = c->parentViewController()) {
        if (auto nav = std::dynamic_pointer_cast<NavigationController>(c)) return nav;
    }
    return nullptr;
}

std::shared_ptr<TabBarController> ViewController::tabBarController() const {
    for (auto c = parentViewController(); c; c = c->parentViewController()) {
        if (auto tabs = std::dynamic_pointer_cast<TabBarController>(c)) return tabs;
    }
    return nullptr;
}

// --- presentation --------------------------------------------------------------

void ViewController::setModalPresentationStyle(ModalPresentationStyle style) {
    if (style == ModalPresentationStyle::none) return;
    if (mPresented || mBeingPresented || !mPresenting.expired()) return;  // not while shown
    mPresentationStyle = style;
    if (style != ModalPresentationStyle::popover &&
        std::dynamic_pointer_cast<PopoverPresentationController>(mPresentationController)) {
        mPresentationController.reset();
    }
}

std::shared_ptr<PresentationController> ViewController::presentationController() const {
    return mPresentationController;
}

std::shared_ptr<PopoverPresentationController> ViewController::popoverPresentationController() const {
    if (mPresentationStyle != ModalPresentationStyle::popover) return nullptr;
    auto popover = std::dynamic_pointer_cast<PopoverPresentationController>(mPresentationController);
    if (!popover) {
        // Made on first use (a controller cannot name itself while constructed).
        auto* self = const_cast<ViewController*>(this);
        popover = std::make_shared<PopoverPresentationController>(self->sharedController(), nullptr);
        self->mPresentationController = popover;
    }
    return popover;
}

void ViewController::presentViewController(const std::shared_ptr<ViewController>& controller, bool animated,
                                           std::function<void()> completion) {
    detail::PresentationTransition::present(*this, controller, animated, std::move(completion));
}

void ViewController::dismissViewController(bool animated, std::function<void()> completion) {
    detail::PresentationTransition::dismiss(*this, animated, std::move(completion));
}

std::shared_ptr<ViewController> ViewController::presentingViewController() const {
    for (const ViewController* c = this; c;) {
        if (auto presenting = c->mPresenting.lock()) return presenting;
        c = c->mParent.lock().get();
    }
    return nullptr;
}

std::shared_ptr<ViewController> ViewController::topmostPresentedViewController() {
    auto top = sharedController();
    while (top->mPresented) top = top->mPresented;
    return top;
}

std::vector<std::shared_ptr<ViewController>> ViewController::allPresentedViewControllers() {
    std::vector<std::shared_ptr<ViewController>> found;
    for (const auto& window : Application::sharedApplication().windows()) {
        auto root = window->rootViewController();
        for (auto next = root ? root->presentedViewController() : nullptr; next;
             next = next->presentedViewController()) {
            found.push_back(next);
        }
    }
    return found;
}

std::shared_ptr<ViewControllerTransitionCoordinator> ViewController::transitionCoordinator() const {
    for (const ViewController* c = this; c;) {
        if (c->mCoordinator) return c->mCoordinator;
        c = c->mParent.lock().get();
    }
    return nullptr;
}

void ViewController::setTransitionCoordinator(std::shared_ptr<ViewControllerTransitionCoordinator> coordinator) {
    mCoordinator = std::move(coordinator);
}

std::shared_ptr<Responder> ViewController::nextResponder() const {
    if (mView) {
        if (auto super = mView->superview()) return super;
    }
    return presentingViewController();
}

}  // namespace platform::ui
