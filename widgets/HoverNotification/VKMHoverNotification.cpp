#include "widgets/HoverNotification/VKMHoverNotification.h"

#include "platform/ui/controllers/TabBarController.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/views/Window.h"
#include "widgets/HoverNotification/VKMBouncyMessageTextView.h"
#include "widgets/Views/UIViewVekmont.h"

#include <algorithm>
#include <cstdio>

namespace {

std::shared_ptr<platform::ui::Window> bannerWindow() {
    auto& application = platform::ui::Application::sharedApplication();
    if (auto key = application.keyWindow()) return key;
    const auto windows = application.windows();
    return windows.empty() ? nullptr : windows.front();
}

bool isShown(const platform::ui::View& view) {
    if (view.isHidden() || view.alpha() <= 0) return false;
    for (auto above = view.superview(); above; above = above->superview()) {
        if (above->isHidden() || above->alpha() <= 0) return false;
    }
    return true;
}

// How far the bars shown along the window's bottom (a tab bar) reach up.
// The banner stands above them, and so clear of the controls the screens
// keep at their own bottom edge (the layout's zoom button).
double bottomBarsHeight(const platform::ui::Window& window) {
    const platform::Rect bounds = window.bounds();
    double height = 0;
    for (const auto& bar : UIViewVekmont::subViewsOfKind<platform::ui::TabBar>(window)) {
        if (!isShown(*bar)) continue;
        const platform::Rect frame = bar->convertRectToView(bar->bounds(), &window);
        if (frame.maxY() < bounds.maxY() - 0.5 || frame.width <= 0) continue;
        height = std::max(height, bounds.maxY() - frame.minY());
    }
    return height;
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
    auto view = VKMBouncyMessageTextView::make(text, bottomBarsHeight(*window));
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
