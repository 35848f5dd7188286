#pragma once
// What the app needs about colours, over the platform's colour values: a
// registry of named colours, colours from text and packed integers and back,
// components, comparison, brightness and blending, the app's own colours and
// the bridge to the engine's CColor. The palette is in UIColorCColorPalette.h.
//
// Our platform's colours are device RGB values: there are no grey or
// pattern colour spaces, so every colour gives its four components.
//
// The registry may be used from any thread (its accesses run on the
// category's serial queue), but not from a block already running on that
// queue. Everything else keeps no state.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "engine/geometry/Color.h"
#include "platform/graphics/Color.h"

namespace platform {
class DispatchQueue;
class Image;
}  // namespace platform
namespace platform::ui {
class GradientLayer;
}

namespace UIColorCColor {

// ---- registry and text

// The serial queue of the registry, made once.
platform::DispatchQueue& sharedDispatchQueue();

// A copy of the registry: the platform's fifteen named colours ("black",
// "darkgray", ..., "clear") and those registered since.
std::map<std::string, platform::Color> standardColors();

// Stores the colour under the lower-cased name, replacing an earlier one.
void registerColor(const platform::Color& color, const std::string& name);
// Back to the fifteen named colours alone. For tests that run one after
// another in a process.
void forgetRegisteredColors();

// The registered colour of the lower-cased text, else the colour the text
// spells (makeWithString with lookup off), else none.
std::optional<platform::Color> colorWithString(const std::string& text);

// After lower-casing: with lookup, a registered name gives its colour.
// Then every "#" and "0x" is removed, and by the length left: nothing is
// transparent black, 3 digits are doubled ("f80" is "ff8800") and opaque,
// 6 digits are opaque, 8 are RRGGBBAA; any other length gives none. The
// digits are read as far as they are hexadecimal; text that does not begin
// with one gives none.
std::optional<platform::Color> makeWithString(const std::string& text, bool useLookup = true);

// The registered name of an equal colour (the first in name order), else
// "#rrggbb" for an opaque colour and "#rrggbbaa" for any other, in
// lower-case digits.
std::string stringValue(const platform::Color& color);

// "RRGGBB": each of red, green and blue times 255, rounded and held to 0 to
// 255, in upper-case digits.
std::string hexStringFromRGBColor(const platform::Color& color);

// ---- packed integers

// 0xRRGGBB, opaque. Each byte is divided by 255 in single precision.
platform::Color colorWithRGBValue(std::uint32_t value);
// 0xRRGGBBAA.
platform::Color colorWithRGBAValue(std::uint32_t value);
// Each component times 255, truncated toward zero and held to 0 to 255.
std::uint32_t RGBValue(const platform::Color& color);
std::uint32_t RGBAValue(const platform::Color& color);

// ---- components and comparison

// Red, green, blue, alpha.
std::array<double, 4> getRGBAComponents(const platform::Color& color);
double red(const platform::Color& color);
double green(const platform::Color& color);
double blue(const platform::Color& color);
double alpha(const platform::Color& color);

// Equal packed RGBA values: components less than a 255th apart may compare
// equal. No colour is equivalent to none.
bool isEquivalentToColor(const platform::Color& color, const platform::Color& other);
bool isEquivalent(const platform::Color& color, const std::optional<platform::Color>& other);

// Red, green and blue times the brightness (below 0 counts as 0; no upper
// limit); alpha unchanged.
platform::Color colorWithBrightness(const platform::Color& color, double brightness);
// Every component moved towards the other colour's by the factor, which is
// held to 0 to 1 (not a number counts as 0).
platform::Color colorBlendedWithColor(const platform::Color& color, const platform::Color& other, double factor);

// (299 red + 587 green + 114 blue) / 1000.
double brightnessOfColor(const platform::Color& color);
// Brightness below 0.5.
bool isColorDark(const platform::Color& color);
bool isColorLight(const platform::Color& color);
// Alpha 0 or less.
bool isColorClear(const platform::Color& color);

// A 1 x 1 point image filled with the colour.
std::shared_ptr<platform::Image> imageFromColor(const platform::Color& color);
// A new gradient layer from the start colour to the end colour.
std::shared_ptr<platform::ui::GradientLayer> gradientWithStartColor(const platform::Color& startColor,
                                                                    const platform::Color& endColor);

// ---- the engine's colours (one source with the drawing road's)

platform::Color colorWithCColor(const ::CColor& color);
::CColor CColor(const platform::Color& color);

// ---- the app's colours

platform::Color vkmDocumentBackgroundColor();
platform::Color vkmDocumentDarkBackgroundColor();
platform::Color vkmLayoutGridColor();
platform::Color vkmElementSelectionColor();
platform::Color vkmActionButtonsTintColor();
platform::Color vkmPartListElementFillColor();
platform::Color vkmPartListPieChartFillColor();
platform::Color vkmActionIconColor();
platform::Color vkmPopupActionHiliteColor();
platform::Color vkmLeaderboardHeaderColor();
// These two follow the interface style of the key window (light without
// one), read at each call.
platform::Color vkmLeaderboardBackgroundColor();
platform::Color vkmLeaderboardEntryShadowColor();

}  // namespace UIColorCColor
