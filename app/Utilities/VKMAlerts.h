#pragma once
// Modal alerts on whatever screen is on top: one button, or a yes/no
// question. Texts are shown as given (the caller translates them). The alert
// goes to the top-most controller of the key window (the first window when
// none is key): what it presents, else a navigation controller's top, else
// a tab bar controller's selected tab. Without such a controller nothing is
// shown and no block ever runs. Main thread only.

#include <functional>
#include <memory>
#include <string>

namespace platform::ui {
class ViewController;
}

class VKMAlerts {
public:
    using Action = std::function<void()>;

    // One default-style button titled `confirmLabel`; a tap runs `action`.
    static void showAlertWithTitle(const std::string& title, const std::string& message,
                                   const std::string& confirmLabel, Action action);
    // A confirm button that runs `action` and a cancel button titled with
    // the translation of "Cancel" that only closes the alert.
    static void askYesNoWithTitle(const std::string& title, const std::string& message, const std::string& confirmLabel,
                                  Action action);
    // A confirm button that runs `okAction` and a cancel button titled
    // `cancelLabel` that runs `cancelAction`.
    static void askYesNoWithTitle(const std::string& title, const std::string& message, const std::string& confirmLabel,
                                  const std::string& cancelLabel, Action okAction, Action cancelAction);

    // Where an alert asked for now would be presented; null when nowhere.
    static std::shared_ptr<platform::ui::ViewController> topMostViewController();
};
