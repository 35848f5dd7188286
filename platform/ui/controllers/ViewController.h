#pragma once
// A view controller: owns one view tree (made on first use by loadView,
// then viewDidLoad), hears when that view appears and disappears, lays out,
// changes traits or size, and presents other controllers modally. Made with
// std::make_shared, as views are.
//
// Ownership as the platform has it: a window owns its root controller, a
// parent its children, a presenting controller what it presents; parents,
// presenters and delegates are weak.
//
// Appearance: viewWillAppear, then (once the view is shown, at the end of an
// animated transition) viewDidAppear; likewise for disappearing. The calls
// come in pairs and never twice in a row: a controller's state moves
// disappeared -> appearing -> appeared -> disappearing -> disappeared.
// Containers and presentations drive them (parent before children); a
// child's view added to a window otherwise (a custom container) appears
// then, will and did at once, and disappears when it leaves.
//
// Main thread only.

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/input/Responder.h"
#include "platform/ui/views/TraitCollection.h"
#include "platform/ui/views/ViewControllerTransitioning.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::ui {

class BarButtonItem;
class NavigationController;
class NavigationItem;
class PopoverPresentationController;
class PresentationController;
class TabBarController;
class TabBarItem;
class View;
class Window;

namespace detail {
class PresentationTransition;
struct ControllerAccess;
}  // namespace detail

// The platform's values that the toolkit offers.
enum class ModalPresentationStyle {
    fullScreen = 0,
    pageSheet = 1,
    formSheet = 2,
    custom = 4,
    overFullScreen = 5,
    popover = 7,
    none = -1,  // from an adaptive delegate: keep the style as it is
};

enum class AppearanceState { disappeared, appearing, appeared, disappearing };

class ViewController : public Responder {
public:
    ViewController();
    ~ViewController() override;
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    std::shared_ptr<ViewController> sharedController() {
        return std::static_pointer_cast<ViewController>(shared_from_this());
    }

    // --- the view ------------------------------------------------------
    // Loads the view when it is not yet (loadView, then viewDidLoad).
    std::shared_ptr<View> view();
    std::shared_ptr<View> viewIfLoaded() const { return mView; }
    bool isViewLoaded() const { return mView != nullptr; }
    void loadViewIfNeeded() { (void)view(); }
    // A view given before loading is taken as the loaded one (viewDidLoad
    // still runs on first use of view()).
    void setView(std::shared_ptr<View> view);
    // Makes the view: the default is a plain view of the main screen's size.
    virtual void loadView();
    virtual void viewDidLoad() {}

    virtual void viewWillAppear(bool animated) { (void)animated; }
    virtual void viewDidAppear(bool animated) { (void)animated; }
    virtual void viewWillDisappear(bool animated) { (void)animated; }
    virtual void viewDidDisappear(bool animated) { (void)animated; }
    AppearanceState appearanceState() const { return mAppearance; }
    // For containers: starts (will) and ends (did) an appearance or a
    // disappearance; forwards to the children whose views are in this
    // one's tree when shouldAutomaticallyForwardAppearanceMethods(). A
    // call that does not move the state on is ignored.
    void beginAppearanceTransition(bool appearing, bool animated);
    void endAppearanceTransition();
    virtual bool shouldAutomaticallyForwardAppearanceMethods() const { return true; }

    // Around the view's layoutSubviews.
    virtual void viewWillLayoutSubviews() {}
    virtual void viewDidLayoutSubviews() {}

    // --- traits and size -------------------------------------------------
    // The window's (the device's idiom and the main screen before the view
    // is in one), with this controller's style override.
    TraitCollection traitCollection() const;
    std::optional<UserInterfaceStyle> overrideUserInterfaceStyle() const { return mStyleOverride; }
    void setOverrideUserInterfaceStyle(std::optional<UserInterfaceStyle> style);
    // Called after the traits changed, with those before; goes to children
    // and presented controllers.
    virtual void traitCollectionDidChange(const TraitCollection& previous) { (void)previous; }
    // Before the window's size changes; the default passes the call to the
    // children and the presented controller.
    virtual void viewWillTransitionToSize(Size size, ViewControllerTransitionCoordinator& coordinator);
    // The default does nothing; Application-wide warnings reach every
    // controller of every window (ViewController::sendMemoryWarning).
    virtual void didReceiveMemoryWarning() {}
    static void sendMemoryWarning();

    // --- content ---------------------------------------------------------
    const std::string& title() const { return mTitle; }
    // Also the navigation item's and tab item's title, when they have none.
    void setTitle(std::string title);
    NavigationItem& navigationItem();
    TabBarItem& tabBarItem();
    // Zero size: none preferred. A change tells the presentation (a
    // popover resizes) and the parent.
    Size preferredContentSize() const { return mPreferredContentSize; }
    void setPreferredContentSize(Size size);
    virtual void preferredContentSizeDidChangeForChildContentContainer(ViewController& child) { (void)child; }
    virtual StatusBarStyle preferredStatusBarStyle() const { return StatusBarStyle::defaultStyle; }
    // Applies the style of the controller that shows over the key window's
    // root (the top-most presented one, else the root) to the application.
    void setNeedsStatusBarAppearanceUpdate();

