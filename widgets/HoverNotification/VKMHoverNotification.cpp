#include "widgets/HoverNotification/VKMHoverNotification.h"

#include "platform/ui/views/Application.h"
#include "platform/ui/views/Window.h"
#include "widgets/HoverNotification/VKMBouncyMessageTextView.h"
#include "widgets/Views/UIViewVekmont.h"

#include <cstdio>

namespace {

std::shared_ptr<platform::ui::Window> bannerWindow() {
    auto& application = platform::ui::Application::sharedApplication();
    if (auto key = application.keyWindow()) return key;
    const auto windows = application.windows();
    return windows.empty() ? nullptr : windows.front();
}

}  // namespace

VKMHoverNotification& VKMHoverNotification::sharedInstance() {
    static VKMHoverNotification instance;
    return instance;
}

void VKMHoverNotification::displayMessage(const std::string& text) { sharedInstance().showWithString(text); }

void VKMHoverNotification::showWithString(const std::string& text) {
    if (mMessageLog) {
        mMessageLog(text);
    } else {
        std::fprintf(stderr, "Message: %s\n", text.c_str());
    }

    const auto view = installBouncyTextViewWithString(text);
    if (!view) return;
    std::weak_ptr<VKMBouncyMessageTextView> weakView = view;
    view->addBouncyTextAnimationAndRemoveOnCompletion(false, [this, weakView](bool) {
        if (const auto shown = weakView.lock()) removeBouncyTextView(*shown);
    });
    ++mActiveNotifications;
}

std::shared_ptr<VKMBouncyMessageTextView> VKMHoverNotification::installBouncyTextViewWithString(
    const std::string& text) {
    hideInstalledBouncyMessageViews();
    const auto window = bannerWindow();
    if (!window) return nullptr;
    auto view = VKMBouncyMessageTextView::make(text);
    window->addSubview(view);
    return view;
}

void VKMHoverNotification::hideInstalledBouncyMessageViews() {
    const auto window = bannerWindow();
    if (!window) return;
    // Every one, not only the first: one hidden earlier in this turn of the
    // loop is still in the window until its completion runs.
    for (const auto& view : UIViewVekmont::subViewsOfKind<VKMBouncyMessageTextView>(*window)) {
        view->removeAllAnimations();
        view->setAlpha(0);
    }
}

void VKMHoverNotification::removeBouncyTextView(VKMBouncyMessageTextView& view) {
    view.setAlpha(0);
    view.removeFromSuperview();
}

void VKMHoverNotification::setMessageLog(tMessageLog log) { mMessageLog = std::move(log); }

void VKMHoverNotification::resetForTests() {
    mMessageLog = nullptr;
    mActiveNotifications = 0;
}
