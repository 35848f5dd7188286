#include "widgets/PopupMenu/PopupMenuAppearance.h"

using platform::Color;

PopupMenuAppearance::PopupMenuAppearance()
    : mColor(PopupMenuColor::configure(
          PopupMenuActionBackgroundColor::gradient({Color::white(43.0 / 255), Color::white(55.0 / 255)}),
          PopupMenuActionColor::tint(Color::white(1)))),
      mBackgroundStyle(PopupMenuBackgroundStyle::dimmed(Color::white(0), 0.4)) {}

namespace PopupMenuColorHelpers {

RGBA rgbaComponents(const Color& color) { return {color.red, color.green, color.blue, color.alpha}; }

Color blackOrWhiteContrastingColor(const Color& color) {
    const RGBA c = rgbaComponents(color);
    const double darkness = 1 - (0.299 * c.red + 0.587 * c.green + 0.114 * c.blue);
    return darkness < 0.5 ? Color::white(0) : Color::white(1);
}

Color withAlpha(const Color& color, double alpha) { return {color.red, color.green, color.blue, alpha}; }

}  // namespace PopupMenuColorHelpers
