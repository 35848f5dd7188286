#pragma once
// A tab bar controller: an ordered list of controllers, one selected, its
// view shown above a tab bar with one button a controller (its tab item's
// title and image, the selected image when selected). Switching tabs swaps
// the views at once; the one leaving disappears before the one coming
// appears (will, will, did, did) while the tab bar controller is shown.
// Main thread only.

#include "platform/ui/views/View.h"
#include "platform/ui/controllers/ViewController.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace platform::ui {

class Button;
class TabBarController;

class TabBarControllerDelegate {
public:
    virtual ~TabBarControllerDelegate() = default;
    // Asked before a tap selects a tab.
    virtual bool shouldSelectViewController(TabBarController& tabs, ViewController& controller) {
        (void)tabs, (void)controller;
        return true;
    }
    // After a tap selected one (not after setSelectedIndex).
    virtual void didSelectViewController(TabBarController& tabs, ViewController& controller) {
        (void)tabs, (void)controller;
    }
};

class TabBar : public View {
public:
    static constexpr double kHeight = 49;
    TabBar();
    // One button a controller; the selected one shows its selected image.
    void show(const std::vector<std::shared_ptr<ViewController>>& controllers, std::size_t selected,
              std::function<void(std::size_t)> tapped);
    std::vector<std::shared_ptr<Button>> buttons() const { return mButtons; }
    void layoutSubviews() override;
    std::string className() const override { return "TabBar"; }

private:
    std::vector<std::shared_ptr<Button>> mButtons;
};

class TabBarController : public ViewController {
public:
    static constexpr std::size_t kNoSelection = static_cast<std::size_t>(-1);

    std::vector<std::shared_ptr<ViewController>> viewControllers() const { return mControllers; }
    // Keeps the selected controller selected when it stays in the list,
    // else selects the one at the same index (or the last); the first for
    // a list that had none.
    void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated = false);
    std::size_t selectedIndex() const { return mSelected; }
    // An index beyond the list is ignored.
    void setSelectedIndex(std::size_t index);
    std::shared_ptr<ViewController> selectedViewController() const;
    void setSelectedViewController(const std::shared_ptr<ViewController>& controller);
    std::shared_ptr<TabBar> tabBar();
    // What a tap on a tab does: asks the delegate, selects, tells it.
    void tapTab(std::size_t index);
    // Shows the tab items again after one of them changed (its image, its
    // title); the bar does not watch them.
    void refreshTabBar() { refreshBar(); }

    std::shared_ptr<TabBarControllerDelegate> delegate() const { return mDelegate.lock(); }
    void setDelegate(std::weak_ptr<TabBarControllerDelegate> delegate) { mDelegate = std::move(delegate); }

    void loadView() override;
    void viewWillLayoutSubviews() override;
    std::string className() const override { return "TabBarController"; }

private:
    void show(const std::shared_ptr<ViewController>& controller);
    void refreshBar();

    std::vector<std::shared_ptr<ViewController>> mControllers;
    std::size_t mSelected = kNoSelection;
    std::shared_ptr<ViewController> mShown;
    std::shared_ptr<TabBar> mBar;
    std::weak_ptr<TabBarControllerDelegate> mDelegate;
};

}  // namespace platform::ui
