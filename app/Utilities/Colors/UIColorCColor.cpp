#include "app/Utilities/Colors/UIColorCColor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "LayoutView/Drawing/VKMLayoutColors.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/AsciiText.h"
#include "platform/graphics/BitmapContext.h"
#include "platform/ui/views/Application.h"
#include "platform/ui/core/GradientLayer.h"
#include "platform/ui/views/SystemColors.h"
#include "platform/ui/views/Window.h"

namespace UIColorCColor {

namespace {

namespace sys = platform::ui::SystemColors;

using tRegistry = std::map<std::string, platform::Color>;

// The platform's named colours, which the registry starts with.
tRegistry platformColors() {
    return {
        {"black", sys::kBlack},   {"darkgray", sys::kDarkGray}, {"lightgray", sys::kLightGray},
        {"white", sys::kWhite},   {"gray", sys::kGray},         {"red", sys::kRed},
        {"green", sys::kGreen},   {"blue", sys::kBlue},         {"cyan", sys::kCyan},
        {"yellow", sys::kYellow}, {"magenta", sys::kMagenta},   {"orange", sys::kOrange},
        {"purple", sys::kPurple}, {"brown", sys::kBrown},       {"clear", sys::kClear},
    };
}

// Only touched inside blocks on sharedDispatchQueue().
tRegistry& registry() {
    static tRegistry registry = platformColors();
    return registry;
}

std::optional<platform::Color> registeredColor(const std::string& lowerName) {
    std::optional<platform::Color> found;
    sharedDispatchQueue().sync([&] {
        const tRegistry& names = registry();
        const auto it = names.find(lowerName);
        if (it != names.end()) found = it->second;
    });
    return found;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string withoutAll(std::string text, const std::string& part) {
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at))
        text.erase(at, part.size());
    return text;
}

// A component times 255, truncated and held to a byte; not a number is 0.
std::uint32_t truncatedByte(double component) {
    const double scaled = component * 255.0;
    if (!(scaled > 0)) return 0;
    return scaled >= 255.0 ? 255u : static_cast<std::uint32_t>(scaled);
}

// The same rounded to the nearest whole number.
unsigned roundedByte(double component) {
    const double scaled = std::round(component * 255.0);
    if (!(scaled > 0)) return 0;
    return scaled >= 255.0 ? 255u : static_cast<unsigned>(scaled);
}

platform::ui::UserInterfaceStyle currentInterfaceStyle() {
    const auto window = platform::ui::Application::sharedApplication().keyWindow();
    return window ? window->userInterfaceStyle() : platform::ui::UserInterfaceStyle::light;
}

}  // namespace

platform::DispatchQueue& sharedDispatchQueue() {
    static platform::DispatchQueue queue("com.vekmont.colors.registry");
    return queue;
}

std::map<std::string, platform::Color> standardColors() {
    tRegistry copy;
    sharedDispatchQueue().sync([&] { copy = registry(); });
    return copy;
}

void registerColor(const platform::Color& color, const std::string& name) {
    const std::string key = platform::ascii::lowercased(name);
    sharedDispatchQueue().sync([&] { registry()[key] = color; });
}

void forgetRegisteredColors() {
    sharedDispatchQueue().sync([] { registry() = platformColors(); });
}

std::optional<platform::Color> colorWithString(const std::string& text) {
    const std::string lower = platform::ascii::lowercased(text);
    if (auto registered = registeredColor(lower)) return registered;
    return makeWithString(lower, false);
}

std::optional<platform::Color> makeWithString(const std::string& text, bool useLookup) {
    std::string digits = platform::ascii::lowercased(text);
    if (useLookup) {
        if (auto registered = registeredColor(digits)) return registered;
    }
    digits = withoutAll(withoutAll(std::move(digits), "#"), "0x");
    switch (digits.size()) {
        case 0: digits = "00000000"; break;
        case 3: digits = {digits[0], digits[0], digits[1], digits[1], digits[2], digits[2], 'f', 'f'}; break;
        case 6: digits += "ff"; break;
        case 8: break;
        default: return std::nullopt;
    }
    if (hexDigit(digits[0]) < 0) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : digits) {
        const int digit = hexDigit(c);
        if (digit < 0) break;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return colorWithRGBAValue(value);
}

std::string stringValue(const platform::Color& color) {
    std::optional<std::string> name;
    sharedDispatchQueue().sync([&] {
        for (const auto& [key, value] : registry()) {
            if (value == color) {
                name = key;
                return;
            }
        }
    });
    if (name) return *name;
    char text[16];
    if (color.alpha >= 1.0) std::snprintf(text, sizeof text, "#%.6x", RGBValue(color));
    else std::snprintf(text, sizeof text, "#%.8x", RGBAValue(color));
    return text;
}

std::string hexStringFromRGBColor(const platform::Color& color) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", roundedByte(color.red), roundedByte(color.green),
                  roundedByte(color.blue));
    return text;
}

