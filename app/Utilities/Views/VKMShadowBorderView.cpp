#include "app/Utilities/Views/VKMShadowBorderView.h"

#include <cmath>

#include "app/Utilities/Colors/UIColorCColor.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Shadow.h"
#include "platform/ui/views/SystemColors.h"
#include "platform/ui/views/Window.h"

namespace {

constexpr double kStripDepth = 5;
constexpr double kShadowOffset = 2.5;
// The platform's shadow blur, whose Gaussian deviation is half of it.
constexpr double kShadowBlur = 10;
constexpr double kShadowAlpha = 0.25;

}  // namespace

VKMShadowBorderView::VKMShadowBorderView() : VKMShadowBorderView(platform::Rect{}) {}

VKMShadowBorderView::VKMShadowBorderView(const platform::Rect& frame) : View(frame) { setNeedsDisplay(); }

void VKMShadowBorderView::layoutSubviews() { setNeedsDisplay(); }

void VKMShadowBorderView::drawRect(platform::Context& context, const platform::Rect& rect) {
    (void)rect;
    const platform::Rect area = bounds();
    context.setFillColor(UIColorCColor::vkmPartListPieChartFillColor());
    context.fillRect(area);

    const bool alongLeft = area.width < area.height;
    const platform::Rect strip = alongLeft ? platform::Rect{-kStripDepth, 0, kStripDepth, area.height}
                                           : platform::Rect{0, -kStripDepth, area.width, kStripDepth};
    const platform::Size offset = alongLeft ? platform::Size{kShadowOffset, 0} : platform::Size{0, kShadowOffset};

    // The strip's shadow, made at the context's resolution and drawn where
    // the offset puts it.
    const platform::AffineTransform device = context.transform();
    const double scale = std::hypot(device.a, device.b);
    const auto stripBitmap = platform::BitmapContext::createForPointSize(strip.size(), scale);
    if (stripBitmap) {
        stripBitmap->fillRect({0, 0, strip.width, strip.height});
        const auto style = window() ? window()->userInterfaceStyle() : platform::ui::UserInterfaceStyle::light;
        platform::Color tint = platform::ui::SystemColors::separator(style);
        tint.alpha = kShadowAlpha;
        const platform::ShadowImage shadow =
            platform::makeShadowImage(*stripBitmap->makeImage(), kShadowBlur / 2 * scale, tint);
        if (shadow.image) {
            const double margin = shadow.margin / scale;
            const platform::Size size = shadow.image->size();
            context.drawImage(*shadow.image, {strip.x + offset.width - margin, strip.y + offset.height - margin,
                                              size.width, size.height});
        }
    }
    context.save();
    context.setFillColor(platform::ui::SystemColors::kGray);
    context.fillRect(strip);
    context.restore();
}
