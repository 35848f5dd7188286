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

WindowSizing sizeWindow(Size points, Size minimumPoints, std::optional<Size> usable, std::optional<double> requested) {
    double scale = kLargestFittedScale;
    if (requested) {
        scale = *requested;
    } else if (usable && points.width > 0 && points.height > 0) {
        const double room = std::min((usable->width - kFrameAllowance.width) / points.width,
                                     (usable->height - kFrameAllowance.height) / points.height);
        // Whole steps, down; the small epsilon keeps 1.0 from reading 0.95.
        const double stepped = std::floor(room * kScaleStepsPerUnit + 1e-9) / kScaleStepsPerUnit;
        scale = std::clamp(stepped, kSmallestFittedScale, kLargestFittedScale);
    }
    WindowSizing sizing;
    sizing.scale = scale;
    sizing.width = pixels(points.width, scale);
    sizing.height = pixels(points.height, scale);
    sizing.minimumWidth = std::min(pixels(minimumPoints.width, scale), sizing.width);
    sizing.minimumHeight = std::min(pixels(minimumPoints.height, scale), sizing.height);
    return sizing;
}

}  // namespace platform::ui::sdl
