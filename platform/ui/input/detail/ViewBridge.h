#pragma once
// Private to platform/ui: what touches, recognisers and the router ask of
// views and windows. Those sit on the floor above input, so input names
// them but reaches them only through this bridge, which the views' floor
// sets when its first view is made: no touch or recogniser meets a view
// before then.

#include "platform/graphics/Geometry.h"
#include "platform/ui/input/Responder.h"

#include <memory>
#include <vector>

namespace platform::ui {
class GestureRecognizer;
class View;
class Window;
}  // namespace platform::ui

namespace platform::ui::detail {

class TouchRouter;

class ViewBridge {
public:
    virtual ~ViewBridge() = default;

    // --- views ---------------------------------------------------------
    virtual Responder& responder(View& view) const = 0;
    virtual std::shared_ptr<View> superview(const View& view) const = 0;
    virtual std::shared_ptr<Window> window(const View& view) const = 0;
    virtual std::vector<std::shared_ptr<GestureRecognizer>> gestureRecognizers(const View& view) const = 0;
    virtual bool isExclusiveTouch(const View& view) const = 0;
    virtual bool isMultipleTouchEnabled(const View& view) const = 0;
    virtual bool gestureRecognizerShouldBegin(View& view, GestureRecognizer& recognizer) const = 0;
    // A point of `window`'s coordinates (null: the view's window) in the
    // view's; a point of the view's in its window's.
    virtual Point convertFromWindow(const View& view, Point point, const Window* window) const = 0;
    virtual Point convertToWindow(const View& view, Point point) const = 0;

    // --- windows -------------------------------------------------------
    virtual std::shared_ptr<View> sharedView(Window& window) const = 0;
    virtual std::shared_ptr<View> hitTest(Window& window, Point point, const Event& event) const = 0;
    virtual TouchRouter& router(Window& window) const = 0;
    virtual void sendEvent(Window& window, const Event& event) const = 0;
};

// Set once by the views' floor.
void setViewBridge(const ViewBridge& bridge);
const ViewBridge& viewBridge();

}  // namespace platform::ui::detail
