#include "engine/geometry/Color.h"

#include <cmath>
#include <cstdio>
#include <cstdarg>
#include <cstdint>

CColor::CColor(double gray, double alpha) : mRed(gray), mGreen(gray), mBlue(gray), mAlpha(alpha) {}

CColor::CColor(double r, double g, double b, double a) : mRed(r), mGreen(g), mBlue(b), mAlpha(a) {}

CColor::CColor(unsigned short r, unsigned short g, unsigned short b)
    : mRed(r / 65535.0), mGreen(g / 65535.0), mBlue(b / 65535.0), mAlpha(1.0) {}

const CColor& CColor::White() {
    static const CColor color(1.0, 1.0);
    return color;
}
const CColor& CColor::Black() {
    static const CColor color(0.0, 1.0);
    return color;
}
const CColor& CColor::Gray20() {
    static const CColor color(0.2, 1.0);
    return color;
}
const CColor& CColor::Gray25() {
    static const CColor color(0.25, 1.0);
    return color;
}
const CColor& CColor::Gray50() {
    static const CColor color(0.5, 1.0);
    return color;
}
const CColor& CColor::Gray60() {
    static const CColor color(0.6, 1.0);
    return color;
}
const CColor& CColor::Gray90() {
    static const CColor color(0.9, 1.0);
    return color;
}

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One component as 0..255: clamped first, so negative, oversized and NaN
// components still print as two hex digits that FromHexString accepts.
unsigned ComponentByte(double value) {
    if (!(value > 0.0)) return 0;  // also NaN
    if (value >= 1.0) return 255;
    const auto scaled = static_cast<unsigned>(value * 255.0);
    return scaled > 255 ? 255 : scaled;
}

}  // namespace

CColor CColor::FromHexString(const std::string& text) {
    if (text.size() != 9 || text[0] != '#') return CColor();
    // A "#" followed by something that is not a hex digit carries no colour
    // at all; treat it like every other malformed text (opaque white) rather
    // than as a transparent black.
    if (HexDigitValue(text[1]) < 0) return CColor();

    std::uint32_t value = 0;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const int digit = HexDigitValue(text[i]);
        if (digit < 0) break;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return CColor(((value >> 16) & 0xFF) / 255.0, ((value >> 8) & 0xFF) / 255.0, (value & 0xFF) / 255.0,
                  ((value >> 24) & 0xFF) / 255.0);
}

std::string CColor::ToHexString() const {
    char text[16];
    std::snprintf(text, sizeof text, "#%02X%02X%02X%02X", ComponentByte(mAlpha), ComponentByte(mRed),
                  ComponentByte(mGreen), ComponentByte(mBlue));
    return text;
}

std::string CColor::ToString() const {
    // Cut at 63 bytes like every debug description; huge components stay bounded.
    char text[64];
    std::snprintf(text, sizeof text, "CColor { R: %.2f, G: %.2f, B: %.2f, A: %.2f }", mRed, mGreen, mBlue, mAlpha);
    return text;
}

bool CColor::operator==(const CColor& other) const {
    return std::fabs(mRed - other.mRed) < 0.01 && std::fabs(mGreen - other.mGreen) < 0.01 &&
           std::fabs(mBlue - other.mBlue) < 0.01 && std::fabs(mAlpha - other.mAlpha) < 0.01;
}
