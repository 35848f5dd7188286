#pragma once
// Private to platform/ui: how a window hands touches to recognisers and
// views (Window.h tells the rules).

#include "platform/graphics/Geometry.h"
#include "platform/ui/input/Touch.h"

#include <memory>
#include <vector>

namespace platform::ui {
class GestureRecognizer;
class View;
class Window;
}  // namespace platform::ui

namespace platform::ui::detail {

class TouchRouter {
public:
    explicit TouchRouter(Window& window) : mWindow(window) {}
    ~TouchRouter();
    TouchRouter(const TouchRouter&) = delete;
    TouchRouter& operator=(const TouchRouter&) = delete;

    void sendEvent(const Event& event);
    // A recogniser left the possible state: view calls held back for it
    // may go now.
    void recognizerChanged();
    // The touches are the views' no more: a view that heard them begin
    // hears them cancelled, and nothing more of them.
    void cancelForView(const TouchSet& touches);

private:
    struct Record {
        std::shared_ptr<Touch> touch;
        bool toView = false;  // the view hears of it
        bool beganDelivered = false;
        bool cancelledForView = false;
        bool finished = false;  // the view heard the end, or never will
        bool tracked = false;   // counted for the tracking mode
        std::vector<TouchPhase> held;
    };

    Record* find(const Touch* touch);
    void handle(const Event& event);
    void begin(const std::shared_ptr<Touch>& touch, const Event& event);
    void deliverToRecognizers(const Event& event, const std::vector<std::shared_ptr<GestureRecognizer>>& recognizers);
    void deliverToViews(const Event& event);
    bool heldBack(const Record& record, TouchPhase phase) const;
    void callView(View& view, TouchPhase phase, const TouchSet& touches, const Event& event);
    void flushHeld();
    void release(Record& record);
    void dropFinished();

    Window& mWindow;
    std::vector<std::unique_ptr<Record>> mRecords;
    bool mFlushing = false;
    int mDepth = 0;  // events being handed on
    // The last touch to lift, for tap counts.
    bool mHasLastTap = false;
    Point mLastTapLocation;
    double mLastTapTime = 0;
    int mLastTapCount = 0;
};

// The main loop runs in the tracking mode while any touch is down.
void enterTrackingMode();
void leaveTrackingMode();

}  // namespace platform::ui::detail