    // --- containment -----------------------------------------------------
    std::shared_ptr<ViewController> parentViewController() const { return mParent.lock(); }
    std::vector<std::shared_ptr<ViewController>> childViewControllers() const { return mChildren; }
    // Calls the child's willMoveToParentViewController(this) (adding) and
    // didMoveToParentViewController(nullptr) (removing); the container adds
    // or removes the view and calls the other itself, as on the platform.
    // A child of another parent leaves it first.
    void addChildViewController(const std::shared_ptr<ViewController>& child);
    void removeFromParentViewController();
    virtual void willMoveToParentViewController(ViewController* parent) { (void)parent; }
    virtual void didMoveToParentViewController(ViewController* parent) { (void)parent; }
    bool isMovingToParentViewController() const { return mMovingToParent; }
    bool isMovingFromParentViewController() const { return mMovingFromParent; }
    // The nearest container of each kind among the parents.
    std::shared_ptr<NavigationController> navigationController() const;
    std::shared_ptr<TabBarController> tabBarController() const;

    // --- presentation ----------------------------------------------------
    ModalPresentationStyle modalPresentationStyle() const { return mPresentationStyle; }
    // Ignored while the controller is presented.
    void setModalPresentationStyle(ModalPresentationStyle style);
    // Whether a user's gesture (Escape, a tap outside) may not dismiss the
    // controller's presentation; only the controller's own buttons do.
    bool isModalInPresentation() const { return mModalInPresentation; }
    void setModalInPresentation(bool modal) { mModalInPresentation = modal; }
    std::shared_ptr<ViewControllerTransitioningDelegate> transitioningDelegate() const {
        return mTransitioningDelegate.lock();
    }
    void setTransitioningDelegate(std::weak_ptr<ViewControllerTransitioningDelegate> delegate) {
        mTransitioningDelegate = std::move(delegate);
    }
    // The presentation controller: made at presentation (a custom one by
    // the transitioning delegate), or a popover's when first asked for.
    std::shared_ptr<PresentationController> presentationController() const;
    // Null unless the style is popover: then the popover's presentation
    // controller, to configure before presenting.
    std::shared_ptr<PopoverPresentationController> popoverPresentationController() const;

    // Presents `controller` over this one's (the presenter is the top of
    // this controller's parents). Refused (nothing happens, the completion
    // never runs) when the presenter already presents one, a transition is
    // running, the controller is already presented, or this one is not in
    // a window. The completion runs when the transition ends: at once when
    // not animated.
    void presentViewController(const std::shared_ptr<ViewController>& controller, bool animated,
                               std::function<void()> completion = {});
    // Dismisses what this controller presents, or this controller when it
    // presents nothing; controllers presented above go too (without
    // animation), and only the nearest is animated. Asked while a
    // transition moves it (sliding in, or out already), it is done when
    // that ends; the completion runs once the controller has gone.
    void dismissViewController(bool animated, std::function<void()> completion = {});
    std::shared_ptr<ViewController> presentedViewController() const { return mPresented; }
    std::shared_ptr<ViewController> presentingViewController() const;
    // The last of the chain of presented controllers from this one (itself
    // when it presents none).
    std::shared_ptr<ViewController> topmostPresentedViewController();
    // Every controller presented now in the application's windows: each
    // window's chain of presentations from its root, windows in order.
    static std::vector<std::shared_ptr<ViewController>> allPresentedViewControllers();
    bool isBeingPresented() const { return mBeingPresented; }
    bool isBeingDismissed() const { return mBeingDismissed; }
    // While a presentation, dismissal, push or change of size that moves
    // this controller runs.
    std::shared_ptr<ViewControllerTransitionCoordinator> transitionCoordinator() const;

    // --- responder chain -----------------------------------------------
    // The view's superview, else the presenting controller.
    std::shared_ptr<Responder> nextResponder() const override;

    // For the tree dumps of tests: the class as written.
    virtual std::string className() const { return "ViewController"; }

protected:
    // For containers: the coordinator of the transition in which they move
    // their children.
    void setTransitionCoordinator(std::shared_ptr<ViewControllerTransitionCoordinator> coordinator);

private:
    friend struct detail::ControllerAccess;
    friend class detail::PresentationTransition;

    void moveAppearance(AppearanceState to, bool animated);
    void viewMovedToWindow(bool inWindow);
    void notifyTraitChange(const TraitCollection& previous);

    std::shared_ptr<View> mView;
    bool mViewDidLoadCalled = false;
    AppearanceState mAppearance = AppearanceState::disappeared;
    bool mAppearanceAnimated = false;
    std::optional<UserInterfaceStyle> mStyleOverride;
    std::string mTitle;
    std::unique_ptr<NavigationItem> mNavigationItem;
    std::unique_ptr<TabBarItem> mTabBarItem;
    Size mPreferredContentSize{0, 0};

    std::weak_ptr<ViewController> mParent;
    std::vector<std::shared_ptr<ViewController>> mChildren;
    bool mMovingToParent = false;
    bool mMovingFromParent = false;

    ModalPresentationStyle mPresentationStyle = ModalPresentationStyle::fullScreen;
    bool mModalInPresentation = false;
    std::weak_ptr<ViewControllerTransitioningDelegate> mTransitioningDelegate;
    std::shared_ptr<PresentationController> mPresentationController;
    std::shared_ptr<ViewController> mPresented;
    std::weak_ptr<ViewController> mPresenting;
    bool mBeingPresented = false;
    bool mBeingDismissed = false;
    std::shared_ptr<ViewControllerTransitionCoordinator> mCoordinator;
};

}  // namespace platform::ui
