#pragma once
// Opens the layer list at a button: in a navigation controller (for its
// Done button) on a phone, as it is elsewhere, as a popover. Main thread
// only.

#include <memory>

namespace platform::ui {
class View;
class ViewController;
}  // namespace platform::ui

class VKMLayerListHelper {
public:
    // Presented, animated, by the selected tab of the tab bar controller at
    // the root of the application's first window. False, and nothing shown,
    // without such a window, tab bar or tab, or when the scene cannot be
    // made.
    static bool presentLayerListAtButton(const std::shared_ptr<platform::ui::View>& button);
    // The selected tab of the first window's root tab bar controller.
    static std::shared_ptr<platform::ui::ViewController> selectedTabController();
};