platform::Color colorWithRGBValue(std::uint32_t value) {
    const auto component = [value](int shift) {
        return static_cast<double>(static_cast<float>((value >> shift) & 0xFF) / 255.0f);
    };
    return {component(16), component(8), component(0), 1.0};
}

platform::Color colorWithRGBAValue(std::uint32_t value) {
    const auto component = [value](int shift) { return static_cast<double>((value >> shift) & 0xFF) / 255.0; };
    return {component(24), component(16), component(8), component(0)};
}

std::uint32_t RGBValue(const platform::Color& color) {
    return truncatedByte(color.red) << 16 | truncatedByte(color.green) << 8 | truncatedByte(color.blue);
}

std::uint32_t RGBAValue(const platform::Color& color) {
    return truncatedByte(color.red) << 24 | truncatedByte(color.green) << 16 | truncatedByte(color.blue) << 8 |
           truncatedByte(color.alpha);
}

std::array<double, 4> getRGBAComponents(const platform::Color& color) {
    return {color.red, color.green, color.blue, color.alpha};
}

double red(const platform::Color& color) { return color.red; }
double green(const platform::Color& color) { return color.green; }
double blue(const platform::Color& color) { return color.blue; }
double alpha(const platform::Color& color) { return color.alpha; }

bool isEquivalentToColor(const platform::Color& color, const platform::Color& other) {
    return RGBAValue(color) == RGBAValue(other);
}

bool isEquivalent(const platform::Color& color, const std::optional<platform::Color>& other) {
    return other.has_value() && isEquivalentToColor(color, *other);
}

platform::Color colorWithBrightness(const platform::Color& color, double brightness) {
    const double factor = brightness > 0 ? brightness : 0.0;
    return {color.red * factor, color.green * factor, color.blue * factor, color.alpha};
}

platform::Color colorBlendedWithColor(const platform::Color& color, const platform::Color& other, double factor) {
    const double f = factor > 0 ? std::min(factor, 1.0) : 0.0;
    const auto blend = [f](double from, double to) { return from + (to - from) * f; };
    return {blend(color.red, other.red), blend(color.green, other.green), blend(color.blue, other.blue),
            blend(color.alpha, other.alpha)};
}

double brightnessOfColor(const platform::Color& color) {
    return (299.0 * color.red + 587.0 * color.green + 114.0 * color.blue) / 1000.0;
}

bool isColorDark(const platform::Color& color) { return brightnessOfColor(color) < 0.5; }

bool isColorLight(const platform::Color& color) { return !isColorDark(color); }

bool isColorClear(const platform::Color& color) { return color.alpha <= 0; }

std::shared_ptr<platform::Image> imageFromColor(const platform::Color& color) {
    auto bitmap = platform::BitmapContext::create(1, 1);
    bitmap->setFillColor(color);
    bitmap->fillRect({0, 0, 1, 1});
    return bitmap->makeImage();
}

std::shared_ptr<platform::ui::GradientLayer> gradientWithStartColor(const platform::Color& startColor,
                                                                    const platform::Color& endColor) {
    auto gradient = platform::ui::GradientLayer::make();
    gradient->setColors({startColor, endColor});
    return gradient;
}

platform::Color colorWithCColor(const ::CColor& color) { return VKMLayoutColors::colorWithCColor(color); }

::CColor CColor(const platform::Color& color) { return VKMLayoutColors::cColorWithColor(color); }

platform::Color vkmDocumentBackgroundColor() { return VKMLayoutColors::vkmDocumentBackgroundColor(); }

platform::Color vkmDocumentDarkBackgroundColor() { return VKMLayoutColors::vkmDocumentDarkBackgroundColor(); }

platform::Color vkmLayoutGridColor() { return VKMLayoutColors::vkmLayoutGridColor(); }

platform::Color vkmElementSelectionColor() { return VKMLayoutColors::vkmElementSelectionColor(); }

platform::Color vkmActionButtonsTintColor() {
    platform::Color tint = vkmPopupActionHiliteColor();
    tint.alpha = 0.75;
    return tint;
}

platform::Color vkmPartListElementFillColor() { return vkmPopupActionHiliteColor(); }

platform::Color vkmPartListPieChartFillColor() {
    return colorWithBrightness(sys::systemBackground(currentInterfaceStyle()), 0.975);
}

platform::Color vkmActionIconColor() { return platform::Color::white(0.35); }

platform::Color vkmPopupActionHiliteColor() { return {0.0, 0.478, 1.0, 0.8}; }

platform::Color vkmLeaderboardHeaderColor() { return {0.3, 0.45, 0.9, 1.0}; }

platform::Color vkmLeaderboardBackgroundColor() {
    const auto style = currentInterfaceStyle();
    if (style == platform::ui::UserInterfaceStyle::light) return platform::Color::white(0.96);
    return sys::secondarySystemFill(style);
}

platform::Color vkmLeaderboardEntryShadowColor() {
    platform::Color shadow =
        currentInterfaceStyle() == platform::ui::UserInterfaceStyle::light ? sys::kLightGray : sys::kBlack;
    shadow.alpha = 0.5;
    return shadow;
}

}  // namespace UIColorCColor
