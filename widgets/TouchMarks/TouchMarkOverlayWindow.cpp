#include "widgets/TouchMarks/TouchMarkOverlayWindow.h"

#include "platform/ui/views/Application.h"
#include "widgets/TouchMarks/TouchMarkWindow.h"

std::shared_ptr<platform::ui::ViewController> TouchMarkOverlayWindow::rootViewController() const {
    for (const auto& window : platform::ui::Application::sharedApplication().windows()) {
        if (!std::dynamic_pointer_cast<TouchMarkWindow>(window)) continue;
        if (auto root = window->rootViewController()) return root;
        break;
    }
    return platform::ui::Window::rootViewController();
}
