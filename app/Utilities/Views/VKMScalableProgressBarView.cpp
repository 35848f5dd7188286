#include "app/Utilities/Views/VKMScalableProgressBarView.h"

#include "app/Utilities/Colors/UIColorCColor.h"
#include "platform/ui/views/SystemColors.h"
#include "platform/ui/views/Window.h"
#include "widgets/Kits/ScalableProgressBarKit.h"

namespace {

constexpr double kLightTrackWhite = 0.875;
constexpr double kGaugeAlpha = 0.65;

}  // namespace

VKMScalableProgressBarView::VKMScalableProgressBarView() : VKMScalableProgressBarView(platform::Rect{}) {}

VKMScalableProgressBarView::VKMScalableProgressBarView(const platform::Rect& frame) : View(frame) { setNeedsDisplay(); }

void VKMScalableProgressBarView::setProgressPercent(int percent) {
    mProgressPercent = percent;
    setNeedsDisplay();
}

void VKMScalableProgressBarView::drawRect(platform::Context& context, const platform::Rect& rect) {
    (void)rect;
    const auto shown = window();
    const auto style = shown ? shown->userInterfaceStyle() : platform::ui::UserInterfaceStyle::light;
    const platform::Color track = style == platform::ui::UserInterfaceStyle::light
                                      ? platform::Color::white(kLightTrackWhite)
                                      : platform::ui::SystemColors::secondarySystemFill(style);
    platform::Color gauge = UIColorCColor::vkmPartListElementFillColor();
    gauge.alpha = kGaugeAlpha;
    const platform::Rect area = bounds();
    ScalableProgressBarKit::drawProgressBarWithBackground(context, track, gauge, area.width - 1, area.height - 1,
                                                          mProgressPercent / 100.0 * area.width - 1);
}
