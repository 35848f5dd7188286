#pragma once
// An application window that shows a round mark under every finger on the
// screen, for demonstrations on a mirrored or external display. The marks
// live in a second, transparent window above the status bar that takes no
// touches; they follow the fingers and fade out, growing, as the fingers
// lift. Marks show while a screen is mirrored, while alwaysShowTouches is
// set, or when the environment variable DEBUG_TOUCH_MARKS_WINDOW holds a
// true value; otherwise events pass through untouched and no overlay is
// made. Meant to be the class of the application's main window. Main
// thread only.

#include "platform/foundation/NotificationCenter.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Image.h"
#include "platform/ui/views/Window.h"

#include <cstdint>
#include <memory>
#include <string>

class TouchMarkOverlayWindow;
namespace platform::ui {
class Touch;
}

class TouchMarkWindow : public platform::ui::Window {
public:
    // A stale mark (one whose touch may have ended unseen) goes this long
    // after its touch's last event, checked this often.
    static constexpr double kStaleAfter = 0.2;
    static constexpr double kSweepInterval = 0.1;
    // The default mark: a circle of this radius in an image of this side.
    static constexpr double kMarkSide = 42;
    static constexpr double kMarkRadius = 20;
    static constexpr double kMarkLineWidth = 1.5;

    TouchMarkWindow();
    explicit TouchMarkWindow(const platform::Rect& frame);
    ~TouchMarkWindow() override;

    const platform::Color& strokeColor() const { return mStrokeColor; }
    void setStrokeColor(const platform::Color& color) { mStrokeColor = color; }
    const platform::Color& fillColor() const { return mFillColor; }
    void setFillColor(const platform::Color& color) { mFillColor = color; }
    double touchAlpha() const { return mTouchAlpha; }
    void setTouchAlpha(double alpha) { mTouchAlpha = alpha; }
    double fadeDuration() const { return mFadeDuration; }
    void setFadeDuration(double seconds) { mFadeDuration = seconds; }
    // Drawn from the colours on first use, unless set.
    std::shared_ptr<platform::Image> touchImage();
    void setTouchImage(std::shared_ptr<platform::Image> image) { mTouchImage = std::move(image); }

    bool alwaysShowTouches() const { return mAlwaysShowTouches; }
    void setAlwaysShowTouches(bool show);
    bool isActive() const { return mActive; }
    // Made on first use, over this window's frame.
    std::shared_ptr<TouchMarkOverlayWindow> overlayWindow();
    // Null until marks have been shown.
    const std::shared_ptr<TouchMarkOverlayWindow>& existingOverlayWindow() const { return mOverlayWindow; }
    bool fingerTipRemovalScheduled() const { return mFingerTipRemovalScheduled; }

    // Places and moves the marks, hands the event on, then has stale marks
    // swept.
    void sendEvent(const platform::ui::Event& event) override;

    void screenConnect(const platform::Notification& notification);
    void screenDisconnect(const platform::Notification& notification);
    // True when any screen shows a copy of another.
    static bool anyScreenIsMirrored();
    void updateFingertipsAreActive();
    // Sweeps stale marks after kSweepInterval, unless a sweep is pending.
    void scheduleFingerTipRemoval();
    void removeInactiveFingerTips();
    // Fades the mark out, growing to twice its size, and takes it away
    // after fadeDuration; a mark already fading out is left alone.
    void removeFingerTipWithHash(std::int64_t hash, bool animated);
    // True where the end of the touch may never reach the window: a table
    // cell under a swipe recogniser, or a table view the touch has no
    // recognisers for.
    bool shouldAutomaticallyRemoveFingerTipForTouch(const platform::ui::Touch& touch) const;

    std::string className() const override { return "TouchMarkWindow"; }

private:
    void TouchMarkWindow_commonInit();
    void placeMark(const platform::ui::Touch& touch);

    platform::Color mStrokeColor{0, 0, 0, 1};
    platform::Color mFillColor{1, 1, 1, 1};
    double mTouchAlpha = 0.5;
    double mFadeDuration = 0.3;
    std::shared_ptr<platform::Image> mTouchImage;
    bool mAlwaysShowTouches = false;
    bool mActive = false;
    std::shared_ptr<TouchMarkOverlayWindow> mOverlayWindow;
    bool mFingerTipRemovalScheduled = false;
    platform::NotificationCenter::ObserverToken mConnectObserver;
    platform::NotificationCenter::ObserverToken mDisconnectObserver;
};
