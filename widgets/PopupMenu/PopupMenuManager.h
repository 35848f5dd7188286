#pragma once
// A convenience that collects rows and settings and opens a pop-up menu on
// the screen at the top: on a given controller, else on the topmost
// controller of the key window. The shared manager lives until the process
// ends; each present() makes a new menu, kept until the next. Main thread
// only.

#include "widgets/PopupMenu/PopupMenuAction.h"
#include "widgets/PopupMenu/PopupMenuAppearance.h"
#include "widgets/PopupMenu/PopupMenuViewController.h"

#include <functional>
#include <memory>
#include <vector>

namespace platform::ui {
class ViewController;
}

class PopupMenuManager {
public:
    // The shared manager, with a default appearance of its own.
    static PopupMenuManager& defaultManager();
    explicit PopupMenuManager(std::shared_ptr<PopupMenuAppearance> appearance);

    const std::shared_ptr<PopupMenuViewController>& popupMenu() const { return mPopupMenu; }
    std::shared_ptr<PopupMenuViewControllerDelegate> popupMenuDelegate() const { return mDelegate.lock(); }
    // Also the open menu's delegate.
    void setPopupMenuDelegate(std::weak_ptr<PopupMenuViewControllerDelegate> delegate);
    bool popupMenuShouldDismissOnSelection() const { return mShouldDismissOnSelection; }
    void setPopupMenuShouldDismissOnSelection(bool dismiss) { mShouldDismissOnSelection = dismiss; }
    const PopupMenuViewController::DidDismiss& popupMenuDidDismiss() const { return mDidDismiss; }
    void setPopupMenuDidDismiss(PopupMenuViewController::DidDismiss didDismiss) { mDidDismiss = std::move(didDismiss); }
    bool popupMenuShouldEnableHaptics() const { return mShouldEnableHaptics; }
    void setPopupMenuShouldEnableHaptics(bool enable) { mShouldEnableHaptics = enable; }
    // The same object for every menu the manager opens.
    const std::shared_ptr<PopupMenuAppearance>& popupMenuAppearance() const { return mAppearance; }
    const std::vector<std::shared_ptr<PopupMenuAction>>& actions() const { return mActions; }

    // To the open menu's rows when there is a menu (not kept for later
    // ones), else to the manager's.
    void addAction(std::shared_ptr<PopupMenuAction> action);

    // Makes a menu of the manager's rows and settings and presents it on
    // `on`, else on the topmost controller of the key window. Without a key
    // window or a topmost controller nothing is presented and the
    // completion never runs; the new menu stays in popupMenu().
    void present(PopupMenuSource source, const std::shared_ptr<platform::ui::ViewController>& on, bool animated,
                 std::function<void()> completion = {});

    // From `controller`: a tab bar's selected controller, a navigation
    // controller's visible one, a presented one, in that order of tests,
    // until none applies. Null when a tab bar selects nothing or a
    // navigation controller shows nothing.
    static std::shared_ptr<platform::ui::ViewController> topmostViewController(
        const std::shared_ptr<platform::ui::ViewController>& controller);

private:
    std::shared_ptr<PopupMenuViewController> mPopupMenu;
    std::weak_ptr<PopupMenuViewControllerDelegate> mDelegate;
    bool mShouldDismissOnSelection = true;
    PopupMenuViewController::DidDismiss mDidDismiss;
    bool mShouldEnableHaptics = true;
    std::shared_ptr<PopupMenuAppearance> mAppearance;
    std::vector<std::shared_ptr<PopupMenuAction>> mActions;
};
