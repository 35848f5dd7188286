#pragma once
// How big the desktop window opens: the screen's points are kept, the
// scale (pixels a point) is chosen so that the window and its title bar fit
// the display's usable area (without panels and docks). No SDL here, so
// that the rule can be checked against any display.

#include "platform/graphics/Geometry.h"
#include "platform/ui/views/Device.h"

#include <optional>

namespace platform::ui::sdl {

struct WindowSizing {
    double scale = 2;
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
// A fitted scale is a whole number of sixteenths: exact in binary, so
// that points times the scale round to the pixels the snapshot has.
inline constexpr int kScaleStepsPerUnit = 16;
// Kept free for the window manager's title bar and frame.
inline constexpr Size kFrameAllowance{32, 72};

// The smallest screen, in points, at which the idiom's screens keep their
// controls apart.
Size minimumPointsFor(UserInterfaceIdiom idiom);

// `points`: the screen in points; `usable`: the display's usable area in
// pixels, none when unknown; `requested`: a scale asked for (--scale),
// taken as it is. Otherwise the largest step within the limits at which
// the points and the frame allowance fit the usable area (the default
// scale when the area is unknown).
WindowSizing sizeWindow(Size points, Size minimumPoints, std::optional<Size> usable, std::optional<double> requested);

}  // namespace platform::ui::sdl
