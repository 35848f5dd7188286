#pragma once
// A colour value: red, green, blue and alpha, each meant in 0..1. Copied by
// value; the default is opaque white.

#include <string>

class CColor {
public:
    CColor() = default;
    CColor(double gray, double alpha);
    CColor(double r, double g, double b, double a);
    // 16-bit channels as stored in layout files; alpha is 1.0.
    CColor(unsigned short r, unsigned short g, unsigned short b);
    // Three doubles would silently narrow to the 16-bit form above.
    CColor(double r, double g, double b) = delete;

    CColor(const CColor&) = default;
    CColor& operator=(const CColor&) = default;

    // Named colours, all opaque, made on first use.
    static const CColor& White();
    static const CColor& Black();
    static const CColor& Gray20();
    static const CColor& Gray25();
    static const CColor& Gray50();
    static const CColor& Gray60();
    static const CColor& Gray90();

    // "#AARRGGBB". Any other shape gives opaque white; parsing stops at the
    // first character that is not a hexadecimal digit.
    static CColor FromHexString(const std::string& text);

    // "#AARRGGBB", upper-case; components are clamped to 0..1 first.
    std::string ToHexString() const;
    // "CColor { R: %.2f, G: %.2f, B: %.2f, A: %.2f }", at most 63 bytes.
    std::string ToString() const;

    // Every component differs by less than 0.01.
    bool operator==(const CColor& other) const;
    bool operator!=(const CColor& other) const { return !(*this == other); }

    double mRed = 1.0;
    double mGreen = 1.0;
    double mBlue = 1.0;
    double mAlpha = 1.0;
};
