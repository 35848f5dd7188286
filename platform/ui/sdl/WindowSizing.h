#pragma once
// How big the desktop window opens: the screen's points are kept, the
// scale (pixels a point) is chosen so that the window and its title bar fit
// the display's usable area (without panels and docks). No SDL here, so
// that the rule can be checked against any display.

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "platform/ui/views/Device.h"

#include <optional>

namespace platform::ui::sdl {

struct WindowSizing {
    double scale = 2;
    // The screen's points as the window opens: the idiom's, on their side
    // when it opens in landscape.
    Size points;
    bool landscape = false;
    // The window's pixels: the points at the scale, rounded up.
    int width = 0;
    int height = 0;
    // The smallest the window may be resized to, in pixels.
    int minimumWidth = 0;
    int minimumHeight = 0;
};

// The device's own scale: a window is never drawn finer than the device.
inline constexpr double kLargestFittedScale = 2;
// Below this text is no longer legible; a display smaller still gets a
// window larger than itself.
inline constexpr double kSmallestFittedScale = 0.5;
// Below this text is small to read (a tablet's tab titles some 5 pixels
// high): a window that may turn opens on its side where that gives more.
inline constexpr double kComfortableScale = 0.75;
// A fitted scale is a whole number of sixteenths: exact in binary, so
// that points times the scale round to the pixels the snapshot has.
inline constexpr int kScaleStepsPerUnit = 16;
// Kept free for the window manager's frame when the scale is chosen: its
// sides, and above and below the window (the title bar above).
inline constexpr Size kFrameAllowance{32, 72};
inline constexpr double kFrameBelow = 16;

// The window manager's frame around the window, in pixels on each side.
struct FrameExtents {
    double left = 0;
    double right = 0;
    double top = 0;
    double bottom = 0;
};
// What the frame is taken to be, its manager's own not being known before
// the window is shown: the allowance, its title bar above.
inline constexpr FrameExtents kAllowedFrame{kFrameAllowance.width / 2, kFrameAllowance.width / 2,
                                            kFrameAllowance.height - kFrameBelow, kFrameBelow};

// The smallest screen, in points, at which the idiom's screens keep their
// controls apart.
Size minimumPointsFor(UserInterfaceIdiom idiom);

// `points`: the screen in points, upright; `usable`: the display's usable
// area in pixels, none when unknown; `requested`: a scale asked for
// (--scale), taken as it is, upright. Otherwise the largest step within the
// limits at which the points and the frame allowance fit the usable area
// (the default scale when the area is unknown). With `mayTurn`, on an area
// wider than high where upright gives less than kComfortableScale and on
// its side more, the window opens on its side (the points and the minimum
// turned).
WindowSizing sizeWindow(Size points, Size minimumPoints, std::optional<Size> usable, std::optional<double> requested,
                        bool mayTurn = false);

// Whether a window manager runs on an X11 display, from the root window's
// _NET_SUPPORTING_WM_CHECK: the window it names (none when the property is
// missing or names no window) and what that window's own property names
// (none when it has none or has gone). A running manager names its check
// window from both; one that has left may leave the root's behind, naming
// a window gone or reused. Only a window manager frames a window and
// tells the frame (_NET_FRAME_EXTENTS): without one the window has none.
bool windowManagerRuns(std::optional<unsigned long> namedByRoot, std::optional<unsigned long> namedByItself);

// Where the window's own top-left goes (inside its frame), in the display's
// pixels, for a window of `width` x `height` pixels in `frame`: the window
// with its frame centred in the usable area (without panels and docks),
// the frame's top and left edges never outside the area.
Point placeWindow(int width, int height, const Rect& usable, const FrameExtents& frame = kAllowedFrame);

// The point the window's own top-left is asked to open at, in the display's
// pixels, for a window of `width` x `height` pixels, so that once shown it
// is never moved. The window asks its manager to keep its own corner at
// that point and put the frame around it (static gravity), so the point
// does not wait on the frame being told: the window centred with the
// allowance, a little off centre under a thinner frame. Without a manager
// (`managerRuns` false) the window has no frame and is centred itself;
// where it cannot be told whether one runs (none), as with one.
Point openingPoint(int width, int height, const Rect& usable, std::optional<bool> managerRuns);

// `color` as a pixel of a true-colour visual with these channel masks (as
// X11 describes a visual); none where a mask is empty (a colour-mapped
// visual). Alpha is not kept.
std::optional<unsigned long> pixelIn(const Color& color, unsigned long redMask, unsigned long greenMask,
                                     unsigned long blueMask);

}  // namespace platform::ui::sdl
