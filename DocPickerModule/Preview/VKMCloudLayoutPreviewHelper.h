#pragma once
// The image view that shows a shared layout's preview above a screen that
// is presented over the bottom of the window. Main thread only.

#include <memory>

namespace platform::ui {
class ImageView;
class View;
}  // namespace platform::ui

class VKMCloudLayoutPreviewHelper {
public:
    static constexpr long kPreviewImageViewTag = 100;
    static constexpr double kCornerRadius = 12;
    // Space kept to the superview's edges and to the reserved height.
    static constexpr double kMargin = 16;
    static constexpr double kMaximumWidth = 480;
    // Previews are 4:3.
    static constexpr double kAspectRatio = 4.0 / 3.0;

    // Adds a transparent image view with rounded corners (tag 100) to
    // `superview`, placed by constraints: centred horizontally, its bottom
    // kMargin above the reserved height at the bottom, 4:3, as wide as the
    // superview allows within its margins and kMaximumWidth, lower when the
    // room above the reserved height asks for it. Returns the view.
    static std::shared_ptr<platform::ui::ImageView> addPreviewImageViewToSuperview(
        const std::shared_ptr<platform::ui::View>& superview, double bottomReservedHeight);
};
