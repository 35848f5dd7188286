#include "UserProfileModule/Support/VKMCommunityUI.h"

#include "engine/services/ZDUtils.h"
#include "platform/foundation/Bundle.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace VKMCommunityUI {

namespace {
constexpr const char* kStringTable = "Community";
}

std::string text(const char* key) {
    const platform::Bundle* bundle = platform::Bundle::main();
    if (bundle == nullptr) return key;
    return bundle->localizedString(key, kStringTable).value_or(key);
}

std::shared_ptr<platform::ui::ViewController> presenterForView(const std::shared_ptr<platform::ui::View>& view) {
    std::shared_ptr<platform::ui::Window> window = view ? view->window() : nullptr;
    if (!window) window = platform::ui::Application::sharedApplication().keyWindow();
    if (!window || !window->rootViewController()) return nullptr;
    return window->rootViewController()->topmostPresentedViewController();
}

void showMessage(const std::shared_ptr<platform::ui::View>& view, const std::string& title,
                 const std::string& message) {
    auto presenter = presenterForView(view);
    if (!presenter) {
        ZDUtils::logWarning("Nothing to show \"%s\" on: %s", title.c_str(), message.c_str());
        return;
    }
    auto alert =
        std::make_shared<platform::ui::AlertController>(title, message, platform::ui::AlertControllerStyle::alert);
    alert->addAction(
        std::make_shared<platform::ui::AlertAction>(text("OK"), platform::ui::AlertActionStyle::defaultStyle));
    presenter->presentViewController(alert, true);
}

}  // namespace VKMCommunityUI
