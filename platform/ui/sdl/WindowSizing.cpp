#include "platform/ui/sdl/WindowSizing.h"

#include <algorithm>
#include <cmath>

namespace platform::ui::sdl {

namespace {

// As a snapshot of that many points is drawn.
int pixels(double points, double scale) { return static_cast<int>(std::ceil(points * scale)); }

}  // namespace

Size minimumPointsFor(UserInterfaceIdiom idiom) {
    return idiom == UserInterfaceIdiom::tablet ? Size{768, 1024} : Size{320, 568};
}

namespace {

// The largest step within the limits at which the points and the frame
// fit the area.
double fittedScale(Size points, Size usable) {
    const double room = std::min((usable.width - kFrameAllowance.width) / points.width,
                                 (usable.height - kFrameAllowance.height) / points.height);
    // Whole steps, down; the small epsilon keeps 1.0 from reading 0.95.
    const double stepped = std::floor(room * kScaleStepsPerUnit + 1e-9) / kScaleStepsPerUnit;
    return std::clamp(stepped, kSmallestFittedScale, kLargestFittedScale);
}

Size turned(Size size) { return {size.height, size.width}; }

}  // namespace

WindowSizing sizeWindow(Size points, Size minimumPoints, std::optional<Size> usable, std::optional<double> requested,
                        bool mayTurn) {
    double scale = kLargestFittedScale;
    bool landscape = false;
    if (requested) {
        scale = *requested;
    } else if (usable && points.width > 0 && points.height > 0) {
        scale = fittedScale(points, *usable);
        const bool wide = usable->width > usable->height && points.height > points.width;
        if (mayTurn && wide && scale < kComfortableScale) {
            const double sideways = fittedScale(turned(points), *usable);
            if (sideways > scale) {
                scale = sideways;
                landscape = true;
            }
        }
    }
    if (landscape) {
        points = turned(points);
        minimumPoints = turned(minimumPoints);
    }
    WindowSizing sizing;
    sizing.scale = scale;
    sizing.points = points;
    sizing.landscape = landscape;
    sizing.width = pixels(points.width, scale);
    sizing.height = pixels(points.height, scale);
    sizing.minimumWidth = std::min(pixels(minimumPoints.width, scale), sizing.width);
    sizing.minimumHeight = std::min(pixels(minimumPoints.height, scale), sizing.height);
    return sizing;
}

bool windowManagerRuns(std::optional<unsigned long> namedByRoot, std::optional<unsigned long> namedByItself) {
    // Window 0 is X11's None.
    return namedByRoot && *namedByRoot != 0 && namedByItself == namedByRoot;
}

Point placeWindow(int width, int height, const Rect& usable, const FrameExtents& frame) {
    const double x = usable.x + (usable.width - (frame.left + width + frame.right)) / 2 + frame.left;
    const double y = usable.y + (usable.height - (frame.top + height + frame.bottom)) / 2 + frame.top;
    return {std::floor(std::max(x, usable.x + frame.left)), std::floor(std::max(y, usable.y + frame.top))};
}

Point openingPoint(int width, int height, const Rect& usable, std::optional<bool> managerRuns) {
    return managerRuns == false ? placeWindow(width, height, usable, FrameExtents{})
                                : placeWindow(width, height, usable);
}

namespace {

// `value` (0 to 1) in the bits of `mask`, which are contiguous.
unsigned long channelBits(double value, unsigned long mask) {
    int shift = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    const unsigned long most = mask >> shift;
    return (static_cast<unsigned long>(std::lround(std::clamp(value, 0.0, 1.0) * double(most))) << shift) & mask;
}

}  // namespace

std::optional<unsigned long> pixelIn(const Color& color, unsigned long redMask, unsigned long greenMask,
                                     unsigned long blueMask) {
    if (redMask == 0 || greenMask == 0 || blueMask == 0) return std::nullopt;
    return channelBits(color.red, redMask) | channelBits(color.green, greenMask) | channelBits(color.blue, blueMask);
}

}  // namespace platform::ui::sdl
