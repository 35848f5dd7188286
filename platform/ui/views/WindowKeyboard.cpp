#include "platform/ui/input/KeyInput.h"
#include "platform/ui/views/Window.h"

namespace platform::ui {

namespace {

// The first responder's text input, when it is in `window`.
KeyInput* keyInput(const Window& window) {
    const auto responder = Responder::firstResponder();
    const auto* view = dynamic_cast<const View*>(responder.get());
    if (view == nullptr || view->window().get() != &window) return nullptr;
    return dynamic_cast<KeyInput*>(responder.get());
}

}  // namespace

bool Window::insertText(const std::string& text) {
    const auto keep = Responder::firstResponder();
    KeyInput* input = keyInput(*this);
    if (input == nullptr) return false;
    input->insertText(text);
    return true;
}

bool Window::deleteBackward() {
    const auto keep = Responder::firstResponder();
    KeyInput* input = keyInput(*this);
    if (input == nullptr) return false;
    input->deleteBackward();
    return true;
}

}  // namespace platform::ui
