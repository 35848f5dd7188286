#include "app/Utilities/VKMAlerts.h"

#include <vector>

#include "engine/services/ZDUtils.h"
#include "platform/ui/controllers/AlertController.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/controllers/NavigationController.h"
#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/views/Window.h"

using platform::ui::AlertAction;
using platform::ui::AlertActionStyle;
using platform::ui::AlertController;
using platform::ui::AlertControllerStyle;
using platform::ui::ViewController;

namespace {

std::shared_ptr<AlertAction> makeAction(const std::string& title, AlertActionStyle style, VKMAlerts::Action action) {
    return std::make_shared<AlertAction>(title, style, [action = std::move(action)](AlertAction&) {
        if (action) action();
    });
}

// Buttons go in confirm first, then cancel.
void present(const std::string& title, const std::string& message, std::vector<std::shared_ptr<AlertAction>> actions) {
    const std::shared_ptr<ViewController> top = VKMAlerts::topMostViewController();
    if (!top) return;
    auto alert = std::make_shared<AlertController>(title, message, AlertControllerStyle::alert);
    for (const auto& action : actions) alert->addAction(action);
    top->presentViewController(alert, true);
}

}  // namespace

std::shared_ptr<ViewController> VKMAlerts::topMostViewController() {
    auto& application = platform::ui::Application::sharedApplication();
    std::shared_ptr<platform::ui::Window> window = application.keyWindow();
    if (!window) {
        const auto windows = application.windows();
        if (windows.empty()) return nullptr;
        window = windows.front();
    }
    std::shared_ptr<ViewController> current = window->rootViewController();
    while (current) {
        if (auto presented = current->presentedViewController()) {
            current = presented;
        } else if (auto navigation = std::dynamic_pointer_cast<platform::ui::NavigationController>(current);
                   navigation && navigation->topViewController()) {
            current = navigation->topViewController();
        } else if (auto tabs = std::dynamic_pointer_cast<platform::ui::TabBarController>(current);
                   tabs && tabs->selectedViewController()) {
            current = tabs->selectedViewController();
        } else {
            break;
        }
    }
    return current;
}

void VKMAlerts::showAlertWithTitle(const std::string& title, const std::string& message,
                                   const std::string& confirmLabel, Action action) {
    present(title, message, {makeAction(confirmLabel, AlertActionStyle::defaultStyle, std::move(action))});
}

void VKMAlerts::askYesNoWithTitle(const std::string& title, const std::string& message, const std::string& confirmLabel,
                                  Action action) {
    askYesNoWithTitle(title, message, confirmLabel, ZDUtils::localizedString("Cancel"), std::move(action), {});
}

void VKMAlerts::askYesNoWithTitle(const std::string& title, const std::string& message, const std::string& confirmLabel,
                                  const std::string& cancelLabel, Action okAction, Action cancelAction) {
    present(title, message,
            {makeAction(confirmLabel, AlertActionStyle::defaultStyle, std::move(okAction)),
             makeAction(cancelLabel, AlertActionStyle::cancel, std::move(cancelAction))});
}
