#pragma once
// The colours the layout viewer draws with, and the conversion of the
// engine's colours to the platform's.

#include "engine/geometry/Color.h"
#include "platform/graphics/Color.h"

namespace VKMLayoutColors {

// Red, green, blue and alpha carried over unchanged.
platform::Color colorWithCColor(const CColor& color);

// The document's background: white, or white level 0.2 on the dark style.
platform::Color vkmDocumentBackgroundColor();
platform::Color vkmDocumentDarkBackgroundColor();
// Names and height labels on the dark background: white, as the screen's
// title and grid there (the layout's own label colour is for paper).
platform::Color vkmDarkBackgroundLabelColor();
// The platform's dark grey (white level 1/3).
platform::Color vkmLayoutGridColor();
// Red 1.0, green 0.2, blue 0.2, opaque.
platform::Color vkmElementSelectionColor();

// The engine's form of a platform colour.
CColor cColorWithColor(const platform::Color& color);

}  // namespace VKMLayoutColors
