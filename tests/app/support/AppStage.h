#pragma once
// A phone window with a plain root controller on a virtual clock, as the
// app's helpers find it: key and visible. Tap alerts' buttons with a finger
// through tapAlertButton.

#include <chrono>
#include <memory>
#include <string>

#include "platform/ui/controllers/AlertController.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/controllers/ViewController.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

namespace testsupport {

struct AppStage {
    VirtualTime time;
    std::shared_ptr<platform::ui::Window> window =
        std::make_shared<platform::ui::Window>(platform::Rect{0, 0, 390, 844});
    std::shared_ptr<platform::ui::ViewController> root = std::make_shared<platform::ui::ViewController>();

    AppStage() {
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }
    ~AppStage() { window->setRootViewController(nullptr); }

    void advance(double seconds) {
        time.clock->advance(
            std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds)));
    }

    // Taps the button titled `title` of the alert with a finger and lets it
    // go; false when the alert shows no such button.
    bool tapAlertButton(const std::shared_ptr<platform::ui::AlertController>& alert, const std::string& title) {
        window->layoutIfNeeded();
        const auto button = alert->view()->findViewWithAccessibilityIdentifier(title);
        if (!button) return false;
        const platform::Rect frame = button->convertRectToView(button->bounds(), nullptr);
        platform::ui::TouchSynth(window).tap({frame.x + frame.width / 2, frame.y + frame.height / 2});
        advance(0.5);
        return true;
    }
};

}  // namespace testsupport
