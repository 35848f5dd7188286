#include "widgets/PopupMenu/PopupMenuManager.h"

#include "platform/ui/views/Application.h"
#include "platform/ui/controllers/NavigationController.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/Window.h"

using namespace platform::ui;

namespace {

// What is presented over the controller: the toolkit keeps a presentation
// with the presenter, the top of the controller's parents, so the parents
// are asked too.
std::shared_ptr<ViewController> presentedAbove(ViewController& controller) {
    for (auto* at = &controller; at;) {
        if (auto presented = at->presentedViewController()) return presented;
        const auto parent = at->parentViewController();
        at = parent.get();
    }
    return nullptr;
}

}  // namespace

PopupMenuManager& PopupMenuManager::defaultManager() {
    static PopupMenuManager* manager = new PopupMenuManager(std::make_shared<PopupMenuAppearance>());
    return *manager;
}

PopupMenuManager::PopupMenuManager(std::shared_ptr<PopupMenuAppearance> appearance)
    : mAppearance(appearance ? std::move(appearance) : std::make_shared<PopupMenuAppearance>()) {}

void PopupMenuManager::setPopupMenuDelegate(std::weak_ptr<PopupMenuViewControllerDelegate> delegate) {
    mDelegate = delegate;
    if (mPopupMenu) mPopupMenu->setDelegate(std::move(delegate));
}

void PopupMenuManager::addAction(std::shared_ptr<PopupMenuAction> action) {
    if (mPopupMenu) {
        auto actions = mPopupMenu->actions();
        actions.push_back(std::move(action));
        mPopupMenu->setActions(std::move(actions));
    } else {
        mActions.push_back(std::move(action));
    }
}

void PopupMenuManager::present(PopupMenuSource source, const std::shared_ptr<ViewController>& on, bool animated,
                               std::function<void()> completion) {
    mPopupMenu = PopupMenuViewController::make(std::move(source), mActions);
    mPopupMenu->setDelegate(mDelegate);
    mPopupMenu->setAppearance(mAppearance);
    mPopupMenu->setShouldDismissOnSelection(mShouldDismissOnSelection);
    mPopupMenu->setDidDismiss(mDidDismiss);
    mPopupMenu->setShouldEnableHaptics(mShouldEnableHaptics);

    if (on) {
        on->presentViewController(mPopupMenu, animated, std::move(completion));
        return;
    }
    const auto window = Application::sharedApplication().keyWindow();
    if (!window) return;
    const auto root = window->rootViewController();
    const auto top = root ? topmostViewController(root) : nullptr;
    if (top) top->presentViewController(mPopupMenu, animated, std::move(completion));
}

std::shared_ptr<ViewController> PopupMenuManager::topmostViewController(
    const std::shared_ptr<ViewController>& controller) {
    if (!controller) return nullptr;
    if (const auto tabs = std::dynamic_pointer_cast<TabBarController>(controller)) {
        return topmostViewController(tabs->selectedViewController());
    }
    if (const auto navigation = std::dynamic_pointer_cast<NavigationController>(controller)) {
        return topmostViewController(navigation->visibleViewController());
    }
    if (const auto presented = presentedAbove(*controller)) return topmostViewController(presented);
    return controller;
}
