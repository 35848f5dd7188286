#pragma once
// The colours the charts share, and the platform's named colours they use.

#include "platform/graphics/Color.h"

namespace GRChartColors {

// Default bar colour and default point-marker colour.
inline constexpr platform::Color kGreen{77 / 255.0, 186 / 255.0, 122 / 255.0, 1};
// Bar background, bar chart border and level line.
inline constexpr platform::Color kLightGrey{225 / 255.0, 225 / 255.0, 225 / 255.0, 1};
// Default axis colour of line charts: 0.4 in single precision.
inline constexpr platform::Color kAxisGrey{static_cast<float>(0.4), static_cast<float>(0.4), static_cast<float>(0.4),
                                           1};

// The platform's named colours.
inline constexpr platform::Color kWhite{1, 1, 1, 1};
inline constexpr platform::Color kBlack{0, 0, 0, 1};
inline constexpr platform::Color kGreyColor{0.5, 0.5, 0.5, 1};
inline constexpr platform::Color kLightGreyColor{2 / 3.0, 2 / 3.0, 2 / 3.0, 1};
inline constexpr platform::Color kGreenColor{0, 1, 0, 1};
inline constexpr platform::Color kClear{0, 0, 0, 0};

}  // namespace GRChartColors
