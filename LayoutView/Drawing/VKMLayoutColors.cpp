#include "LayoutView/Drawing/VKMLayoutColors.h"

namespace VKMLayoutColors {

platform::Color colorWithCColor(const CColor& color) { return {color.mRed, color.mGreen, color.mBlue, color.mAlpha}; }

CColor cColorWithColor(const platform::Color& color) { return CColor(color.red, color.green, color.blue, color.alpha); }

platform::Color vkmDocumentBackgroundColor() { return platform::Color::white(1.0); }

platform::Color vkmDocumentDarkBackgroundColor() { return platform::Color::white(0.2); }
platform::Color vkmDarkBackgroundLabelColor() { return platform::Color::white(1.0); }

platform::Color vkmLayoutGridColor() { return platform::Color::white(1.0 / 3.0); }

platform::Color vkmElementSelectionColor() { return {1.0, 0.2, 0.2, 1.0}; }

}  // namespace VKMLayoutColors
