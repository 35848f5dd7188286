#pragma once
// A navigation controller: a stack of controllers, the top one's view shown
// below a navigation bar that shows its navigation item (title, bar button
// items, a back button below the root). Pushes slide in from the right and
// pops slide back, or run the delegate's animator; appearance calls go to
// the top controllers that leave and come (from before to, will then did)
// while the navigation controller is shown. Main thread only.

#include "platform/ui/views/View.h"
#include "platform/ui/controllers/ViewController.h"

#include <functional>
#include <memory>
#include <vector>

namespace platform::ui {

class Button;
class Label;
class NavigationController;

enum class NavigationControllerOperation { none, push, pop };

class NavigationControllerDelegate {
public:
    virtual ~NavigationControllerDelegate() = default;
    virtual void willShowViewController(NavigationController& navigation, ViewController& controller, bool animated) {
        (void)navigation, (void)controller, (void)animated;
    }
    virtual void didShowViewController(NavigationController& navigation, ViewController& controller, bool animated) {
        (void)navigation, (void)controller, (void)animated;
    }
    // Null: the toolkit's slide.
    virtual std::shared_ptr<ViewControllerAnimatedTransitioning> animationControllerForOperation(
        NavigationController& navigation, NavigationControllerOperation operation, ViewController& from,
        ViewController& to) {
        (void)navigation, (void)operation, (void)from, (void)to;
        return nullptr;
    }
};

// The bar: the top item's title in the middle, its left items (or a back
// button titled with the item below's title) on the left, its right items
// on the right, each a button that sends the item's action.
class NavigationBar : public View {
public:
    static constexpr double kHeight = 44;
    NavigationBar();
    // Shows the controller's navigation item; `back` is the controller
    // below it (null at the root).
    void show(ViewController& top, ViewController* back, std::function<void()> backAction);
    std::shared_ptr<Label> titleLabel() const { return mTitle; }
    std::shared_ptr<Button> backButton() const { return mBack; }
    void layoutSubviews() override;
    std::string className() const override { return "NavigationBar"; }

private:
    std::shared_ptr<Label> mTitle;
    std::shared_ptr<Button> mBack;
    std::vector<std::shared_ptr<Button>> mLeft;
    std::vector<std::shared_ptr<Button>> mRight;
};

class NavigationController : public ViewController {
public:
    NavigationController() = default;
    // Use make(root) (a controller cannot take children in its constructor).
    static std::shared_ptr<NavigationController> make(const std::shared_ptr<ViewController>& root);

    std::vector<std::shared_ptr<ViewController>> viewControllers() const { return mStack; }
    // Replaces the stack; the new top appears as after a push (or a pop,
    // when it was in the stack before).
    void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated);
    std::shared_ptr<ViewController> topViewController() const;
    // The top controller, or what it presents.
    std::shared_ptr<ViewController> visibleViewController() const;

    // Ignored for a controller in a stack already or while a transition runs.
    void pushViewController(const std::shared_ptr<ViewController>& controller, bool animated);
    // Nothing at the root. Returns what left.
    std::shared_ptr<ViewController> popViewController(bool animated);
    std::vector<std::shared_ptr<ViewController>> popToRootViewController(bool animated);
    std::vector<std::shared_ptr<ViewController>> popToViewController(const ViewController& controller, bool animated);

    std::shared_ptr<NavigationBar> navigationBar();
    bool isNavigationBarHidden() const { return mBarHidden; }
    void setNavigationBarHidden(bool hidden);
    std::shared_ptr<NavigationControllerDelegate> delegate() const { return mDelegate.lock(); }
    void setDelegate(std::weak_ptr<NavigationControllerDelegate> delegate) { mDelegate = std::move(delegate); }

    void loadView() override;
    void viewWillLayoutSubviews() override;
    std::string className() const override { return "NavigationController"; }

    // The frame of the top controller's view in the navigation view.
    Rect contentFrame() const;

private:
    void transition(std::vector<std::shared_ptr<ViewController>> stack, NavigationControllerOperation operation,
                    bool animated);
    void refreshBar();

    std::vector<std::shared_ptr<ViewController>> mStack;
    std::shared_ptr<ViewController> mShown;  // whose view is in the content
    std::shared_ptr<NavigationBar> mBar;
    std::shared_ptr<View> mContent;
    bool mBarHidden = false;
    bool mTransitioning = false;
    std::weak_ptr<NavigationControllerDelegate> mDelegate;
};

}  // namespace platform::ui
