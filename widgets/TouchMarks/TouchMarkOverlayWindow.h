#pragma once
// The transparent window above the status bar that holds the finger marks;
// it takes no touches. Main thread only.

#include "platform/ui/views/Window.h"

#include <memory>
#include <string>

class TouchMarkOverlayWindow : public platform::ui::Window {
public:
    using platform::ui::Window::Window;

    // The root controller of the application's first window that shows
    // marks, else the overlay's own, so the overlay follows the main
    // window's orientation and status bar.
    std::shared_ptr<platform::ui::ViewController> rootViewController() const;

    std::string className() const override { return "TouchMarkOverlayWindow"; }
};
