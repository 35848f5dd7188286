#include "engine/geometry/Color.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

void ExpectComponents(const CColor& color, double r, double g, double b, double a, const char* name) {
    EXPECT_DOUBLE_EQ(color.mRed, r) << name;
    EXPECT_DOUBLE_EQ(color.mGreen, g) << name;
    EXPECT_DOUBLE_EQ(color.mBlue, b) << name;
    EXPECT_DOUBLE_EQ(color.mAlpha, a) << name;
}

}  // namespace

TEST(Color, FromHexStringReadsAlphaFirstAndRejectsOtherShapes) {
    struct Case {
        const char* name;
        const char* text;
        double r, g, b, a;
    };
    const Case cases[] = {
        {"half-transparent red", "#80FF0000", 1.0, 0.0, 0.0, 128 / 255.0},
        {"lower-case digits", "#ff00ff00", 0.0, 1.0, 0.0, 1.0},
        {"transparent black", "#00000000", 0.0, 0.0, 0.0, 0.0},
        {"mixed channels", "#0A1B2C3D", 0x1B / 255.0, 0x2C / 255.0, 0x3D / 255.0, 0x0A / 255.0},
        {"six digits only (7 bytes)", "#FF0000", 1.0, 1.0, 1.0, 1.0},
        {"no hash sign", "80FF0000", 1.0, 1.0, 1.0, 1.0},
        {"nine digits (10 bytes)", "#80FF00001", 1.0, 1.0, 1.0, 1.0},
        {"empty", "", 1.0, 1.0, 1.0, 1.0},
        {"other first byte", "x80FF0000", 1.0, 1.0, 1.0, 1.0},
        {"non-hex right after the hash", "#G0000000", 1.0, 1.0, 1.0, 1.0},
        {"blank after the hash", "# 0000000", 1.0, 1.0, 1.0, 1.0},
        {"sign after the hash", "#-0000001", 1.0, 1.0, 1.0, 1.0},
        // Digits up to the first non-hex character form the number 0x80FF.
        {"stops at the first non-hex digit", "#80FFzz00", 0.0, 0x80 / 255.0, 1.0, 0.0},
        {"a 0x prefix is no prefix", "#0x123456", 0.0, 0.0, 0.0, 0.0},
    };
    for (const Case& c : cases) ExpectComponents(CColor::FromHexString(c.text), c.r, c.g, c.b, c.a, c.name);
}

TEST(Color, ToHexStringTruncatesAndClampsEachComponent) {
    struct Case {
        const char* name;
        CColor color;
        const char* expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"opaque white", CColor(), "#FFFFFFFF"},
        {"opaque black", CColor(0.0, 1.0), "#FF000000"},
        {"truncated toward zero", CColor(0.5, 0.25, 1.0, 0.0), "#007F3FFF"},
        {"negative component", CColor(-0.5, 0.0, 0.0, 1.0), "#FF000000"},
        {"component above one", CColor(1.5, 2.0, 0.0, 7.0), "#FFFFFF00"},
        {"not a number", CColor(nan, 0.0, 0.0, 1.0), "#FF000000"},
    };
    for (const Case& c : cases) {
        const std::string text = c.color.ToHexString();
        EXPECT_EQ(text, c.expected) << c.name;
        // Whatever the components, the text reads back as a proper colour.
        const CColor back = CColor::FromHexString(text);
        EXPECT_EQ(back.ToHexString(), text) << c.name;
    }
    // A full byte round trip keeps every channel.
    const CColor color = CColor::FromHexString("#12345678");
    EXPECT_EQ(color.ToHexString(), "#12345678");
}

TEST(Color, ToStringShowsTwoDecimalsWithinSixtyThreeBytes) {
    EXPECT_EQ(CColor().ToString(), "CColor { R: 1.00, G: 1.00, B: 1.00, A: 1.00 }");
    EXPECT_EQ(CColor(0.125, 0.5, 0.333, 0.0).ToString(), "CColor { R: 0.12, G: 0.50, B: 0.33, A: 0.00 }");
    const std::string huge = CColor(1e30, 1e30, 1e30, 1e30).ToString();
    EXPECT_EQ(huge.size(), 63u);
    EXPECT_EQ(huge.rfind("CColor { R: 1000000000000000019884624838656.00, G: ", 0), 0u);
}

TEST(Color, EqualityToleratesLessThanOneHundredth) {
    const CColor base(0.0, 0.0, 0.0, 0.0);
    EXPECT_EQ(base, CColor(0.009, 0.009, 0.009, 0.009));
    EXPECT_FALSE(base == CColor(0.01, 0.0, 0.0, 0.0));
    EXPECT_FALSE(base == CColor(0.0, 0.01, 0.0, 0.0));
    EXPECT_FALSE(base == CColor(0.0, 0.0, 0.01, 0.0));
    EXPECT_FALSE(base == CColor(0.0, 0.0, 0.0, 0.01));
    EXPECT_TRUE(base != CColor(0.0, 0.0, 0.0, -0.02));

    CColor copy;
    copy = CColor(0.1, 0.2, 0.3, 0.4);
    ExpectComponents(copy, 0.1, 0.2, 0.3, 0.4, "assigned");
}

TEST(Color, ConstructorsAndNamedColours) {
    ExpectComponents(CColor(), 1.0, 1.0, 1.0, 1.0, "default");
    ExpectComponents(CColor(0.3, 0.7), 0.3, 0.3, 0.3, 0.7, "gray");
    ExpectComponents(
        CColor(static_cast<unsigned short>(65535), static_cast<unsigned short>(0), static_cast<unsigned short>(32768)),
        1.0, 0.0, 32768 / 65535.0, 1.0, "16-bit channels");

    ExpectComponents(CColor::White(), 1.0, 1.0, 1.0, 1.0, "White");
    ExpectComponents(CColor::Black(), 0.0, 0.0, 0.0, 1.0, "Black");
    ExpectComponents(CColor::Gray20(), 0.2, 0.2, 0.2, 1.0, "Gray20");
    ExpectComponents(CColor::Gray25(), 0.25, 0.25, 0.25, 1.0, "Gray25");
    ExpectComponents(CColor::Gray50(), 0.5, 0.5, 0.5, 1.0, "Gray50");
    ExpectComponents(CColor::Gray60(), 0.6, 0.6, 0.6, 1.0, "Gray60");
    ExpectComponents(CColor::Gray90(), 0.9, 0.9, 0.9, 1.0, "Gray90");
    EXPECT_EQ(&CColor::Gray50(), &CColor::Gray50());
}
