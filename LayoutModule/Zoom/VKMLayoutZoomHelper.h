#pragma once
// Places the zoom button under the drawn layout and runs its list of fixed
// zoom levels: choosing one posts VKMChangeZoomFactorNotification with
// { "NewZoomFactor": level }, which the layout screen turns into a zoom
// change. Main thread only.

#include <array>
#include <memory>

namespace platform::ui {
class AlertController;
class View;
}  // namespace platform::ui
class VKMZoomButton;

class VKMLayoutZoomHelper {
public:
    static constexpr const char* kChangeZoomFactorNotification = "VKMChangeZoomFactorNotification";
    static constexpr const char* kNewZoomFactorKey = "NewZoomFactor";
    // The levels offered, in the list's order.
    static constexpr std::array<double, 7> kZoomLevels{10.0, 7.5, 5.0, 2.5, 1.0, 0.5, 0.25};
    static constexpr double kBottomMargin = 10;

    // A new button showing the zoom, added to the container, centred across
    // on `centerOnView` with its bottom 10 points above the container's;
    // a tap opens the level list anchored at it.
    static std::shared_ptr<VKMZoomButton> addZoomButtonTo(const std::shared_ptr<platform::ui::View>& container,
                                                          const std::shared_ptr<platform::ui::View>& centerOnView,
                                                          double zoomFactor);
    // The level list as an action sheet (a popover pointing down at the
    // button on tablets), presented by the key window's root controller.
    // Returns the sheet; null when there is no window to present it in.
    static std::shared_ptr<platform::ui::AlertController> showZoomLevelsFrom(
        const std::shared_ptr<VKMZoomButton>& button);

    // The object of the notification.
    static const void* notificationObject();
};
