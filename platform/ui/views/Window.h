#pragma once
// A window: the view at the top of a tree on a screen. It takes the
// screen's touches (sendEvent), lays out its tree on the main loop's turn
// after a change, and renders itself for tests and the desktop backend.
//
// Touch handling, as the platform does it: a touch that comes down is hit
// tested to a view and handed to the gesture recognisers of that view and
// the views above it (nearest first), which see every phase before the
// view does; later phases go to the same view and recognisers, wherever the
// touch moves. A recogniser that delays touches holds the view's calls back
// while it may still recognise; one that recognises with cancelsTouchesInView
// has the view's touches cancelled (touchesCancelled, or nothing at all for
// a touch whose beginning it held back). While any touch is down the main
// loop runs in the tracking mode, so default-mode timers wait.
//
// The frame is in the screen's coordinates (the window's layer is placed
// there); the window's own coordinates start at the top-left of its bounds.
// Main thread only.

#include "platform/ui/core/EdgeInsets.h"
#include "platform/ui/render/RasterCache.h"
#include "platform/ui/views/TraitCollection.h"
#include "platform/ui/views/View.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class FrameBitmaps;
class Image;
}  // namespace platform

namespace platform::ui {

struct PlanStorage;
class Screen;
class ViewController;

namespace detail {
class InputBridge;
class TouchRouter;
}  // namespace detail

using WindowLevel = double;
inline constexpr WindowLevel kWindowLevelNormal = 0;
inline constexpr WindowLevel kWindowLevelStatusBar = 1000;
inline constexpr WindowLevel kWindowLevelAlert = 2000;

class Window : public View {
public:
    // On the main screen, covering it.
    Window();
    explicit Window(const Rect& frame);
    ~Window() override;

    std::shared_ptr<Screen> screen() const;
    void setScreen(std::shared_ptr<Screen> screen);
    WindowLevel windowLevel() const { return mWindowLevel; }
    void setWindowLevel(WindowLevel level) { mWindowLevel = level; }

    // The view that fills the window (sized to it, following its size);
    // it replaces the one before.
    std::shared_ptr<View> rootView() const { return mRootView; }
    void setRootView(std::shared_ptr<View> view);
    // The controller whose view fills the window (its root view). Setting
    // one takes the old one's view out (it disappears) and puts the new
    // one's in (it appears), at once; what the old one presents is
    // dismissed first, without animation.
    std::shared_ptr<ViewController> rootViewController() const { return mRootViewController; }
    void setRootViewController(std::shared_ptr<ViewController> controller);

    // The traits of the window's controllers: the device's idiom, size
    // classes from the bounds, the style set here and the screen's scale.
    TraitCollection traitCollection() const;
    static TraitCollection traitsFor(Size size, const Screen& screen, UserInterfaceStyle style);
    UserInterfaceStyle userInterfaceStyle() const { return mStyle; }
    // Also updateTraits().
    void setUserInterfaceStyle(UserInterfaceStyle style);
    // Tells the controllers (root, children, presented) whose traits
    // changed since the last call (after the device's idiom changed, say).
    void updateTraits();
    // Resizes the window as a rotation does: the controllers hear
    // viewWillTransitionToSize with a coordinator, the size changes in an
    // animation of `duration` (at once for 0) with what they animate
    // alongside, then the traits are updated.
    void transitionToSize(Size size, double duration = 0.3);

    // Shows the window and makes it the application's key window (the
    // window of keyboard input); the window joins the application's list.
    void makeKeyAndVisible();
    void makeKeyWindow();
    bool isKeyWindow() const;
    virtual void becomeKeyWindow() {}
    virtual void resignKeyWindow() {}

    // The edges of the window that the screen's hardware covers (none by
    // default); views read theirs through View::safeAreaInsets().
    EdgeInsets windowSafeAreaInsets() const { return mSafeAreaInsets; }
    void setSafeAreaInsets(const EdgeInsets& insets);

    // Hands the event's touches to recognisers and views (see above).
    virtual void sendEvent(const Event& event);

    // Keyboard text for the first responder, when it takes text (KeyInput);
    // the desktop backend calls these. False when nothing took it.
    bool insertText(const std::string& text);
    bool deleteBackward();

    // Lays the tree out, then renders it as shown now (running animations
    // at the clock's time) at the screen's scale, over transparency: an
    // image of the bounds' size in points. Null for an empty window.
    std::shared_ptr<Image> snapshot();

    // The tree as text, one view a line, indented by depth: class, frame in
    // the superview and what differs from a plain view (hidden, alpha, tag,
    // identifier, background, clipping, touches off), then what the class
    // adds. The same tree gives the same text.
    std::string dumpTree() const;

    // The rasters kept for this window's frames (see RasterCache.h).
    RasterCache& rasterCache() { return mRasterCache; }

    // Asks for a layout pass on the main loop's next turn (once, however
    // often asked).
    void scheduleLayoutPass();

private:
    friend class detail::InputBridge;
    detail::TouchRouter& router();

    WindowLevel mWindowLevel = kWindowLevelNormal;
    std::weak_ptr<Screen> mScreen;
    std::shared_ptr<View> mRootView;
    RasterCache mRasterCache;
    // What its last frame's plan left for the next (render/FramePlan.h).
    std::unique_ptr<PlanStorage> mPlans;
    std::shared_ptr<ViewController> mRootViewController;
    UserInterfaceStyle mStyle = UserInterfaceStyle::light;
    std::optional<TraitCollection> mReportedTraits;
    EdgeInsets mSafeAreaInsets;
    bool mLayoutPassPosted = false;
    std::unique_ptr<detail::TouchRouter> mRouter;
    // Snapshots' pixels, reused once their images are let go.
    std::unique_ptr<FrameBitmaps> mFrames;
};

}  // namespace platform::ui
