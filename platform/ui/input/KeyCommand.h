#pragma once
// A key pressed with its modifiers, as the desktop hands it in. The key
// window routes it (RouteKeyCommand, controllers/KeyCommands.h): to the
// first responder and the responders after it, then to the controller
// presented topmost, whose presentation Escape dismisses as a user's
// gesture does; what none takes goes to the app's own commands (the
// desktop's Ctrl+Q). Text goes its own way (Window::insertText). Main
// thread only.

#include <string>

namespace platform::ui {

enum class KeyModifierFlags : unsigned { none = 0, shift = 1u << 0, control = 1u << 1, alternate = 1u << 2 };
constexpr KeyModifierFlags operator|(KeyModifierFlags a, KeyModifierFlags b) {
    return static_cast<KeyModifierFlags>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

struct KeyCommand {
    static constexpr const char* kInputEscape = "\x1b";
    static constexpr const char* kInputTab = "\t";
    // Return or Enter: what none takes is typed as "\n".
    static constexpr const char* kInputReturn = "\r";

    // A lower-case letter or digit ("q"), or one of the inputs above.
    std::string input;
    KeyModifierFlags modifiers = KeyModifierFlags::none;

    // The same input with exactly these modifiers.
    bool is(const char* key, KeyModifierFlags with = KeyModifierFlags::none) const {
        return input == key && modifiers == with;
    }
};

}  // namespace platform::ui
