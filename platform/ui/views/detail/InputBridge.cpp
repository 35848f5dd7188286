// The views' answers to what the input floor asks of views and windows.

#include "platform/ui/input/GestureRecognizer.h"
#include "platform/ui/input/detail/ViewBridge.h"
#include "platform/ui/views/View.h"
#include "platform/ui/views/Window.h"
#include "platform/ui/views/detail/ViewAccess.h"

namespace platform::ui::detail {

class InputBridge final : public ViewBridge {
public:
    Responder& responder(View& view) const override { return view; }
    std::shared_ptr<View> superview(const View& view) const override { return view.superview(); }
    std::shared_ptr<Window> window(const View& view) const override { return view.window(); }
    std::vector<std::shared_ptr<GestureRecognizer>> gestureRecognizers(const View& view) const override {
        return view.gestureRecognizers();
    }
    bool isExclusiveTouch(const View& view) const override { return view.isExclusiveTouch(); }
    bool isMultipleTouchEnabled(const View& view) const override { return view.isMultipleTouchEnabled(); }
    bool gestureRecognizerShouldBegin(View& view, GestureRecognizer& recognizer) const override {
        return view.gestureRecognizerShouldBegin(recognizer);
    }
    Point convertFromWindow(const View& view, Point point, const Window* window) const override {
        return view.convertPointFromView(point, window);
    }
    Point convertToWindow(const View& view, Point point) const override {
        return view.convertPointToView(point, nullptr);
    }

    std::shared_ptr<View> sharedView(Window& window) const override { return window.sharedView(); }
    std::shared_ptr<View> hitTest(Window& window, Point point, const Event& event) const override {
        return window.hitTest(point, &event);
    }
    TouchRouter& router(Window& window) const override { return window.router(); }
    void sendEvent(Window& window, const Event& event) const override { window.sendEvent(event); }
};

void connectInputToViews() {
    // Lives as long as the process: views may go during exit.
    static const bool connected = (setViewBridge(*new InputBridge()), true);
    (void)connected;
}

}  // namespace platform::ui::detail
