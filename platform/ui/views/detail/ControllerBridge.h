#pragma once
// Private to platform/ui: what views, windows, the layout pass and the
// application ask of view controllers. Controllers sit on the floor above
// views, so these reach them only through this bridge, which the
// controllers' floor sets when its first controller is made: before that
// no view has a controller and no window a root controller.

#include "platform/graphics/Geometry.h"

#include <memory>

namespace platform::ui {
class View;
class ViewController;
class ViewControllerTransitionCoordinator;
struct TraitCollection;
}  // namespace platform::ui

namespace platform::ui::detail {

class ControllerBridge {
public:
    virtual ~ControllerBridge() = default;

    // The controller whose root view `view` is, if any, hears that the
    // view came into a window or left it, or that it lays out.
    virtual void viewMovedToWindow(View& view, bool inWindow) const = 0;
    virtual void willLayout(View& view) const = 0;
    virtual void didLayout(View& view) const = 0;

    // A window's root controller.
    virtual std::shared_ptr<View> view(ViewController& controller) const = 0;
    // Dismisses, without animation, what the controller presents.
    virtual void dismissPresented(ViewController& controller) const = 0;
    virtual void beginAppearanceTransition(ViewController& controller, bool appearing) const = 0;
    virtual void endAppearanceTransition(ViewController& controller) const = 0;
    // Tells `root` and the controllers below it (children, presented)
    // whose traits changed from `before` to `now`.
    virtual void updateTraits(const std::shared_ptr<ViewController>& root, const TraitCollection& before,
                              const TraitCollection& now) const = 0;
    virtual void setCoordinator(ViewController& controller,
                                std::shared_ptr<ViewControllerTransitionCoordinator> coordinator) const = 0;
    virtual void viewWillTransitionToSize(ViewController& controller, Size size,
                                          ViewControllerTransitionCoordinator& coordinator) const = 0;

    // Every controller of every window hears of a memory warning.
    virtual void sendMemoryWarning() const = 0;
};

// Set once by the controllers' floor; null before.
void setControllerBridge(const ControllerBridge& bridge);
const ControllerBridge* controllerBridge();
// For a caller that holds a controller, so the bridge is set.
const ControllerBridge& controllers();

// The first three through the bridge; nothing before it is set.
void controllerViewMovedToWindow(View& view, bool inWindow);
void controllerWillLayout(View& view);
void controllerDidLayout(View& view);

}  // namespace platform::ui::detail
