#pragma once
// The desktop face of a window: an SDL2 window that shows a Window's
// snapshot and turns the mouse and keyboard into touches and typed text.
// It sets up the device and main screen for the idiom chosen, then runs on
// the main run loop and the real clock: a display link polls SDL's events
// each frame and presents the window again only when its layer tree
// changed or an animation runs.
//
// The SDL window shows one of the device's pixels on each of its own, so
// frames are copied, not resampled. The scale is the one asked for, else
// chosen so that the window fits the display's usable area
// (WindowSizing.h): a phone of 390 x 844 points opens at 1.1875 on a
// 1920 x 1080 display, 464 x 1003 pixels. A tablet opens on its side (the
// device held landscape) on a wide display where upright it would get less
// than 0.75 pixels a point: 1180 x 820 points at 0.8125 on 1366 x 768. The
// window with its frame is centred in the usable area, clear of the
// desktop's panels, and cannot be made smaller than the idiom's smallest
// screen. It is made hidden and shown (on X11 as it is made, elsewhere with
// its first frame) already where it stays, in the screens' background
// colour until its first frame. It presents through SDL's software framebuffer: the
// accelerated one makes SDL destroy the window and open it again on the
// first frame.
//
// Mouse and keyboard:
// - left button: one finger down, moved and lifted with the pointer;
// - Ctrl and the left button: two fingers pinching about where the drag
//   began (right spreads them, left brings them together);
// - right button: a finger held at least long enough for a long press;
// - text typed goes to the window's first responder when it takes text;
//   Backspace deletes; Return answers the alert on top (its preferred or
//   only action), else types "\n";
// - Escape, Tab and Ctrl or Alt with a letter or digit are key commands
//   that the window routes (controllers/KeyCommands.h); Ctrl+Q and Ctrl+W,
//   when nothing took them, close the window;
// - a touchpad's pinch, and Ctrl with the wheel: a pinch about the
//   pointer, aimed at the view under it;
// - the wheel scrolls the innermost scroll view under the pointer; where
//   there is none, it pinches as with Ctrl.
// Closing the window hides it at once, then stops the main loop, so that
// the end's work does not keep it on screen.
// Resizing the SDL window resizes the screen, then the window as a size
// transition (controllers hear viewWillTransitionToSize), turns the device
// to landscape when the window became wider than high (and back), then
// calls the resize hook.
//
// Nothing outside this folder sees SDL. Main thread only.

#include "platform/graphics/Geometry.h"
#include "platform/graphics/Image.h"
#include "platform/ui/views/Device.h"

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace platform::ui {
class Window;
}

namespace platform::ui::sdl {

struct DesktopOptions {
    UserInterfaceIdiom idiom = UserInterfaceIdiom::phone;
    // In points; the idiom's screen when not given (Screen::kDefaultSize or
    // Screen::kTabletSize).
    std::optional<Size> size;
    // Pixels a point, the device's (snapshots are drawn at it); when none,
    // the largest that lets the window fit the display (WindowSizing.h).
    std::optional<double> scale;
    std::string title = "Vekmont";
};

// SDL could not start or open a window (no display, no video driver).
class DesktopError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class DesktopWindow {
public:
    // Starts SDL's video, sets the device's idiom and the main screen's size
    // and scale, gives `window` the screen's bounds and opens the SDL window.
    // Frames begin on the main loop at once. Throws DesktopError when SDL
    // cannot open a window.
    DesktopWindow(std::shared_ptr<Window> window, const DesktopOptions& options);
    ~DesktopWindow();
    DesktopWindow(const DesktopWindow&) = delete;
    DesktopWindow& operator=(const DesktopWindow&) = delete;

    // Runs the main loop until the SDL window is closed or the loop stopped.
    void run();

    // One frame now, as the display link runs it: takes SDL's pending
    // events, then presents when anything changed. True when it presented.
    bool frame();

    // The new size in points after the SDL window was resized.
    void setResizeHandler(std::function<void(Size)> handler) { mResizeHandler = std::move(handler); }

    bool closeRequested() const { return mCloseRequested; }
    int presentedFrames() const { return mPresentedFrames; }
    // What was presented last (the window's snapshot); null before the first.
    std::shared_ptr<Image> lastPresentedImage() const { return mLastPresented; }
    // A pixel of the SDL window's surface, as shown, from its top-left;
    // none outside it.
    std::optional<Pixel> surfacePixel(int x, int y) const;
    // SDL's id of the window, for events made for it.
    std::uint32_t windowID() const;
    // SDL window coordinates per point (the device's scale).
    double windowUnitsPerPoint() const { return mWindowUnitsPerPoint; }

private:
    struct Impl;
    std::unique_ptr<Impl> mImpl;
    std::function<void(Size)> mResizeHandler;
    std::shared_ptr<Image> mLastPresented;
    double mWindowUnitsPerPoint = 1;
    int mPresentedFrames = 0;
    bool mCloseRequested = false;
};

}  // namespace platform::ui::sdl
