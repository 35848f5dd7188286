#pragma once
// What a responder that takes typed text offers: the window hands keyboard
// text to the first responder through this (Window::insertText,
// Window::deleteBackward). Main thread only.

#include <string>

namespace platform::ui {

class KeyInput {
public:
    virtual ~KeyInput() = default;
    virtual bool hasText() const = 0;
    // UTF-8; "\n" is the return key.
    virtual void insertText(const std::string& text) = 0;
    // Removes the character before the caret.
    virtual void deleteBackward() = 0;
};

}  // namespace platform::ui
