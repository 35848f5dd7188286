#pragma once
// Opens the auto-colourise menu at the Colorize button and colours the open
// layout the way chosen. Main thread only, but for making the one instance.

#include <memory>

namespace platform::ui {
class View;
class ViewController;
}  // namespace platform::ui
class PopupMenuViewController;

class VKMAutoColorizeOptionsPopupMenuManager {
public:
    static VKMAutoColorizeOptionsPopupMenuManager& sharedInstance();

    // The six ways, titled with their translations, presented by `parent`
    // at the source view, with an interface sound; the menu, or null when
    // it could not be presented.
    std::shared_ptr<PopupMenuViewController> showPopupMenuAt(
        const std::shared_ptr<platform::ui::View>& sourceView,
        const std::shared_ptr<platform::ui::ViewController>& parentViewController);
    // Logs the choice and colours the open layout by it.
    void handleColorizeChoice(int operation);

private:
    VKMAutoColorizeOptionsPopupMenuManager() = default;
};
