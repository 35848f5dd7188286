#pragma once
// Where a key command goes in a window (see input/KeyCommand.h): the first
// responder, when it is in the window, and the responders after it; then
// the controller presented topmost in the window; then, for Escape, that
// presentation is dismissed as a user's gesture dismisses it
// (PresentationController::dismissByUser), so its delegate hears it as it
// hears a tap outside. A presentation below the topmost is never reached:
// what is on top answers first. Main thread only.

#include "platform/ui/input/KeyCommand.h"

namespace platform::ui {

class Window;

// False when nothing took the command: the app's own commands come next.
bool RouteKeyCommand(Window& window, const KeyCommand& command);

}  // namespace platform::ui
