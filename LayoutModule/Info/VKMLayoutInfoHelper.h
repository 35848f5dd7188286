#pragma once
// Shows the layout details as a popover from the layout screen's info
// button. Main thread only.

#include <memory>

namespace platform::ui {
class View;
class ViewController;
}  // namespace platform::ui

class VKMLayoutInfoHelper {
public:
    // Nothing when the scene cannot be made.
    static void presentLayoutInfoWithInfoButton(const std::shared_ptr<platform::ui::View>& button);
    // Presents on the selected tab of the first window's tab bar controller;
    // nothing without a window or such a controller.
    static void presentViewControllerWithViewController(
        const std::shared_ptr<platform::ui::ViewController>& controller);
};
