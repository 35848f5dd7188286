#pragma once
// The platform's own colours, as the screens name them: the fixed colours
// (black, dark grey, red, clear, ...) and the system colours whose value
// follows the interface style. Our colours are not dynamic: the styled ones
// take the style to read.

#include "platform/graphics/Color.h"
#include "platform/ui/views/TraitCollection.h"

namespace platform::ui::SystemColors {

inline constexpr Color kBlack{0, 0, 0, 1};
inline constexpr Color kDarkGray{1.0 / 3, 1.0 / 3, 1.0 / 3, 1};
inline constexpr Color kLightGray{2.0 / 3, 2.0 / 3, 2.0 / 3, 1};
inline constexpr Color kWhite{1, 1, 1, 1};
inline constexpr Color kGray{0.5, 0.5, 0.5, 1};
inline constexpr Color kRed{1, 0, 0, 1};
inline constexpr Color kGreen{0, 1, 0, 1};
inline constexpr Color kBlue{0, 0, 1, 1};
inline constexpr Color kCyan{0, 1, 1, 1};
inline constexpr Color kYellow{1, 1, 0, 1};
inline constexpr Color kMagenta{1, 0, 1, 1};
inline constexpr Color kOrange{1, 0.5, 0, 1};
inline constexpr Color kPurple{0.5, 0, 0.5, 1};
inline constexpr Color kBrown{0.6, 0.4, 0.2, 1};
inline constexpr Color kClear{0, 0, 0, 0};

// Anything but dark reads as light.
constexpr Color systemBackground(UserInterfaceStyle style) {
    return style == UserInterfaceStyle::dark ? kBlack : kWhite;
}
constexpr Color secondarySystemFill(UserInterfaceStyle style) {
    return style == UserInterfaceStyle::dark ? Color{120.0 / 255, 120.0 / 255, 128.0 / 255, 0.32}
                                             : Color{120.0 / 255, 120.0 / 255, 128.0 / 255, 0.16};
}
constexpr Color separator(UserInterfaceStyle style) {
    return style == UserInterfaceStyle::dark ? Color{84.0 / 255, 84.0 / 255, 88.0 / 255, 0.6}
                                             : Color{60.0 / 255, 60.0 / 255, 67.0 / 255, 0.29};
}

}  // namespace platform::ui::SystemColors
