#include "app/Utilities/Views/UIScreenVekmont.h"

#include "platform/ui/views/Application.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/Window.h"

namespace UIScreenVekmont {

namespace {

constexpr double kFlashSeconds = 0.35;

}  // namespace

void flashScreen() { flashScreenWithDuration(kFlashSeconds, platform::Color::white(1)); }

void flashScreenWithDuration(double duration, const platform::Color& color) {
    using platform::ui::View;
    const auto windows = platform::ui::Application::sharedApplication().windows();
    if (windows.empty()) return;
    auto flash = std::make_shared<View>(platform::ui::Screen::mainScreen()->bounds());
    flash->setBackgroundColor(color);
    windows.front()->addSubview(flash);
    View::animate(
        duration, [flash] { flash->setAlpha(0); }, [flash](bool) { flash->removeFromSuperview(); });
}

}  // namespace UIScreenVekmont
